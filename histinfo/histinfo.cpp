// histinfo: entropy of the distribution of distinct columns of a matrix.
//
//   H = histinfo(A)
//
// Every column of the M x N matrix A is one observation. Columns that match
// (every element differs by less than 1 in magnitude) form one class, and
// H = -sum p ln p in nats over the classes, p = class size / N.
//
// Matching is not transitive, so classes are formed around a reference: the
// first column not yet classed takes every unclassed column that matches it,
// and the rest keep their order for the next round. A column holding NaN or
// an infinity matches no column, itself included; it is counted as the
// reference of its own class of one, which also guarantees that every round
// removes at least one column.
//
// Comparing each reference with every column left would cost N^2 / 2
// comparisons for N distinct columns. Instead the columns are indexed by the
// floors of a few rows: two columns within 1 of each other have floors at
// most 1 apart in every row, so a reference need only look at the columns of
// its own cell and of the cells next to it. The classes come out the same,
// in the same order and with the same counts, so H is the same to the bit.
//
// The parts, each of which says why it keeps the classes and their order:
// - classes.h: the match rule and the term a class adds;
// - cell_index.h: the grid rows, the hashing of cells and the search for the
//   cells next to a column's own; cell_placement.h: counting and placing the
//   cells; lone_columns.h: columns that match no other, set apart;
// - the strategies: serial_rounds.h (one round after another), and on
//   several threads grouped_rounds.h (groups of cells apart from one
//   another) and rounds_ahead.h (rounds guessed ahead).
// Here: the choice among the strategies, and the gateway.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "histinfo/cell_index.h"
#include "histinfo/cell_placement.h"
#include "histinfo/classes.h"
#include "histinfo/grouped_rounds.h"
#include "histinfo/lone_columns.h"
#include "histinfo/serial_rounds.h"
#include "histinfo/rounds_ahead.h"
#include "host/host.h"
#include "host/parallel.h"

namespace {

// Writes the entropy of the columns of the M x N column-major data to
// result, using up to `threads` threads. The references are taken in
// ascending column order, as the first column left in each round, and the
// terms are added in that order, by whichever strategy: on several threads
// the groups of cells apart when there are such groups, else the rounds
// guessed ahead; the rounds one after another when those do not apply.
template <typename Index>
void Entropy(const double* data, double* result, long M, long N,
             const column_index<Index>& storage, int threads) {
  double H = 0;
  if (N <= 0) {
    *result = H;
    return;
  }
  column_grid<Index> grid(data, M, N, storage);
  grid.build(threads);
  // Under a thousand columns, threads could hardly pay.
  const bool threaded = threads > 1 && N >= 1024;
  if (threaded && grid.grouped_entropy(H, threads)) {
    *result = H;
    return;
  }
  if (threaded && grid.speculative_entropy(H, threads)) {
    *result = H;
    return;
  }
  grid.serial_entropy(H, threads);
  *result = H;
}

// The index's storage from the host, released when the call ends.
template <typename Index>
struct host_storage {
  explicit host_storage(size_t N)
      : cell_of(N), members(N), cells(table_size(N)), slot_marks(table_size(N)), classed(N),
        neighbours(batch_rows(N) * max_neighbours), neighbour_count(batch_rows(N)) {}
  static size_t batch_rows(size_t N) { return std::min(N, size_t(neighbour_batch)); }
  bool complete() const {
    return cell_of.get() && members.get() && cells.get() && slot_marks.get() && classed.get() &&
           neighbours.get() && neighbour_count.get();
  }
  column_index<Index> index() const {
    return {cell_of.get(),  members.get(),    cells.get(),          slot_marks.get(),
            classed.get(),  neighbours.get(), neighbour_count.get()};
  }
  host::working_memory<Index> cell_of, members;
  host::working_memory<typename column_index<Index>::cell> cells;
  host::working_memory<unsigned char> slot_marks, classed;
  host::working_memory<Index> neighbours;
  host::working_memory<unsigned char> neighbour_count;
};

template <typename Index>
void entropy_with_host_storage(const double* data, double* result, long M, long N) {
  host_storage<Index> storage{size_t(N)};
  if (!storage.complete()) host::fail("not enough memory for the working storage");
  Entropy(data, result, M, N, storage.index(), parallel::thread_budget());
}

enum { IN_A = 0, IN_COUNT };
enum { OUT_H = 0 };

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != IN_COUNT) host::fail("Wrong number of input arguments.");
  const mxArray* A = prhs[IN_A];
  if (mxIsComplex(A) || mxGetNumberOfDimensions(A) != 2 || mxIsSparse(A) || !mxIsDouble(A))
    host::fail("A must be a real 2D full double array.");

  const double* data = mxGetPr(A);
  const long M = long(mxGetM(A));
  const long N = long(mxGetN(A));
  plhs[OUT_H] = mxCreateDoubleMatrix(1, 1, mxREAL);
  if (!plhs[OUT_H]) host::fail("not enough memory for the result");

  // 32-bit indices halve the index; they serve while the table's slots can
  // be counted in 32 bits.
  if (table_size(size_t(N)) < UINT32_MAX)
    entropy_with_host_storage<uint32_t>(data, mxGetPr(plhs[OUT_H]), M, N);
  else
    entropy_with_host_storage<uint64_t>(data, mxGetPr(plhs[OUT_H]), M, N);
}
