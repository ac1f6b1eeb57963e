// laginfo against the two plain alternatives a user would otherwise write for
// the pair counts of every lag:
//   dense:         a b x b table of joint counts, cleared for every lag and
//                  summed over all its cells;
//   unordered_map: std::unordered_map from the pair (as one 64-bit key) to
//                  its count.
// All three bin the series once per resolution and use the same marginal.
//
// Data: rank values of a logistic-map orbit (r = 4), lags 0 ... 50,
// resolutions 16, 256 and 4096 bins; 10^6 samples unless --samples=N is
// given. Peak heap use per benchmark is counted by replacing the global
// allocator of this program.
#include "laginfo/laginfo.cpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <unordered_map>

#include "bench/heap_counter.h"

namespace {

long samples = 1000000;
const long max_lag = 50;

const std::vector<double>& ranked_logistic() {
  static std::vector<double> ranks = [] {
    std::vector<double> x(samples);
    double y = 0.3141592653589793;
    for (long i = 0; i < 1000; ++i) y = 4 * y * (1 - y);
    for (double& v : x) v = y = 4 * y * (1 - y);
    std::vector<long> order(samples);
    std::iota(order.begin(), order.end(), 0L);
    std::sort(order.begin(), order.end(), [&x](long a, long b) { return x[a] < x[b]; });
    std::vector<double> r(samples);
    for (long i = 0; i < samples; ++i) r[order[i]] = double(i) / double(samples);
    return r;
  }();
  return ranks;
}

// The reference results, for a check that every alternative computes the
// same thing (up to the order of the sums).
std::vector<double>& tree_results(int b) {
  static std::unordered_map<int, std::vector<double>> results;
  return results[b];
}

void bin_series(const std::vector<double>& x, int b, std::vector<int>& bin,
                std::vector<double>& marginal) {
  bin.assign(x.size(), 0);
  marginal.assign(b, 0.0);
  for (size_t t = 0; t < x.size(); ++t) {
    bin[t] = int(std::floor(double(b) * x[t]));
    marginal[bin[t]] += 1;
  }
  for (double& h : marginal) h /= double(x.size());
}

double term(long count, long n, double hx, double hy) {
  const double mu = double(count) / double(n);
  return (std::log(mu / (hy * hx)) / ln2) * mu;
}

size_t start_counting() {
  const size_t baseline = heap_baseline();
  return baseline;
}

void finish(benchmark::State& state, size_t baseline, const std::vector<double>& mi, int b) {
  state.counters["peak_MB"] = heap_peak_megabytes(baseline);
  const auto& want = tree_results(b);
  if (want.empty()) return;
  for (size_t i = 0; i < mi.size(); ++i)
    if (std::fabs(mi[i] - want[i]) > 1e-9 * std::max(1.0, std::fabs(want[i])))
      state.SkipWithError("results differ from the tree's");
}

void BM_tree(benchmark::State& state) {
  const int b = int(state.range(0));
  const auto& x = ranked_logistic();
  std::vector<double> mi(max_lag + 1);
  const size_t baseline = start_counting();
  for (auto _ : state) {
    if (laginfo_mutual_information(x.data(), samples, max_lag, b, mi.data()) !=
        laginfo_outcome::success)
      state.SkipWithError("laginfo failed");
    benchmark::DoNotOptimize(mi.data());
  }
  state.counters["peak_MB"] = heap_peak_megabytes(baseline);
  tree_results(b) = mi;
  // The largest tree of the run: one node per occupied first bin and pair.
  std::vector<int> bin;
  std::vector<double> marginal;
  bin_series(x, b, bin, marginal);
  struct node_counter {
    long nodes = 0;
    void visit(int, long) { ++nodes; }
  };
  mt_ternary_tree tree(2);
  for (long t = 0; t + max_lag < samples; ++t) {
    const int key[2] = {bin[t], bin[t + max_lag]};
    tree.insert2(key);
  }
  node_counter c;
  tree.traverse(c);
  state.counters["nodes_lag50"] = double(c.nodes);
}

void BM_dense(benchmark::State& state) {
  const int b = int(state.range(0));
  const auto& x = ranked_logistic();
  std::vector<double> mi(max_lag + 1);
  const size_t baseline = start_counting();
  for (auto _ : state) {
    std::vector<int> bin;
    std::vector<double> marginal;
    bin_series(x, b, bin, marginal);
    std::vector<long> table(size_t(b) * size_t(b));
    const long n = samples - max_lag;
    for (long tau = 0; tau <= max_lag; ++tau) {
      std::fill(table.begin(), table.end(), 0L);
      for (long t = 0; t < n; ++t) ++table[size_t(bin[t]) * size_t(b) + size_t(bin[t + tau])];
      double sum = 0;
      for (int i = 0; i < b; ++i)
        for (int j = 0; j < b; ++j) {
          const long c = table[size_t(i) * size_t(b) + size_t(j)];
          if (c) sum += term(c, n, marginal[i], marginal[j]);
        }
      mi[tau] = sum;
    }
    benchmark::DoNotOptimize(mi.data());
  }
  finish(state, baseline, mi, b);
}

void BM_unordered_map(benchmark::State& state) {
  const int b = int(state.range(0));
  const auto& x = ranked_logistic();
  std::vector<double> mi(max_lag + 1);
  const size_t baseline = start_counting();
  for (auto _ : state) {
    std::vector<int> bin;
    std::vector<double> marginal;
    bin_series(x, b, bin, marginal);
    const long n = samples - max_lag;
    for (long tau = 0; tau <= max_lag; ++tau) {
      std::unordered_map<uint64_t, long> count;
      for (long t = 0; t < n; ++t)
        ++count[(uint64_t(uint32_t(bin[t])) << 32) | uint32_t(bin[t + tau])];
      double sum = 0;
      for (const auto& e : count)
        sum += term(e.second, n, marginal[e.first >> 32], marginal[e.first & 0xffffffffu]);
      mi[tau] = sum;
    }
    benchmark::DoNotOptimize(mi.data());
  }
  finish(state, baseline, mi, b);
}

// Tree first, so the others are checked against its results.
BENCHMARK(BM_tree)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_dense)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_unordered_map)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // --samples=N is taken out before the benchmark library reads the rest.
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--samples=", 10) == 0)
      samples = std::atol(argv[i] + 10);
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
