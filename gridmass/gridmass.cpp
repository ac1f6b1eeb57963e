// gridmass: box-counting partition sums of a point set.
//
//   [H0, H1, H2] = gridmass(points, partition_sizes)
//
// For every resolution (b bins per axis) and every k = 1 ... N, a grid of b^k
// cells is laid over the first k coordinates of the M points, and the
// occupied cells give three partition sums in bits: -log2 B (B occupied
// cells), sum mu log2 mu and log2 sum mu^2 (mu the share of points in a
// cell). Their growth with log2 b is what box-counting estimates of the
// generalized dimensions of orders 0, 1 and 2 rest on.
//
// The grid is never stored. A cell of the grid over the first k+1 coordinates
// is a cell of the grid over the first k (its parent) and a bin on axis k+1,
// so the cells are found one depth (number of coordinates) at a time: every
// point keeps the number of its cell at the previous depth, and a table keyed
// by (parent, bin) numbers the cells of this depth in the order in which
// points first occupy them. The sums run over the cells in that order, which makes them
// reproducible bit for bit: it is the order in which earlier releases, which
// counted whole keys in a tree, formed them too.
//
// The table is a dense array over all (parent, bin) pairs while those fit a
// small budget (cache-sized: it is hit once per point and coordinate) and are
// not far more than the points, and an open-addressing hash of the occupied
// pairs beyond that, whose size follows the occupied cells, never the grid.
//
// Resolutions are independent and are shared out among threads; each thread
// has its own tables. When no resolution is left to start, a thread counts
// the next depth of one still being counted, behind the depth before it
// (each depth takes the points in order, so it can follow the previous one
// point by point): every thread stays busy to the end, also with fewer
// resolutions than threads. Every depth numbers its cells as one thread
// would, so the results are the same, bit for bit, for every thread count.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "host/host.h"
#include "host/parallel.h"

namespace {

// log2 is ln divided by this 14-digit rounding of ln 2 (not the exact value),
// so that results agree bit for bit with every earlier release.
constexpr double ln2 = 0.69314718055995;
constexpr long max_dimension = 512;
constexpr int max_bins = 16384;

// Memory budget of the dense table, per thread: 2^16 slots of 8 bytes (512
// KiB; 16 bytes a slot with 64-bit counts). Budgets from 2^14 to 2^18 slots
// counted Henon and uniform data equally fast; beyond the budget the hash,
// whose size follows the occupied cells, not the pairs, does as well.
constexpr size_t dense_slots_budget = size_t(1) << 16;
static_assert(dense_slots_budget <= UINT32_MAX, "dense slots are numbered in 32 bits");

// A hash of up to 2^15 slots (512 KiB) is kept at most a quarter full: the
// caches hold it anyway, and a few thousand cells in a table three quarters
// full counted up to nearly twice as slowly as in an emptier one (probes
// past the first slot miss the branch predictor).
constexpr size_t roomy_hash_slots = size_t(1) << 15;

// Point-coordinates (times resolutions) a thread should have to be worth
// starting: about a millisecond of counting.
constexpr double work_per_thread = 1 << 18;

// With this many points or more, a depth may be counted by one thread while
// the depth before it is still being counted by another (see schedule), so
// the depths of every resolution are tasks that threads can share; with
// fewer, only whole resolutions are.
constexpr long min_points_to_follow = 1 << 15;

long tasks_of(long M, long N, long P) { return M >= min_points_to_follow ? P * N : P; }

enum class gridmass_outcome { success, all_values_equal, value_outside_grid };

// Asks for the cache line at `address` ahead of its use, where the compiler
// can; elsewhere it only waits longer.
inline void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// One resolution while its depths are counted. The depths of a resolution
// may be counted by different threads at once, each behind the one before
// it: depth k takes the points whose cells at depth k-1 are known, in runs,
// and overwrites those with their cells at depth k. One array thus holds
// every point's cell at the deepest depth that has reached it.
template <typename Count>
struct resolution_run {
  long p = 0;  // index of the partition size, and of the results' rows
  int b = 2;
  double scale = 0;
  double offset = 0;
  std::vector<Count> cell_of_point;
  // Per depth: how many points (a prefix) have their cell at that depth in
  // cell_of_point, and the depth's cell count once its sums are written (0
  // before).
  std::unique_ptr<std::atomic<long>[]> counted;
  std::unique_ptr<std::atomic<uint64_t>[]> cells;
  long handed_out = 0;  // depths given to threads, under the schedule's lock

