// gridmass side by side with what it replaced and with what a user would
// otherwise write:
//   BM_gridmass/threads:T   the module's core with T threads (1, and the
//                           machine's budget: OMP_NUM_THREADS or all cores)
//   BM_tree                 earlier releases' core: one counting tree per
//                           resolution (the results are the same, bit for bit)
//   BM_unordered_map        std::unordered_map keyed by the cell-index vector,
//                           once per number k of leading coordinates
//
// Data: 10^6 points of the Henon orbit embedded with delays in 8 dimensions;
// 10 resolutions, 2, 4, ..., 1024 bins per axis. Peak heap use is counted by
// replacing the global allocator of this program. The shared cores are noisy:
// compare within one run, e.g. with --benchmark_repetitions=5
// --benchmark_enable_random_interleaving=true, and quote medians.
#include "gridmass/gridmass.cpp"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <unordered_map>

#include "bench/heap_counter.h"
#include "gridmass/tree_reference.h"

namespace {

const long points = 1000000;
const long dimension = 8;
const std::vector<int> resolutions = {2, 4, 8, 16, 32, 64, 128, 256, 512, 1024};

const std::vector<double>& henon_embedding() {
  static std::vector<double> data = [] {
    std::vector<double> series(points + dimension + 1000);
    double x = 0, y = 0;
    for (double& v : series) {
      double next = 1 - 1.4 * x * x + y;
      y = 0.3 * x;
      x = next;
      v = x;
    }
    std::vector<double> embedded(points * dimension);
    for (long k = 0; k < dimension; ++k)
      for (long i = 0; i < points; ++i) embedded[i + k * points] = series[1000 + i + k];
    return embedded;
  }();
  return data;
}

// Per point, coordinate and resolution: the unit of the speed goals.
void report(benchmark::State& state, size_t baseline) {
  state.counters["peak_MB"] = heap_peak_megabytes(baseline);
  state.counters["time_per_unit"] = benchmark::Counter(
      double(points) * dimension * double(resolutions.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_gridmass(benchmark::State& state) {
  const auto& data = henon_embedding();
  const long P = long(resolutions.size());
  const int threads = state.range(0) > 0 ? int(state.range(0)) : parallel::thread_budget();
  std::vector<double> h0(P * dimension), h1(h0.size()), h2(h0.size());
  const size_t baseline = heap_baseline();
  for (auto _ : state) {
    auto outcome = gridmass_partition_sums(data.data(), points, dimension, resolutions.data(), P,
                                           h0.data(), h1.data(), h2.data(), threads);
    if (outcome != gridmass_outcome::success) state.SkipWithError("gridmass failed");
    benchmark::DoNotOptimize(h0.data());
  }
  report(state, baseline);
}

void BM_tree(benchmark::State& state) {
  const auto& data = henon_embedding();
  const long P = long(resolutions.size());
  std::vector<double> h0(P * dimension), h1(h0.size()), h2(h0.size());
  const size_t baseline = heap_baseline();
  for (auto _ : state) {
    auto outcome = tree_reference::partition_sums(data.data(), points, dimension,
                                                  resolutions.data(), P, h0.data(), h1.data(),
                                                  h2.data());
    if (outcome != tree_reference::outcome::success) state.SkipWithError("tree failed");
    benchmark::DoNotOptimize(h0.data());
  }
  report(state, baseline);
}

struct cell_hash {
  size_t operator()(const std::vector<int>& cell) const {
    size_t h = 0;
    for (int d : cell) h ^= std::hash<int>()(d) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
  }
};

void BM_unordered_map(benchmark::State& state) {
  const auto& data = henon_embedding();
  const long P = long(resolutions.size());
  std::vector<double> h0(P * dimension), h1(h0.size()), h2(h0.size());
  const size_t baseline = heap_baseline();
  for (auto _ : state) {
    double lo = data[0], hi = data[0];
    for (double v : data) {
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    for (long p = 0; p < P; ++p) {
      const double s = (resolutions[p] - 0.000001) / (hi - lo);
      const double o = s * lo;
      for (long k = 1; k <= dimension; ++k) {
        std::unordered_map<std::vector<int>, long, cell_hash> cells;
        std::vector<int> cell(k);
        for (long i = 0; i < points; ++i) {
          for (long j = 0; j < k; ++j) cell[j] = int(std::floor(s * data[i + j * points] - o));
          ++cells[cell];
        }
        double plogp = 0, p2 = 0;
        for (const auto& entry : cells) {
          double mu = double(entry.second) / double(points);
          plogp += std::log(mu) / ln2 * mu;
          p2 += mu * mu;
        }
        h0[p + (k - 1) * P] = -std::log(double(cells.size())) / ln2;
        h1[p + (k - 1) * P] = plogp;
        h2[p + (k - 1) * P] = std::log(p2) / ln2;
      }
    }
    benchmark::DoNotOptimize(h0.data());
  }
  report(state, baseline);
}

// threads:0 stands for the budget.
BENCHMARK(BM_gridmass)->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)
    ->Iterations(1)->UseRealTime();
BENCHMARK(BM_tree)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_unordered_map)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
