// embeddim on the data of its goals: 10^5 samples of the Henon map's x,
// mmax = 6, tau = 1, w = 10; on one thread and on every core (or
// OMP_NUM_THREADS of them). BM_embeddim_phases profiles a call by phase
// (the trees' builds, the leaf order, the searches, the ordered sums; all
// but the last embedding's sums run during the next build, and count in
// it), alternating one thread and two in one run, and reports the median
// seconds of each phase on each, and the median speed-up, as counters.
#include "embeddim/embeddim.cpp"

#include <benchmark/benchmark.h>

#include <algorithm>
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

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// range(0): N. Counters: per phase and thread count (_1, _2), the median
// wall seconds (wall_), calling thread's (caller_) and process's (cpu_) CPU
// seconds; speedup, the median over rounds of the wall times' ratio, and
// critical_speedup, the process seconds on one thread over the larger of
// the calling thread's and the helper's on two: about the speed-up two free
// cores would give, whatever else the machine runs.
void BM_embeddim_phases(benchmark::State& state) {
  const std::vector<double> x = test_data::henon_x(size_t(state.range(0)));
  const size_t mmax = 6;
  std::vector<double> F(mmax), E1(mmax), E2(mmax);
  const char* phases[] = {"build", "order", "search", "sums"};
  const char* clocks[] = {"wall_", "caller_", "cpu_"};
  std::vector<double> seconds[2][phase_times::phases][phase_times::clocks], speedups, critical;
  for (auto _ : state) {
    double wall[2], cpu[2], caller[2];
    for (int t = 0; t < 2; ++t) {
      phase_times times;
      embedding_statistics(x.data(), x.size(), mmax, 1, 10, 10, 2, F.data(), E1.data(),
                           E2.data(), t + 1, &times);
      wall[t] = cpu[t] = caller[t] = 0;
      for (int p = 0; p < phase_times::phases; ++p) {
        for (int c = 0; c < phase_times::clocks; ++c)
          seconds[t][p][c].push_back(times.seconds[p][c]);
        wall[t] += times.seconds[p][phase_times::wall];
        cpu[t] += times.seconds[p][phase_times::process];
        caller[t] += times.seconds[p][phase_times::caller];
      }
    }
    speedups.push_back(wall[0] / wall[1]);
    critical.push_back(cpu[0] / std::max(caller[1], cpu[1] - caller[1]));
  }
  for (int t = 0; t < 2; ++t)
    for (int p = 0; p < phase_times::phases; ++p)
      for (int c = 0; c < phase_times::clocks; ++c)
        state.counters[std::string(clocks[c]) + phases[p] + (t ? "_2" : "_1")] =
            median(seconds[t][p][c]);
  state.counters["speedup"] = median(speedups);
  state.counters["speedup_min"] = *std::min_element(speedups.begin(), speedups.end());
  state.counters["speedup_max"] = *std::max_element(speedups.begin(), speedups.end());
  state.counters["critical_speedup"] = median(critical);
}

}  // namespace

BENCHMARK(BM_embeddim)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_embeddim_phases)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_MAIN();
