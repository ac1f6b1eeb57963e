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
// pairs beyond that, whose size follows the occupied cells, never the grid. Resolutions are independent and are
// shared out among threads; each thread has its own tables.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
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

// Point-coordinates (times resolutions) a thread should have to be worth
// starting: about a millisecond of counting.
constexpr double work_per_thread = 1 << 18;

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

// The cells of one resolution, depth by depth, numbered in order of first
// occupation. Count is the integer type of cell numbers and point counts:
// 32 bits unless there are 2^32 points or more.
template <typename Count>
class prefix_cells {
 public:
  explicit prefix_cells(long npoints)
      : npoints(npoints), small_term(size_t(std::min(npoints + 1, 1025L)), 1.0) {}

  // Writes the sums of every depth for b bins per axis to entries p + k*P of
  // the three result arrays. False when a value falls outside the grid.
  bool count_resolution(const double* data, long N, int b, double scale, double offset, long p,
                        long P, double* minus_log_cells, double* sum_plogp, double* log_sum_p2) {
    cell_of_point.assign(size_t(npoints), 0);
    Count parents = 1;  // at depth 0 all points share the whole space
    for (long k = 0; k < N; ++k) {
      const double* column = data + k * npoints;
      const size_t at = size_t(p + k * P);
      if (k > 0 && long(parents) == npoints) {
        // Every point is alone in its cell from the previous depth on, so the
        // cells of this depth are the points again, in the same order, each
        // holding one: the same sums, from the same operands.
        if (!all_in_grid(column, b, scale, offset)) return false;
        minus_log_cells[at] = minus_log_cells[at - P];
        sum_plogp[at] = sum_plogp[at - P];
        log_sum_p2[at] = log_sum_p2[at - P];
        continue;
      }
      // A dense table far larger than the points would cost more to clear
      // than the hash costs to probe.
      const size_t pairs = size_t(parents) * size_t(b);
      const bool counted = pairs <= dense_slots_budget && pairs <= 8 * size_t(npoints)
                               ? count_dense(column, b, scale, offset, parents)
                               : count_hashed(column, b, scale, offset, parents);
      if (!counted) return false;

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
      parents = cells;
    }
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

  // The keys of points first ... first + n - 1; false when a value falls
  // outside the grid. For 0 <= v < b, truncation is the floor; a NaN fails
  // both tests.
  bool keys_of_run(const double* column, long first, long n, int b, double scale, double offset,
                   uint64_t* keys) const {
    const Count* parent = cell_of_point.data() + first;
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

  // One slot per (parent, bin) pair: the key is the slot.
  bool count_dense(const double* column, int b, double scale, double offset, Count parents) {
    const size_t slots = size_t(parents) * size_t(b);
    if (dense.size() < slots) dense.resize(slots);
    const size_t most_cells = std::min(slots, size_t(npoints));
    if (slot_of_cell.size() < most_cells) slot_of_cell.resize(most_cells);

    dense_slot* table = dense.data();
    Count* cell_of = cell_of_point.data();
    uint32_t* slot_of = slot_of_cell.data();
    Count fresh = 0;
    bool inside = true;
    uint64_t keys[run_length];
    for (long first = 0; first < npoints && inside; first += run_length) {
      const long n = std::min(run_length, npoints - first);
      inside = keys_of_run(column, first, n, b, scale, offset, keys);
      for (long j = 0; j < n; ++j) {
        dense_slot& slot = table[keys[j]];
        if (slot.points == 0) {
          slot.cell = fresh++;
          slot_of[slot.cell] = uint32_t(keys[j]);
        }
        ++slot.points;
        cell_of[first + j] = slot.cell;
      }
    }
    // Hand the counts over in cell order and leave the table empty again.
    cells = fresh;
    if (points_in_cell.size() < size_t(cells)) points_in_cell.resize(size_t(cells));
    for (Count c = 0; c < cells; ++c) {
      dense_slot& slot = table[slot_of[c]];
      points_in_cell[c] = slot.points;
      slot = dense_slot{0, 0};
    }
    return inside;
  }

  // Linear probing, kept at most about three quarters full (emptier tables
  // were slower: they fit the caches worse). Keys are below npoints * 16384, far
  // from 2^64 for any number of points that fits in memory.
  bool count_hashed(const double* column, int b, double scale, double offset, Count parents) {
    // A depth has at least as many cells as the one before it, and at most
    // as many as there are points. The table grows between runs only, while
    // a run adds up to run_length cells: it never fills up (a quarter of 256
    // slots is a run).
    size_t wanted = 16;
    while (3 * wanted < 4 * size_t(parents) ||
           (wanted < 4 * size_t(run_length) && wanted < 2 * size_t(npoints)))
      wanted *= 2;
    if (hash.size() < wanted) resize_hash(wanted);

    Count* cell_of = cell_of_point.data();
    Count fresh = 0;
    bool inside = true;
    uint64_t keys[run_length];
    size_t homes[run_length];
    for (long first = 0; first < npoints && inside; first += run_length) {
      const long n = std::min(run_length, npoints - first);
      inside = keys_of_run(column, first, n, b, scale, offset, keys);
      hash_slot* table = hash.data();
      const size_t mask = hash.size() - 1;
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
      if (4 * size_t(fresh) > 3 * hash.size()) resize_hash(2 * hash.size());
    }
    cells = fresh;
    if (points_in_cell.size() < size_t(cells)) points_in_cell.resize(size_t(cells));
    for (hash_slot& slot : hash) {
      if (slot.points == 0) continue;
      points_in_cell[slot.cell] = slot.points;
      slot.points = 0;
    }
    return inside;
  }

  size_t home_of(uint64_t key) const {
    return size_t((key * 0x9E3779B97F4A7C15ull) >> hash_shift);
  }

  // Moves the occupied slots into a table of `size` slots, a power of two.
  void resize_hash(size_t size) {
    std::vector<hash_slot> old(size);
    old.swap(hash);
    hash_shift = 64;
    for (size_t s = size; s > 1; s /= 2) --hash_shift;
    for (const hash_slot& slot : old) {
      if (slot.points == 0) continue;
      size_t s = home_of(slot.key);
      while (hash[s].points != 0) s = (s + 1) & (hash.size() - 1);
      hash[s] = slot;
    }
  }

  long npoints;
  std::vector<Count> cell_of_point;   // per point: its cell at the current depth
  std::vector<Count> points_in_cell;  // per cell, in order of first occupation
  Count cells = 0;                    // cells of the current depth
  std::vector<double> small_term;     // plogp_term by count, while small
  std::vector<dense_slot> dense;
  std::vector<uint32_t> slot_of_cell;  // where the dense table holds each cell
  std::vector<hash_slot> hash;
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

  std::vector<prefix_cells<Count>> scratch(static_cast<size_t>(threads), prefix_cells<Count>(M));
  std::atomic<bool> outside{false};
  parallel::run(P, threads, [&](long task, int worker) {
    if (outside.load(std::memory_order_relaxed)) return;  // the call fails anyway
    const long p = order[size_t(task)];
    const int b = bins[p];
    // The highest value lands just below b, in bin b-1; the lowest at 0.
    const double scale = (b - 0.000001) / (hi - lo);
    const double offset = scale * lo;
    if (!scratch[size_t(worker)].count_resolution(data, N, b, scale, offset, p, P,
                                                    minus_log_cells, sum_plogp, log_sum_p2))
      outside.store(true, std::memory_order_relaxed);
  });
  return !outside.load();
}

// Fills the three P x N result arrays (column-major, entry p + k*P for
// resolution p and the first k+1 coordinates) for the M x N data set, using
// up to `threads` threads.
gridmass_outcome gridmass_partition_sums(const double* data, long M, long N, const int* bins,
                                         long P, double* minus_log_cells, double* sum_plogp,
                                         double* log_sum_p2, int threads) {
  const long values = M * N;
  double lo = data[0];
  double hi = data[0];
  for (long i = 1; i < values; ++i) {
    if (data[i] < lo) lo = data[i];
    if (data[i] > hi) hi = data[i];
  }
  if (lo == hi) {
    for (long i = 0; i < P * N; ++i) minus_log_cells[i] = sum_plogp[i] = log_sum_p2[i] = 0.0;
    return gridmass_outcome::all_values_equal;
  }

  threads = parallel::threads_for(double(values) * double(P), work_per_thread, P, threads);
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
  if (parallel::threads_for(work, work_per_thread, P, parallel::max_threads) == 1) return 1;
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
