// sampen: sample entropy of a series, optionally of its coarse-grained
// versions over several scales (multiscale entropy).
//
//   [SE, A, B] = sampen(x)
//   [SE, A, B] = sampen(x, m, r, tau, w, scales)
//
// For each scale s the series is y_s(j) = (x((j-1)s + 1) + ... + x(js)) / s,
// j = 1 ... N_s = floor(N / s), the sum in order (y_1 is x). Its templates
// are u_m(t) = (y(t), y(t + tau), ..., y(t + (m-1) tau)) for t = 1 ... T,
// T = N_s - m tau: those that have an (m+1)-th point. B counts the pairs
// i < j of templates with j - i > w whose maximum-norm distance is <= r;
// A the same pairs whose templates of length m + 1 are <= r apart.
// SE = -log(A / B): Inf when A = 0 < B, NaN when B = 0. r is the same at
// every scale. Defaults: m = 2, r = 0.2 sigma (sigma of x, as embeddim
// defines it), tau = 1, w = 0, scales = 1.
//
// The pairs are counted exactly on the shared k-d tree, two nodes at a time
// (neighbours/pair_count.h), over the delay vectors where they lie in the
// series: the tree holds the only copy, of one length at a time. Counts are
// whole numbers, the same for every thread count.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/inputs.h"
#include "neighbours/pair_count.h"
#include "neighbours/series.h"

namespace {

using neighbours::whole_from;
using neighbours::whole_number;

// The pairs i < j, j - i > w, of the T delay vectors of length m of y whose
// maximum-norm distance is at most r.
uint64_t pairs_within(const double* y, size_t T, size_t m, size_t tau, double r, uint64_t w,
                      int threads) {
  uint64_t counts[2] = {0, 0};
  neighbours::count_pairs(neighbours::delay_columns(y, m, tau), T, neighbours::norm::maximum, &r,
                          1, w, counts, threads);
  return counts[0];
}

// y(j) = (x(j s) + ... + x(j s + s - 1)) / s for j = 0 ... n - 1.
void coarse_grain(const double* x, size_t n, size_t s, double* y, int threads) {
  constexpr size_t block = 1 << 16;
  const long blocks = long((n + block - 1) / block);
  parallel::run(blocks, parallel::threads_for(double(n) * double(s), 1 << 18, blocks, threads),
                [&](long b, int) {
                  const size_t end = std::min(n, size_t(b + 1) * block);
                  for (size_t j = size_t(b) * block; j < end; ++j) {
                    double sum = 0;
                    for (size_t i = 0; i < s; ++i) sum += x[j * s + i];
                    y[j] = sum / double(s);
                  }
                });
}

// SE, A and B for each of the S scales; every scale leaves at least
// m tau + 2 samples. Returns S, or the first k whose coarse-grained series
// overflows (some sum of s samples is infinite), which is then left undone.
size_t sample_entropy(const double* x, size_t N, size_t m, double r, size_t tau, uint64_t w,
                      const size_t* scales, size_t S, double* SE, double* A, double* B,
                      int threads) {
  big_buffer::vector<double> coarse;
  for (size_t k = 0; k < S; ++k) {
    const size_t s = scales[k], n = N / s;
    const double* y = x;
    if (s > 1) {
      coarse.resize(n);
      coarse_grain(x, n, s, coarse.data(), threads);
      y = coarse.data();
      for (size_t j = 0; j < n; ++j)
        if (!std::isfinite(y[j])) return k;
    }
    const size_t T = n - m * tau;
    B[k] = double(pairs_within(y, T, m, tau, r, w, threads));
    A[k] = double(pairs_within(y, T, m + 1, tau, r, w, threads));
    // + 0.0: A = B gives 0, not -0.
    SE[k] = B[k] > 0 ? -std::log(A[k] / B[k]) + 0.0 : NAN;
  }
  return S;
}

enum { IN_X = 0, IN_M, IN_R, IN_TAU, IN_W, IN_SCALES, IN_COUNT };
enum { OUT_SE = 0, OUT_A, OUT_B, OUT_COUNT };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_M) host::fail("x must be given");
  if (nrhs > IN_COUNT) host::fail("At most six inputs: x, m, r, tau, w and scales");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const neighbours::series series = neighbours::series_from(prhs[IN_X]);
  const double m = whole_from(nrhs, prhs, IN_M, 2, 1, "m must be a whole number, at least 1");
  const double r = neighbours::radius_from(nrhs, prhs, IN_R, series);
  const double tau = whole_from(nrhs, prhs, IN_TAU, 1, 1, "tau must be a whole number, at least 1");
  const uint64_t w = neighbours::window_from(nrhs, prhs, IN_W);

  const double one = 1;
  const double* given = nrhs > IN_SCALES ? mxGetPr(prhs[IN_SCALES]) : &one;
  const size_t S = nrhs > IN_SCALES ? host::all_elements(prhs[IN_SCALES]) : 1;
  for (size_t k = 0; k < S; ++k)
    if (!neighbours::is_whole(given[k]) || given[k] < 1)
      host::fail("scales must hold whole numbers, at least 1");

  if (series.N > neighbours::max_rows) host::fail("x has too many samples");
  const double needed = m * tau + 2;  // two templates, one pair
  std::vector<size_t> scales(S);
  for (size_t k = 0; k < S; ++k) {
    const double n = given[k] > double(series.N) ? 0 : std::floor(double(series.N) / given[k]);
    if (!(n >= needed))
      host::fail("x is too short at scale " + whole_number(given[k]) + ": m = " +
                 whole_number(m) + " and tau = " + whole_number(tau) + " need at least " +
                 whole_number(needed) + " samples there, it has " + whole_number(n));
    scales[k] = size_t(given[k]);
  }

  mxArray* outputs[OUT_COUNT];
  for (mxArray*& output : outputs) output = host::create_matrix_to_fill(S, 1);
  // No scale: nothing to count (and m, tau need not fit a count).
  const size_t overflowed = S == 0 ? 0 :
      sample_entropy(series.x, series.N, size_t(m), r, size_t(tau), w, scales.data(), S,
                     mxGetPr(outputs[OUT_SE]), mxGetPr(outputs[OUT_A]), mxGetPr(outputs[OUT_B]),
                     parallel::thread_budget());
  if (overflowed < S)  // the host releases the outputs made
    host::fail("x overflows at scale " + std::to_string(scales[overflowed]) +
               ": a sum of that many samples is infinite");
  for (int k = 0; k < std::max(nlhs, 1) && k < OUT_COUNT; ++k) plhs[k] = outputs[k];
}
