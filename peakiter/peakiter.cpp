// peakiter: a series of the tent map with power-curve flanks
//
//   X = peakiter(N, [h e s x0])
//
// iterated from x0 as x -> s * (1 - g(|2x - 1|, h, e)), where g is the power
// curve u^e taken on the interval [2h, 2h + 1] and rescaled so that g(0) = 0
// and g(1) = 1. With e = 1 this is the ordinary tent map with its peak s at
// x = 1/2; other exponents bend both flanks alike, h choosing which part of
// the power curve is used. Element k of the N x 1 result is the k-th image of
// x0; x0 itself is not stored.
//
// Nothing is limited or tested: whatever the arithmetic gives, NaN and
// infinities included, is stored and fed back, so that a parameter choice
// that breaks the map (e = 0, or pow of a negative base) shows in the data.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "host/host.h"

namespace {

// The flank shape: the three powers are formed in this order, and the
// expression exactly as written, since results are compared bit for bit.
double g(double u, double h, double e) {
  const double c = h + h;
  const double p0 = std::pow(c, e);
  const double pu = std::pow(c + u, e);
  const double p1 = std::pow(c + 1.0, e);
  return (pu - p0) / (p1 - p0);
}

// Writes the N images of x0 to out[0 ... N-1].
void peakiter_orbit(double h, double e, double s, double x0, size_t N, double* out) {
  double x = x0;
  for (size_t i = 0; i < N; ++i) {
    const double u = std::fabs((x + x) - 1.0);
    const double v = (1.0 - g(u, h, e)) * s;
    out[i] = v;
    x = v;
  }
}

enum { IN_N = 0, IN_PARAMS, IN_COUNT };
constexpr size_t param_count = 4;

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT)
    host::fail("Peakiter : number of samples to compute and parameter vector must be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const int32_t N = host::count_from_double(host::first_element(prhs[IN_N], IN_N + 1));
  if (N < 1) host::fail("requested number of samples must be positive");
  if (host::all_elements(prhs[IN_PARAMS]) < param_count)
    host::fail("Need parameter vector of length 4 (h, e, s, x0)");
  const double* p = mxGetPr(prhs[IN_PARAMS]);

  plhs[0] = mxCreateDoubleMatrix(N, 1, mxREAL);
  peakiter_orbit(p[0], p[1], p[2], p[3], size_t(N), mxGetPr(plhs[0]));
}
