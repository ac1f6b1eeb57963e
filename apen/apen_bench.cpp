// apen on the data of its goals: 10^5 samples of white noise and of the
// Henon map's x, m = 2, r = 0.2 sigma; on one thread and on every core (or
// OMP_NUM_THREADS of them).
#include "apen/apen.cpp"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "bench/thread_scaling.h"
#include "neighbours/test_data.h"

namespace {

// range(0): 0 white noise, 1 Henon x; range(1): threads (0: every core).
const std::vector<double>& series(int kind) {
  static const std::vector<double> noise = [] {
    std::mt19937_64 rng(7);
    std::normal_distribution<double> normal;
    std::vector<double> v(100000);
    for (double& s : v) s = normal(rng);
    return v;
  }();
  static const std::vector<double> henon = test_data::henon_x(100000);
  return kind ? henon : noise;
}

void BM_apen(benchmark::State& state) {
  const auto& x = series(int(state.range(0)));
  const int threads = state.range(1) ? int(state.range(1)) : parallel::thread_budget();
  const double r = 0.2 * neighbours::spread_of(x.data(), x.size());
  double AE = 0;
  for (auto _ : state) {
    AE = approximate_entropy(x.data(), x.size(), 2, r, 1, threads);
    benchmark::DoNotOptimize(AE);
  }
  state.counters["threads"] = threads;
  state.counters["AE"] = AE;
}

// One thread against two, alternating (bench/thread_scaling.h).
void BM_apen_scaling(benchmark::State& state) {
  const auto& x = series(int(state.range(0)));
  const double r = 0.2 * neighbours::spread_of(x.data(), x.size());
  double AE = 0;
  thread_scaling::measure(state, [&](int threads) {
    AE = approximate_entropy(x.data(), x.size(), 2, r, 1, threads);
  });
  benchmark::DoNotOptimize(AE);
}

}  // namespace

BENCHMARK(BM_apen)
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_apen_scaling)->Arg(0)->Arg(1)->Iterations(7)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