  explicit resolution_run(long N)
      : counted(new std::atomic<long>[size_t(N)]), cells(new std::atomic<uint64_t>[size_t(N)]) {
    for (long k = 0; k < N; ++k) {
      counted[k].store(0, std::memory_order_relaxed);
      cells[k].store(0, std::memory_order_relaxed);
    }
  }
};

// A depth that runs behind the one before it publishes its progress every
// this many points, and waits for the points it needs.
constexpr long publish_points = 2048;

// Waits until `counted` reaches `needed`; returns the count seen, or -1 when
// the call is being ended. The depth waited for is being counted by a
// running thread, usually a run or two ahead; a long wait (more threads
// than cores) gives the core away.
inline long wait_for(const std::atomic<long>& counted, long needed,
                     const std::atomic<bool>& stop) {
  for (int spins = 0;; ++spins) {
    const long now = counted.load(std::memory_order_acquire);
    if (now >= needed) return now;
    if (stop.load(std::memory_order_relaxed)) return -1;
    if (spins >= 4096)
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    else if (spins >= 64)
      std::this_thread::yield();
  }
}

// Which depth of which resolution a thread counts next. A thread keeps to
// its resolution, depth after depth, as long as the next depth is free (its
// tables and points stay in its cache); then it starts the next resolution,
// finest first; when none is left, it takes the next depth of a resolution
// still being counted, the one with most depths left, and counts it behind
// the depth before it. Depths are handed out in order within a resolution,
// so every depth waits only for one that is already being counted.
template <typename Count>
class schedule {
 public:
  schedule(std::vector<resolution_run<Count>>& runs, long depths, bool may_follow)
      : runs(runs), depths(depths), may_follow(may_follow) {}

  // False when every depth has been handed out.
  bool next(resolution_run<Count>*& mine, long& depth) {
    std::lock_guard<std::mutex> hold(lock);
    resolution_run<Count>* pick = nullptr;
    if (mine && mine->handed_out < depths) {
      pick = mine;
    } else if (started < runs.size()) {
      pick = &runs[started++];
      if (!spare.empty()) {
        pick->cell_of_point.swap(spare.back());
        spare.pop_back();
      }
    } else if (may_follow) {
      for (size_t r = 0; r < started; ++r)
        if (runs[r].handed_out < depths && (!pick || runs[r].handed_out < pick->handed_out))
          pick = &runs[r];
    }
    if (!pick) return false;
    mine = pick;
    depth = pick->handed_out++;
    return true;
  }

  // Once the points of a resolution's last depth are counted, its array
  // serves the next resolution started: there are never more arrays than
  // threads.
  void release(resolution_run<Count>& run) {
    std::lock_guard<std::mutex> hold(lock);
    spare.push_back(std::move(run.cell_of_point));
    run.cell_of_point = std::vector<Count>();
  }

 private:
  std::mutex lock;
  std::vector<resolution_run<Count>>& runs;
  const long depths;
  const bool may_follow;
  size_t started = 0;
  std::vector<std::vector<Count>> spare;
};

// A thread's tables: the cells of one depth of one resolution at a time,
// numbered in order of first occupation. Count is the integer type of cell
// numbers and point counts: 32 bits unless there are 2^32 points or more.
template <typename Count>
class depth_counter {
 public:
  explicit depth_counter(long npoints)
      : npoints(npoints), small_term(size_t(std::min(npoints + 1, 1025L)), 1.0) {}

