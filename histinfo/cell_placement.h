// histinfo's index, built: every column with finite grid values is counted
// into its cell of the hash table, the cells are given their places in one
// list of columns, and the columns are put there; then the columns that
// surely match no other lose their cell (lone_columns.h). Large tables are
// cleared, counted and placed in shares, one thread each.
//
// Why the classes come out the same, in the same order: a cell lists its
// columns in ascending order whichever thread counted or placed them (each
// share is counted in column order, each cell's first column is put in
// place first and the later ones follow in column order), and cells are
// found by their coordinates' hash alone, so a round visits the same cells
// however the table was filled. A column set apart as lone is one that no
// other column matches: its round, whenever it comes, is a class of one, as
// it would have been with its cell.
//
// Part of histinfo.cpp's one translation unit, hence the unnamed namespace.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "histinfo/cell_index.h"
#include "histinfo/classes.h"
#include "host/parallel.h"

namespace {

// Puts every column with finite grid values into its cell; the columns of
// a cell keep their ascending order. Then takes the cell away from the
// columns that match no other (see set_apart_lone_columns).
//
// The columns' hashes are found first and kept in cell_of (high half) and
// members (low half, 0 for a column without a cell) until the cells are
// known; classed marks meanwhile the columns that have a cell (see
// count_cells). The table is used only as far as the cells need: it starts
// small and is started anew, larger, when more than two thirds of its
// slots would be taken, so that a few cells cost a few slots to clear and
// scan. The hashes are found, and a large table is cleared, filled and
// placed, on the threads.
template <typename Index>
inline void column_grid<Index>::build(int threads) {
  const int used = parallel::threads_for(double(N), 32768, N, threads);
  const long pieces = used == 1 ? 1 : 4L * used;
  const size_t full_mask = table_size(size_t(N)) - 1;
  mask = std::min<size_t>(full_mask, 4095);
  if (d == 0) {
    put_in_one_cell(used, pieces);
    return;
  }
  hash_columns(used, pieces);
  fit_table(used, pieces, full_mask);
  // A table that could not grow has its slots found already.
  if (mask < full_mask) find_slots(used, pieces);
  place_cells();
  place_later_columns();
  // With few cells the columns are classed by groups of cells instead.
  if (!few_cells()) set_apart_lone_columns(threads);
  std::fill(ix.classed, ix.classed + N, 0);
}

// Without grid rows, every column is in the one cell of no coordinates.
template <typename Index>
inline void column_grid<Index>::put_in_one_cell(int used, long pieces) {
  set_shares(1);
  clear_slots();
  const uint64_t h = cell_hash(nullptr, 0);
  const Index c = Index(probe(h));
  ix.cells[c] = {uint32_t(h >> 32), 0, Index(N)};
  ix.slot_marks[c] = mark_of(h);
  cell_count = 1;
  parallel::run(pieces, used, [&](long p, int) {
    for (long j = N * p / pieces; j < N * (p + 1) / pieces; ++j) {
      ix.cell_of[j] = c;
      ix.members[j] = Index(j);
      ix.classed[j] = 0;
    }
  });
}

// Finds the hashes of the columns with a cell, into cell_of and members
// (see build); classed tells which columns have one.
template <typename Index>
inline void column_grid<Index>::hash_columns(int used, long pieces) {
  parallel::run(pieces, used, [&](long p, int) {
    double key[max_grid_rows];
    for (long j = N * p / pieces; j < N * (p + 1) / pieces; ++j) {
      ix.classed[j] = key_of(j, key);
      if (ix.classed[j]) {
        const uint64_t h = cell_hash(key, d);
        ix.cell_of[j] = Index(h >> 32);
        ix.members[j] = Index(uint32_t(h));
      } else {
        ix.members[j] = 0;  // see count_cells_in_shares
      }
    }
  });
}

// Counts the cells into a table that grows until they fit, or is the
// largest (mask == full_mask).
template <typename Index>
inline void column_grid<Index>::fit_table(int used, long pieces, size_t full_mask) {
  for (;;) {
    set_shares(used);
    // A share is told by the low half of a hash while the slots can be
    // counted in 32 bits.
    if (mask == full_mask && shares() > 1 && mask <= UINT32_MAX) {
      if (count_cells_in_shares()) break;
      // A share filled up: the hashes, which that count overwrote, are
      // found anew for count_cells.
      hash_columns(used, pieces);
    }
    const long counted = count_cells(full_mask);
    if (counted == N) break;
    // Enough slots for the cells the columns so far suggest.
    const double expected = double(cell_count) * double(N) / double(counted + 1);
    while (mask < full_mask && double(mask + 1) < 1.5 * expected) mask = 2 * mask + 1;
  }
}

// Finds each column's slot in a table that was not the largest, in place of
// its hash's high half. The slots of the columns a few ahead are fetched
// from memory while a column's slot is found.
template <typename Index>
inline void column_grid<Index>::find_slots(int used, long pieces) {
  constexpr long ahead = 16;
  parallel::run(pieces, used, [&](long p, int) {
    const long first = N * p / pieces, last = N * (p + 1) / pieces;
    for (long j = first; j < last; ++j) {
      if (j + ahead < last && ix.classed[j + ahead])
        __builtin_prefetch(&ix.slot_marks[hash_of(j + ahead) & mask]);
      ix.cell_of[j] = ix.classed[j] ? Index(probe(hash_of(j))) : none;
    }
  });
}

// The first column of each cell is in place; the later ones follow it, in
// column order.
template <typename Index>
inline void column_grid<Index>::place_later_columns() {
  constexpr long ahead = 16;
  for (long j = 0; j < N; ++j) {
    if (j + ahead < N && ix.classed[j + ahead] == later_in_cell)
      __builtin_prefetch(&ix.cells[ix.cell_of[j + ahead]]);
    if (ix.classed[j] != later_in_cell) continue;
    auto& cell = ix.cells[ix.cell_of[j]];
    ix.members[cell.start + cell.size++] = Index(j);
  }
}

// Column j's hash, while build keeps it.
template <typename Index>
inline uint64_t column_grid<Index>::hash_of(long j) const {
  return uint64_t(ix.cell_of[j]) << 32 | uint32_t(ix.members[j]);
}

// A large table is split into shares of equal size, a power of two of
// them and at most one per thread, to be cleared, filled and placed on the
// threads: share p begins at share_start(p). The search for a cell stays
// in the whole table until count_cells_in_shares keeps it in a share.
template <typename Index>
inline void column_grid<Index>::set_shares(int used) {
  share_count = 1;
  if (mask + 1 >= 65536)
    while (2 * share_count <= used) share_count *= 2;
  share_mask = mask;
}
template <typename Index>
inline size_t column_grid<Index>::share_start(long p) const {
  return size_t(p) * ((mask + 1) / size_t(share_count));
}
template <typename Index>
inline long column_grid<Index>::share_of(size_t c) const {
  return long((c * size_t(share_count)) >> __builtin_ctzll(mask + 1));
}

// Takes the cells of the columns into the table's first mask + 1 slots,
// each holding its first column and its size. Returns N, or the column
// at which more than two thirds of the slots would be taken while the
// table may still grow. A table that cannot grow is the last: there each
// column's slot takes the place of its hash's high half at once. A column
// whose hash differs from its cell's first column's in the low half (the
// slot's tag is the high half) sets shared_keys: its cell then holds
// columns of two keys. The columns of each share are counted too, for
// place_cells, and classed tells for each column whether it is the only
// column of its cell, the first of several, or a later one.
//
// This pass takes one thread; a large last table is filled by several
// instead (count_cells_in_shares).
template <typename Index>
inline long column_grid<Index>::count_cells(size_t full_mask) {
  constexpr long ahead = 16;
  const bool last = mask == full_mask;
  clear_slots();
  std::fill(share_columns, share_columns + shares(), 0);
  cell_count = 0;
  shared_keys = false;
  const size_t most = (mask + 1) / 3 * 2;
  for (long j = 0; j < N; ++j) {
    if (j + ahead < N && ix.classed[j + ahead]) {
      const size_t home = hash_of(j + ahead) & mask;
      __builtin_prefetch(&ix.slot_marks[home]);
      __builtin_prefetch(&ix.cells[home]);
    }
    if (!ix.classed[j]) {
      if (last) ix.cell_of[j] = none;
      continue;
    }
    const uint64_t h = hash_of(j);
    const size_t c = probe(h);
    if (ix.slot_marks[c] == 0 && ++cell_count > most && mask < full_mask) return j;
    if (last) ix.cell_of[j] = Index(c);
    ++share_columns[share_of(c)];
    add_to_cell(j, h, c, shared_keys);
  }
  return N;
}

// Puts column j, whose hash is h, in the cell of slot c, taking the slot
// when it is free, and notes in classed how j shares the cell (see
// count_cells). Sets shared when the cell holds columns of two keys.
template <typename Index>
inline void column_grid<Index>::add_to_cell(long j, uint64_t h, size_t c, bool& shared) {
  auto& cell = ix.cells[c];
  if (ix.slot_marks[c] == 0) {
    cell = {uint32_t(h >> 32), Index(j), 0};
    ix.slot_marks[c] = mark_of(h);
    ix.classed[j] = alone_in_cell;
  } else {
    ix.classed[j] = later_in_cell;
    if (cell.size == 1) ix.classed[cell.start] = first_in_cell;
    if (uint32_t(ix.members[cell.start]) != uint32_t(h)) shared = true;
  }
  ++cell.size;
}

// count_cells for the last table, each share filled by a thread of its
// own: a column's cell is searched for only within the share of the slot
// its hash points to, wrapping around at the share's end, so that threads
// never take the same slot. Which columns a share gets is told by their
// hashes' low halves alone, which the count does not change (a column
// without a cell has 0 there and goes to the first share, which sets its
// cell_of to none); so every thread touches only its own columns and
// slots. Each thread reads the hashes of all columns and picks out its
// own, in ascending order, a block at a time; their slots are asked from
// memory a few ahead of their turn.
//
// False when a share has filled up to seven eighths (its cells would then
// be slow to search, and a full share's searches would not end): searches
// then run over the whole table again, and the hashes are overwritten in
// part.
template <typename Index>
inline bool column_grid<Index>::count_cells_in_shares() {
  constexpr long ahead = 16, block = 1024;
  const long S = shares();
  share_mask = (mask + 1) / size_t(S) - 1;
  const size_t room = (share_mask + 1) / 8 * 7;
  size_t cells_in[parallel::max_threads] = {};
  bool shared_in[parallel::max_threads] = {};
  std::atomic<bool> full{false};
  clear_slots();
  parallel::run(S, int(S), [&](long s, int) {
    Index own[block];
    size_t cells = 0;
    Index columns = 0;
    for (long first = 0; first < N && !full.load(std::memory_order_relaxed); first += block) {
      const long last = std::min(N, first + block);
      long n = 0;
      for (long j = first; j < last; ++j) {
        own[n] = Index(j);
        n += share_of(size_t(uint32_t(ix.members[j])) & mask) == s;
      }
      for (long i = 0; i < n; ++i) {
        if (i + ahead < n && ix.classed[own[i + ahead]]) {
          const size_t home = hash_of(own[i + ahead]) & mask;
          __builtin_prefetch(&ix.slot_marks[home]);
          __builtin_prefetch(&ix.cells[home]);
        }
        const long j = long(own[i]);
        if (!ix.classed[j]) {
          ix.cell_of[j] = none;
          continue;
        }
        const uint64_t h = hash_of(j);
        const size_t c = probe(h);
        if (ix.slot_marks[c] == 0 && ++cells > room) {
          full.store(true, std::memory_order_relaxed);
          return;
        }
        ix.cell_of[j] = Index(c);
        ++columns;
        add_to_cell(j, h, c, shared_in[s]);
      }
    }
    cells_in[s] = cells;
    share_columns[s] = columns;
  });
  if (full.load()) {
    share_mask = mask;
    return false;
  }
  cell_count = 0;
  shared_keys = false;
  for (long s = 0; s < S; ++s) {
    cell_count += cells_in[s];
    shared_keys = shared_keys || shared_in[s];
  }
  return true;
}

// Gives each cell its place in members, in the order of the slots, and
// puts its first column there (the slot holds it since count_cells); the
// size then counts the columns put in, one so far. The slots are read,
// and the list written, in order: cells of one column (every cell, for
// distinct columns) need no fetch from memory after this. Each share is
// placed by one thread, after the columns of the shares before it.
template <typename Index>
inline void column_grid<Index>::place_cells() {
  Index before[parallel::max_threads] = {};
  for (long p = 1; p < shares(); ++p) before[p] = before[p - 1] + share_columns[p - 1];
  parallel::run(shares(), int(shares()), [&](long p, int) {
    Index start = before[p];
    for (size_t c = share_start(p); c < share_start(p + 1); ++c) {
      if (ix.slot_marks[c] == 0) continue;
      auto& cell = ix.cells[c];
      ix.members[start] = cell.start;
      cell.start = start;
      start += cell.size;
      cell.size = 1;
    }
  });
}

// Frees the slots in use, each share on a thread of its own.
template <typename Index>
inline void column_grid<Index>::clear_slots() {
  parallel::run(shares(), int(shares()), [&](long p, int) {
    const size_t low = share_start(p), high = share_start(p + 1);
    std::fill(ix.cells + low, ix.cells + high, typename column_index<Index>::cell{0, none, 0});
    std::fill(ix.slot_marks + low, ix.slot_marks + high, 0);
  });
}

}  // namespace
