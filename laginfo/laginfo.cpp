// laginfo: auto mutual information of a scalar time series over time lags.
//
//   I = laginfo(series, maximal_lag, partition_sizes)
//
// For every partition size b and every lag tau = 0 ... T, the values of the
// series (rank values in [0, 1)) are put into b bins, the n = L - T pairs
// (x_t, x_{t+tau}) are counted by pair of bins, and
//   I(tau, p) = sum over occupied pairs of mu_xy log2(mu_xy / (h_x h_y))
// in bits, mu_xy the share of the n pairs in bins (x, y) and h the histogram
// of all L values divided by L.
//
// The sum runs over the occupied pairs in the order in which they first occur
// in the series, as every earlier release summed them; whatever counts the
// pairs only has to hand them over in that order to give the same bits. Two
// ways of counting are used, chosen by b:
// - up to 1024 bins, a dense b x b table of counts and the list of pairs in
//   the order they were first seen (together at most 8 MiB per thread);
// - above that (b x b goes up to 2^28), or when the series has far fewer
//   pairs than the table cells, the positions t < n are sorted once
//   per resolution by the bin of x_t. A lag is then counted one first bin at
//   a time in a single row of b counts, and each pair's count is written at
//   the position where it first occurred; a scan of the positions in
//   ascending order meets the pairs in the order of first occurrence. Memory
//   is 4 bytes per position per thread, whatever b.
// The series is binned once per resolution; only the pair counting is
// repeated for every lag.
//
// Threads: up to one resolution per thread is prepared at a time (a single
// one is binned in stretches, one per thread), and the lags of those
// resolutions are shared out among the threads. Each lag's sum is formed by
// one thread alone, so the result is the same for every thread count.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <vector>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/parallel.h"

namespace {

// log2 is ln divided by this 14-digit rounding of ln 2 (not the exact value),
// so that results agree bit for bit with every earlier release.
constexpr double ln2 = 0.69314718055995;
constexpr int max_bins = 16384;

// Up to this many bins the pairs are counted in a dense b x b table: 4-byte
// counts and first positions take at most 2 x 4 MiB per thread. (Up to 1024
// bins the table beats counting by first bin, 1.5 times at 1024, 2 times at
// 512; at 2048 it is twice as slow, its cache misses going to main memory.)
// A series with far fewer pairs than cells is counted by first bin instead,
// so that a short series does not pay for clearing a large table.
constexpr int max_dense_bins = 1024;
bool counts_densely(int b, long n) {
  return b <= max_dense_bins && double(b) * double(b) <= 16 * double(n);
}

// A thread pays for its start-up when it counts at least this many pairs
// (about a tenth of a millisecond).
constexpr double pairs_per_thread = 100000;

enum class laginfo_outcome { success, value_outside_range, out_of_memory };

// log(q) / ln2 for the operands q of one lag's sum. With rank values the
// marginals hardly differ and most pairs are counted a few times only, so few
// distinct q occur however many pairs there are; the logarithm of a q seen
// before is taken from here, the same value it would compute again.
class log2_memo {
 public:
  log2_memo() { std::fill(std::begin(operand), std::end(operand), ~uint64_t(0)); }

  double operator()(double q) {
    uint64_t bits;
    std::memcpy(&bits, &q, sizeof bits);
    const size_t slot = size_t((bits * 0x9E3779B97F4A7C15u) >> (64 - slot_bits));
    if (operand[slot] != bits) {
      operand[slot] = bits;
      value[slot] = std::log(q) / ln2;
    }
    return value[slot];
  }