  // Counts depth k of `run` and writes its sums to entries p + k*P of the
  // three result arrays. False when a value falls outside the grid or the
  // call is being ended.
  bool count_depth(resolution_run<Count>& run, long k, const double* data, long P,
                   double* minus_log_cells, double* sum_plogp, double* log_sum_p2,
                   const std::atomic<bool>& stop) {
    const double* column = data + k * npoints;
    const size_t at = size_t(run.p + k * P);
    // The cells of the depth before, when its sums are written already: it
    // is then counted to the end. Otherwise this depth runs behind it.
    const uint64_t parents = k == 0 ? 1 : run.cells[k - 1].load(std::memory_order_acquire);
    if (k == 0) run.cell_of_point.assign(size_t(npoints), 0);  // all share the whole space
    if (k > 0 && parents == uint64_t(npoints)) {
      // Every point is alone in its cell from the previous depth on, so the
      // cells of this depth are the points again, in the same order, each
      // holding one: the same sums, from the same operands. (A depth that
      // runs behind finds those same cells in its tables.)
      if (!all_in_grid(column, run.b, run.scale, run.offset)) return false;
      minus_log_cells[at] = minus_log_cells[at - P];
      sum_plogp[at] = sum_plogp[at - P];
      log_sum_p2[at] = log_sum_p2[at - P];
      run.counted[k].store(npoints, std::memory_order_release);
      run.cells[k].store(uint64_t(npoints), std::memory_order_release);
      return true;
    }
    if (!count_points(run, k, column, parents, stop)) return false;

    // The masses of the cells, in order of first occupation.
    double plogp = 0.0;
    double p2 = 0.0;
    for (Count c = 0; c < cells; ++c) {
      const Count points = points_in_cell[c];
      const double mu = double(points) / double(npoints);
      plogp = plogp_term(points, mu) + plogp;
      p2 = mu * mu + p2;
    }
    minus_log_cells[at] = -(std::log(double(cells)) / ln2);
    sum_plogp[at] = plogp;
    log_sum_p2[at] = std::log(p2) / ln2;
    run.cells[k].store(uint64_t(cells), std::memory_order_release);
    return true;
  }

 private:
  // mu log2 mu of a cell with `points` points. Most cells hold few points,
  // so the terms of small counts are kept rather than formed anew.
  double plogp_term(Count points, double mu) {
    if (points >= small_term.size()) return (std::log(mu) / ln2) * mu;
    double& term = small_term[points];
    if (term > 0) term = (std::log(mu) / ln2) * mu;  // positive: not formed yet
    return term;
  }

  // Points are taken in runs: first the table keys of a run (parent * b +
  // bin), with nothing in between to wait on, then the lookups, whose slots
  // the first pass has already asked the memory for.
  static constexpr long run_length = 64;
  static_assert(publish_points % run_length == 0, "progress is published after whole runs");

  // The keys of points first ... first + n - 1; false when a value falls
  // outside the grid. For 0 <= v < b, truncation is the floor; a NaN fails
  // both tests.
  static bool keys_of_run(const double* column, const Count* cell_of, long first, long n, int b,
                          double scale, double offset, uint64_t* keys) {
    const Count* parent = cell_of + first;
    const double top = b;
    bool inside = true;
    for (long j = 0; j < n; ++j) {
      const double v = scale * column[first + j] - offset;
      const bool in_grid = v >= 0 && v < top;
      inside = inside && in_grid;
      keys[j] = uint64_t(parent[j]) * uint64_t(b) + uint64_t(in_grid ? int(v) : 0);
    }
    return inside;
  }

  bool all_in_grid(const double* column, int b, double scale, double offset) const {
    for (long i = 0; i < npoints; ++i) {
      const double v = scale * column[i] - offset;
      if (!(v >= 0 && v < b)) return false;
    }
    return true;
  }

  // A table slot: the cell's number and its points; no points means unused.
  struct dense_slot {
    Count cell;
    Count points;
  };
  struct hash_slot {
    uint64_t key;  // parent * b + bin
    Count cell;
    Count points;
  };

