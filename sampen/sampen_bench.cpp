// sampen on the data of its goals: 10^5 samples of white noise and of the
// Henon map's x, m = 2, r = 0.2 sigma; 10^6 samples of the Henon x; scales
// 1 ... 20 of 3 10^4 samples in one call and in 20 calls. On one thread and
// on every core (or OMP_NUM_THREADS of them). Peak resident memory is
// reported as a counter (the process's, so the largest run's).
#include "sampen/sampen.cpp"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <random>
#include <vector>

#include "bench/thread_scaling.h"
#include "neighbours/test_data.h"

namespace {

const std::vector<double>& series(int kind, size_t N) {
  static std::vector<double> cache[2][3];
  const int size = N == 100000 ? 0 : N == 1000000 ? 1 : 2;
  std::vector<double>& x = cache[kind][size];
  if (x.empty()) {
    if (kind == 1) {
      x = test_data::henon_x(N);
    } else {
      std::mt19937_64 rng(7);
      std::normal_distribution<double> normal;
      x.resize(N);
      for (double& v : x) v = normal(rng);
    }
  }
  return x;
}

double peak_mib() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024;
}

// range(0): 0 white noise, 1 Henon x; range(1): N; range(2): threads (0:
// every core).
void BM_sampen(benchmark::State& state) {
  const auto& x = series(int(state.range(0)), size_t(state.range(1)));
  const int threads = state.range(2) ? int(state.range(2)) : parallel::thread_budget();
  const double r = 0.2 * neighbours::spread_of(x.data(), x.size());
  const size_t scale = 1;
  double SE, A, B;
  for (auto _ : state) {
    sample_entropy(x.data(), x.size(), 2, r, 1, 0, &scale, 1, &SE, &A, &B, threads);
    benchmark::DoNotOptimize(SE);
  }
  state.counters["threads"] = threads;
  state.counters["SE"] = SE;
  state.counters["peak_MiB"] = peak_mib();
}

// Scales 1 ... 20 of 3 10^4 samples of white noise: range(0) 1 for one
// call, 0 for twenty.
void BM_sampen_scales(benchmark::State& state) {
  static const std::vector<double> x = [] {
    std::mt19937_64 rng(8);
    std::normal_distribution<double> normal;
    std::vector<double> v(30000);
    for (double& s : v) s = normal(rng);
    return v;
  }();
  const double r = 0.2 * neighbours::spread_of(x.data(), x.size());
  std::vector<size_t> scales(20);
  for (size_t s = 0; s < 20; ++s) scales[s] = s + 1;
  std::vector<double> SE(20), A(20), B(20);
  const int threads = parallel::thread_budget();
  for (auto _ : state) {
    if (state.range(0))
      sample_entropy(x.data(), x.size(), 2, r, 1, 0, scales.data(), 20, SE.data(), A.data(),
                     B.data(), threads);
    else
      for (size_t s = 0; s < 20; ++s)
        sample_entropy(x.data(), x.size(), 2, r, 1, 0, &scales[s], 1, &SE[s], &A[s], &B[s],
                       threads);
    benchmark::DoNotOptimize(SE.data());
  }
}

// One thread against two, alternating (bench/thread_scaling.h): range(0) as
// BM_sampen's, N = 10^5.
void BM_sampen_scaling(benchmark::State& state) {
  const auto& x = series(int(state.range(0)), 100000);
  const double r = 0.2 * neighbours::spread_of(x.data(), x.size());
  const size_t scale = 1;
  double SE, A, B;
  thread_scaling::measure(state, [&](int threads) {
    sample_entropy(x.data(), x.size(), 2, r, 1, 0, &scale, 1, &SE, &A, &B, threads);
  });
}

}  // namespace

BENCHMARK(BM_sampen)
    ->Args({0, 100000, 1})
    ->Args({0, 100000, 0})
    ->Args({1, 100000, 1})
    ->Args({1, 100000, 0})
    ->Args({1, 1000000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_sampen_scaling)->Arg(0)->Arg(1)->Iterations(7)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_sampen_scales)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
