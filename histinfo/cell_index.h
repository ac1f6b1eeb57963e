// histinfo's index of columns by cell: which rows form the grid, how a
// cell's coordinates are hashed to its slot, and how the cells next to a
// column's own are found. column_grid, declared here, is the index over one
// call's data; its other parts are defined beside what uses them: counting
// and placing the cells in cell_placement.h and lone_columns.h, the rounds
// in serial_rounds.h, grouped_rounds.h and rounds_ahead.h.
//
// Why the classes come out the same, in the same order: the index decides
// only which columns a reference is compared with, never whether they match.
// A computed difference below 1 is below 1 exactly (rounding cannot carry a
// difference of 1 or more below 1), so the floors of matching values are at
// most 1 apart, and floors are exact. The cell of a column is the tuple of
// the floors of its values in the grid rows; every column that matches a
// reference lies in the reference's cell or in a cell next to it, and a
// column whose grid values are not all finite matches nothing and has no
// cell. Each cell lists its columns in ascending order and keeps that order
// as columns leave it, so a round meets its matches as the plain search,
// which compares the reference with every column left, would.
//
// Part of histinfo.cpp's one translation unit, hence the unnamed namespace.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "host/parallel.h"

namespace {

// More grid rows split the columns finer but triple the cells a reference
// visits, 3^rows.
constexpr int max_grid_rows = 3;
// The neighbours of a cell: 3^max_grid_rows - 1.
constexpr int max_neighbours = 26;
// The columns whose neighbours are found at a time.
constexpr long neighbour_batch = 4096;

// The cell coordinate of a value: its floor, with -0 made +0 so that equal
// coordinates have equal bits (cells are found by hashing those bits).
double coordinate(double x) { return std::floor(x) + 0.0; }

// Chooses the grid rows. For each row a sample of columns (evenly spaced,
// about N values in all and 16 to 256 per row) gives the share of column
// pairs whose floors are at most 1 apart: the share of the columns a
// reference would still compare with that row in the grid. Rows are taken
// with the smallest share first (ties: the lower row), as long as the
// comparisons a row saves outweigh the cells it adds to every search (a cell
// visited costs about as much as a comparison). Returns how many were
// chosen; none when no row pays (then all columns share one cell, and the
// search is the plain one).
int choose_grid_rows(const double* data, long M, long N, long rows[max_grid_rows]) {
  constexpr long max_sample = 256;
  constexpr double cell_cost = 1;
  const long sample = std::min(N, std::clamp(N / std::max(M, 1L), 16L, max_sample));
  double values[max_sample];
  double best_share[max_grid_rows];
  int ranked = 0;
  for (long r = 0; r < M; ++r) {
    long n = 0;
    for (long s = 0; s < sample; ++s) {
      const double x = data[(s * N / sample) * M + r];
      if (std::isfinite(x)) values[n++] = coordinate(x);
    }
    if (n == 0) continue;
    std::sort(values, values + n);
    // Pairs within 1 (each value with itself included), by a window sliding
    // over the sorted floors.
    double close = 0;
    for (long i = 0, lo = 0, hi = 0; i < n; ++i) {
      while (values[lo] < values[i] - 1) ++lo;
      while (hi < n && values[hi] <= values[i] + 1) ++hi;
      close += double(hi - lo);
    }
    const double share = close / (double(n) * double(n));
    int place = ranked;
    while (place > 0 && best_share[place - 1] > share) --place;
    if (place == max_grid_rows) continue;
    if (ranked < max_grid_rows) ++ranked;
    for (int t = ranked - 1; t > place; --t) {
      rows[t] = rows[t - 1];
      best_share[t] = best_share[t - 1];
    }
    rows[place] = r;
    best_share[place] = share;
  }
  double compared = double(N);
  double cells = 1;
  int chosen = 0;
  while (chosen < ranked && compared * (1 - best_share[chosen]) > cell_cost * 2 * cells) {
    compared *= best_share[chosen];
    cells *= 3;
    ++chosen;
  }
  return chosen;
}

uint64_t mix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9u;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebu;
  return x ^ (x >> 31);
}

uint64_t cell_hash(const double* key, int d) {
  uint64_t h = 0;
  for (int t = 0; t < d; ++t) {
    uint64_t bits;
    std::memcpy(&bits, &key[t], sizeof bits);
    h = mix(h ^ bits);
  }
  return h;
}

// A taken slot's mark: the top byte of its hash, never 0 (the mark of a
// free slot).
unsigned char mark_of(uint64_t h) {
  const auto top = (unsigned char)(h >> 56);
  return top ? top : 1;
}

