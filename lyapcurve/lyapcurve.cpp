// lyapcurve: how fast neighbouring trajectories part, the curve whose slope
// is the largest Lyapunov exponent.
//
//   [S, n] = lyapcurve(X, K)
//   [S, n] = lyapcurve(X, K, k, w, R, p)
//
// X is N x d, one point per row, in time order. The usable rows are
// 1 ... N - K, those that can be followed K steps. For each reference row t
// of R, U_t holds its k nearest usable rows s with |t - s| > w, by distance
// and then row, exactly as neardist(X(1:N-K, :), k, w, t, p) returns them.
// For every step Delta = 0 ... K:
//   d_t(Delta) = (sum over s in U_t, in that order, of
//                 dist_p(X(t + Delta, :), X(s + Delta, :))) / k;
//   n(Delta)   = the number of references with d_t(Delta) > 0;
//   S(Delta)   = (sum over those references, in the order of R, of
//                 log d_t(Delta)) / n(Delta), NaN when n(Delta) = 0.
// Distances as in neardist: the Euclidean distance is the square root of the
// sum over the coordinates in order of the squared differences, each
// operation rounded; the maximum norm is the largest absolute difference.
// Defaults: k = 1, w = 0, R = 1 : N - K (every usable row, in order), p = 2.
// An empty R gives S all NaN and n all 0. S and n are (K + 1) x 1.
//
// The neighbours come from a k-d tree over the usable rows (neighbours/),
// searched exactly, the references in the tree's leaf order. The curve is
// then made a block of references at a time: the threads form the d_t and
// their logarithms, each reference's own, and the sums take them in the
// order of R, each step's sum on one thread. So the results are the same
// for every thread count, and memory beyond the neighbours' rows is one
// block, of about 8 MB.
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

// The distance of rows i and j of the N x d points X, as the search forms it.
template <norm P>
double distance(const double* X, size_t N, size_t d, size_t i, size_t j) {
  double sum = 0;
  for (size_t c = 0; c < d; ++c) {
    const double t = X[i + c * N] - X[j + c * N];
    sum = P == norm::euclidean ? sum + t * t : std::max(sum, std::fabs(t));
  }
  return P == norm::euclidean ? std::sqrt(sum) : sum;
}

// log d_t(Delta) for Delta = 0 ... K into logs[Delta * stride], or NaN
// where d_t(Delta) is 0 (a logarithm is never NaN otherwise: distances are
// never NaN). sums holds K + 1 values of scratch.
template <norm P>
void log_distances(const double* X, size_t N, size_t d, size_t K, size_t k, size_t t,
                   const row_t* neighbours, double* sums, double* logs, size_t stride) {
  for (size_t step = 0; step <= K; ++step) sums[step] = distance<P>(X, N, d, t + step, neighbours[0] + step);
  for (size_t m = 1; m < k; ++m)
    for (size_t step = 0; step <= K; ++step)
      sums[step] = sums[step] + distance<P>(X, N, d, t + step, neighbours[m] + step);
  for (size_t step = 0; step <= K; ++step) {
    const double mean = sums[step] / double(k);
    logs[step * stride] = mean > 0 ? std::log(mean) : NAN;
  }
}

