// embeddim on the data of its goals: 10^5 samples of the Henon map's x,
// mmax = 6, tau = 1, w = 10; on one thread and on every core (or
// OMP_NUM_THREADS of them).
#include "embeddim/embeddim.cpp"

#include <benchmark/benchmark.h>

#include <vector>

#include "neighbours/test_data.h"

namespace {

void BM_embeddim(benchmark::State& state) {
  static const std::vector<double> x = test_data::henon_x(100000);
  const int threads = state.range(0) ? int(state.range(0)) : parallel::thread_budget();
  const size_t mmax = 6;
  std::vector<double> F(mmax), E1(mmax), E2(mmax);
  for (auto _ : state) {
    embedding_statistics(x.data(), x.size(), mmax, 1, 10, 10, 2, F.data(), E1.data(), E2.data(),
                         threads);
    benchmark::DoNotOptimize(F.data());
  }
  state.counters["threads"] = threads;
  state.counters["F2"] = F[1];
}

}  // namespace

BENCHMARK(BM_embeddim)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK_MAIN();
