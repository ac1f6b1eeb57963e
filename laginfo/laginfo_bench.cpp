// laginfo against the way earlier releases counted (one counting tree per
// lag) and the two plain alternatives a user would otherwise write for the
// pair counts of every lag:
//   laginfo/threads: the module's core on 1 thread and on every thread the
//                    budget gives (OMP_NUM_THREADS, else the cores);
//   tree:            the earlier releases' counting, one tree per lag;
//   dense:           a b x b table of joint counts, cleared for every lag and
//                    summed over all its cells;
//   unordered_map:   std::unordered_map from the pair (as one 64-bit key) to
//                    its count.
// laginfo and the tree give the same bits (checked when the tree ran first);
// the plain alternatives sum in another order and are checked to 1e-9.
//
// Data: rank values of a logistic-map orbit (r = 4), lags 0 ... 50,
// resolutions 16, 256, 4096 and 16384 bins; 10^6 samples unless --samples=N is
// given. Counters: peak heap use of the run (all threads), and the time per
// pair per lag. For the thread speed-up on a busy machine, alternate and take
// the least disturbed runs:
//   laginfo_bench --benchmark_filter=BM_laginfo --benchmark_repetitions=10
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include "laginfo/laginfo.cpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <unordered_map>

#include "bench/heap_counter.h"
#include "laginfo/tree_reference.h"

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

// The tree's results, kept by BM_tree (which runs first) to check the others
// by; a run that leaves the tree out checks nothing.
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

// Peak heap and time per pair per lag; results checked against the tree's,
// bit for bit when `exact`.
void finish(benchmark::State& state, size_t baseline, const std::vector<double>& mi, int b,
            bool exact) {
  state.counters["peak_MB"] = heap_peak_megabytes(baseline);
  state.counters["s_per_pair"] =
      benchmark::Counter(double(max_lag + 1) * double(samples - max_lag),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  const auto& want = tree_results(b);
  if (want.empty()) return;
  for (size_t i = 0; i < mi.size(); ++i) {
    const bool same = exact ? std::memcmp(&mi[i], &want[i], sizeof(double)) == 0
                            : std::fabs(mi[i] - want[i]) <= 1e-9 * std::max(1.0, std::fabs(want[i]));
    if (!same) state.SkipWithError("results differ from the tree's");
  }
}

// Args: bins, threads (0: the budget).
void BM_laginfo(benchmark::State& state) {
  const int b = int(state.range(0));
  const int threads = state.range(1) > 0 ? int(state.range(1)) : parallel::thread_budget();
  const auto& x = ranked_logistic();
  std::vector<double> mi(max_lag + 1);
  const size_t baseline = heap_baseline();
  for (auto _ : state) {
    auto outcome = laginfo_mutual_information(x.data(), samples, max_lag, &b, 1, mi.data(), threads);
    if (outcome[0] != laginfo_outcome::success) state.SkipWithError("laginfo failed");
    benchmark::DoNotOptimize(mi.data());
  }
  state.counters["threads"] = threads;
  finish(state, baseline, mi, b, true);
}

void BM_tree(benchmark::State& state) {
  const int b = int(state.range(0));
  const auto& x = ranked_logistic();
  std::vector<double> mi(max_lag + 1);
  const size_t baseline = heap_baseline();
  for (auto _ : state) {
    tree_reference::mutual_information(x.data(), samples, max_lag, b, mi.data());
    benchmark::DoNotOptimize(mi.data());
  }
  finish(state, baseline, mi, b, true);
  tree_results(b) = mi;
}

void BM_dense(benchmark::State& state) {
  const int b = int(state.range(0));
  const auto& x = ranked_logistic();
  std::vector<double> mi(max_lag + 1);
  const size_t baseline = heap_baseline();
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
  finish(state, baseline, mi, b, false);
}

void BM_unordered_map(benchmark::State& state) {
  const int b = int(state.range(0));
  const auto& x = ranked_logistic();
  std::vector<double> mi(max_lag + 1);
  const size_t baseline = heap_baseline();
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
  finish(state, baseline, mi, b, false);
}

void bins_and_threads(benchmark::internal::Benchmark* bench) {
  for (int b : {16, 256, 4096, 16384})
    for (int threads : {1, 0}) bench->Args({b, threads});
}
void bins(benchmark::internal::Benchmark* bench) {
  for (int b : {16, 256, 4096, 16384}) bench->Arg(b);
}
void plain_bins(benchmark::internal::Benchmark* bench) {
  for (int b : {16, 256, 4096}) bench->Arg(b);  // 16384: a 2 GB table
}

double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// The tree first, so the others are checked against its results. With
// --benchmark_repetitions, "min" is the run least disturbed by other load.
BENCHMARK(BM_tree)->Apply(bins)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_laginfo)
    ->Apply(bins_and_threads)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_dense)->Apply(plain_bins)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_unordered_map)->Apply(plain_bins)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

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