 private:
  static constexpr int slot_bits = 8;
  uint64_t operand[1 << slot_bits];  // all ones: a NaN, never an operand
  double value[1 << slot_bits];
};

// One occupied pair's share of the mutual information, added to the sum.
inline double add_pair(double mi, double count, double npairs, double h_first,
                       double h_second, log2_memo& log2) {
  const double mu = count / npairs;
  return log2(mu / (h_second * h_first)) * mu + mi;
}

// A resolution's bins and marginal, made once and read by all its lags.
// Index holds a position in the series and a count of values or pairs.
template <typename Index>
struct resolution {
  int b = 0;
  // bin and by_first are left uncleared when sized (host/big_buffer.h):
  // prepare writes every element.
  big_buffer::vector<uint16_t> bin;  // of every value; b <= 16384
  std::vector<double> marginal;      // share of all L values in each bin
  // When not counted densely: the positions t < n grouped by bin[t],
  // ascending within a group, and where each non-empty group ends.
  big_buffer::vector<Index> by_first;
  std::vector<Index> group_end;
};

// Bins the values on up to `threads` threads, each taking one stretch of the
// series and counting its values per bin. The counts are whole numbers, so
// adding the stretches' counts gives the same histogram in any order.
template <typename Index>
laginfo_outcome prepare(const double* series, long L, long n, int b, resolution<Index>& r,
                        int threads) {
  r.b = b;
  r.bin.resize(size_t(L));
  const int stretches = parallel::threads_for(double(L), pairs_per_thread, L, threads);
  const long stretch = (L + stretches - 1) / stretches;
  std::vector<std::vector<Index>> histogram(size_t(stretches), std::vector<Index>(size_t(b), 0));
  std::vector<char> outside(size_t(stretches), 0);
  parallel::run(stretches, stretches, [&](long k, int) {
    const long end = std::min(L, (k + 1) * stretch);
    for (long t = k * stretch; t < end; ++t) {
      // On [0, b) truncation is the floor; the test on the unrounded product
      // refuses exactly what the floor would put outside [0, b), and NaN.
      const double u = double(b) * series[t];
      if (!(u >= 0 && u < b)) {
        outside[k] = 1;
        return;
      }
      r.bin[size_t(t)] = uint16_t(u);
      ++histogram[k][size_t(u)];
    }
  });
  for (char bad : outside)
    if (bad) return laginfo_outcome::value_outside_range;
  r.marginal.resize(size_t(b));
  for (size_t x = 0; x < size_t(b); ++x) {
    Index values = 0;
    for (const auto& h : histogram) values += h[x];
    r.marginal[x] = values == 0 ? 0.0 : double(values) / double(L);  // 0 / L is 0
  }
  if (counts_densely(b, n)) return laginfo_outcome::success;

  // A stable counting sort of the positions by their first bin.
  r.group_end.assign(size_t(b), 0);
  for (long t = 0; t < n; ++t) ++r.group_end[r.bin[size_t(t)]];
  Index start = 0;
  for (Index& end : r.group_end) {
    const Index size = end;
    end = start;  // for now, where the group's next position goes
    start += size;
  }
  r.by_first.resize(size_t(n));
  for (long t = 0; t < n; ++t) r.by_first[r.group_end[r.bin[size_t(t)]]++] = Index(t);
  // An empty group ends where the one before it ends; without them a lag
  // costs nothing per unoccupied bin.
  r.group_end.erase(std::unique(r.group_end.begin(), r.group_end.end()), r.group_end.end());
  return laginfo_outcome::success;
}

// A thread's working storage for the lags it counts. Every count and every
// entry of count_at is 0 between lags.
template <typename Index>
struct lag_scratch {
  std::vector<Index> counts;    // the dense table, or the row of one first bin
  std::vector<Index> firsts;    // pairs (or their positions) in the order first seen
  std::vector<Index> count_at;  // a pair's count at its first position
  log2_memo log2;               // good for every lag and resolution
};

template <typename Index>
void make_room(std::vector<Index>& v, size_t size) {
  if (v.size() < size) v.assign(size, 0);
}

template <typename Index>
double dense_lag(const resolution<Index>& r, long n, long tau, lag_scratch<Index>& s) {
  const size_t b = size_t(r.b);
  make_room(s.counts, b * b);
  make_room(s.firsts, std::min(size_t(n), b * b));
  const uint16_t* first = r.bin.data();
  const uint16_t* second = first + tau;
  Index* count = s.counts.data();
  Index* firsts = s.firsts.data();
  // A new pair is kept as its two bins, 16 bits each, so that the sum does
  // not go back to the series. Two positions a step let the loads of the
  // next pair start before the previous count is stored.
  size_t pairs = 0;
  auto tally = [&](size_t x, size_t y) {
    if (count[x * b + y]++ == 0) firsts[pairs++] = Index(x << 16 | y);
  };
  long t = 0;
  for (; t + 1 < n; t += 2) {
    const size_t x0 = first[t], y0 = second[t], x1 = first[t + 1], y1 = second[t + 1];
    tally(x0, y0);
    tally(x1, y1);
  }
  for (; t < n; ++t) tally(first[t], second[t]);

  double mi = 0;
  for (size_t i = 0; i < pairs; ++i) {
    const size_t x = size_t(firsts[i] >> 16), y = size_t(firsts[i] & 0xffff);
    Index& c = count[x * b + y];
    mi = add_pair(mi, double(c), double(n), r.marginal[x], r.marginal[y], s.log2);
    c = 0;
  }
  return mi;
}

template <typename Index>
double grouped_lag(const resolution<Index>& r, long n, long tau, lag_scratch<Index>& s) {
  make_room(s.counts, size_t(r.b));
  make_room(s.firsts, std::min(size_t(r.b), size_t(n)));
  make_room(s.count_at, size_t(n));
  const uint16_t* first = r.bin.data();
  const uint16_t* second = first + tau;
  Index* row = s.counts.data();
  Index* firsts = s.firsts.data();
  Index* count_at = s.count_at.data();
  Index begin = 0;
  for (const Index end : r.group_end) {
    size_t pairs = 0;
    for (Index i = begin; i < end; ++i) {
      const Index t = r.by_first[i];
      if (row[second[t]]++ == 0) firsts[pairs++] = t;
    }
    for (size_t k = 0; k < pairs; ++k) {
      Index& c = row[second[firsts[k]]];
      count_at[firsts[k]] = c;
      c = 0;
    }
    begin = end;
  }

  double mi = 0;
  for (long t = 0; t < n; ++t) {
    if (count_at[t] == 0) continue;
    mi = add_pair(mi, double(count_at[t]), double(n), r.marginal[first[t]],
                  r.marginal[second[t]], s.log2);
    count_at[t] = 0;
  }
  return mi;
}

template <typename Index>
std::vector<laginfo_outcome> mutual_information(const double* series, long L, long T,
                                                const int* bins, long count, double* result,
                                                int threads) {
  const long n = L - T;
  std::vector<laginfo_outcome> outcome(size_t(count), laginfo_outcome::success);
  std::vector<resolution<Index>> res(static_cast<size_t>(count));
  // One resolution is binned on all threads; several, one per thread.
  auto prepare_one = [&](long q, int threads_for_one) {
    try {
      outcome[q] = prepare(series, L, n, bins[q], res[q], threads_for_one);
    } catch (const std::bad_alloc&) {
      outcome[q] = laginfo_outcome::out_of_memory;
    }
  };
  if (count == 1)
    prepare_one(0, threads);
  else
    parallel::run(count,
                  parallel::threads_for(double(L) * double(count), pairs_per_thread, count, threads),
                  [&](long q, int) { prepare_one(q, 1); });
  // Resolutions from the first failed one on are not needed: the call ends
  // there.
  long usable = 0;
  while (usable < count && outcome[usable] == laginfo_outcome::success) ++usable;

  const long lags = T + 1;
  const long tasks = usable * lags;
  const int workers =
      parallel::threads_for(double(tasks) * double(n), pairs_per_thread, tasks, threads);
  std::vector<lag_scratch<Index>> scratch(static_cast<size_t>(workers));
  std::vector<char> failed(size_t(tasks), 0);
  parallel::run(tasks, workers, [&](long task, int worker) {
    const long q = task / lags, tau = task % lags;
    try {
      result[q * lags + tau] = counts_densely(res[q].b, n)
                                   ? dense_lag(res[q], n, tau, scratch[worker])
                                   : grouped_lag(res[q], n, tau, scratch[worker]);
    } catch (const std::bad_alloc&) {
      failed[task] = 1;
    }
  });
  for (long task = 0; task < tasks; ++task)
    if (failed[task]) outcome[task / lags] = laginfo_outcome::out_of_memory;
  return outcome;
}

// Fills result[p (T + 1) + tau] with the mutual information at lag tau for
// bins[p] bins per axis, p = 0 ... count - 1, from the L values of series
// (L > T >= 0, 2 <= bins[p] <= 16384), on up to `threads` threads. Returns one
// outcome per resolution; the columns from the first failed resolution on are
// left as they were.
std::vector<laginfo_outcome> laginfo_mutual_information(const double* series, long L, long T,
                                                        const int* bins, long count,
                                                        double* result, int threads) {
  if (L <= long(UINT32_MAX))
    return mutual_information<uint32_t>(series, L, T, bins, count, result, threads);
  return mutual_information<uint64_t>(series, L, T, bins, count, result, threads);
}

// A maximal lag or a bin count from a double, truncated toward zero. Values
// beyond the integer range keep their meaning (a lag longer than any series,
// too many bins); NaN and -Inf become the most negative integer and are
// refused as a negative lag or as too few bins.
long count_from_double(double value) {
  if (value >= 2147483648.0) return INT32_MAX;
  return host::count_from_double(value);
}

enum { IN_SERIES = 0, IN_MAXLAG, IN_SIZES, IN_COUNT };

void print_progress(int b) { mexPrintf("Number of partitions per axis   : %d\n", b); }

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  (void)nlhs;  // the one output is made whatever was asked for
  if (nrhs < IN_COUNT)
    host::fail(
        "laginfo : Scalar time series, maximal timelag and number of partitions per axis must "
        "be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  // An array with no elements holds no series, whatever its longer side.
  const long L = host::all_elements(prhs[IN_SERIES]) == 0
                     ? 0
                     : long(host::longer_side(prhs[IN_SERIES]));
  const double* series = mxGetPr(prhs[IN_SERIES]);
  const long T = count_from_double(host::first_element(prhs[IN_MAXLAG], IN_MAXLAG + 1));
  const double* sizes = mxGetPr(prhs[IN_SIZES]);
  const long P = long(host::longer_side(prhs[IN_SIZES]));

  if (L - T <= 0) host::fail("Length of time series much to short for given timelag");
  if (T < 0) host::fail("Maximal timelag may not be negative");
  // A 0 x 5 argument has a longer side of 5 but holds no partition size.
  if (P < 1 || host::all_elements(prhs[IN_SIZES]) == 0)
    host::fail("At least one partition size must be given");
  std::vector<int> bins(static_cast<size_t>(P));
  for (long p = 0; p < P; ++p) {
    bins[p] = int(count_from_double(sizes[p]));
    if (bins[p] <= 1) host::fail("Number of bins should be at least greater one");
    if (bins[p] > max_bins) host::fail("Number of bins too large");
  }

  plhs[0] = mxCreateDoubleMatrix(T + 1, P, mxREAL);
  double* result = mxGetPr(plhs[0]);
  const long lags = T + 1;
  const int threads = parallel::threads_for(double(P) * double(lags) * double(L - T),
                                            pairs_per_thread, P * lags);
  // One resolution per thread at a time bounds the memory. Each resolution's
  // line is printed, and its failure reported, in the order of a one-thread
  // run; the first line of a batch goes out before the batch is computed.
  for (long p0 = 0; p0 < P; p0 += threads) {
    const long count = std::min<long>(threads, P - p0);
    print_progress(bins[p0]);
    const auto outcome = laginfo_mutual_information(series, L, T, &bins[p0], count,
                                                    result + p0 * lags, threads);
    for (long q = 0; q < count; ++q) {
      if (q > 0) print_progress(bins[p0 + q]);
      if (outcome[q] == laginfo_outcome::value_outside_range)
        host::fail("Data values must be rang values in the range [0 1)");
      if (outcome[q] == laginfo_outcome::out_of_memory) throw std::bad_alloc();
    }
  }
}
