// histinfo's rounds one after another: each takes the first unclassed
// column as the reference of a new class, which takes every unclassed column
// that matches it. A round compares the columns of the reference's own cell
// and of the cells next to it; those cells' neighbours are found ahead, for
// a batch of columns at a time, on the threads, and a round over a very
// large cell is split over the threads. The steps here (take_class, sweep)
// are also the rounds of the other strategies.
//
// Why the classes come out the same, in the same order: the references are
// taken in ascending column order, as the first column left in each round,
// and each takes exactly the unclassed columns that match it (every one of
// them lies in the cells it sweeps, see cell_index.h). The cells never
// change once built, only the columns they still hold, so neighbours found
// ahead are the ones a round would find. A cell swept in pieces on several
// threads keeps each piece's columns in order and joins the pieces in
// order. The terms are added in the order of the references.
//
// Part of histinfo.cpp's one translation unit, hence the unnamed namespace.
#pragma once

#include <algorithm>
#include <cstring>

#include "histinfo/cell_index.h"
#include "histinfo/classes.h"
#include "host/parallel.h"

namespace {

// Classes those of the n columns listed in members that match reference
// column r (r itself is dropped, already classed), keeps the others in their
// order at the front of the list, and returns how many matched; kept is set
// to how many stayed.
//
// The columns of one cell of a grid lie scattered over the data, so each is
// asked for a few comparisons ahead of its turn (fetch_ahead). Without grid
// rows the one cell lists every column in storage order, which the memory
// system streams by itself.
//
// With skip_classed, columns already classed (still listed because their
// cell was not yet tidied, see rounds_ahead.h) are dropped too.
//
// Most of the time goes to this loop, and where it falls against the
// processor's 64-byte fetch blocks moved its speed by 13% as the code
// around it changed; aligning the function keeps it where it is fast.
template <bool fetch_ahead, bool skip_classed = false, typename Index>
[[gnu::aligned(64)]] long sweep_columns(const double* data, long M, long r, Index* members, long n,
                   unsigned char* classed, long& kept) {
  const double* reference = data + r * M;
  constexpr long ahead = 12;
  long matched = 0;
  long stay = 0;
  for (long i = 0; i < n; ++i) {
    if (fetch_ahead && i + ahead < n) __builtin_prefetch(data + long(members[i + ahead]) * M);
    const Index j = members[i];
    if (long(j) == r || (skip_classed && classed[j])) continue;
    if (confronto(reference, data + long(j) * M, M)) {
      classed[j] = 1;
      ++matched;
    } else {
      members[stay++] = j;
    }
  }
  kept = stay;
  return matched;
}

// The rounds in column order. The batches start small and double: when a
// few references class most columns, few neighbour searches are made for
// columns classed meanwhile.
template <typename Index>
inline void column_grid<Index>::serial_entropy(double& H, int threads) {
  class_term term(N);
  for (long begin = 0, end; begin < N; begin = end) {
    end = std::min(N, begin + std::clamp(begin, 64L, neighbour_batch));
    find_neighbours(begin, end, threads);
    for (long r = begin; r < end; ++r) {
      if (ix.classed[r]) continue;
      if (r + 1 < end && !ix.classed[r + 1]) prefetch_cells(r + 1, r + 1 - begin);
      const long count = take_class(r, r - begin, threads);
      H = H - term(count);
    }
  }
}

// Finds, for every column r in [begin, end) that is unclassed and has a
// cell, the cells next to its own that exist, into r's row of the
// neighbour table. The cells never change once built, only the columns
// they still hold, so this can be done ahead of the rounds, for a batch of
// columns at a time, on several threads.
template <typename Index>
inline void column_grid<Index>::find_neighbours(long begin, long end, int threads) {
  const double lookups = double(end - begin) * double(neighbour_keys());
  // A lookup is a fetch from memory; a thread pays for its start with a
  // few thousand.
  const int used = parallel::threads_for(lookups, 8192, end - begin, threads);
  const long pieces = used == 1 ? 1 : 4L * used;
  parallel::run(pieces, used, [&](long p, int) {
    const long first = begin + (end - begin) * p / pieces;
    const long last = begin + (end - begin) * (p + 1) / pieces;
    for (long r = first; r < last; ++r)
      if (!ix.classed[r] && ix.cell_of[r] != none)
        ix.neighbour_count[r - begin] =
            (unsigned char)find_neighbours_of(r, ix.neighbours + (r - begin) * max_neighbours);
  });
}

// Asks for the cells of column r (its neighbours in row `row` of the
// neighbour table) to be fetched from memory, while an earlier
// reference's cells are swept.
template <typename Index>
inline void column_grid<Index>::prefetch_cells(long r, long row) const {
  const Index own = ix.cell_of[r];
  if (own == none) return;
  __builtin_prefetch(&ix.cells[own]);
  const Index* neighbours = ix.neighbours + row * max_neighbours;
  for (int q = 0; q < ix.neighbour_count[row]; ++q) __builtin_prefetch(&ix.cells[neighbours[q]]);
}

// Takes column r (unclassed, its neighbours in row `row` of the neighbour
// table) as the reference of a new class: classes it and every unclassed
// column that matches it, and returns the class size. With skip_classed
// the cells may still list classed columns; they are dropped.
template <typename Index>
template <bool skip_classed>
inline long column_grid<Index>::take_class(long r, long row, int threads) {
  ix.classed[r] = 1;
  long count = 1;
  const Index own = ix.cell_of[r];
  if (own == none) return count;
  Index found[max_neighbours + 1];
  const int cells = cells_of(r, row, found);
  // The cells' first columns and their data, fetched from memory all at
  // once before the cells are swept one after another.
  for (int q = 0; q < cells; ++q) __builtin_prefetch(&ix.members[ix.cells[found[q]].start]);
  for (int q = 0; q < cells; ++q) {
    const auto& cell = ix.cells[found[q]];
    if (cell.size > 0) __builtin_prefetch(data + long(ix.members[cell.start]) * M);
  }
  for (int q = 0; q < cells; ++q) count += sweep<skip_classed>(found[q], r, threads);
  return count;
}

// Classes the unclassed columns of cell c that match reference r, drops
// them and r from the cell, keeps the others in their order, and returns
// how many matched. Large cells are split into pieces compared on several
// threads; each piece keeps its columns in order in its own place, and the
// pieces are then joined in order.
template <typename Index>
template <bool skip_classed>
inline long column_grid<Index>::sweep(Index c, long r, int threads) {
  Index* members = ix.members + ix.cells[c].start;
  const long n = long(ix.cells[c].size);
  constexpr long max_pieces = 64;
  // A comparison takes some nanoseconds; a thread started for every round
  // pays only in rounds of some hundred thousand.
  const int used = parallel::threads_for(double(n), 65536, max_pieces, threads);
  auto sweep_piece = [&](long begin, long end, long& kept) {
    return d > 0 ? sweep_columns<true, skip_classed>(data, M, r, members + begin, end - begin,
                                                     ix.classed, kept)
                 : sweep_columns<false, skip_classed>(data, M, r, members + begin, end - begin,
                                                      ix.classed, kept);
  };
  if (used == 1) {
    long kept;
    const long matched = sweep_piece(0, n, kept);
    ix.cells[c].size = Index(kept);
    return matched;
  }
  const long pieces = std::min<long>(max_pieces, 4L * used);
  long matched[max_pieces], kept[max_pieces];
  parallel::run(pieces, used, [&](long p, int) {
    matched[p] = sweep_piece(n * p / pieces, n * (p + 1) / pieces, kept[p]);
  });
  long total = 0, size = 0;
  for (long p = 0; p < pieces; ++p) {
    std::memmove(members + size, members + n * p / pieces, size_t(kept[p]) * sizeof(Index));
    size += kept[p];
    total += matched[p];
  }
  ix.cells[c].size = Index(size);
  return total;
}

}  // namespace
