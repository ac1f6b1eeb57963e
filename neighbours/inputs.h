// The inputs the gateways of the neighbour modules share, read and checked
// once here, with their messages: the point set X, the Theiler window w and
// the norm p.
#pragma once

#include <cmath>
#include <cstdint>

#include "host/host.h"
#include "neighbours/k_nearest.h"

namespace neighbours {

inline bool is_whole(double value) { return std::isfinite(value) && std::floor(value) == value; }

struct point_set {
  const double* X;
  size_t N, d;  // N rows of d coordinates, column-major
};

// X: N x d, finite, with fewer than 2^31 rows.
inline point_set points_from(const mxArray* array) {
  const point_set points{mxGetPr(array), mxGetM(array), mxGetN(array)};
  if (points.N > max_rows) host::fail("X has too many rows");
  for (size_t i = 0; i < points.N * points.d; ++i)
    if (!std::isfinite(points.X[i])) host::fail("X must not hold NaN or Inf");
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

// p at `position` when given, else 2: 2 or Inf.
inline norm norm_from(int nrhs, const mxArray* prhs[], int position) {
  if (nrhs <= position) return norm::euclidean;
  const double p = host::first_element(prhs[position], position + 1);
  if (p == INFINITY) return norm::maximum;
  if (p != 2) host::fail("p must be 2 or Inf");
  return norm::euclidean;
}

}  // namespace neighbours
