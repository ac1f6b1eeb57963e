// neardist on the data of its goals: 10^6 points of the Henon map's
// x-coordinate, delay-embedded in 3 dimensions (delay 1), the 16 nearest
// neighbours of every point. Timed: the tree alone, and the whole search
// (tree, search, results put in row order) with the Theiler window 0 and
// 100, on one thread and on every core (or OMP_NUM_THREADS of them).
// Reported: microseconds per reference, and the peak of the working memory
// besides the inputs and outputs, in bytes per point.
#include "neardist/neardist.cpp"

#include <benchmark/benchmark.h>

#include <vector>

#include "bench/heap_counter.h"
#include "neighbours/test_data.h"

namespace {

const size_t points = 1000000, dims = 3, k = 16;

const std::vector<double>& henon_embedded() {
  static const std::vector<double> X = [] {
    const std::vector<double> x = test_data::henon_x(points + dims - 1);
    std::vector<double> e(points * dims);
    for (size_t i = 0; i < points; ++i)
      for (size_t c = 0; c < dims; ++c) e[i + c * points] = x[i + dims - 1 - c];
    return e;
  }();
  return X;
}

int threads_of(const benchmark::State& state) {
  return state.range(0) ? int(state.range(0)) : parallel::thread_budget();
}

void BM_tree(benchmark::State& state) {
  const auto& X = henon_embedded();
  for (auto _ : state) {
    const neighbours::kd_tree tree(X.data(), points, dims, threads_of(state));
    benchmark::DoNotOptimize(tree.rows());
  }
  state.counters["threads"] = threads_of(state);
}

void BM_neardist(benchmark::State& state) {
  const auto& X = henon_embedded();
  const uint64_t w = uint64_t(state.range(1));
  std::vector<double> D(points * k), I(points * k);
  size_t peak = 0;
  for (auto _ : state) {
    const size_t before = heap_now;
    heap_peak = before;
    nearest_neighbours(X.data(), points, dims, k, w, norm::euclidean, nullptr, points, D.data(),
                       I.data(), 1, threads_of(state));
    peak = std::max(peak, heap_peak - before);
    benchmark::DoNotOptimize(D.data());
  }
  state.counters["threads"] = threads_of(state);
  state.counters["per_reference"] = benchmark::Counter(
      double(state.iterations()) * points, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["bytes_per_point"] = double(peak) / points;
}

}  // namespace

BENCHMARK(BM_tree)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_neardist)
    ->Args({1, 0})
    ->Args({1, 100})
    ->Args({0, 0})
    ->Args({0, 100})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(4);
BENCHMARK_MAIN();
