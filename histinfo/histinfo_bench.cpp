// histinfo's Entropy, indexed, beside the plain search it replaced (every
// reference compared with every column left), on the same data in one run:
// - 10^5 columns of 8 rows in about 10, 100 and 1000 classes;
// - 8 x 10^5 columns of 8 rows in about 300 classes;
// - 10^6 distinct columns of 3 rows, on a dense integer lattice (every
//   neighbouring cell taken) and spread out (no neighbours), where the plain
//   search would take minutes: it is timed on 8 x 10^4 columns instead;
// - 2^15 distinct columns that all share one cell, the index's worst case;
// - 4 x 10^6 columns all in one cell: large rounds split over threads.
// Run with OMP_NUM_THREADS=1 and unset to see what the threads add.
#include "histinfo/histinfo.cpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// Columns drawn from `classes` centres whose rows are the base-3 digits of
// the class number times 10, with jitter below 0.5 in magnitude: columns of
// one class match, columns of different classes differ in at least one row.
std::vector<double> clustered(long M, long N, long classes) {
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

// N distinct 3-row columns in random order: the points of a 100^3 integer
// lattice (neighbours differ by 1, so none match), or with `spacing` 2 and a
// jitter below 1 (no two columns share or touch a cell).
std::vector<double> distinct(long N, double spacing) {
  std::vector<long> order(static_cast<size_t>(N));
  for (long j = 0; j < N; ++j) order[j] = j;
  std::mt19937 rng(2);
  std::shuffle(order.begin(), order.end(), rng);
  std::uniform_real_distribution<double> jitter(0, spacing > 1 ? 0.9 : 0);
  std::vector<double> A(size_t(3 * N));
  for (long j = 0; j < N; ++j) {
    const long p = order[j];
    A[3 * j] = spacing * double(p % 100) + jitter(rng);
    A[3 * j + 1] = spacing * double(p / 100 % 100) + jitter(rng);
    A[3 * j + 2] = spacing * double(p / 10000) + jitter(rng);
  }
  return A;
}

// N distinct columns whose rows each take the values 0 and 1 only (the
// binary digits of the column number): no row splits them, so all share one
// cell, and the index searches like the plain search.
std::vector<double> one_cell(long N) {
  long M = 0;
  while ((1L << M) < N) ++M;
  std::vector<double> A(size_t(M * N));
  for (long j = 0; j < N; ++j)
    for (long i = 0; i < M; ++i) A[size_t(j * M + i)] = double((j >> i) & 1);
  return A;
}

// N columns of 3 rows, each row within [0, 2): no row spreads them over
// more than two floors, so all share one cell, and each of the first rounds
// compares millions of columns, split over the threads.
std::vector<double> large_cell(long N) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> span(0, 2);
  std::vector<double> A(size_t(3 * N));
  for (double& v : A) v = span(rng);
  return A;
}

// The search before the index: every round compares its reference with
// every column left.
double plain_entropy(const double* data, long M, long N, std::vector<long>& pending) {
  double H = 0;
  for (long j = 0; j < N; ++j) pending[j] = j;
  long n = N;
  for (;;) {
    const double* reference = data + pending[0] * M;
    long count = 1, kept = 0;
    for (long j = 1; j < n; ++j) {
      if (confronto(reference, data + pending[j] * M, M))
        ++count;
      else
        pending[kept++] = pending[j];
    }
    H = H - xlnx(double(count) / double(N));
    if (kept == 0) break;
    n = kept;
  }
  return H;
}

struct index_storage {
  explicit index_storage(long N)
      : cell_of(N), members(N), cells(table_size(size_t(N))), slot_marks(table_size(size_t(N))), classed(N),
        neighbours(neighbour_batch * max_neighbours), neighbour_count(neighbour_batch) {}
  column_index<uint32_t> index() {
    return {cell_of.data(), members.data(),    cells.data(),          slot_marks.data(),
            classed.data(), neighbours.data(), neighbour_count.data()};
  }
  std::vector<uint32_t> cell_of, members;
  std::vector<column_index<uint32_t>::cell> cells;
  std::vector<unsigned char> slot_marks, classed;
  std::vector<uint32_t> neighbours;
  std::vector<unsigned char> neighbour_count;
};

void run_indexed(benchmark::State& state, const std::vector<double>& A, long M) {
  const long N = long(A.size()) / M;
  index_storage storage(N);
  const int threads = parallel::thread_budget();
  double H = 0;
  for (auto _ : state) {
    Entropy(A.data(), &H, M, N, storage.index(), threads);
    benchmark::DoNotOptimize(H);
  }
  state.counters["H_nats"] = H;
  state.counters["threads"] = threads;
}

void run_plain(benchmark::State& state, const std::vector<double>& A, long M) {
  const long N = long(A.size()) / M;
  std::vector<long> pending(static_cast<size_t>(N));
  double H = 0;
  for (auto _ : state) {
    H = plain_entropy(A.data(), M, N, pending);
    benchmark::DoNotOptimize(H);
  }
  state.counters["H_nats"] = H;
}

void BM_clustered_indexed(benchmark::State& state) {
  run_indexed(state, clustered(8, state.range(0), state.range(1)), 8);
}
void BM_clustered_plain(benchmark::State& state) {
  run_plain(state, clustered(8, state.range(0), state.range(1)), 8);
}
void BM_distinct_lattice_indexed(benchmark::State& state) {
  run_indexed(state, distinct(state.range(0), 1), 3);
}
void BM_distinct_spread_indexed(benchmark::State& state) {
  run_indexed(state, distinct(state.range(0), 2), 3);
}
void BM_distinct_lattice_plain(benchmark::State& state) {
  run_plain(state, distinct(state.range(0), 1), 3);
}

void BM_one_cell_indexed(benchmark::State& state) {
  const long N = state.range(0);
  const auto A = one_cell(N);
  run_indexed(state, A, long(A.size()) / N);
}
void BM_one_cell_plain(benchmark::State& state) {
  const long N = state.range(0);
  const auto A = one_cell(N);
  run_plain(state, A, long(A.size()) / N);
}

void BM_large_cell_indexed(benchmark::State& state) {
  run_indexed(state, large_cell(state.range(0)), 3);
}

void clustered_sizes(benchmark::internal::Benchmark* b) {
  for (long classes : {10, 100, 1000}) b->Args({100000, classes});
  b->Args({800000, 300});
}

BENCHMARK(BM_clustered_indexed)->Apply(clustered_sizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_clustered_plain)->Apply(clustered_sizes)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_distinct_lattice_indexed)->Arg(80000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_distinct_spread_indexed)->Arg(80000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_one_cell_indexed)->Arg(1 << 15)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_one_cell_plain)->Arg(1 << 15)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_large_cell_indexed)->Arg(4000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_distinct_lattice_plain)->Arg(80000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
