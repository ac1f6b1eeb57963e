// smoothwin's core on a 10^6 x 4 matrix: plain windows of 3, 31 and 1001
// samples and a 31-weight window, and, for comparison, the same 31-sample
// average summed one output at a time (the direct form of the definition),
// which gives the same bits. Octave's own filters on the same data are timed
// by bench_smoothwin.m.
#include "smoothwin/smoothwin.cpp"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

const long rows = 1000000;
const long columns = 4;

const std::vector<double>& data() {
  static std::vector<double> x = [] {
    std::mt19937 rng(3);
    std::normal_distribution<double> normal;
    std::vector<double> v(rows * columns);
    for (double& e : v) e = normal(rng);
    return v;
  }();
  return x;
}

void report(benchmark::State& state) {
  state.counters["Msamples/s"] = benchmark::Counter(
      double(state.iterations()) * rows * columns / 1e6, benchmark::Counter::kIsRate);
}

void BM_length(benchmark::State& state) {
  const long n = state.range(0);
  std::vector<double> y(rows * columns);
  data();  // made before the clock starts
  for (auto _ : state) {
    smoothwin_filter(data().data(), rows, columns, n, nullptr, double(n), y.data());
    benchmark::DoNotOptimize(y.data());
  }
  report(state);
}

void BM_window31(benchmark::State& state) {
  std::vector<double> w(31), y(rows * columns);
  double S = 0.0;
  for (int m = 0; m < 31; ++m) S += w[m] = 16 - std::abs(m - 15);
  data();  // made before the clock starts
  for (auto _ : state) {
    smoothwin_filter(data().data(), rows, columns, 31, w.data(), S, y.data());
    benchmark::DoNotOptimize(y.data());
  }
  report(state);
}

void BM_length31_one_at_a_time(benchmark::State& state) {
  std::vector<double> y(rows * columns);
  data();  // made before the clock starts
  for (auto _ : state) {
    for (long j = 0; j < columns; ++j)
      for (long k = 0; k < rows; ++k)
        y[j * rows + k] = window_sum<false>(data().data() + j * rows, rows, k, 31, 15, nullptr) / 31;
    benchmark::DoNotOptimize(y.data());
  }
  report(state);
}

BENCHMARK(BM_length)->Arg(3)->Arg(31)->Arg(1001)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_window31)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_length31_one_at_a_time)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
