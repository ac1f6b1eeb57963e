// lyapcurve on the data of its goals: 10^5 samples of the Henon map's x,
// delay-embedded in 2 dimensions, K = 30, k = 1, w = 10, every usable row a
// reference; and the same with k = 8. On one thread and on every core (or
// OMP_NUM_THREADS of them).
#include "lyapcurve/lyapcurve.cpp"

#include <benchmark/benchmark.h>

#include <vector>

#include "neighbours/test_data.h"

namespace {

const size_t points = 100000;

void BM_lyapcurve(benchmark::State& state) {
  static const std::vector<double> X = [] {
    const std::vector<double> x = test_data::henon_x(points + 1);
    std::vector<double> embedded(2 * points);
    for (size_t i = 0; i < points; ++i) embedded[i] = x[i], embedded[i + points] = x[i + 1];
    return embedded;
  }();
  const int threads = state.range(0) ? int(state.range(0)) : parallel::thread_budget();
  const size_t K = 30, k = size_t(state.range(1));
  std::vector<double> S(K + 1), n(K + 1);
  for (auto _ : state) {
    divergence_curve(X.data(), points, 2, K, k, 10, norm::euclidean, nullptr, points - K, S.data(),
                     n.data(), threads);
    benchmark::DoNotOptimize(S.data());
  }
  state.counters["threads"] = threads;
  state.counters["S1"] = S[1];
}

}  // namespace

BENCHMARK(BM_lyapcurve)
    ->Args({1, 1})
    ->Args({0, 1})
    ->Args({1, 8})
    ->Args({0, 8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);
BENCHMARK_MAIN();
