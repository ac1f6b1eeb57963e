// histinfo's index, last step of the build: the columns that surely match
// no other lose their cell. Every column that could match column r lies in
// r's cell or in the cells next to it; when those hold only a few columns,
// comparing them tells. A column that matches none is a class of one at its
// turn, as a column without a cell is, and its round then needs no search.
// These searches are made here at once, on the threads, instead of batch by
// batch in the rounds; that pays where most columns match none (distinct
// columns, thinly spread or on a lattice), which a sample of the columns
// tells.
//
// Why the classes come out the same, in the same order: a column loses its
// cell only when no other column matches it, so its round, whenever it
// comes, forms the class of it alone, and no other round could have taken
// it. The threads only read the index here, and each writes the cell_of of
// its own columns.
//
// Part of histinfo.cpp's one translation unit, hence the unnamed namespace.
#pragma once

#include <algorithm>
#include <cstddef>

#include "histinfo/cell_index.h"
#include "histinfo/classes.h"
#include "host/parallel.h"

namespace {

// Columns with more columns around them are left to the rounds.
constexpr long lone_most_compared = 64;
// The cells around each of a block of columns are found first; then their
// lists, then those columns' data are asked from memory for the whole block
// before any is compared.
constexpr long lone_block = 16;

// The cells whose columns column r compares to tell whether it is lone. A
// column alone in its cell compares the cells next to it only, so its own
// cell is not fetched.
template <typename Index>
struct column_grid<Index>::around {
  Index cells[max_neighbours + 1];
  int count;  // -1 when the column is left to the rounds
};

// Takes the cell away from every column that surely matches no other, see
// above. Must be done before any round, while each cell still holds all of
// its columns and classed still tells the columns alone in their cell.
template <typename Index>
inline void column_grid<Index>::set_apart_lone_columns(int threads) {
  if (d == 0 || N < 1024) return;
  // The sample: evenly spaced blocks, about 256 columns.
  long sampled = 0, lone_in_sample = 0;
  for (long k = 0; k < 16; ++k, sampled += lone_block) {
    const long first = (N - lone_block) * k / 16;
    lone_in_sample += set_apart(first, first + lone_block, false);
  }
  if (2 * lone_in_sample < sampled) return;
  const double lookups = double(N) * double(neighbour_keys());
  const int used = parallel::threads_for(lookups, 8192, N, threads);
  const long pieces = used == 1 ? 1 : 4L * used;
  parallel::run(pieces, used,
                [&](long p, int) { set_apart(N * p / pieces, N * (p + 1) / pieces, true); });
}

// The cells column r compares, into a; count -1 when r has no cell or
// would compare too many columns.
template <typename Index>
inline void column_grid<Index>::find_around(long r, around& a) const {
  a.count = -1;
  const Index own = ix.cell_of[r];
  if (own == none) return;
  const bool alone = ix.classed[r] == alone_in_cell;
  if (!alone && ix.cells[own].size > Index(lone_most_compared)) return;
  a.cells[0] = own;
  const int cells = find_neighbours_of(r, a.cells + 1) + 1;
  size_t columns = 0;
  for (int q = alone; q < cells; ++q) columns += ix.cells[a.cells[q]].size;
  if (columns > size_t(lone_most_compared)) return;
  if (alone) std::copy(a.cells + 1, a.cells + cells, a.cells);
  a.count = cells - alone;
}

// Counts the lone columns of [first, last); with `apply` they lose their
// cell.
template <typename Index>
inline long column_grid<Index>::set_apart(long first, long last, bool apply) {
  around blocks[lone_block];
  long lone = 0;
  for (long b = first; b < last; b += lone_block) {
    const long n = std::min(lone_block, last - b);
    for (long k = 0; k < n; ++k) {
      const long ahead = b + k + lone_block;
      if (ahead < last && ix.cell_of[ahead] != none && ix.classed[ahead] != alone_in_cell)
        __builtin_prefetch(&ix.cells[ix.cell_of[ahead]]);
      find_around(b + k, blocks[k]);
    }
    for (long k = 0; k < n; ++k)
      for (int q = 0; q < blocks[k].count; ++q)
        __builtin_prefetch(&ix.members[ix.cells[blocks[k].cells[q]].start]);
    for (long k = 0; k < n; ++k)
      for (int q = 0; q < blocks[k].count; ++q) {
        const auto& cell = ix.cells[blocks[k].cells[q]];
        for (Index i = 0; i < cell.size; ++i)
          __builtin_prefetch(data + long(ix.members[cell.start + i]) * M);
      }
    for (long k = 0; k < n; ++k) {
      const long r = b + k;
      const double* reference = data + r * M;
      bool matched = blocks[k].count < 0;
      for (int q = 0; q < blocks[k].count && !matched; ++q) {
        const auto& cell = ix.cells[blocks[k].cells[q]];
        const Index* members = ix.members + cell.start;
        for (Index i = 0; i < cell.size && !matched; ++i)
          matched = long(members[i]) != r && confronto(reference, data + long(members[i]) * M, M);
      }
      if (!matched) {
        if (apply) ix.cell_of[r] = none;
        ++lone;
      }
    }
  }
  return lone;
}

}  // namespace
