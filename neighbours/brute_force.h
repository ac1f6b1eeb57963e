// For the tests: neighbours and pair counts by comparing every pair, straight
// from the definitions, on the points as the caller gives them (N x d,
// column-major). Slow and plain on purpose; the tree searches must agree
// with it bit for bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace brute_force {

// The distance of rows i and j: the square root of the sum over coordinates
// c = 0 ... d-1, in that order, of (x_c - y_c)^2, or the largest |x_c - y_c|.
inline double distance(const double* X, size_t N, size_t d, size_t i, size_t j, bool maximum) {
  double sum = 0;
  for (size_t c = 0; c < d; ++c) {
    const double t = X[i + c * N] - X[j + c * N];
    if (maximum)
      sum = std::max(sum, std::fabs(t));
    else
      sum = sum + t * t;
  }
  return maximum ? sum : std::sqrt(sum);
}

// The k nearest rows j with |i - j| > w, as (distance, row), by distance and
// then row; fewer when there are fewer candidates.
inline std::vector<std::pair<double, size_t>> k_nearest(const double* X, size_t N, size_t d,
                                                        size_t i, size_t k, uint64_t w,
                                                        bool maximum) {
  std::vector<std::pair<double, size_t>> all;
  for (size_t j = 0; j < N; ++j) {
    const uint64_t apart = j > i ? j - i : i - j;
    if (apart > w) all.push_back({distance(X, N, d, i, j, maximum), j});
  }
  const size_t keep = std::min(k, all.size());
  std::partial_sort(all.begin(), all.begin() + long(keep), all.end());
  all.resize(keep);
  return all;
}

// For every radius, the number of pairs i < j with j - i > w whose distance
// is below it (every pair for an infinite radius).
inline std::vector<uint64_t> pair_counts(const double* X, size_t N, size_t d,
                                         const std::vector<double>& radii, uint64_t w,
                                         bool maximum) {
  std::vector<uint64_t> counts(radii.size(), 0);
  for (size_t i = 0; i < N; ++i)
    for (size_t j = i + 1; j < N; ++j) {
      if (j - i <= w) continue;
      const double r = distance(X, N, d, i, j, maximum);
      for (size_t m = 0; m < radii.size(); ++m)
        counts[m] += radii[m] == INFINITY || r < radii[m];
    }
  return counts;
}

// For every row i, the number of rows j (i itself included) whose distance
// from it is at most r.
inline std::vector<uint64_t> range_counts(const double* X, size_t N, size_t d, double r,
                                          bool maximum) {
  std::vector<uint64_t> counts(N, 0);
  for (size_t i = 0; i < N; ++i)
    for (size_t j = 0; j < N; ++j) counts[i] += distance(X, N, d, i, j, maximum) <= r;
  return counts;
}

}  // namespace brute_force