  // Numbers the cells of depth k in `cells` and `points_in_cell`, and the
  // points' cells in the run's array. The table is a dense array, one slot
  // per (parent, bin) pair, while those fit a small budget (cache-sized: it
  // is hit once per point) and are not far more than the points (it would
  // cost more to clear than the hash costs to probe); an open-addressing
  // hash of the occupied pairs beyond that. When the parents are not known
  // yet (the depth before is still being counted), the dense table is tried
  // and its cells move to the hash at the first key beyond it. The tables
  // number the cells alike, so the choice never changes a bit.
  bool count_points(resolution_run<Count>& run, long k, const double* column, uint64_t parents,
                    const std::atomic<bool>& stop) {
    const int b = run.b;
    const double scale = run.scale;
    const double offset = run.offset;
    const std::atomic<long>* before = parents == 0 ? &run.counted[k - 1] : nullptr;
    std::atomic<long>& done = run.counted[k];
    long ready = before ? 0 : npoints;
    // Depth 0 allocates the array: a depth behind it looks at it only once
    // depth 0 has published points.
    Count* cell_of = before ? nullptr : run.cell_of_point.data();

    const size_t dense_limit = std::min(dense_slots_budget, 8 * size_t(npoints));
    const size_t dense_slots = parents ? size_t(parents) * size_t(b) : dense_limit;
    bool dense_mode = dense_slots <= dense_limit;
    const bool check_keys = parents == 0;
    if (dense_mode) {
      if (dense.size() < dense_slots) dense.resize(dense_slots);
      const size_t most_cells = std::min(dense_slots, size_t(npoints));
      if (slot_of_cell.size() < most_cells) slot_of_cell.resize(most_cells);
    } else {
      reserve_hash(parents, true);
    }

    Count fresh = 0;
    uint64_t keys[run_length];
    size_t homes[run_length];
    for (long first = 0; first < npoints; first += run_length) {
      const long n = std::min(run_length, npoints - first);
      if (first + n > ready) {
        ready = wait_for(*before, std::min(first + publish_points, npoints), stop);
        if (ready < 0) return false;
        cell_of = run.cell_of_point.data();
      }
      if (!keys_of_run(column, cell_of, first, n, b, scale, offset, keys)) return false;
      if (dense_mode && check_keys) {
        uint64_t top = 0;
        for (long j = 0; j < n; ++j) top = std::max(top, keys[j]);
        if (top >= dense_slots) {
          dense_to_hash(fresh);
          dense_mode = false;
        }
      }
      if (dense_mode) {
        dense_slot* table = dense.data();
        uint32_t* slot_of = slot_of_cell.data();
        for (long j = 0; j < n; ++j) {
          dense_slot& slot = table[keys[j]];
          if (slot.points == 0) {
            slot.cell = fresh++;
            slot_of[slot.cell] = uint32_t(keys[j]);
          }
          ++slot.points;
          cell_of[first + j] = slot.cell;
        }
      } else {
        hash_slot* table = hash.data();
        const size_t mask = hash_slots - 1;
        for (long j = 0; j < n; ++j) {
          homes[j] = home_of(keys[j]);
          prefetch(table + homes[j]);
        }
        for (long j = 0; j < n; ++j) {
          size_t h = homes[j];
          while (table[h].points != 0 && table[h].key != keys[j]) h = (h + 1) & mask;
          hash_slot& slot = table[h];
          if (slot.points == 0) {
            slot.key = keys[j];
            slot.cell = fresh++;
          }
          ++slot.points;
          cell_of[first + j] = slot.cell;
        }
        // Growing between runs keeps the homes of a run valid.
        if (4 * size_t(fresh) > 3 * hash_slots ||
            (hash_slots < roomy_hash_slots && 4 * size_t(fresh) > hash_slots))
          grow_hash();
      }
      if ((first + n) % publish_points == 0 || first + n == npoints)
        done.store(first + n, std::memory_order_release);
    }

    // Hand the counts over in cell order and leave the table empty again.
    cells = fresh;
    if (points_in_cell.size() < size_t(cells)) points_in_cell.resize(size_t(cells));
    if (dense_mode) {
      for (Count c = 0; c < cells; ++c) {
        dense_slot& slot = dense[slot_of_cell[c]];
        points_in_cell[c] = slot.points;
        slot = dense_slot{0, 0};
      }
    } else {
      for (size_t h = 0; h < hash_slots; ++h) {
        hash_slot& slot = hash[h];
        if (slot.points == 0) continue;
        points_in_cell[slot.cell] = slot.points;
        slot.points = 0;
      }
    }
    return true;
  }

