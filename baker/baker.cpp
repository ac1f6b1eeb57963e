// baker: an orbit of the generalized baker map
//
//   Y = baker(N, [eta l1 l2 x0 y0])
//
// iterated from (x0, y0). The unit square is cut at height eta: a point of
// the lower strip (y < eta) goes to (l1*x, y/eta), a point of the upper strip
// to (l2*x + 0.5, (y - eta)/(1 - eta)). The second coordinate is stretched
// back onto [0, 1), the first contracted into two bands, [0, l1) and
// [0.5, 0.5 + l2). Row k of the N x 2 result is the k-th image of the
// starting point; the starting point is not a row.
//
// Nothing is limited or tested: points outside the square are mapped by the
// same formulas, and a division by zero (eta = 0 or 1) gives what IEEE
// arithmetic gives, stored and fed back.
#include <cstddef>
#include <cstdint>

#include "host/host.h"

namespace {

// Writes the N images of (x0, y0) into out: first coordinates at 0 ... N-1,
// second coordinates at N ... 2N-1.
void baker_orbit(double eta, double l1, double l2, double x0, double y0, size_t N,
                 double* out) {
  double x = x0;
  double y = y0;
  for (size_t i = 0; i < N; ++i) {
    // The comparison is written so that a NaN in eta or y takes the upper
    // strip, as it always has.
    if (eta > y) {
      x = l1 * x;
      y = y / eta;
    } else {
      x = l2 * x + 0.5;
      y = (y - eta) / (1.0 - eta);
    }
    out[i] = x;
    out[N + i] = y;
  }
}

enum { IN_N = 0, IN_PARAMS, IN_COUNT };
constexpr size_t param_count = 5;

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT)
    host::fail("baker : number of samples to compute and parameter vector must be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const int32_t N = host::count_from_double(host::first_element(prhs[IN_N], IN_N + 1));
  if (N < 1) host::fail("requested number of samples must be positive");
  if (host::all_elements(prhs[IN_PARAMS]) < param_count)
    host::fail("Need parameter vector of length 5 (eta,l1,l2,x0,y0)");
  const double* p = mxGetPr(prhs[IN_PARAMS]);

  plhs[0] = mxCreateDoubleMatrix(N, 2, mxREAL);
  baker_orbit(p[0], p[1], p[2], p[3], p[4], size_t(N), mxGetPr(plhs[0]));
}