// S and n (K + 1 values each) for the references refs[0 ... nR - 1] (usable
// rows from 0), or every usable row in order when refs is null (then nR is
// N - K). Each reference has at least k candidates.
void divergence_curve(const double* X, size_t N, size_t d, size_t K, size_t k, uint64_t w,
                      norm p, const row_t* refs, size_t nR, double* S, double* n, int threads) {
  const size_t steps = K + 1;
  std::fill_n(S, steps, 0.0);
  std::fill_n(n, steps, 0.0);
  if (nR > 0) {
    // The neighbours of each reference, in the order searched.
    const size_t usable = N - K;
    const neighbours::kd_tree tree(neighbours::columns_of(X, N, d), usable, threads);
    const neighbours::leaf_ordered references = neighbours::in_leaf_order(tree, refs, nR);
    big_buffer::vector<row_t> found(nR * k);
    neighbours::k_nearest(tree, p, k, w, references.positions.data(), nR, threads,
                          [&](size_t at, const double*, const row_t* rows) {
                            std::copy_n(rows, k, found.data() + at * k);
                          });

    // A block of references: at least 64, and about 8 MB of logarithms,
    // those of each step side by side.
    const size_t block = std::max<size_t>(64, (size_t(1) << 20) / steps);
    const size_t stride = std::min(block, nR);
    big_buffer::vector<double> logs(stride * steps);
    std::vector<parallel::own_vector<double>> sums(size_t(std::max(threads, 1)),
                                                    parallel::own_vector<double>(steps));
    std::vector<uint64_t> counts(steps, 0);
    for (size_t first = 0; first < nR; first += block) {
      const size_t size = std::min(block, nR - first);
      const long chunks = long(std::min<size_t>(size, 64));
      const double work = double(size) * double(steps) * double(k) * double(d + 2);
      parallel::run(chunks, parallel::threads_for(work, 1 << 15, chunks, threads),
                    [&](long chunk, int worker) {
                      const size_t begin = size * size_t(chunk) / size_t(chunks);
                      const size_t end = size * size_t(chunk + 1) / size_t(chunks);
                      for (size_t r = first + begin; r < first + end; ++r) {
                        const size_t t = refs ? refs[r] : r;
                        const row_t* neighbours = found.data() + size_t(references.searched_at[r]) * k;
                        double* into = logs.data() + (r - first);
                        double* scratch = sums[size_t(worker)].data();
                        if (p == norm::euclidean)
                          log_distances<norm::euclidean>(X, N, d, K, k, t, neighbours, scratch, into, stride);
                        else
                          log_distances<norm::maximum>(X, N, d, K, k, t, neighbours, scratch, into, stride);
                      }
                    });
      // The sums, each step's over the block in the order of R.
      const long groups = long(std::min<size_t>(steps, 16));
      parallel::run(groups, parallel::threads_for(double(size) * double(steps), 1 << 16, groups, threads),
                    [&](long group, int) {
                      const size_t begin = steps * size_t(group) / size_t(groups);
                      const size_t end = steps * size_t(group + 1) / size_t(groups);
                      for (size_t step = begin; step < end; ++step) {
                        const double* values = logs.data() + step * stride;
                        double sum = S[step];
                        uint64_t count = counts[step];
                        for (size_t r = 0; r < size; ++r)
                          if (!std::isnan(values[r])) {
                            sum = sum + values[r];
                            ++count;
                          }
                        S[step] = sum;
                        counts[step] = count;
                      }
                    });
    }
    for (size_t step = 0; step < steps; ++step) n[step] = double(counts[step]);
  }
  for (size_t step = 0; step < steps; ++step) S[step] = n[step] > 0 ? S[step] / n[step] : NAN;
}

enum { IN_X = 0, IN_STEPS, IN_K, IN_W, IN_R, IN_P, IN_COUNT };
enum { OUT_S = 0, OUT_N };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_K) host::fail("X and K must be given");
  if (nrhs > IN_COUNT) host::fail("At most six inputs: X, K, k, w, R and p");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const auto [X, N, d] = neighbours::points_from(prhs[IN_X]);

  const double K_value = host::first_element(prhs[IN_STEPS], IN_STEPS + 1);
  if (!neighbours::is_whole(K_value) || K_value < 0 || K_value > double(N) - 1)
    host::fail("K must be a whole number from 0 to N - 1 = " + std::to_string(int64_t(N) - 1));
  const size_t K = size_t(K_value), usable = N - K;

  const size_t k = nrhs > IN_K ? neighbours::neighbour_count_from(prhs[IN_K], IN_K) : 1;
  const uint64_t w = neighbours::window_from(nrhs, prhs, IN_W);

  const neighbours::references refs = neighbours::references_from(
      nrhs, prhs, IN_R, usable,
      "R must hold usable rows of X, whole numbers from " + neighbours::row_number(0) +
          " to N - K" + (host::index_base == 0 ? " - 1 = " : " = ") +
          neighbours::row_number(int64_t(usable) - 1));

  const norm p = neighbours::norm_from(nrhs, prhs, IN_P);

  const size_t nR = refs.count(usable);
  neighbours::require_candidates(refs.list(), nR, usable, w, k);

  plhs[OUT_S] = host::create_matrix_to_fill(K + 1, 1);
  mxArray* counts = host::create_matrix_to_fill(K + 1, 1);
  divergence_curve(X, N, d, K, k, w, p, refs.list(), nR, mxGetPr(plhs[OUT_S]),
                   mxGetPr(counts), parallel::thread_budget());
  if (nlhs > OUT_N) plhs[OUT_N] = counts;
}