  // Linear probing, kept at most about three quarters full (emptier large
  // tables were slower: they fit the caches worse), and at most a quarter
  // full while small (roomy_hash_slots). Keys are below npoints * 16384,
  // far from 2^64 for any number of points that fits in memory. A depth has
  // at least as many cells as the one before it (`least`), and at most as
  // many as there are points. The table grows between runs only, while a run
  // adds up to run_length cells: it never fills up (a quarter of 256 slots
  // is a run). The table is empty here. Its first hash_slots slots are used:
  // of a table left large by a finer grid, up to 32 times the size `least`
  // asks for (`fit`; all of it when the parents are not known). That keeps
  // it far emptier than the size asked for, which probes faster (with twice
  // that size, Henon data counted a sixth slower; with 8 times, probes still
  // missed the branch predictor more often), and spares clearing all of a
  // large table for a few cells.
  void reserve_hash(uint64_t least, bool fit) {
    size_t wanted = 16;
    while (3 * wanted < 4 * size_t(least) ||
           (wanted < 4 * size_t(run_length) && wanted < 2 * size_t(npoints)))
      wanted *= 2;
    size_t roomy = wanted;
    while (roomy < roomy_hash_slots && roomy < 4 * size_t(least)) roomy *= 2;
    if (hash.size() < roomy) {
      std::vector<hash_slot>().swap(hash);
      hash.resize(roomy);
    }
    use_hash_slots(fit ? std::min(hash.size(), std::max(roomy, 32 * wanted)) : hash.size());
  }

  void use_hash_slots(size_t slots) {
    hash_slots = slots;
    hash_shift = 64;
    for (size_t s = slots; s > 1; s /= 2) --hash_shift;
  }

  // Moves the cells counted so far from the dense table to the hash.
  void dense_to_hash(Count fresh) {
    reserve_hash(fresh, false);
    const size_t mask = hash_slots - 1;
    for (Count c = 0; c < fresh; ++c) {
      dense_slot& slot = dense[slot_of_cell[c]];
      const uint64_t key = slot_of_cell[c];
      size_t h = home_of(key);
      while (hash[h].points != 0) h = (h + 1) & mask;
      hash[h] = hash_slot{key, c, slot.points};
      slot = dense_slot{0, 0};
    }
  }

  size_t home_of(uint64_t key) const {
    return size_t((key * 0x9E3779B97F4A7C15ull) >> hash_shift);
  }

  // Doubles the slots in use and moves the occupied ones to their new
  // places: within the table when it has the room, else into a new one.
  void grow_hash() {
    std::vector<hash_slot> moving;
    if (2 * hash_slots <= hash.size()) {
      moving.reserve(hash_slots - hash_slots / 4 + size_t(run_length));
      for (size_t h = 0; h < hash_slots; ++h)
        if (hash[h].points != 0) {
          moving.push_back(hash[h]);
          hash[h].points = 0;
        }
    } else {
      moving.resize(2 * hash_slots);
      moving.swap(hash);
      moving.resize(hash_slots);  // the old table's slots in use
    }
    use_hash_slots(2 * hash_slots);
    const size_t mask = hash_slots - 1;
    for (const hash_slot& slot : moving) {
      if (slot.points == 0) continue;
      size_t h = home_of(slot.key);
      while (hash[h].points != 0) h = (h + 1) & mask;
      hash[h] = slot;
    }
  }

