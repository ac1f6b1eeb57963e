// smap on the data of its goals: 5000 steps of the logistic map, E = 3,
// theta = 4, every row forecast from all the others (leave-one-out), on one
// thread and on every core (or OMP_NUM_THREADS of them). Reported:
// milliseconds per call and microseconds per prediction row.
#include "smap/smap.cpp"

#include <benchmark/benchmark.h>

#include <vector>

#include "predict/models.h"

namespace {

void BM_smap(benchmark::State& state) {
  const size_t N = 5000, E = 3;
  const auto x = models::logistic(N);
  const predict::embedding e{x.data(), N, E, 1};
  std::vector<row_t> lib, pred;
  for (size_t t = e.first(); t + 1 < N; ++t) lib.push_back(row_t(t));
  for (size_t t = e.first(); t < N; ++t) pred.push_back(row_t(t));
  std::vector<double> P(2 * pred.size()), C(pred.size() * (E + 1));
  const int threads = state.range(0) ? int(state.range(0)) : parallel::thread_budget();
  for (auto _ : state) {
    smap_forecasts(e, 1, 4.0, 0, lib.data(), lib.size(), pred.data(), pred.size(), P.data(),
                   C.data(), threads);
    benchmark::DoNotOptimize(P.data());
  }
  state.counters["threads"] = threads;
  state.counters["per_row"] = benchmark::Counter(double(state.iterations()) * double(pred.size()),
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_smap)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK_MAIN();
