// rqa on the data of its goals: the Henon attractor in 2 dimensions (its
// state (x, y)), maximum norm, window 1, at radii that make about 1% of the
// pairs recur (N = 10^5) and about 0.1% (N = 10^6, some 10^9 recurrences).
// On one thread and on every core (or OMP_NUM_THREADS of them). The counter
// peak_bytes_per_point is the growth of the process's peak memory over the
// call, per point: run the large case alone (--benchmark_filter=.../1000000)
// for it to mean the call's own memory.
#include "rqa/rqa.cpp"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <map>
#include <vector>

#include "neighbours/test_data.h"

namespace {

std::vector<double> henon(size_t N) {
  const std::vector<double> x = test_data::henon_x(N + 1);
  std::vector<double> X(2 * N);
  for (size_t i = 0; i < N; ++i) X[i] = x[i + 1], X[i + N] = 0.3 * x[i];
  return X;
}

// The radius at which about `rate` of the pairs of the first 20000 points
// recur, by bisection.
double radius_for(double rate) {
  const size_t n = 20000;
  const std::vector<double> X = henon(n);
  double low = 0, high = 1;
  for (int step = 0; step < 30; ++step) {
    const double r = (low + high) / 2;
    const auto c = rqa_core::count(X.data(), n, 2, r, 1, norm::maximum, parallel::thread_budget());
    (double(c.recurrences) / double(rqa_core::pairs_taking_part(n, 1)) < rate ? low : high) = r;
  }
  return high;
}

double peak_bytes() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) * 1024;
}

// Arguments: points, recurrence rate in parts per 10^4, threads (0: every core).
void BM_rqa(benchmark::State& state) {
  const size_t N = size_t(state.range(0));
  const double rate = double(state.range(1)) / 1e4;
  static std::map<std::pair<size_t, double>, std::vector<double>> data;
  static std::map<double, double> radii;
  auto& X = data[{N, rate}];
  if (X.empty()) X = henon(N);
  if (!radii.count(rate)) radii[rate] = radius_for(rate);
  const double r = radii[rate];
  const int threads = state.range(2) ? int(state.range(2)) : parallel::thread_budget();
  const double before = peak_bytes();
  double M[rqa_core::measure_count];
  for (auto _ : state) {
    const auto c = rqa_core::count(X.data(), N, 2, r, 1, norm::maximum, threads);
    rqa_core::measures(c, N, 1, 2, 2, M);
    benchmark::DoNotOptimize(M);
  }
  state.counters["threads"] = threads;
  state.counters["RR"] = M[0];
  state.counters["DET"] = M[1];
  state.counters["LAM"] = M[5];
  state.counters["recurrences"] = M[8];
  state.counters["ns_per_recurrence"] = benchmark::Counter(
      M[8] * double(state.iterations()) * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["peak_bytes_per_point"] = (peak_bytes() - before) / double(N);
}

}  // namespace

BENCHMARK(BM_rqa)
    ->Args({100000, 100, 1})
    ->Args({100000, 100, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);
BENCHMARK(BM_rqa)
    ->Args({1000000, 10, 0})
    ->Args({1000000, 10, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_MAIN();
