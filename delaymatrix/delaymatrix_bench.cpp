// delaymatrix's embedding of 3 series of 10^6 samples, dimensions [8 4 2],
// delays [3 1 5], no shifts, against the plain alternative: the matrix
// filled row by row from the element formula, as a loop over times would.
#include "delaymatrix/delaymatrix.cpp"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const long M = 1000000;
const int N = 3;
const double dims[] = {8, 4, 2};
const double delays[] = {3, 1, 5};
const double shifts[] = {0, 0};

const std::vector<double>& series() {
  static std::vector<double> X = [] {
    std::vector<double> x(size_t(M * N));
    for (size_t k = 0; k < x.size(); ++k) x[k] = double(k % 9973) * 0.5;
    return x;
  }();
  return X;
}

int window() {
  int windows[N];
  return get_p_max_index(dims, delays, N, windows);
}

void BM_embed(benchmark::State& state) {
  const int p = window();
  std::vector<double> out(size_t((M - p) * 14));
  const double* X = series().data();
  for (auto _ : state) {
    embed(X, M, N, dims, delays, shifts, p, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size() * sizeof(double)));
}

void BM_row_by_row(benchmark::State& state) {
  const int p = window();
  const long rows = M - p;
  std::vector<double> out(size_t(rows * 14));
  const double* X = series().data();
  for (auto _ : state) {
    for (long r = 0; r < rows; ++r) {
      const long t = p - 1 + r;
      long c = 0;
      for (int i = 0; i < N; ++i) {
        const long s = i == 0 ? 0 : long(shifts[i - 1]);
        for (long m = 0; m < long(dims[i]); ++m, ++c)
          out[r + c * rows] = X[t - m * long(delays[i]) + s + i * M];
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size() * sizeof(double)));
}

BENCHMARK(BM_embed)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_row_by_row)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
