// foldmap: an orbit of the quadratic two-dimensional map
//
//   Y = foldmap(N, [a b x0 y0])
//
// iterated from (x0, y0) as (x, y) -> (1 + a*x^2 + b*y, x). Row k of the
// N x 2 result is the k-th image of the starting point; the starting point is
// not a row. The square enters with +a, so the familiar chaotic attractor
// lies at a = -1.4, b = 0.3.
//
// A diverging orbit would soon overflow to infinities and NaN, which the
// dimension estimators of this toolbox cannot digest. Instead, a new first
// coordinate of magnitude above one million is replaced by +1000000 (also
// when it was negative) and a warning is given for that sample; nothing
// suppresses repeats, so a run-away orbit warns once for every remaining
// sample.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "host/host.h"

namespace {

constexpr double limit = 1000000.0;
constexpr const char* limit_warning = "Values exceed threshold of 1000000, limiting values";

// Writes the N images of (x0, y0) into out: first coordinates at 0 ... N-1,
// second coordinates at N ... 2N-1. Every limited sample is reported to
// warn, a callable taking the message text; the core itself never talks to
// the host.
template <typename WarningSink>
void foldmap_orbit(double a, double b, double x0, double y0, size_t N, double* out,
                   WarningSink&& warn) {
  double x = x0;
  double y = y0;
  for (size_t i = 0; i < N; ++i) {
    // Earlier releases formed the sum in exactly this order; results are
    // compared bit for bit.
    double v = ((a * x) * x + 1.0) + (b * y);
    // NaN fails the comparison and passes; both infinities are limited.
    if (std::fabs(v) > limit) {
      warn(limit_warning);
      v = limit;
    }
    out[i] = v;
    out[N + i] = x;
    y = x;
    x = v;
  }
}

enum { IN_N = 0, IN_PARAMS, IN_COUNT };
constexpr size_t param_count = 4;

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT)
    host::fail("Foldmap : number of samples to compute and parameter vector must be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const int32_t N = host::count_from_double(host::first_element(prhs[IN_N], IN_N + 1));
  if (N < 1) host::fail("requested number of samples must be positive");
  if (host::all_elements(prhs[IN_PARAMS]) < param_count)
    host::fail("Need parameter vector of length 4 (a,b,x0,y0)");
  const double* p = mxGetPr(prhs[IN_PARAMS]);

  plhs[0] = mxCreateDoubleMatrix(N, 2, mxREAL);
  foldmap_orbit(p[0], p[1], p[2], p[3], size_t(N), mxGetPr(plhs[0]), mexWarnMsgTxt);
}
