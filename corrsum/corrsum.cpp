// corrsum: the correlation sum of a point set, leaving out pairs close in
// time (a Theiler window).
//
//   [C, n] = corrsum(X, r)
//   [C, n] = corrsum(X, r, w, p)
//
// X is N x d, one point per row, in time order. The pairs are the rows
// i < j with j - i > w. For every radius r(m), n(m) is the number of pairs
// whose distance is below r(m), and C(m) = n(m) / (number of pairs), one
// rounded division. Distances as in neardist: the Euclidean distance (p = 2)
// is the square root of the sum, over the coordinates in order, of the
// squared differences, each operation rounded; the maximum norm (p = Inf)
// is the largest absolute difference. A radius of 0 or below counts no pair,
// an infinite one every pair. Defaults: w = 0, p = 2.
//
// The distance is compared with the radius, not its square with the square
// of the radius: each radius becomes the largest sum of squares whose root
// is below it, so that sums can be compared instead, with the same outcome.
//
// The pairs are counted on the shared k-d tree, two nodes at a time
// (neighbours/pair_count.h), against the thresholds of all radii at once.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/inputs.h"
#include "neighbours/pair_count.h"

namespace {

using neighbours::norm;

// The largest sum that counts for the radius: a pair counts when its sum
// (of squares, or largest difference) is at most this. -1 when none does.
double largest_counted_sum(double r, norm p) {
  if (!(r > 0)) return -1;
  if (r == INFINITY) return INFINITY;
  if (p == norm::maximum) return std::nextafter(r, 0.0);
  // The roots of the sums near r^2 are within an ulp or two of r.
  double s = std::min(r * r, DBL_MAX);
  while (s > 0 && std::sqrt(s) >= r) s = std::nextafter(s, 0.0);
  while (s < DBL_MAX && std::sqrt(std::nextafter(s, INFINITY)) < r)
    s = std::nextafter(s, INFINITY);
  return s;
}

// n[m], for each of the M radii, the number of pairs i < j with j - i > w
// whose distance is below radii[m]. There must be at least one pair.
void pair_counts(const double* X, size_t N, size_t d, const double* radii, size_t M, uint64_t w,
                 norm p, double* n, int threads) {
  // The radii as thresholds on the sums, in ascending order.
  std::vector<size_t> order(M);
  std::iota(order.begin(), order.end(), size_t(0));
  std::vector<double> of_radius(M), thresholds(M);
  for (size_t m = 0; m < M; ++m) of_radius[m] = largest_counted_sum(radii[m], p);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return of_radius[a] < of_radius[b]; });
  for (size_t m = 0; m < M; ++m) thresholds[m] = of_radius[order[m]];

  std::vector<uint64_t> counts(M + 1, 0);
  neighbours::count_pairs(neighbours::columns_of(X, N, d), N, p, thresholds.data(), M, w,
                          counts.data(), threads);
  uint64_t below = 0;
  for (size_t m = 0; m < M; ++m) {
    below += counts[m];
    n[order[m]] = double(below);
  }
}

enum { IN_X = 0, IN_R, IN_W, IN_P, IN_COUNT };
enum { OUT_C = 0, OUT_N };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_W) host::fail("X and r must be given");
  if (nrhs > IN_COUNT) host::fail("At most four inputs: X, r, w and p");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const auto [X, N, d] = neighbours::points_from(prhs[IN_X]);

  const double* radii = mxGetPr(prhs[IN_R]);
  const size_t M = host::all_elements(prhs[IN_R]);
  for (size_t m = 0; m < M; ++m)
    if (std::isnan(radii[m])) host::fail("r must not hold NaN");

  const uint64_t w = neighbours::window_from(nrhs, prhs, IN_W);
  const norm p = neighbours::norm_from(nrhs, prhs, IN_P);

  if (N < 2 || w >= N - 1) host::fail("No pairs: X needs more than w + 1 rows");
  const uint64_t pairs = (N - w) * (N - w - 1) / 2;

  plhs[OUT_C] = host::create_matrix_to_fill(M, 1);
  mxArray* counts = host::create_matrix_to_fill(M, 1);
  double* n = mxGetPr(counts);
  pair_counts(X, N, d, radii, M, w, p, n, parallel::thread_budget());
  double* C = mxGetPr(plhs[OUT_C]);
  for (size_t m = 0; m < M; ++m) C[m] = n[m] / double(pairs);
  if (nlhs > OUT_N) plhs[OUT_N] = counts;
}
