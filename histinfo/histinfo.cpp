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
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "host/host.h"
#include "host/parallel.h"

namespace {

double xlnx(double x) { return x == 0 ? 0 : x * std::log(x); }

// The term p ln p of a class of `count` of the N columns, p = count / N.
// Most classes are small (every class holds one column when all columns
// differ), so the terms of small counts are kept once formed: the same
// operands, the same bits, without a logarithm per class.
class class_term {
 public:
  explicit class_term(long N) : N(N) { std::fill(kept, kept + small, 1.0); }
  double operator()(long count) {
    if (count >= small) return xlnx(double(count) / double(N));
    double& term = kept[count];
    if (term > 0) term = xlnx(double(count) / double(N));  // positive: not formed yet
    return term;
  }

 private:
  static constexpr long small = 64;
  long N;
  double kept[small];
};

// True when a and b differ by less than 1 in every element: their difference
// truncated toward zero to a 32-bit integer is 0. A NaN difference, or one
// whose magnitude reaches 2^31 (which truncation could not represent),
// differs. The truncated differences add up to 0 exactly when each of them
// is 0, so the first element that differs decides.
bool confronto(const double* a, const double* b, long n) {
  for (long i = 0; i < n; ++i)
    if (!(std::fabs(a[i] - b[i]) < 1.0)) return false;
  return true;
}

// ---- the index of columns by cell -----------------------------------------
//
// A computed difference below 1 is below 1 exactly (rounding cannot carry a
// difference of 1 or more below 1), so the floors of matching values are at
// most 1 apart, and floors are exact. The cell of a column is the tuple of
// the floors of its values in the grid rows; a column whose grid values are
// not all finite matches nothing and has no cell.

// More grid rows split the columns finer but triple the cells a reference
// visits, 3^rows.
constexpr int max_grid_rows = 3;

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
// cell was not yet tidied, see speculative_entropy) are dropped too.
template <bool fetch_ahead, bool skip_classed = false, typename Index>
long sweep_columns(const double* data, long M, long r, Index* members, long n,
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

// The neighbours of a cell: 3^max_grid_rows - 1.
constexpr int max_neighbours = 26;
// The columns whose neighbours are found at a time.
constexpr long neighbour_batch = 4096;

// The index over one call's data.
template <typename Index>
class column_grid {
  static constexpr Index none = column_index<Index>::none;

 public:
  column_grid(const double* data, long M, long N, const column_index<Index>& storage)
      : data(data), M(M), N(N), ix(storage), mask(table_size(size_t(N)) - 1), share_mask(mask) {
    d = choose_grid_rows(data, M, N, rows);
  }

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
  void build(int threads) {
    // The slots of the columns a few ahead are fetched from memory while a
    // column is put in its cell.
    constexpr long ahead = 16;
    const int used = parallel::threads_for(double(N), 32768, N, threads);
    const long pieces = used == 1 ? 1 : 4L * used;
    const size_t full_mask = table_size(size_t(N)) - 1;
    mask = std::min<size_t>(full_mask, 4095);
    if (d == 0) {
      // Without grid rows, every column is in the one cell of no coordinates.
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
      return;
    }
    auto hash_columns = [&] {
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
    };
    hash_columns();
    for (;;) {
      set_shares(used);
      // A share is told by the low half of a hash while the slots can be
      // counted in 32 bits.
      if (mask == full_mask && shares() > 1 && mask <= UINT32_MAX) {
        if (count_cells_in_shares()) break;
        // A share filled up: the hashes, which that count overwrote, are
        // found anew for count_cells.
        hash_columns();
      }
      const long counted = count_cells(full_mask);
      if (counted == N) break;
      // Enough slots for the cells the columns so far suggest.
      const double expected = double(cell_count) * double(N) / double(counted + 1);
      while (mask < full_mask && double(mask + 1) < 1.5 * expected) mask = 2 * mask + 1;
    }
    // A table that could not grow has its slots found already.
    if (mask < full_mask) parallel::run(pieces, used, [&](long p, int) {
      const long first = N * p / pieces, last = N * (p + 1) / pieces;
      for (long j = first; j < last; ++j) {
        if (j + ahead < last && ix.classed[j + ahead])
          __builtin_prefetch(&ix.slot_marks[hash_of(j + ahead) & mask]);
        ix.cell_of[j] = ix.classed[j] ? Index(probe(hash_of(j))) : none;
      }
    });
    place_cells();
    // The first column of each cell is in place; the later ones follow it.
    for (long j = 0; j < N; ++j) {
      if (j + ahead < N && ix.classed[j + ahead] == later_in_cell)
        __builtin_prefetch(&ix.cells[ix.cell_of[j + ahead]]);
      if (ix.classed[j] != later_in_cell) continue;
      auto& cell = ix.cells[ix.cell_of[j]];
      ix.members[cell.start + cell.size++] = Index(j);
    }
    // With few cells the columns are classed by groups of cells instead.
    if (!few_cells()) set_apart_lone_columns(threads);
    std::fill(ix.classed, ix.classed + N, 0);
  }

  // Finds, for every column r in [begin, end) that is unclassed and has a
  // cell, the cells next to its own that exist, into r's row of the
  // neighbour table. The cells never change once built, only the columns
  // they still hold, so this can be done ahead of the rounds, for a batch of
  // columns at a time, on several threads.
  void find_neighbours(long begin, long end, int threads) {
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
  void prefetch_cells(long r, long row) const {
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
  template <bool skip_classed = false>
  long take_class(long r, long row, int threads) {
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

  // The entropy term by term, as Entropy's rounds, for `threads` > 1: the
  // rounds are guessed ahead in batches, see below. False (nothing done)
  // when the storage for the guesses cannot be had.
  bool speculative_entropy(double& H, int threads);

  // The entropy for `threads` > 1 when the cells fall into groups apart
  // from one another, each classed by one thread, see below. False (nothing
  // done) when there are too many cells, or no way to split them that pays.
  bool grouped_entropy(double& H, int threads);

 private:
  // What count_cells notes in classed of each column with a cell, for the
  // rest of the build.
  enum : unsigned char { later_in_cell = 1, first_in_cell = 2, alone_in_cell = 3 };

  // Few cells, each holding a single key: the cells are then classed in
  // groups apart from one another (grouped_entropy) on several threads.
  bool few_cells() const {
    return !shared_keys && cell_count <= (size_t(1) << 16) && cell_count * 64 <= size_t(N);
  }

  // Takes the cell away from every column that surely matches no other.
  // Every column that could match column r lies in r's cell or in the cells
  // next to it; when those hold only a few columns, comparing them tells.
  // A column that matches none is a class of one at its turn, as a column
  // without a cell is, and its round then needs no search. These searches
  // are made here at once, on the threads, instead of batch by batch in the
  // rounds; that pays where most columns match none (distinct columns, thinly
  // spread or on a lattice), which a sample of the columns tells. Must be
  // done before any round, while each cell still holds all of its columns
  // and classed still tells the columns alone in their cell.
  void set_apart_lone_columns(int threads) {
    if (d == 0 || N < 1024) return;
    // Columns with more columns around them are left to the rounds.
    constexpr Index most_compared = 64;
    // The cells around each of a block of columns, found first; then their
    // lists, then those columns' data are asked from memory for the whole
    // block before any is compared.
    constexpr long block = 16;
    // A column alone in its cell compares the cells next to it only, so
    // its own cell is not fetched.
    struct around {
      Index cells[max_neighbours + 1];
      int count;  // -1 when the column is left to the rounds
    };
    auto find_around = [&](long r, around& a) {
      a.count = -1;
      const Index own = ix.cell_of[r];
      if (own == none) return;
      const bool alone = ix.classed[r] == alone_in_cell;
      if (!alone && ix.cells[own].size > most_compared) return;
      a.cells[0] = own;
      const int cells = find_neighbours_of(r, a.cells + 1) + 1;
      size_t columns = 0;
      for (int q = alone; q < cells; ++q) columns += ix.cells[a.cells[q]].size;
      if (columns > most_compared) return;
      if (alone) std::copy(a.cells + 1, a.cells + cells, a.cells);
      a.count = cells - alone;
    };
    // Counts the lone columns of [first, last); with `apply` they lose their
    // cell.
    auto set_apart = [&](long first, long last, bool apply) {
      around blocks[block];
      long lone = 0;
      for (long b = first; b < last; b += block) {
        const long n = std::min(block, last - b);
        for (long k = 0; k < n; ++k) {
          const long ahead = b + k + block;
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
              matched = long(members[i]) != r &&
                        confronto(reference, data + long(members[i]) * M, M);
          }
          if (!matched) {
            if (apply) ix.cell_of[r] = none;
            ++lone;
          }
        }
      }
      return lone;
    };
    // The sample: evenly spaced blocks, about 256 columns.
    long sampled = 0, lone_in_sample = 0;
    for (long k = 0; k < 16; ++k, sampled += block) {
      const long first = (N - block) * k / 16;
      lone_in_sample += set_apart(first, first + block, false);
    }
    if (2 * lone_in_sample < sampled) return;
    const double lookups = double(N) * double(neighbour_keys());
    const int used = parallel::threads_for(lookups, 8192, N, threads);
    const long pieces = used == 1 ? 1 : 4L * used;
    parallel::run(pieces, used,
                  [&](long p, int) { set_apart(N * p / pieces, N * (p + 1) / pieces, true); });
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

  // Column j's hash, while build keeps it.
  uint64_t hash_of(long j) const {
    return uint64_t(ix.cell_of[j]) << 32 | uint32_t(ix.members[j]);
  }

  // A large table is split into shares of equal size, a power of two of
  // them and at most one per thread, to be cleared, filled and placed on the
  // threads: share p begins at share_start(p). The search for a cell stays
  // in the whole table until count_cells_in_shares keeps it in a share.
  void set_shares(int used) {
    share_count = 1;
    if (mask + 1 >= 65536)
      while (2 * share_count <= used) share_count *= 2;
    share_mask = mask;
  }
  long shares() const { return share_count; }
  size_t share_start(long p) const { return size_t(p) * ((mask + 1) / size_t(share_count)); }
  long share_of(size_t c) const {
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
  long count_cells(size_t full_mask) {
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
  void add_to_cell(long j, uint64_t h, size_t c, bool& shared) {
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
  bool count_cells_in_shares() {
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

  // The slot after c on a search: the next one, wrapping around at the end
  // of c's share (of the whole table while a search is not kept in a share).
  size_t next_slot(size_t c) const { return (c & ~share_mask) | ((c + 1) & share_mask); }

  // Gives each cell its place in members, in the order of the slots, and
  // puts its first column there (the slot holds it since count_cells); the
  // size then counts the columns put in, one so far. The slots are read,
  // and the list written, in order: cells of one column (every cell, for
  // distinct columns) need no fetch from memory after this. Each share is
  // placed by one thread, after the columns of the shares before it.
  void place_cells() {
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

  // Frees the slots in use, each share on a thread of its own.
  void clear_slots() {
    parallel::run(shares(), int(shares()), [&](long p, int) {
      const size_t low = share_start(p), high = share_start(p + 1);
      std::fill(ix.cells + low, ix.cells + high, typename column_index<Index>::cell{0, none, 0});
      std::fill(ix.slot_marks + low, ix.slot_marks + high, 0);
    });
  }

  // Classes the unclassed columns of cell c that match reference r, drops
  // them and r from the cell, keeps the others in their order, and returns
  // how many matched. Large cells are split into pieces compared on several
  // threads; each piece keeps its columns in order in its own place, and the
  // pieces are then joined in order.
  template <bool skip_classed>
  long sweep(Index c, long r, int threads) {
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

// ---- groups of cells apart from one another, on several threads -----------
//
// A reference compares only the columns of its own cell and of the cells
// next to it, so the cells fall into groups (joined by being next to one
// another) whose rounds never touch each other's columns. The rounds of the
// whole calculation whose reference lies in one group are that group's
// rounds on its own, in the same order, and each finds the same class: the
// reference is the first column of the group still unclassed, since no
// other group's round classes any of its columns. So each group is classed
// by one thread, and the terms are then added in the order of their
// references, as the rounds would have added them.
//
// The cells next to a cell are found from its first column's coordinates,
// which are every column's of the cell unless the cell holds two keys (see
// count_cells); then the rounds are left to speculative_entropy. Finding the
// groups pays with few cells only (a sixty-fourth of the columns at most,
// and 2^16), and classing them apart only when no group holds more than
// half of the columns.
//
// Within a group, the next reference is the smallest first column of its
// cells: a heap of the group's cells keyed by their first columns gives it.
// A cell's first column only ever moves on, so an entry whose key is behind
// its cell's first column is put back with the new key when it comes up.
//
// The class size of each round is kept in its reference's entry of cell_of
// (no longer needed then), and the reference is marked 2 in classed.
template <typename Index>
bool column_grid<Index>::grouped_entropy(double& H, int threads) {
  if (!few_cells()) return false;
  const size_t C = cell_count;
  std::vector<Index> slots;            // the cells' slots, ascending
  std::vector<uint32_t> parent, group;  // per cell: its union-find parent, its group
  std::vector<size_t> group_start;     // per group: where its cells begin in by_group
  std::vector<Index> by_group;         // slots, by group
  std::vector<size_t> columns, order;  // per group: its columns; groups, largest first
  std::vector<std::pair<Index, Index>> heaps;  // (first column, slot), by group
  try {
    slots.reserve(C);
    parent.resize(C);
    group.resize(C);
    by_group.resize(C);
    heaps.resize(C);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (size_t c = 0; c <= mask; ++c)
    if (ix.cells[c].start != none) slots.push_back(Index(c));
  auto cell_number = [&](Index slot) {
    return size_t(std::lower_bound(slots.begin(), slots.end(), slot) - slots.begin());
  };
  auto root = [&](uint32_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  for (size_t i = 0; i < C; ++i) parent[i] = uint32_t(i);
  for (size_t i = 0; i < C; ++i) {
    Index found[max_neighbours];
    const int n = find_neighbours_of(long(ix.members[ix.cells[slots[i]].start]), found);
    for (int q = 0; q < n; ++q) {
      const uint32_t a = root(uint32_t(i)), b = root(uint32_t(cell_number(found[q])));
      if (a != b) parent[std::max(a, b)] = std::min(a, b);
    }
  }
  size_t groups = 0, total = 0;
  try {
    for (size_t i = 0; i < C; ++i) {
      const uint32_t r = root(uint32_t(i));
      if (r == i) {
        group[i] = uint32_t(groups++);
        columns.push_back(0);
      } else {
        group[i] = group[r];  // r < i: numbered already
      }
      columns[group[i]] += size_t(ix.cells[slots[i]].size);
      total += size_t(ix.cells[slots[i]].size);
    }
    if (groups < 2 || 2 * *std::max_element(columns.begin(), columns.end()) > total) return false;
    group_start.assign(groups + 1, 0);
    for (size_t i = 0; i < C; ++i) ++group_start[group[i] + 1];
    for (size_t g = 0; g < groups; ++g) group_start[g + 1] += group_start[g];
    std::vector<size_t> fill(group_start.begin(), group_start.end() - 1);
    for (size_t i = 0; i < C; ++i) by_group[fill[group[i]]++] = slots[i];
    order.resize(groups);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (size_t g = 0; g < groups; ++g) order[g] = g;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return columns[a] > columns[b]; });

  // Classes group order[t] on worker's row of the neighbour table.
  auto class_group = [&](long t, int worker) {
    const size_t g = order[size_t(t)];
    const auto heap = heaps.begin() + long(group_start[g]);
    long entries = long(group_start[g + 1] - group_start[g]);
    auto first_column = [&](Index c) { return ix.members[ix.cells[c].start]; };
    for (long e = 0; e < entries; ++e) {
      const Index c = by_group[group_start[g] + size_t(e)];
      heap[e] = {first_column(c), c};
    }
    const auto later = std::greater<std::pair<Index, Index>>();
    std::make_heap(heap, heap + entries, later);
    Index* row = ix.neighbours + long(worker) * max_neighbours;
    while (entries > 0) {
      std::pop_heap(heap, heap + entries, later);
      const auto [key, c] = heap[entries - 1];
      if (ix.cells[c].size == 0) {
        --entries;
        continue;
      }
      if (first_column(c) != key) {
        heap[entries - 1].first = first_column(c);
        std::push_heap(heap, heap + entries, later);
        continue;
      }
      const long r = long(key);
      ix.neighbour_count[worker] = (unsigned char)find_neighbours_of(r, row);
      const Index count = Index(take_class(r, worker, 1));
      ix.classed[r] = 2;
      ix.cell_of[r] = count;
      std::push_heap(heap, heap + entries, later);  // its key is behind now, or its cell empty
    }
  };
  parallel::run(long(groups), parallel::threads_for(double(total), 8192, long(groups), threads),
                class_group);

  class_term term(N);
  for (long j = 0; j < N; ++j) {
    // Every column with a cell is classed now; one without is a class of one.
    if (ix.classed[j] == 2)
      H = H - term(long(ix.cell_of[j]));
    else if (ix.classed[j] == 0)
      H = H - term(1);
  }
  return true;
}

// ---- rounds guessed ahead on several threads ------------------------------
//
// The rounds are serial by nature: a round's reference is the first column
// left by the rounds before it. But the next few columns left are likely
// references too, and whether one is can be told afterwards. So a batch of
// the next K unclassed columns (the candidates) is taken at a time; on the
// threads, each candidate's matches among the unclassed columns are found,
// with nothing written but the candidate's own list. Then, on the calling
// thread and in column order, a candidate that an earlier one of the batch
// has meanwhile classed is dropped (a round would never have taken it as a
// reference); any other is the next reference, and its class is its matches
// that are still unclassed. That is the class its round would have found:
// matching never changes, and the unclassed columns only become fewer.
//
// The cells then still list the columns just classed; those cells are tidied
// (on threads, each cell by one of them) before the next batch.
//
// K adapts: it doubles while at most a quarter of the candidates are
// dropped, and halves when more than half are (a few large classes near one
// another). A candidate also compares the columns of the classes of those
// before it in its batch, which its round would not; so K is kept to an
// eighth of the columns left over the class size of the last batch. When
// one round compares enough columns to be split over the threads by itself
// (sweep), or a batch would be too small to pay for starting threads, the
// rounds are made one by one instead, as when there is one thread.
//
// A candidate whose list of matches would overflow the room kept for them
// has its round made anew when it is a reference.

// A candidate's matches, found ahead of its round.
struct guess {
  size_t first, last;      // its matches: [first, last) of its worker's list
  uint32_t matched_cells;  // bit q: cell q of cells_of held matches
  int worker;              // whose list; -1 when the list had no room left
  long work;               // columns compared and cells visited
  bool alone;              // the only column of its cell, which has no neighbours
};

template <typename Index>
bool column_grid<Index>::speculative_entropy(double& H, int threads) {
  // Batches up to the rows of the neighbour table (and N); room for N
  // matches in all, at most 2^20, shared by the threads.
  const long max_batch = std::min(N, neighbour_batch);
  const size_t all_room = std::min(size_t(N), size_t(1) << 20);
  // Work as comparisons (a cell visited or looked up counts as one): a
  // thread pays for its start with a few thousand, and a round of this much
  // is split over the threads by itself.
  constexpr double batch_grain = 8192;
  constexpr double tidy_grain = 4096;
  constexpr double split_round = 2 * 65536;
  const size_t room = std::max<size_t>(all_room / size_t(threads), 4096);
  std::vector<Index> candidates;
  std::vector<Index> lone_before;  // per candidate: columns without a cell just before it
  std::vector<guess> guesses;
  // Left uninitialised: only the room a batch fills is ever read, and
  // pages never filled are never fetched.
  std::vector<std::unique_ptr<Index[]>> matches;
  std::vector<size_t> filled;
  // The cells to tidy after a batch. A cell listed again is only tidied
  // again in vain; the last cell listed in each of the `recent` places
  // (chosen by the low bits of its slot) keeps most repeats off the list.
  std::vector<Index> touched;
  constexpr size_t recent_places = 4096;
  Index recent[recent_places];
  try {
    candidates.resize(max_batch);
    lone_before.resize(max_batch);
    guesses.resize(max_batch);
    matches.resize(size_t(threads));
    for (auto& list : matches) list.reset(new Index[room]);
    filled.resize(size_t(threads));
    touched.reserve(size_t(max_batch) * (max_neighbours + 1));
  } catch (const std::bad_alloc&) {
    return false;
  }

  // The cells next to column c (with a cell) into row k of the table; their
  // columns and the cells looked up, as work.
  auto neighbourhood = [&](long c, long k) {
    ix.neighbour_count[k] =
        (unsigned char)find_neighbours_of(c, ix.neighbours + k * max_neighbours);
    Index found[max_neighbours + 1];
    const int cells = cells_of(c, k, found);
    long work = neighbour_keys() + cells;
    for (int q = 0; q < cells; ++q) work += long(ix.cells[found[q]].size);
    return work;
  };

  // Finds the matches of candidates [k0, k1) (each with a cell) into
  // worker's list.
  auto guess_classes = [&](long k0, long k1, int worker) {
    for (long k = k0; k < k1; ++k)
      ix.neighbour_count[k] =
          (unsigned char)find_neighbours_of(candidates[k], ix.neighbours + k * max_neighbours);
    Index* list = matches[worker].get();
    size_t& fill = filled[worker];
    constexpr long ahead = 12;
    for (long k = k0; k < k1; ++k) {
      const long c = long(candidates[k]);
      guess g{fill, fill, 0, worker, 1, false};
      if (k + 1 < k1) prefetch_cells(long(candidates[k + 1]), k + 1);
      Index found[max_neighbours + 1];
      const int cells = cells_of(c, k, found);
      for (int q = 0; q < cells; ++q) __builtin_prefetch(&ix.members[ix.cells[found[q]].start]);
      g.work = neighbour_keys() + cells;
      g.alone = cells == 1 && ix.cells[found[0]].size == 1;
      const double* reference = data + c * M;
      for (int q = 0; q < cells && g.worker >= 0; ++q) {
        const Index* members = ix.members + ix.cells[found[q]].start;
        const long n = long(ix.cells[found[q]].size);
        g.work += n;
        const size_t before = fill;
        for (long i = 0; i < n; ++i) {
          if (d > 0 && i + ahead < n) __builtin_prefetch(data + long(members[i + ahead]) * M);
          const Index j = members[i];
          if (long(j) == c || !confronto(reference, data + long(j) * M, M)) continue;
          if (fill == room) {
            g.worker = -1;  // found again in its round, if it has one
            break;
          }
          list[fill++] = j;
        }
        if (fill > before) g.matched_cells |= uint32_t(1) << q;
      }
      if (g.worker < 0) fill = g.first;
      g.last = fill;
      guesses[k] = g;
    }
  };

  auto touch = [&](Index c) {
    Index& place = recent[size_t(c) % recent_places];
    if (place == c) return;
    place = c;
    touched.push_back(c);
  };

  // Drops the classed columns from the list of cell c.
  auto tidy = [&](Index c) {
    Index* members = ix.members + ix.cells[c].start;
    const long n = long(ix.cells[c].size);
    long kept = 0;
    for (long i = 0; i < n; ++i)
      if (!ix.classed[members[i]]) members[kept++] = members[i];
    ix.cells[c].size = Index(kept);
  };

  long left = N;  // columns not yet classed
  class_term term(N);
  auto add_class = [&](long count) {
    H = H - term(count);
    left -= count;
  };

  long next = 0;        // no unclassed column before it
  long K = 2;           // candidates in the next batch
  double work = 0;      // per candidate in the last batch
  double class_size = 1;  // per class in the last batch
  for (;;) {
    while (next < N && ix.classed[next]) ++next;
    if (next == N) break;
    if (work >= split_round) {
      // One round at a time, its sweeps split over the threads.
      const long r = next;
      if (ix.cell_of[r] != none) work = double(neighbourhood(r, 0));
      add_class(take_class(r, 0, threads));
      continue;
    }
    // A candidate compares the classes of those before it in its batch
    // too, as they were not yet taken: about a sixteenth more at most.
    const long most = std::min(K, std::max(2L, long(double(left) / (8 * class_size))));
    // A column without a cell is no candidate: it is a class of one, added
    // in its place among the candidates' classes (and marked classed at
    // once, since no round can take it). So batches are not spent on them.
    long batch = 0, lone = 0, all_lone = 0;
    for (long c = next; c < N && batch < most; ++c) {
      if (ix.classed[c]) continue;
      if (ix.cell_of[c] == none) {
        ix.classed[c] = 1;
        ++lone;
        ++all_lone;
      } else {
        lone_before[batch] = Index(lone);
        candidates[batch++] = Index(c);
        lone = 0;
      }
    }
    auto add_lone = [&](long count) {
      for (long i = 0; i < count; ++i) add_class(1);
    };
    if (batch == 0) {
      add_lone(lone);
      continue;
    }
    const long left_before = left;
    long taken = 0, dropped = 0;
    const int used = parallel::threads_for(double(batch) * work, batch_grain, batch, threads);
    if (used == 1) {
      // Rounds one by one: nothing is guessed in vain.
      double total = 0;
      for (long k = 0; k < batch; ++k) {
        add_lone(lone_before[k]);
        const long r = long(candidates[k]);
        if (ix.classed[r]) {
          ++dropped;
          continue;
        }
        ++taken;
        total += double(neighbourhood(r, k));
        add_class(take_class(r, k, threads));  // a very large cell still split
      }
      work = total / double(taken);
    } else {
      std::fill(filled.begin(), filled.begin() + used, size_t(0));
      const long pieces = std::min<long>(batch, 8L * used);
      parallel::run(pieces, used, [&](long p, int worker) {
        guess_classes(batch * p / pieces, batch * (p + 1) / pieces, worker);
      });
      // The classes in order; the cells that lost columns, to be tidied.
      touched.clear();
      std::fill(recent, recent + recent_places, none);
      double total = 0, lost = 0;
      bool full = false;
      for (long k = 0; k < batch; ++k) {
        add_lone(lone_before[k]);
        const long c = long(candidates[k]);
        const guess& g = guesses[k];
        total += double(g.work);
        if (ix.classed[c]) {
          ++dropped;
          continue;
        }
        ++taken;
        if (g.worker < 0) {
          full = true;
          add_class(take_class<true>(c, k, threads));
          continue;
        }
        ix.classed[c] = 1;
        long count = 1;
        const Index* list = matches[g.worker].get();
        for (size_t i = g.first; i < g.last; ++i) {
          if (i + 16 < g.last) __builtin_prefetch(&ix.classed[list[i + 16]]);
          if (!ix.classed[list[i]]) {
            ix.classed[list[i]] = 1;
            ++count;
          }
        }
        add_class(count);
        lost += double(count);
        // A cell that no other cell neighbours, left with no column, is
        // never visited again.
        if (g.alone) continue;
        Index found[max_neighbours + 1];
        const int cells = cells_of(c, k, found);
        touch(found[0]);
        for (int q = 1; q < cells; ++q)
          if (g.matched_cells >> q & 1) touch(found[q]);
      }
      // Each cell tidied by one thread: thread p tidies the cells in its
      // share of the table.
      const long shares = 2L * used;
      const int tidying = parallel::threads_for(4 * double(touched.size()) + lost, tidy_grain,
                                                shares, threads);
      const size_t slots = mask + 1;
      if (tidying == 1) {
        for (const Index c : touched) tidy(c);
      } else {
        parallel::run(shares, tidying, [&](long p, int) {
          const size_t low = slots / size_t(shares) * size_t(p);
          const size_t high = p + 1 == shares ? slots : slots / size_t(shares) * size_t(p + 1);
          for (const Index c : touched)
            if (size_t(c) >= low && size_t(c) < high) tidy(c);
        });
      }
      work = total / double(batch);
      if (full) K = std::max(2L, K / 2);
    }
    add_lone(lone);  // those after the last candidate
    class_size = double(left_before - left - all_lone) / double(taken);
    if (4 * dropped <= batch)
      K = std::min(max_batch, 2 * K);
    else if (2 * dropped > batch)
      K = std::max(2L, K / 2);
  }
  return true;
}

// Writes the entropy of the columns of the M x N column-major data to
// result, using up to `threads` threads. The references are taken in
// ascending column order, as the first column left in each round, and the
// terms are added in that order.
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
  // The batches start small and double: when a few references class most
  // columns, few neighbour searches are made for columns classed meanwhile.
  class_term term(N);
  for (long begin = 0, end; begin < N; begin = end) {
    end = std::min(N, begin + std::clamp(begin, 64L, neighbour_batch));
    grid.find_neighbours(begin, end, threads);
    for (long r = begin; r < end; ++r) {
      if (storage.classed[r]) continue;
      if (r + 1 < end && !storage.classed[r + 1]) grid.prefetch_cells(r + 1, r + 1 - begin);
      const long count = grid.take_class(r, r - begin, threads);
      H = H - term(count);
    }
  }
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
