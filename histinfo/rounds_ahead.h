// histinfo's rounds guessed ahead on several threads.
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
// that are still unclassed. Why that is the class its round would have
// found, in the same order: matching never changes, and the unclassed
// columns only become fewer; the references are settled, and their terms
// added, in column order.
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
//
// Part of histinfo.cpp's one translation unit, hence the unnamed namespace.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "histinfo/cell_index.h"
#include "histinfo/classes.h"
#include "host/parallel.h"

namespace {

// A candidate's matches, found ahead of its round.
struct guess {
  size_t first, last;      // its matches: [first, last) of its worker's list
  uint32_t matched_cells;  // bit q: cell q of cells_of held matches
  int worker;              // whose list; -1 when the list had no room left
  long work;               // columns compared and cells visited
  bool alone;              // the only column of its cell, which has no neighbours
};

// The rounds of one call, guessed ahead.
template <typename Index>
class speculative_rounds {
 public:
  speculative_rounds(column_grid<Index>& grid, double& H, int threads)
      : grid(grid), ix(grid.ix), data(grid.data), M(grid.M), N(grid.N), threads(threads),
        max_batch(std::min(N, neighbour_batch)),
        room(std::max<size_t>(std::min(size_t(N), size_t(1) << 20) / size_t(threads), 4096)),
        H(H), left(N), term(N) {}

  // False when the storage for the guesses cannot be had.
  bool allocate() {
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
    return true;
  }

  // Every round, batch by batch.
  void run() {
    for (;;) {
      while (next < N && ix.classed[next]) ++next;
      if (next == N) break;
      if (work >= split_round) {
        // One round at a time, its sweeps split over the threads.
        const long r = next;
        if (ix.cell_of[r] != none) work = double(neighbourhood(r, 0));
        add_class(grid.take_class(r, 0, threads));
        continue;
      }
      long lone, all_lone;
      const long batch = take_candidates(lone, all_lone);
      if (batch == 0) {
        add_lone(lone);
        continue;
      }
      const long left_before = left;
      long taken = 0, dropped = 0;
      const int used = parallel::threads_for(double(batch) * work, batch_grain, batch, threads);
      if (used == 1)
        rounds_one_by_one(batch, taken, dropped);
      else
        rounds_guessed(batch, used, taken, dropped);
      add_lone(lone);  // those after the last candidate
      class_size = double(left_before - left - all_lone) / double(taken);
      if (4 * dropped <= batch)
        K = std::min(max_batch, 2 * K);
      else if (2 * dropped > batch)
        K = std::max(2L, K / 2);
    }
  }

 private:
  static constexpr Index none = column_index<Index>::none;
  // Work as comparisons (a cell visited or looked up counts as one): a
  // thread pays for its start with a few thousand, and a round of this much
  // is split over the threads by itself.
  static constexpr double batch_grain = 8192;
  static constexpr double tidy_grain = 4096;
  static constexpr double split_round = 2 * 65536;
  static constexpr size_t recent_places = 4096;

  void add_class(long count) {
    H = H - term(count);
    left -= count;
  }
  void add_lone(long count) {
    for (long i = 0; i < count; ++i) add_class(1);
  }

  // The cells next to column c (with a cell) into row k of the table; their
  // columns and the cells looked up, as work.
  long neighbourhood(long c, long k) {
    ix.neighbour_count[k] =
        (unsigned char)grid.find_neighbours_of(c, ix.neighbours + k * max_neighbours);
    Index found[max_neighbours + 1];
    const int cells = grid.cells_of(c, k, found);
    long work = grid.neighbour_keys() + cells;
    for (int q = 0; q < cells; ++q) work += long(ix.cells[found[q]].size);
    return work;
  }

  // Takes the candidates of the next batch from the unclassed columns;
  // returns how many. A column without a cell is no candidate: it is a
  // class of one, added in its place among the candidates' classes (and
  // marked classed at once, since no round can take it). So batches are
  // not spent on them. lone is set to those after the last candidate,
  // all_lone to all of them.
  long take_candidates(long& lone, long& all_lone) {
    // A candidate compares the classes of those before it in its batch
    // too, as they were not yet taken: about a sixteenth more at most.
    const long most = std::min(K, std::max(2L, long(double(left) / (8 * class_size))));
    long batch = 0;
    lone = 0;
    all_lone = 0;
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
    return batch;
  }

  // The batch's rounds one by one: nothing is guessed in vain.
  void rounds_one_by_one(long batch, long& taken, long& dropped) {
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
      add_class(grid.take_class(r, k, threads));  // a very large cell still split
    }
    work = total / double(taken);
  }

