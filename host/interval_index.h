// The interval search of the two interpolators, and their evaluation of many
// queries at once, split across threads.
//
// Both interpolators keep the interval of the previous query as the guess for
// the next (across calls too). A query t stays in the cached interval k when
// x[k] <= t <= x[k+1], both ends included, and always when t is NaN; any
// other query takes the interval a bisection finds: the last knot at or below
// t among x[0] ... x[top], or 0 when t is below x[0]. The cached interval is
// first reset to 0 when it is not one of 0 ... n-2.
//
// So a query exactly at the right end x[k+1] of the cached interval stays in
// interval k, where a search would give k+1, and the two evaluations round
// differently: the interval of a query, and with it the last bits of its
// value, can depend on the queries before it. Everything here keeps that
// sequence exactly as one pass over the queries in storage order makes it.
//
// The knots must be strictly ascending and free of NaN (the interpolators
// refuse other data before they get here); infinite knots are fine.
//
// This header needs nothing of the host; numeric cores may include it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>

#include "host/big_buffer.h"
#include "host/parallel.h"

namespace interval_search {

class interval_index {
 public:
  // Knots x[0] ... x[n-1], n >= 2; searches answer with 0 ... top (n-1 when
  // the last interval continues from the last knot, n-2 when it ends there).
  // With `buckets` a table of top+2 indices (8 bytes each) is built, which
  // finds the interval of a query in constant time when the knots are spread
  // evenly; without it, and over knots spanning more than the largest double,
  // each search halves the range of knots.
  interval_index(const double* x, long n, long top, bool buckets) : x(x), n(n), top(top) {
    const double span = x[top] - x[0];
    if (!buckets || top < 1 || !std::isfinite(x[0]) || !std::isfinite(span)) return;
    bucket_count = top + 1;
    scale = double(bucket_count) / span;
    // A span too small for the count leaves no finite scale.
    if (!std::isfinite(scale)) return;
    // first[j]: the first knot in bucket j or above. bucket_of never
    // decreases as its argument grows (subtraction, scaling by a positive
    // number and truncation all keep order), so the knots of bucket j are
    // x[first[j]] ... x[first[j+1]-1], all knots before them are below any
    // query in bucket j and all after them above it.
    first.resize(size_t(bucket_count) + 1);
    long j = 0;
    for (long i = 0; i <= top; ++i) {
      const long bucket = bucket_of(x[i]);
      while (j <= bucket) first[j++] = i;
    }
    while (j <= bucket_count) first[j++] = top + 1;
  }

  // The interval the bisection finds for t (top for a NaN t, as the
  // bisection gives).
  long find(double t) const {
    if (std::isnan(t)) return top;
    long lo = 0, hi = top + 1;
    if (!first.empty()) {
      const long j = bucket_of(t);
      lo = first[j];
      hi = first[j + 1];
    }
    // Every knot before lo is at or below t, every knot from hi on above it.
    while (hi - lo > 2) {
      const long mid = lo + (hi - lo) / 2;
      if (x[mid] <= t)
        lo = mid + 1;
      else
        hi = mid;
    }
    // The last two without branches, which random queries would mispredict;
    // x is read at most at top, also when lo has reached top + 1.
    lo += long((lo < hi) & (x[std::min(lo, top)] <= t));
    lo += long((lo < hi) & (x[std::min(lo, top)] <= t));
    return lo > 0 ? lo - 1 : 0;
  }

  // The interval of the query t after the query that had `previous`.
  long step(long previous, double t) const {
    long k = previous;
    if (k >= n - 1 || k < 0) k = 0;
    if (!(t < x[k] || t > x[k + 1])) return k;
    // Sorted queries mostly move on to the next interval.
    const bool next = (k < top) & (t > x[k + 1]) &
                      ((k + 1 == top) | (t < x[std::min(k + 2, n - 1)]));
    if (next) return k + 1;
    return find(t);
  }

  // The same as step(), found the other way round: the search first, then
  // the two cases where the cached interval is kept although the search
  // gives another (a NaN t, and t at the cached interval's right end; in
  // all others the search gives the cached interval or t lies outside it).
  // For unsorted queries this is faster: step() would branch on whether t
  // lies left or right of the cached interval, a coin toss.
  long search_then_step(long previous, double t) const {
    long k = previous;
    if (k >= n - 1 || k < 0) k = 0;
    const long found = find(t);
    return (t == x[k + 1] || std::isnan(t)) ? k : found;
  }

 private:
  long bucket_of(double t) const {
    // Clamped without branches; a NaN t never gets here.
    const double v = (t - x[0]) * scale;
    return long(std::min(std::max(v, 0.0), double(bucket_count - 1)));
  }

  const double* x;
  long n, top;
  long bucket_count = 0;
  double scale = 0;
  big_buffer::vector<long> first;
};

// Queries per block when a call is split across threads: enough work for a
// block to pay for the hand-over.
constexpr size_t block_size = size_t(1) << 14;

// Writes out[q] = value(k_q, t[q]) for q = 0 ... K-1, where k_q is the
// interval of t[q] in one pass over the queries starting from the cached
// interval `last`; returns the interval of the last query (`last` itself
// when there is none), the cache for the next call. Uses up to `threads`
// threads, fewer when the call is small; the results are the same for every
// count. value must not touch shared state.
//
// Split across threads, every block but the first starts from interval 0
// instead of the interval its predecessor ends with. Afterwards the calling
// thread walks the blocks in order and replays each one's start from the
// true interval beside the guessed one until the two agree (usually at the
// first query: only NaN queries and queries exactly at a knot keep an
// interval they did not search for), recomputing the values in between.
template <typename Value>
long evaluate(const double* x, long n, long top, const double* t, size_t K, double* out,
              long last, int threads, Value value) {
  if (K == 0) return last;
  // The table pays when the searches it saves cost more than filling it.
  const bool buckets = double(K) * std::log2(double(n)) >= 2.0 * double(n);
  const interval_index index(x, n, top, buckets);
  const size_t blocks = (K + block_size - 1) / block_size;
  threads = parallel::threads_for(double(K), double(block_size), long(blocks), threads);

  auto pass = [&](size_t begin, size_t end, long k) {
    // Whether the previous query stayed in its interval, as sorted queries
    // mostly do: then the cached interval is tried before the search.
    bool stayed = true;
    for (size_t q = begin; q < end; ++q) {
      const long previous = k;
      k = stayed ? index.step(k, t[q]) : index.search_then_step(k, t[q]);
      stayed = k == previous;
      out[q] = value(k, t[q]);
    }
    return k;
  };
  if (threads == 1) return pass(0, K, last);

  std::unique_ptr<long[]> ends(new long[blocks]);
  parallel::run(long(blocks), threads, [&](long b, int) {
    const size_t begin = size_t(b) * block_size;
    ends[b] = pass(begin, std::min(K, begin + block_size), b == 0 ? last : 0);
  });
  long k = ends[0];
  for (size_t b = 1; b < blocks; ++b) {
    const size_t begin = b * block_size, end = std::min(K, begin + block_size);
    long guess = 0;
    size_t q = begin;
    for (; q < end && k != guess; ++q) {
      k = index.step(k, t[q]);
      guess = index.step(guess, t[q]);
      if (k != guess) out[q] = value(k, t[q]);
    }
    if (k == guess) k = ends[b];
  }
  return k;
}

}  // namespace interval_search
