// crossmap on the data of its goals: 10^4 steps of the coupled logistic
// maps, E = 2, ten library sizes 100, 1100, ..., 9100, 100 samples each, on
// one thread and on every core (or OMP_NUM_THREADS of them). Reported:
// seconds per call and microseconds per forecast row and draw.
//
// Both searches are timed: the lists walked where they pay (as a call does,
// /lists:1) and a tree per draw alone (/lists:0). BM_trees_alone builds the
// trees of the same draws and nothing else.
#include "crossmap/crossmap.cpp"

#include <benchmark/benchmark.h>

#include <vector>

#include "predict/models.h"

namespace {

const size_t steps = 10000, E = 2, samples = 100;

void BM_crossmap(benchmark::State& state) {
  std::vector<double> x, y;
  models::coupled_logistic(steps, x, y);
  std::vector<size_t> sizes;
  for (size_t L = 100; L <= 9100; L += 1000) sizes.push_back(L);
  const predict::embedding e{x.data(), steps, E, 1};
  const cross_problem p{e, y.data(), 0, 0, steps - e.first()};
  std::vector<double> R(sizes.size() * samples);
  const int threads = state.range(0) ? int(state.range(0)) : parallel::thread_budget();
  const list_plan plan = state.range(1) ? default_plan(p.n, E + 1) : list_plan{0, 0};
  for (auto _ : state) {
    cross_map(p, sizes.data(), sizes.size(), samples, true, 0, R.data(), threads, plan);
    benchmark::DoNotOptimize(R.data());
  }
  state.counters["threads"] = threads;
  state.counters["per_row_and_draw"] =
      benchmark::Counter(double(state.iterations()) * double(p.n * sizes.size() * samples),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_trees_alone(benchmark::State& state) {
  std::vector<double> x, y;
  models::coupled_logistic(steps, x, y);
  const predict::embedding e{x.data(), steps, E, 1};
  const size_t n = steps - e.first();
  std::vector<row_t> list(n);
  for (auto _ : state) {
    mersenne_twister::generator twister(0);
    twister.init_genrand(0);
    for (size_t L = 100; L <= 9100; L += 1000)
      for (size_t j = 0; j < samples; ++j) {
        std::iota(list.begin(), list.end(), row_t(e.first()));
        for (size_t a = 0; a < L; ++a)
          std::swap(list[a], list[a + size_t(twister.genrand_res53() * double(n - a))]);
        std::vector<row_t> lib(list.begin(), list.begin() + long(L));
        std::sort(lib.begin(), lib.end());
        const neighbours::kd_tree tree = predict::library_tree(e, lib.data(), L, 1);
        benchmark::DoNotOptimize(tree.rows());
      }
  }
}

}  // namespace

BENCHMARK(BM_trees_alone)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK(BM_crossmap)->ArgNames({"threads", "lists"})->ArgsProduct({{1, 0}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK_MAIN();
