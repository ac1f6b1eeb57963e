// gainrider: adaptive level control of every column of a matrix.
//
//   Y = gainrider(X, TAU, LIMIT, THRESHOLD)
//
// A cascade of stages, one per time constant in TAU. Each stage divides the
// sample by its gain, compresses magnitudes above 1 softly into the headroom
// LIMIT - 1 (so no output reaches beyond LIMIT), and moves its gain by 1/tau
// toward the magnitude it just produced, but never toward less than
// THRESHOLD, so that silence is not amplified without bound. A steady
// magnitude A comes out near A^(1/2) after one stage, A^(1/4) after two.
// Every column is a signal of its own and starts with all gains at 1.
#include <cmath>
#include <cstdint>

#include "host/host.h"

namespace {

// The larger of two doubles; the second one when the first is NaN, so a NaN
// magnitude lets a gain fall back to the threshold instead of sticking at NaN.
double max(double a, double b) { return a >= b ? a : b; }

// Identity on [-1, 1]; beyond, 1 + D tanh((|v| - 1)/D) with the sign of v,
// which is continuous with slope 1 at +-1 and stays below 1 + D. The tanh is
// formed through exp as written, so every build gives the same bits.
double soft_limit(double v, double D) {
  const double a = std::fabs(v);
  if (!(a > 1)) return v == 0.0 ? 0.0 : v;  // a -0 leaves as +0
  const double e = std::exp(((a - 1) * (-2)) / D);
  const double r = (2 / (e + 1) - 1) * D + 1;
  return v > 0 ? r : -r;
}

// Filters the M x N column-major data x into y with the K stages of time
// constants tau, headroom D and threshold T; g holds the K stage gains.
void gainrider_filter(const double* x, int64_t M, int64_t N, const double* tau, int64_t K,
                      double D, double T, double* y, double* g) {
  for (int64_t j = 0; j < N; ++j) {
    for (int64_t m = 0; m < K; ++m) g[m] = 1.0;
    for (int64_t i = 0; i < M; ++i) {
      double v = x[j * M + i];
      for (int64_t m = 0; m < K; ++m) {
        v = soft_limit(v / g[m], D);
        const double t = max(std::fabs(v), T);
        g[m] = (t + (tau[m] - 1) * g[m]) / tau[m];
      }
      y[j * M + i] = v;
    }
  }
}

enum { IN_X = 0, IN_TAU, IN_LIMIT, IN_THRESHOLD, IN_COUNT };

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT)
    host::fail(
        "adaptive level  : input samples, vector of time constants, upper dynamic limit and "
        "quietness threshold must be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const int64_t M = int64_t(mxGetM(prhs[IN_X]));
  const int64_t N = int64_t(mxGetN(prhs[IN_X]));
  const double* x = mxGetPr(prhs[IN_X]);
  const mxArray* taus = prhs[IN_TAU];
  const int64_t K = int64_t(max(double(mxGetM(taus)), double(mxGetN(taus))));
  const double* tau = mxGetPr(taus);

  // A TAU of 0 x 3 has a length of 3 and holds no time constant.
  if (K < 1 || host::all_elements(taus) == 0) host::fail("Vector of time constants must be given");
  for (int64_t m = 0; m < K; ++m)
    if (tau[m] <= 0) host::fail("Time constants must be positive");
  const double limit = host::first_element(prhs[IN_LIMIT], IN_LIMIT + 1);
  const double D = limit - 1;
  if (D <= 0) host::fail("Dynamic limit must be greater 1");
  const double T = host::first_element(prhs[IN_THRESHOLD], IN_THRESHOLD + 1);
  if (T <= 0) host::fail("Threshold must be positive");

  plhs[0] = mxCreateDoubleMatrix(M, N, mxREAL);
  host::working_memory<double> gains{size_t(K)};
  if (!gains.get()) host::fail("Out of memory for the stage gains");
  gainrider_filter(x, M, N, tau, K, D, T, mxGetPr(plhs[0]), gains.get());
}