  long npoints;
  std::vector<Count> points_in_cell;  // per cell, in order of first occupation
  Count cells = 0;                    // cells of the depth last counted
  std::vector<double> small_term;     // plogp_term by count, while small
  std::vector<dense_slot> dense;
  std::vector<uint32_t> slot_of_cell;  // where the dense table holds each cell
  std::vector<hash_slot> hash;
  size_t hash_slots = 0;  // in use: a power of two, at most hash.size()
  int hash_shift = 64;
};

template <typename Count>
bool all_resolutions(const double* data, long M, long N, const int* bins, long P, double lo,
                     double hi, double* minus_log_cells, double* sum_plogp, double* log_sum_p2,
                     int threads) {
  // The finest resolutions take longest; starting them first evens out the
  // threads' shares.
  std::vector<long> order(static_cast<size_t>(P));
  std::iota(order.begin(), order.end(), 0L);
  std::sort(order.begin(), order.end(),
            [bins](long a, long b) { return bins[a] > bins[b] || (bins[a] == bins[b] && a < b); });

  std::vector<resolution_run<Count>> runs;
  runs.reserve(size_t(P));
  for (long t = 0; t < P; ++t) {
    runs.emplace_back(N);
    resolution_run<Count>& run = runs.back();
    run.p = order[size_t(t)];
    run.b = bins[run.p];
    // The highest value lands just below b, in bin b-1; the lowest at 0.
    run.scale = (run.b - 0.000001) / (hi - lo);
    run.offset = run.scale * lo;
  }
  schedule<Count> plan(runs, N, M >= min_points_to_follow);
  std::vector<depth_counter<Count>> scratch(static_cast<size_t>(threads), depth_counter<Count>(M));
  std::atomic<bool> stop{false};  // a value outside the grid, or a task failed
  parallel::run(threads, threads, [&](long, int worker) {
    depth_counter<Count>& counter = scratch[size_t(worker)];
    resolution_run<Count>* run = nullptr;
    long k = 0;
    try {
      while (!stop.load(std::memory_order_relaxed) && plan.next(run, k)) {
        if (!counter.count_depth(*run, k, data, P, minus_log_cells, sum_plogp, log_sum_p2, stop))
          stop.store(true, std::memory_order_relaxed);
        else if (k == N - 1)
          plan.release(*run);
      }
    } catch (...) {
      stop.store(true, std::memory_order_relaxed);  // no depth waits for this one in vain
      throw;
    }
  });
  return !stop.load();
}

// Fills the three P x N result arrays (column-major, entry p + k*P for
// resolution p and the first k+1 coordinates) for the M x N data set, using
// up to `threads` threads.
gridmass_outcome gridmass_partition_sums(const double* data, long M, long N, const int* bins,
                                         long P, double* minus_log_cells, double* sum_plogp,
                                         double* log_sum_p2, int threads) {
  const long values = M * N;
  threads = parallel::threads_for(double(values) * double(P), work_per_thread, tasks_of(M, N, P),
                                  threads);
  // The range of the values, in parts when there are threads for them. One
  // pass, as before, starts from the first value and takes a value only when
  // it is beyond: a NaN first keeps lo and hi NaN, any other NaN is passed
  // over, and of equal values (0 and -0) the first stays. A part starts from
  // its first value that is not a NaN, and the parts are combined in order
  // by the same tests, which gives the very same lo and hi.
  struct range {
    double lo, hi;
    bool any;  // false for a part of NaNs only
    void take(double v) {
      if (v < lo) lo = v;
      if (v > hi) hi = v;
    }
  };
  std::vector<range> parts(static_cast<size_t>(threads));
  const long part_values = (values + threads - 1) / threads;
  parallel::run(threads, threads, [&](long part, int) {
    long i = std::min(values, part * part_values);
    const long end = std::min(values, i + part_values);
    if (part > 0)
      while (i < end && std::isnan(data[i])) ++i;
    range r{0.0, 0.0, i < end};
    if (r.any) {
      r.lo = r.hi = data[i];
      for (++i; i < end; ++i) r.take(data[i]);
    }
    parts[size_t(part)] = r;
  });
  range all = parts[0];
  for (int part = 1; part < threads; ++part)
    if (parts[size_t(part)].any) {
      all.take(parts[size_t(part)].lo);
      all.take(parts[size_t(part)].hi);
    }
  const double lo = all.lo;
  const double hi = all.hi;
  if (lo == hi) {
    for (long i = 0; i < P * N; ++i) minus_log_cells[i] = sum_plogp[i] = log_sum_p2[i] = 0.0;
    return gridmass_outcome::all_values_equal;
  }

  const bool inside =
      uint64_t(M) < uint64_t(UINT32_MAX)
          ? all_resolutions<uint32_t>(data, M, N, bins, P, lo, hi, minus_log_cells, sum_plogp,
                                      log_sum_p2, threads)
          : all_resolutions<uint64_t>(data, M, N, bins, P, lo, hi, minus_log_cells, sum_plogp,
                                      log_sum_p2, threads);
  return inside ? gridmass_outcome::success : gridmass_outcome::value_outside_grid;
}

// The threads the gateway offers the core. Asking the system for its cores
// takes about a microsecond, as long as a small call's whole count, so calls
// too small to share out do not ask.
int threads_offered(long M, long N, long P) {
  const double work = double(M) * double(N) * double(P);
  if (parallel::threads_for(work, work_per_thread, tasks_of(M, N, P), parallel::max_threads) == 1)
    return 1;
  return parallel::thread_budget();
}

// Bins per axis from a partition size: truncated toward zero. A NaN cannot
// be a bin count and counts as too few; values beyond the integer range
// count as too many.
int bins_from_double(double value) {
  if (value >= 2147483648.0) return INT32_MAX;
  return host::count_from_double(value);
}

enum { IN_POINTS = 0, IN_SIZES, IN_COUNT };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT)
    host::fail(
        "Gridmass : Data set of points (row vectors) and number of partitions (per axis) must be "
        "given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const long M = long(mxGetM(prhs[IN_POINTS]));
  const long N = long(mxGetN(prhs[IN_POINTS]));
  const double* data = mxGetPr(prhs[IN_POINTS]);
  const double* sizes = mxGetPr(prhs[IN_SIZES]);
  const long P = long(host::longer_side(prhs[IN_SIZES]));

  if (M < 2) host::fail("Data set must consist of at least two points (row vectors)");
  if (N < 1) host::fail("Data points must be at least of dimension one");
  if (N > max_dimension) host::fail("Maximal dimension exceeded");
  // A 0 x 5 argument has a length of 5 but holds no partition size.
  if (P < 1 || host::all_elements(prhs[IN_SIZES]) == 0)
    host::fail("At least one partition size must be given");
  std::vector<int> bins(static_cast<size_t>(P));
  for (long p = 0; p < P; ++p) {
    bins[p] = bins_from_double(sizes[p]);
    if (bins[p] <= 1) host::fail("Number of bins should be at least greater one");
    if (bins[p] > max_bins) host::fail("Number of bins too large");
  }

  // Sums that were not asked for are still computed, into working memory.
  const size_t entries = size_t(P) * size_t(N);
  plhs[0] = mxCreateDoubleMatrix(P, N, mxREAL);
  double* results[3] = {mxGetPr(plhs[0]), nullptr, nullptr};
  std::unique_ptr<host::working_memory<double>> scratch[3];
  for (int r = 1; r < 3; ++r) {
    if (nlhs > r) {
      plhs[r] = mxCreateDoubleMatrix(P, N, mxREAL);
      results[r] = mxGetPr(plhs[r]);
    } else {
      scratch[r] = std::make_unique<host::working_memory<double>>(entries);
      results[r] = scratch[r]->get();
    }
  }

  switch (gridmass_partition_sums(data, M, N, bins.data(), P, results[0], results[1],
                                  results[2], threads_offered(M, N, P))) {
    case gridmass_outcome::success:
      break;
    case gridmass_outcome::all_values_equal:
      mexPrintf("Data values are indentical, nothing to compute\n");
      break;
    case gridmass_outcome::value_outside_grid:
      host::fail("Data values seem not to be in range [0,1]");
  }
}
