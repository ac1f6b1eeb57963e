// permen on the data of its goals: 10^7 samples of white noise, m = 6,
// tau = 1; on one thread and on every core (or OMP_NUM_THREADS of them);
// also weighted, and m = 10.
#include "permen/permen.cpp"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

const std::vector<double>& noise() {
  static const std::vector<double> x = [] {
    std::mt19937_64 rng(7);
    std::normal_distribution<double> normal;
    std::vector<double> v(10000000);
    for (double& s : v) s = normal(rng);
    return v;
  }();
  return x;
}

void BM_permen(benchmark::State& state) {
  const std::vector<double>& x = noise();
  const int threads = state.range(0) ? int(state.range(0)) : parallel::thread_budget();
  const int m = int(state.range(1));
  const bool weighted = state.range(2);
  std::vector<double> c(factorial[m]);
  double H, Hn;
  for (auto _ : state) {
    permutation_entropy(x.data(), x.size(), m, 1, weighted, &H, &Hn, c.data(), threads);
    benchmark::DoNotOptimize(c.data());
  }
  state.counters["threads"] = threads;
  state.counters["Hn"] = Hn;
}

}  // namespace

BENCHMARK(BM_permen)->Args({1, 6, 0})->Args({0, 6, 0})->Args({1, 6, 1})->Args({0, 6, 1})
    ->Args({1, 10, 0})->Args({0, 10, 0})->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK_MAIN();
