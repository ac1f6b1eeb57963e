// smoothwin's core on a 10^6 x 4 matrix: plain windows of 3, 31 and 1001
// samples and a 31-weight window, on each vector unit this processor has and
// on one and two threads; small calls on one and two threads; and, for
// comparison, the same 31-sample average summed one output at a time (the
// direct form of the definition), which gives the same bits. Octave's own
// filters on the same data are timed side by side by bench_smoothwin.m.
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

// Arguments: window length (0 for the 31-weight window), vector unit, threads.
void BM_smoothwin(benchmark::State& state) {
  const long n = state.range(0) ? state.range(0) : 31;
  const auto unit = vector_unit(state.range(1));
  const int threads = int(state.range(2));
  if (!processor_has(unit)) {
    state.SkipWithError("this processor lacks the vector unit");
    return;
  }
  std::vector<double> w, y(rows * columns);
  double S = double(n);
  if (state.range(0) == 0) {
    S = 0.0;
    for (int m = 0; m < 31; ++m) w.push_back(16 - std::abs(m - 15)), S += w.back();
  }
  data();  // made before the clock starts
  for (auto _ : state) {
    smoothwin_filter(data().data(), rows, columns, n, w.empty() ? nullptr : w.data(), S, y.data(),
                     threads, unit);
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
        y[j * rows + k] =
            window_sum<false>(data().data() + j * rows, rows, k, 31, 15, nullptr) / 31;
    benchmark::DoNotOptimize(y.data());
  }
  report(state);
}

// Calls of one column around the size where a second thread starts to pay
// (31-sample window): with a budget of two threads they must be no slower
// than with one.
void BM_small(benchmark::State& state) {
  const long M = state.range(0);
  const int threads = int(state.range(1));
  std::vector<double> y(M);
  data();  // made before the clock starts
  for (auto _ : state) {
    smoothwin_filter(data().data(), M, 1, 31, nullptr, 31, y.data(), threads, widest_vector_unit());
    benchmark::DoNotOptimize(y.data());
  }
}

void arguments(benchmark::internal::Benchmark* b) {
  b->ArgNames({"length", "unit", "threads"});
  for (long n : {3, 31, 1001, 0})
    for (long unit = long(vector_unit::plain); unit <= long(vector_unit::avx512); ++unit)
      for (long threads : {1, 2}) b->Args({n, unit, threads});
}

BENCHMARK(BM_smoothwin)
    ->Apply(arguments)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(0.2);
BENCHMARK(BM_small)
    ->ArgNames({"rows", "threads"})
    ->ArgsProduct({{1000, 60000, 240000, 480000}, {1, 2}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_length31_one_at_a_time)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
