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
#include <string>
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
  const row_t* rows = tree.rows();
  big_buffer::vector<uint32_t> position_of(N);
  for (size_t i = 0; i < N; ++i) position_of[rows[i]] = uint32_t(i);

  // The references in leaf order, and for each output row where its result
  // is written first.
  big_buffer::vector<uint32_t> order(nR), written_at(nR);
  if (!refs) {
    for (size_t i = 0; i < N; ++i) order[i] = uint32_t(i);
    written_at.assign(position_of.begin(), position_of.end());
  } else {
    big_buffer::vector<uint32_t> starts(N + 1, 0);
    for (size_t r = 0; r < nR; ++r) ++starts[position_of[refs[r]] + 1];
    for (size_t i = 0; i < N; ++i) starts[i + 1] += starts[i];
    for (size_t r = 0; r < nR; ++r) {
      const uint32_t position = position_of[refs[r]];
      written_at[r] = starts[position]++;
      order[written_at[r]] = position;
    }
  }

  neighbours::k_nearest(tree, p, k, w, order.data(), nR, threads,
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

// The row number a caller sees.
std::string row_number(size_t row) { return std::to_string(row + size_t(host::index_base)); }

enum { IN_X = 0, IN_K, IN_W, IN_R, IN_P, IN_COUNT };
enum { OUT_D = 0, OUT_I };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_W) host::fail("X and k must be given");
  if (nrhs > IN_COUNT) host::fail("At most five inputs: X, k, w, R and p");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const auto [X, N, d] = neighbours::points_from(prhs[IN_X]);

  const double k_value = host::first_element(prhs[IN_K], IN_K + 1);
  if (!neighbours::is_whole(k_value) || k_value < 1 || k_value > 2147483647.0)
    host::fail("k must be a whole number from 1 to 2147483647");
  const size_t k = size_t(k_value);

  const uint64_t w = neighbours::window_from(nrhs, prhs, IN_W);

  std::vector<row_t> refs;
  bool all_rows = nrhs <= IN_R;
  if (!all_rows) {
    const double* R = mxGetPr(prhs[IN_R]);
    const size_t nR = host::all_elements(prhs[IN_R]);
    refs.resize(nR);
    const double first = host::index_base, last = double(N) - 1 + host::index_base;
    for (size_t r = 0; r < nR; ++r) {
      if (!neighbours::is_whole(R[r]) || R[r] < first || R[r] > last)
        host::fail("R must hold row numbers of X, whole numbers from " + row_number(0) + " to " +
                   row_number(N - 1));
      refs[r] = row_t(R[r] - host::index_base);
    }
  }
  // R that lists every row in order is the default, whichever way it came.
  bool in_order = !all_rows && refs.size() == N;
  for (size_t r = 0; in_order && r < N; ++r) in_order = refs[r] == r;
  if (in_order) all_rows = true;

  const norm p = neighbours::norm_from(nrhs, prhs, IN_P);

  // Every reference needs k candidates.
  const size_t nR = all_rows ? N : refs.size();
  size_t fewest_at = SIZE_MAX;
  uint64_t fewest = UINT64_MAX;
  for (size_t r = 0; r < nR; ++r) {
    const uint64_t row = all_rows ? r : refs[r];
    const uint64_t candidates = neighbours::candidates_of(row, N, w);
    if (candidates < fewest) fewest = candidates, fewest_at = size_t(row);
  }
  if (fewest < k)
    host::fail("Not enough candidates: reference row " + row_number(fewest_at) + " has " +
               std::to_string(fewest) + " rows more than w = " + std::to_string(w) +
               " apart, fewer than k = " + std::to_string(k));

  plhs[OUT_D] = host::create_matrix_to_fill(nR, k);
  mxArray* indices = host::create_matrix_to_fill(nR, k);
  nearest_neighbours(X, N, d, k, w, p, all_rows ? nullptr : refs.data(), nR,
                     mxGetPr(plhs[OUT_D]), mxGetPr(indices), host::index_base,
                     parallel::thread_budget());
  if (nlhs > OUT_I) plhs[OUT_I] = indices;
}