  // The batch's rounds guessed on `used` threads, then settled in order.
  void rounds_guessed(long batch, int used, long& taken, long& dropped) {
    std::fill(filled.begin(), filled.begin() + used, size_t(0));
    const long pieces = std::min<long>(batch, 8L * used);
    parallel::run(pieces, used, [&](long p, int worker) {
      guess_classes(batch * p / pieces, batch * (p + 1) / pieces, worker);
    });
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
        add_class(grid.template take_class<true>(c, k, threads));
        continue;
      }
      lost += double(settle(c, k, g));
    }
    tidy_touched(used, lost);
    work = total / double(batch);
    if (full) K = std::max(2L, K / 2);
  }

  // Finds the matches of candidates [k0, k1) (each with a cell) into
  // worker's list.
  void guess_classes(long k0, long k1, int worker) {
    for (long k = k0; k < k1; ++k)
      ix.neighbour_count[k] = (unsigned char)grid.find_neighbours_of(
          candidates[k], ix.neighbours + k * max_neighbours);
    Index* list = matches[worker].get();
    // A copy of its own: the workers' places lie side by side, and written
    // at every match they would share a cache line between the threads.
    size_t fill = filled[worker];
    constexpr long ahead = 12;
    for (long k = k0; k < k1; ++k) {
      const long c = long(candidates[k]);
      guess g{fill, fill, 0, worker, 1, false};
      if (k + 1 < k1) grid.prefetch_cells(long(candidates[k + 1]), k + 1);
      Index found[max_neighbours + 1];
      const int cells = grid.cells_of(c, k, found);
      for (int q = 0; q < cells; ++q) __builtin_prefetch(&ix.members[ix.cells[found[q]].start]);
      g.work = grid.neighbour_keys() + cells;
      g.alone = cells == 1 && ix.cells[found[0]].size == 1;
      const double* reference = data + c * M;
      for (int q = 0; q < cells && g.worker >= 0; ++q) {
        const Index* members = ix.members + ix.cells[found[q]].start;
        const long n = long(ix.cells[found[q]].size);
        g.work += n;
        const size_t before = fill;
        for (long i = 0; i < n; ++i) {
          if (grid.d > 0 && i + ahead < n) __builtin_prefetch(data + long(members[i + ahead]) * M);
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
    filled[worker] = fill;
  }

  // Candidate c (the k-th, guessed as g) is the next reference: classes it
  // and its matches still unclassed, adds the class, lists the cells that
  // lost columns to be tidied, and returns the class size.
  long settle(long c, long k, const guess& g) {
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
    // A cell that no other cell neighbours, left with no column, is never
    // visited again.
    if (g.alone) return count;
    Index found[max_neighbours + 1];
    const int cells = grid.cells_of(c, k, found);
    touch(found[0]);
    for (int q = 1; q < cells; ++q)
      if (g.matched_cells >> q & 1) touch(found[q]);
    return count;
  }

  // Lists cell c to be tidied. A cell listed again is only tidied again in
  // vain; the last cell listed in each of the `recent` places (chosen by
  // the low bits of its slot) keeps most repeats off the list.
  void touch(Index c) {
    Index& place = recent[size_t(c) % recent_places];
    if (place == c) return;
    place = c;
    touched.push_back(c);
  }

  // Drops the classed columns from the list of cell c.
  void tidy(Index c) {
    Index* members = ix.members + ix.cells[c].start;
    const long n = long(ix.cells[c].size);
    long kept = 0;
    for (long i = 0; i < n; ++i)
      if (!ix.classed[members[i]]) members[kept++] = members[i];
    ix.cells[c].size = Index(kept);
  }

  // Tidies the touched cells, `lost` columns classed from them. Each cell
  // is tidied by one thread: thread p tidies the cells in its share of the
  // table.
  void tidy_touched(int used, double lost) {
    const long shares = 2L * used;
    const int tidying =
        parallel::threads_for(4 * double(touched.size()) + lost, tidy_grain, shares, threads);
    const size_t slots = grid.mask + 1;
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
  }

  column_grid<Index>& grid;
  const column_index<Index> ix;
  const double* const data;
  const long M, N;
  const int threads;
  // Batches up to the rows of the neighbour table (and N); room for N
  // matches in all, at most 2^20, shared by the threads.
  const long max_batch;
  const size_t room;
  std::vector<Index> candidates;
  std::vector<Index> lone_before;  // per candidate: columns without a cell just before it
  std::vector<guess> guesses;
  // Left uninitialised: only the room a batch fills is ever read, and
  // pages never filled are never fetched.
  std::vector<std::unique_ptr<Index[]>> matches;
  std::vector<size_t> filled;
  std::vector<Index> touched;  // the cells to tidy after a batch
  Index recent[recent_places];

  double& H;
  long left;  // columns not yet classed
  class_term term;
  long next = 0;          // no unclassed column before it
  long K = 2;             // candidates in the next batch
  double work = 0;        // per candidate in the last batch
  double class_size = 1;  // per class in the last batch
};

template <typename Index>
bool column_grid<Index>::speculative_entropy(double& H, int threads) {
  speculative_rounds<Index> rounds(*this, H, threads);
  if (!rounds.allocate()) return false;
  rounds.run();
  return true;
}

}  // namespace
