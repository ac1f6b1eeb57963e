// dfa on the data of its goals: 10^6 samples of white noise, 16 box sizes
// spaced evenly in log from 10 to 10^5, order 1, q = 2; on one thread and on
// every core (or OMP_NUM_THREADS of them). Also order 3 with five moments.
#include "dfa/dfa.cpp"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

const std::vector<double>& noise() {
  static const std::vector<double> x = [] {
    std::mt19937_64 rng(7);
    std::normal_distribution<double> normal;
    std::vector<double> v(1000000);
    for (double& s : v) s = normal(rng);
    return v;
  }();
  return x;
}

std::vector<double> sizes() {
  std::vector<double> n;
  for (int k = 0; k < 16; ++k) n.push_back(std::round(10 * std::pow(1e4, k / 15.0)));
  return n;
}

void BM_dfa(benchmark::State& state) {
  const std::vector<double>& x = noise();
  const int threads = state.range(0) ? int(state.range(0)) : parallel::thread_budget();
  const int order = int(state.range(1));
  const std::vector<double> n = sizes();
  const std::vector<double> q = order == 1 ? std::vector<double>{2} : std::vector<double>{-2, 0, 1, 2, 4};
  std::vector<double> F(n.size() * q.size());
  for (auto _ : state) {
    fluctuation_function(x.data(), x.size(), n.data(), n.size(), order, q.data(), q.size(),
                         F.data(), threads);
    benchmark::DoNotOptimize(F.data());
  }
  state.counters["threads"] = threads;
}

}  // namespace

BENCHMARK(BM_dfa)->Args({1, 1})->Args({0, 1})->Args({1, 3})->Args({0, 3})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK_MAIN();
