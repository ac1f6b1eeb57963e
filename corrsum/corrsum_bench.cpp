// corrsum on the data of its goals: 10^5 points of the Henon attractor in 2
// dimensions, 13 radii 2^-14 ... 2^-2 times its extent, no window; and the
// same with a window of 100, whose 10^7 pairs are counted one by one and
// taken off. On one thread and on every core (or OMP_NUM_THREADS of them).
#include "corrsum/corrsum.cpp"

#include <benchmark/benchmark.h>

#include <vector>

#include "neighbours/test_data.h"

namespace {

const size_t points = 100000;

struct data {
  std::vector<double> X, radii;
};

const data& henon() {
  static const data d = [] {
    data h;
    const std::vector<double> x = test_data::henon_x(points + 1);
    h.X.resize(2 * points);
    double low[2] = {x[0], x[0]}, high[2] = {x[0], x[0]};
    for (size_t i = 0; i < points; ++i) {
      h.X[i] = x[i + 1];
      h.X[i + points] = 0.3 * x[i];
      for (int c = 0; c < 2; ++c) {
        low[c] = std::min(low[c], h.X[i + c * points]);
        high[c] = std::max(high[c], h.X[i + c * points]);
      }
    }
    const double extent = std::max(high[0] - low[0], high[1] - low[1]);
    for (int e = -14; e <= -2; ++e) h.radii.push_back(std::ldexp(extent, e));
    return h;
  }();
  return d;
}

void BM_corrsum(benchmark::State& state) {
  const data& h = henon();
  const int threads = state.range(0) ? int(state.range(0)) : parallel::thread_budget();
  std::vector<double> n(h.radii.size());
  for (auto _ : state) {
    pair_counts(h.X.data(), points, 2, h.radii.data(), h.radii.size(), uint64_t(state.range(1)),
                norm::euclidean, n.data(), threads);
    benchmark::DoNotOptimize(n.data());
  }
  state.counters["threads"] = threads;
  state.counters["pairs_below_largest"] = n.back();
}

}  // namespace

BENCHMARK(BM_corrsum)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 100})
    ->Args({0, 100})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);
BENCHMARK_MAIN();
