// The inputs the gateways of the neighbour modules share, read and checked
// once here, with their messages: the point set X, the Theiler window w and
// the norm p.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/k_nearest.h"

namespace neighbours {

inline bool is_whole(double value) { return std::isfinite(value) && std::floor(value) == value; }

// Whether x[0 ... n-1] are all finite: NaN and Inf have every exponent bit
// set, and adding one at the exponent's lowest bit then carries into the
// sign bit. Without a branch per value, so that the compiler can take
// several values per instruction: a long series is read at memory speed,
// and one of millions of values on several threads, since the check would
// otherwise be the one part of a call on one core.
inline bool all_finite_run(const double* x, size_t n) {
  constexpr uint64_t exponent = 0x7ff0000000000000, lowest = uint64_t(1) << 52;
  uint64_t seen = 0;
  for (size_t t = 0; t < n; ++t) {
    uint64_t bits;
    std::memcpy(&bits, x + t, sizeof bits);
    seen |= (bits & exponent) + lowest;
  }
  return !(seen >> 63);
}

inline bool all_finite(const double* x, size_t n) {
  constexpr size_t piece = size_t(1) << 18;
  const long pieces = long((n + piece - 1) / piece);
  const int threads = parallel::threads_for(double(n), double(piece) * 4, pieces);
  if (threads == 1) return all_finite_run(x, n);
  std::atomic<bool> finite{true};
  parallel::run(pieces, threads, [&](long p, int) {
    const size_t first = size_t(p) * piece;
    if (!all_finite_run(x + first, std::min(piece, n - first)))
      finite.store(false, std::memory_order_relaxed);
  });
  return finite.load();
}

struct point_set {
  const double* X;
  size_t N, d;  // N rows of d coordinates, column-major
};

// X: N x d, finite, with fewer than 2^31 rows.
inline point_set points_from(const mxArray* array) {
  const point_set points{mxGetPr(array), mxGetM(array), mxGetN(array)};
  if (points.N > max_rows) host::fail("X has too many rows");
  if (!all_finite(points.X, points.N * points.d)) host::fail("X must not hold NaN or Inf");
  return points;
}

// w at `position` (from 0) when given, else 0: a whole number of at least 0.
// Windows past 2^63 rows are as wide as 2^64 - 1 rows.
inline uint64_t window_from(int nrhs, const mxArray* prhs[], int position) {
  if (nrhs <= position) return 0;
  const double w = host::first_element(prhs[position], position + 1);
  if (!is_whole(w) || w < 0) host::fail("w must be a whole number, at least 0");
  return w >= 0x1p63 ? UINT64_MAX : uint64_t(w);
}

// k, the number of neighbours, at `position` (from 0).
inline size_t neighbour_count_from(const mxArray* array, int position) {
  const double k = host::first_element(array, position + 1);
  if (!is_whole(k) || k < 1 || k > 2147483647.0)
    host::fail("k must be a whole number from 1 to 2147483647");
  return size_t(k);
}

// p at `position` when given, else 2: 2 or Inf.
inline norm norm_from(int nrhs, const mxArray* prhs[], int position) {
  if (nrhs <= position) return norm::euclidean;
  const double p = host::first_element(prhs[position], position + 1);
  if (p == INFINITY) return norm::maximum;
  if (p != 2) host::fail("p must be 2 or Inf");
  return norm::euclidean;
}

// A row number as the caller counts rows.
inline std::string row_number(int64_t row) { return std::to_string(row + host::index_base); }

// The reference rows R at `position` (from 0), counted from the host's base,
// as rows from 0 below n; anything else is refused with `refused`. Not given,
// or listing every row in order, they are every row: list() is then null.
struct references {
  std::vector<row_t> rows;
  bool every_row;
  const row_t* list() const { return every_row ? nullptr : rows.data(); }
  size_t count(size_t n) const { return every_row ? n : rows.size(); }
};
inline references references_from(int nrhs, const mxArray* prhs[], int position, size_t n,
                                  const std::string& refused) {
  references refs{{}, true};
  if (nrhs <= position) return refs;
  const double* R = mxGetPr(prhs[position]);
  refs.rows.resize(host::all_elements(prhs[position]));
  const double first = host::index_base, last = double(n) - 1 + host::index_base;
  for (size_t r = 0; r < refs.rows.size(); ++r) {
    if (!is_whole(R[r]) || R[r] < first || R[r] > last) host::fail(refused);
    refs.rows[r] = row_t(R[r] - host::index_base);
  }
  refs.every_row = refs.rows.size() == n;
  for (size_t r = 0; refs.every_row && r < n; ++r) refs.every_row = refs.rows[r] == r;
  return refs;
}

// Every reference (refs[0 ... nR - 1], or rows 0 ... nR - 1 when refs is
// null) needs k candidates among n rows; the first with the fewest is named.
inline void require_candidates(const row_t* refs, size_t nR, size_t n, uint64_t w, size_t k) {
  size_t fewest_at = SIZE_MAX;
  uint64_t fewest = UINT64_MAX;
  for (size_t r = 0; r < nR; ++r) {
    const uint64_t row = refs ? refs[r] : r;
    const uint64_t candidates = candidates_of(row, n, w);
    if (candidates < fewest) fewest = candidates, fewest_at = size_t(row);
  }
  if (fewest < k)
    host::fail("Not enough candidates: reference row " + row_number(int64_t(fewest_at)) + " has " +
               std::to_string(fewest) + " rows more than w = " + std::to_string(w) +
               " apart, fewer than k = " + std::to_string(k));
}

}  // namespace neighbours