// Hash table slots for N columns: a power of two at least 1.5 N, so that at
// most two thirds of the slots are taken and a search ends after a few.
size_t table_size(size_t N) {
  size_t slots = 1;
  while (slots < N + N / 2) slots *= 2;
  return slots;
}

// The working storage of the index of N columns, Index a type that can count
// to table_size(N) (and hold one more value, `none`): two arrays of N Index,
// a table of table_size(N) cells with a mark byte each and N flags, with
// 32-bit indices 28.5 to 48 bytes a column; and the neighbour table of one
// batch, at most 0.4 MB.
//
// The cells are the slots of a hash table. A cell is found by the 64-bit
// hash of its coordinates: the low bits give the first slot to try, the high
// 32 bits are the slot's tag. Two keys alike in both would share a cell; that
// only adds columns to compare, since a column is classed by comparing it,
// never by its cell. So the table holds no keys, and a search reads no data.
//
// Beside the cells, a byte per slot marks it free (0) or gives the top byte
// of its tag: most searches are for cells next to a column's own that do not
// exist, and the marks, a twelfth of the cells' size, answer them from the
// caches where the cells would be fetched from memory.
template <typename Index>
struct column_index {
  struct cell {
    uint32_t tag;
    Index start;  // where its columns begin in members; none in a free slot
    Index size;   // how many of them are still unclassed; they stay in front
  };
  Index* cell_of;             // the cell of each column, or none
  Index* members;             // the columns of each cell, ascending within a cell
  cell* cells;                // table_size(N) slots
  unsigned char* slot_marks;  // per slot: 0 when free, else mark_of its hash
  unsigned char* classed;  // per column: 1 once it belongs to a class
  // For a batch of columns: the cells next to each column's own cell, and
  // how many there are.
  Index* neighbours;               // min(N, neighbour_batch) rows of max_neighbours
  unsigned char* neighbour_count;  // min(N, neighbour_batch)
  static constexpr Index none = std::numeric_limits<Index>::max();
};

template <typename Index>
class grouped_rounds;
template <typename Index>
class speculative_rounds;

// The index over one call's data.
template <typename Index>
class column_grid {
  static constexpr Index none = column_index<Index>::none;

 public:
  column_grid(const double* data, long M, long N, const column_index<Index>& storage)
      : data(data), M(M), N(N), ix(storage), mask(table_size(size_t(N)) - 1), share_mask(mask) {
    d = choose_grid_rows(data, M, N, rows);
  }

  // Counts and places the cells (cell_placement.h).
  void build(int threads);

  // The rounds' steps (serial_rounds.h): the neighbours of a batch of
  // columns, their cells fetched ahead, one round.
  void find_neighbours(long begin, long end, int threads);
  void prefetch_cells(long r, long row) const;
  template <bool skip_classed = false>
  long take_class(long r, long row, int threads);

  // The entropy term by term, by each strategy; the last two false (nothing
  // done) when they cannot be used or would not pay.
  void serial_entropy(double& H, int threads);       // serial_rounds.h
  bool grouped_entropy(double& H, int threads);      // grouped_rounds.h
  bool speculative_entropy(double& H, int threads);  // rounds_ahead.h

 private:
  friend class grouped_rounds<Index>;
  friend class speculative_rounds<Index>;

  // What count_cells notes in classed of each column with a cell, for the
  // rest of the build.
  enum : unsigned char { later_in_cell = 1, first_in_cell = 2, alone_in_cell = 3 };

  // Few cells, each holding a single key: the cells are then classed in
  // groups apart from one another (grouped_entropy) on several threads.
  bool few_cells() const {
    return !shared_keys && cell_count <= (size_t(1) << 16) && cell_count * 64 <= size_t(N);
  }

  // Column r's own cell (it has one) and its neighbours in row `row` of the
  // neighbour table, into found; returns their number.
  int cells_of(long r, long row, Index found[max_neighbours + 1]) const {
    found[0] = ix.cell_of[r];
    const int cells = 1 + ix.neighbour_count[row];
    std::copy_n(ix.neighbours + row * max_neighbours, cells - 1, found + 1);
    return cells;
  }

  // 3^rows - 1: the neighbouring coordinates of a cell.
  int neighbour_keys() const {
    int keys = 1;
    for (int t = 0; t < d; ++t) keys *= 3;
    return keys - 1;
  }

