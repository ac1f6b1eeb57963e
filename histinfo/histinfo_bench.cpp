// histinfo's Entropy on 10^5 columns of 8 rows, with about 10, 100 and 1000
// classes: every class costs one pass over the columns still unclassed, so
// the time grows about linearly with the number of classes.
#include "histinfo/histinfo.cpp"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

const long M = 8;
const long N = 100000;

// Columns drawn from `classes` centres whose rows are the base-3 digits of
// the class number times 10, with jitter below 0.5 in magnitude: columns of
// one class match, columns of different classes differ in at least one row.
std::vector<double> clustered(long classes) {
  std::mt19937 rng(1);
  std::uniform_int_distribution<long> pick(0, classes - 1);
  std::uniform_real_distribution<double> jitter(-0.2, 0.2);
  std::vector<double> A(size_t(M * N));
  for (long j = 0; j < N; ++j) {
    long digits = pick(rng);
    for (long i = 0; i < M; ++i, digits /= 3) A[j * M + i] = 10.0 * double(digits % 3) + jitter(rng);
  }
  return A;
}

void BM_entropy(benchmark::State& state) {
  const auto A = clustered(state.range(0));
  std::vector<long> pending(static_cast<size_t>(N));
  double H = 0;
  for (auto _ : state) {
    Entropy(A.data(), &H, M, N, pending.data());
    benchmark::DoNotOptimize(H);
  }
  state.counters["H_nats"] = H;
}

BENCHMARK(BM_entropy)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
