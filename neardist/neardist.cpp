// neardist: the k nearest neighbours of points, leaving out those close in
// time (a Theiler window).
//
//   [D, I] = neardist(X, k)
//   [D, I] = neardist(X, k, w, R, p)
//
// X is N x d, one point per row, in time order. Row j is a candidate
// neighbour of reference row i when |i - j| > w (w = 0 leaves out the point
// itself). For every reference row R(r), D(r, m) is the distance to its m-th
// nearest candidate and I(r, m) that candidate's row; equal distances go by
// row, the lower first. The Euclidean distance (p = 2) is the square root of
// the sum, over the coordinates in order, of the squared differences, each
// operation rounded; the maximum norm (p = Inf) is the largest absolute
// difference. Defaults: w = 0, R = all rows in order, p = 2.
//
// The search is exact: a k-d tree prunes with bounds that never exceed a
// distance, and gives what a comparison with every candidate gives. The
// references are searched in the tree's leaf order, which keeps the tree in
// cache; their results are written in that order and put in the order of R
// afterwards, a column at a time.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/inputs.h"
#include "neighbours/k_nearest.h"

namespace {

using neighbours::norm;
using neighbours::row_t;

// Fills D and I, nR x k column-major, with the k nearest candidates of the
// references: the rows refs[0 ... nR - 1] (from 0), or every row in order when
// refs is null (then nR = N). Each reference has at least k candidates.
// I holds rows counted from `base`.
void nearest_neighbours(const double* X, size_t N, size_t d, size_t k, uint64_t w, norm p,
                        const row_t* refs, size_t nR, double* D, double* I, int base,
                        int threads) {
  if (nR == 0 || k == 0) return;
  const neighbours::kd_tree tree(X, N, d, threads);
  // Results are written in leaf order and put in the order of R afterwards.
  const neighbours::leaf_ordered references = neighbours::in_leaf_order(tree, refs, nR);
  const uint32_t* written_at = references.searched_at.data();

  neighbours::k_nearest(tree, p, k, w, references.positions.data(), nR, threads,
                        [&](size_t at, const double* distances, const row_t* found) {
                          for (size_t m = 0; m < k; ++m) {
                            D[at + m * nR] = distances[m];
                            I[at + m * nR] = double(found[m]) + base;
                          }
                        });

  // Each column into the order of R: a copy, then read back through
  // written_at. A column of a million rows fits in cache, the whole result
  // would not; the reads, all over the copy, are asked for ahead.
  const long columns = long(2 * k);
  threads = parallel::threads_for(double(nR) * double(columns), 1 << 18, columns, threads);
  std::vector<big_buffer::vector<double>> copies(size_t(std::max(threads, 1)));
  parallel::run(columns, threads, [&](long column, int worker) {
    double* values = (column < long(k) ? D : I) + size_t(column % long(k)) * nR;
    big_buffer::vector<double>& copy = copies[size_t(worker)];
    copy.assign(values, values + nR);
    constexpr size_t ahead = 32;
    for (size_t r = 0; r < nR; ++r) {
      if (r + ahead < nR) __builtin_prefetch(&copy[written_at[r + ahead]]);
      values[r] = copy[written_at[r]];
    }
  });
}

enum { IN_X = 0, IN_K, IN_W, IN_R, IN_P, IN_COUNT };
enum { OUT_D = 0, OUT_I };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_W) host::fail("X and k must be given");
  if (nrhs > IN_COUNT) host::fail("At most five inputs: X, k, w, R and p");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const auto [X, N, d] = neighbours::points_from(prhs[IN_X]);

  const size_t k = neighbours::neighbour_count_from(prhs[IN_K], IN_K);

  const uint64_t w = neighbours::window_from(nrhs, prhs, IN_W);

  const neighbours::references refs = neighbours::references_from(
      nrhs, prhs, IN_R, N,
      "R must hold row numbers of X, whole numbers from " + neighbours::row_number(0) + " to " +
          neighbours::row_number(int64_t(N) - 1));

  const norm p = neighbours::norm_from(nrhs, prhs, IN_P);

  const size_t nR = refs.count(N);
  neighbours::require_candidates(refs.list(), nR, N, w, k);

  plhs[OUT_D] = host::create_matrix_to_fill(nR, k);
  mxArray* indices = host::create_matrix_to_fill(nR, k);
  nearest_neighbours(X, N, d, k, w, p, refs.list(), nR,
                     mxGetPr(plhs[OUT_D]), mxGetPr(indices), host::index_base,
                     parallel::thread_budget());
  if (nlhs > OUT_I) plhs[OUT_I] = indices;
}