  // The cells next to column r's own that exist, into found; returns their
  // number.
  int find_neighbours_of(long r, Index* found) const {
    // The coordinates next to r's along each grid row: k, k - 1, k + 1, those
    // that differ (beyond 2^53 the neighbours round to k itself, and there
    // matching values are equal).
    double around[max_grid_rows][3];
    int choices[max_grid_rows];
    for (int t = 0; t < d; ++t) {
      const double k = coordinate(data[r * M + rows[t]]);
      around[t][0] = k;
      choices[t] = 1;
      if (k - 1 != k) around[t][choices[t]++] = k - 1;
      if (k + 1 != k) around[t][choices[t]++] = k + 1;
    }
    // Every combination but r's own, their slots fetched from memory all at
    // once before they are searched.
    uint64_t hashes[max_neighbours];
    int n = 0;
    int pick[max_grid_rows] = {};
    for (;;) {
      int t = 0;
      while (t < d && ++pick[t] == choices[t]) pick[t++] = 0;
      if (t == d) break;  // back at r's own coordinates: all visited
      double key[max_grid_rows];
      for (int u = 0; u < d; ++u) key[u] = around[u][pick[u]];
      hashes[n] = cell_hash(key, d);
      __builtin_prefetch(&ix.slot_marks[hashes[n] & mask]);
      ++n;
    }
    // The marks rule most of them out; the cells whose marks match are
    // fetched all at once, then their tags are checked.
    size_t first_match[max_neighbours];
    int cells = 0;
    for (int q = 0; q < n; ++q) {
      const unsigned char mark = mark_of(hashes[q]);
      size_t c = hashes[q] & mask;
      while (ix.slot_marks[c] != 0 && ix.slot_marks[c] != mark) c = next_slot(c);
      if (ix.slot_marks[c] == 0) continue;
      __builtin_prefetch(&ix.cells[c]);
      hashes[cells] = hashes[q];
      first_match[cells++] = c;
    }
    int existing = 0;
    for (int q = 0; q < cells; ++q) {
      const size_t c = probe(hashes[q], first_match[q]);
      if (ix.slot_marks[c] != 0) found[existing++] = Index(c);
    }
    return existing;
  }

  // The coordinates of column j in the grid rows; false when one is not
  // finite.
  bool key_of(long j, double* key) const {
    for (int t = 0; t < d; ++t) {
      const double x = data[j * M + rows[t]];
      if (!std::isfinite(x)) return false;
      key[t] = coordinate(x);
    }
    return true;
  }

  // The slot after c on a search: the next one, wrapping around at the end
  // of c's share (of the whole table while a search is not kept in a share,
  // see set_shares).
  size_t next_slot(size_t c) const { return (c & ~share_mask) | ((c + 1) & share_mask); }

  // The slot of the cell with this hash: the first on its path with its tag,
  // else the free slot that ends the path. Slots are only ever taken, never
  // freed, so a search finds the cell its columns were put in.
  // A search may start further along the path, past slots whose marks
  // differ.
  size_t probe(uint64_t h) const { return probe(h, h & mask); }
  size_t probe(uint64_t h, size_t from) const {
    const uint32_t tag = uint32_t(h >> 32);
    const unsigned char mark = mark_of(h);
    for (size_t c = from;; c = next_slot(c)) {
      const unsigned char seen = ix.slot_marks[c];
      if (seen == 0 || (seen == mark && ix.cells[c].tag == tag)) return c;
    }
  }

  // The steps of build, and the table's shares (cell_placement.h).
  void put_in_one_cell(int used, long pieces);
  void hash_columns(int used, long pieces);
  void fit_table(int used, long pieces, size_t full_mask);
  void find_slots(int used, long pieces);
  void place_later_columns();
  uint64_t hash_of(long j) const;
  void set_shares(int used);
  long shares() const { return share_count; }
  size_t share_start(long p) const;
  long share_of(size_t c) const;
  long count_cells(size_t full_mask);
  void add_to_cell(long j, uint64_t h, size_t c, bool& shared);
  bool count_cells_in_shares();
  void place_cells();
  void clear_slots();

  // Columns that match no other, set apart before the rounds
  // (lone_columns.h).
  struct around;
  void set_apart_lone_columns(int threads);
  void find_around(long r, around& a) const;
  long set_apart(long first, long last, bool apply);

  // A reference's sweep of one cell (serial_rounds.h).
  template <bool skip_classed>
  long sweep(Index c, long r, int threads);

  const double* data;
  long M, N;
  column_index<Index> ix;
  size_t mask;  // the slots in use: mask + 1, a power of two
  size_t share_mask;  // the slots a search stays in: share_mask + 1, see next_slot
  long share_count = 1;  // see set_shares
  size_t cell_count = 0;
  bool shared_keys = false;
  Index share_columns[parallel::max_threads];  // per share of the table: its columns
  long rows[max_grid_rows] = {};
  int d = 0;
};

}  // namespace
