// simplex on the data of its goals: 10^5 steps of the Henon map's x, E = 3,
// every row forecast one step ahead from all others more than w = 10 away,
// on one thread and on every core (or OMP_NUM_THREADS of them). Reported:
// milliseconds per call and microseconds per prediction row.
#include "simplex/simplex.cpp"

#include <benchmark/benchmark.h>

#include <vector>

#include "neighbours/test_data.h"

namespace {

void BM_simplex(benchmark::State& state) {
  const size_t N = 100000, E = 3;
  const auto x = test_data::henon_x(N);
  const predict::embedding e{x.data(), N, E, 1};
  std::vector<row_t> lib, pred;
  for (size_t t = e.first(); t + 1 < N; ++t) lib.push_back(row_t(t));
  for (size_t t = e.first(); t < N; ++t) pred.push_back(row_t(t));
  std::vector<double> P(2 * pred.size());
  const int threads = state.range(0) ? int(state.range(0)) : parallel::thread_budget();
  for (auto _ : state) {
    simplex_forecasts(e, 1, 10, lib.data(), lib.size(), pred.data(), pred.size(), E + 1,
                      P.data(), threads);
    benchmark::DoNotOptimize(P.data());
  }
  state.counters["threads"] = threads;
  state.counters["per_row"] = benchmark::Counter(double(state.iterations()) * double(pred.size()),
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_simplex)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK_MAIN();
