// smoothwin: moving average of every column of a matrix.
//
//   Y = smoothwin(X, L)   plain average over a window of L samples
//   Y = smoothwin(X, W)   weighted average with the window vector W
//
// The window of n samples is centred on the output sample: with h = (n-1)/2
// (integer division) output k covers inputs k-h ... k-h+n-1, so an even window
// reaches one sample further forward than back. W(1) weighs the earliest of
// them; the window is not reversed. Samples beyond the ends count as zero and
// the normaliser keeps its full value (n, or the sum of the weights), so the
// ends of the output are pulled toward zero.
//
// Every output is summed afresh over its window in ascending window order,
// never by a running sum, so rounding does not build up along the signal and
// the results do not depend on how the work is arranged.
#include <cstdint>

#include "host/host.h"

namespace {

// The larger of two doubles; the first one when they are equal.
double max(double a, double b) { return a >= b ? a : b; }

// A window length from the scalar second input: truncated toward zero; NaN
// and values outside the 64-bit range give the most negative integer, which
// is then refused as too short.
int64_t length_from_double(double value) {
  if (!(value > -9223372036854775808.0 && value < 9223372036854775808.0)) return INT64_MIN;
  return static_cast<int64_t>(value);
}

// The term of window position m for input sample i.
template <bool weighted>
double term(const double* x, int64_t i, const double* w, int64_t m) {
  if constexpr (weighted) return x[i] * w[m];
  return x[i];
}

// One output sample. Window positions outside the signal add nothing, so
// only those inside are visited: the sum is the same, and the work stays
// bounded by the signal length however long the window is.
template <bool weighted>
double window_sum(const double* x, int64_t M, int64_t k, int64_t n, int64_t h, const double* w) {
  const int64_t first = h > k ? h - k : 0;
  const int64_t last = n - 1 < M - 1 - k + h ? n - 1 : M - 1 - k + h;
  double s = 0.0;
  for (int64_t m = first; m <= last; ++m) s += term<weighted>(x, k - h + m, w, m);
  return s;
}

// Outputs whose windows lie wholly inside the signal, a block at a time: the
// block's sums advance together through the window positions, each still in
// ascending order, so they are the same sums as one by one, without waiting
// on one another.
constexpr int64_t block = 8;

template <bool weighted>
void inner_block(const double* x, int64_t k, int64_t n, int64_t h, const double* w, double S,
                 double* y) {
  double s[block] = {};
  const double* start = x + (k - h);
  for (int64_t m = 0; m < n; ++m) {
    // Unrolled, the block's sums stay in registers rather than in memory.
#pragma GCC unroll 8
    for (int64_t b = 0; b < block; ++b) s[b] += term<weighted>(start, b + m, w, m);
  }
  for (int64_t b = 0; b < block; ++b) y[k + b] = s[b] / S;
}

template <bool weighted>
void filter_column(const double* x, int64_t M, int64_t n, const double* w, double S, double* y) {
  const int64_t h = (n - 1) / 2;
  // Outputs h ... M-n+h have every window position inside the signal.
  const int64_t inner_first = h < M ? h : M;
  const int64_t inner_end = n <= M ? M - n + h + 1 : inner_first;
  int64_t k = 0;
  for (; k < inner_first; ++k) y[k] = window_sum<weighted>(x, M, k, n, h, w) / S;
  for (; k + block <= inner_end; k += block) inner_block<weighted>(x, k, n, h, w, S, y);
  for (; k < M; ++k) y[k] = window_sum<weighted>(x, M, k, n, h, w) / S;
}

// Filters the M x N column-major data into y (same shape) with a window of n
// samples: the weights w, or the plain average when w is null; S is the
// normaliser.
void smoothwin_filter(const double* x, int64_t M, int64_t N, int64_t n, const double* w, double S,
                      double* y) {
  for (int64_t j = 0; j < N; ++j) {
    if (w)
      filter_column<true>(x + j * M, M, n, w, S, y + j * M);
    else
      filter_column<false>(x + j * M, M, n, w, S, y + j * M);
  }
}

enum { IN_X = 0, IN_WINDOW, IN_COUNT };

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT)
    host::fail("moving average filter : input data and length (or window vector) must be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const int64_t M = int64_t(mxGetM(prhs[IN_X]));
  const int64_t N = int64_t(mxGetN(prhs[IN_X]));
  const double* x = mxGetPr(prhs[IN_X]);
  const mxArray* window = prhs[IN_WINDOW];
  const double L = max(double(mxGetM(window)), double(mxGetN(window)));

  int64_t n = 0;
  const double* w = nullptr;
  double S = 0.0;
  if (L > 1) {
    // A second input like 0 x 5 asks for five weights and holds none.
    if (host::all_elements(window) == 0) host::fail(host::empty_input_message(IN_WINDOW + 1));
    n = int64_t(L);
    w = mxGetPr(window);
    for (int64_t m = 0; m < n; ++m) S += w[m];
    if (S == 0.0) host::fail("Mean of weight vector is zero");
  } else {
    n = length_from_double(host::first_element(window, IN_WINDOW + 1));
    if (n <= 1) host::fail("Average length too short");
    S = double(n);
  }

  plhs[0] = mxCreateDoubleMatrix(M, N, mxREAL);
  smoothwin_filter(x, M, N, n, w, S, mxGetPr(plhs[0]));
}
