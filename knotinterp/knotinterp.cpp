// knotinterp: cubic spline interpolation.
//
//   YY = knotinterp(X, Y, XX)
//
// Interpolates the points (X, Y) with a cubic spline (continuous first and
// second derivatives at the knots) and evaluates it at every element of XX,
// returning a 1 x K row. At each end the spline's third derivative is that of
// the cubic through the four end points, so data taken from any cubic are
// reproduced exactly; three points give the parabola through them, two the
// straight line. Queries outside [X(1), X(n)] continue the cubic of the
// nearest end interval.
#include <cmath>
#include <algorithm>
#include <limits>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/interval_index.h"

namespace {

// The spline through n points, s(t) = y[i] + b[i] u + c[i] u^2 + d[i] u^3
// with u = t - x[i] on [x[i], x[i+1]]. A kind of 1 prescribes the slope at
// that end; any other kind matches the end's third derivative to the cubic
// through the four end points.
//
// status: 0 coefficients valid, 1 fewer than two points, 2 abscissae not
// strictly ascending (a NaN abscissa included). With status 1 or 2 every
// coefficient is 0.0.
template <typename Iterator>
class cubic_spline {
 public:
  cubic_spline(long n, int begin_kind, int end_kind, Iterator xs, Iterator ys,
               double begin_slope, double end_slope)
      : n(n),
        x(count(n)),
        y(count(n)),
        b(count(n)),
        c(count(n)),
        d(count(n)) {
    // The arrays come uncleared (a call repeated on data of the same size
    // reuses the last call's memory, already mapped); every element is
    // written below before it is read.
    for (long i = 0; i < n; ++i, ++xs) x[i] = *xs;
    for (long i = 0; i < n; ++i, ++ys) y[i] = *ys;
    if (n <= 1) {
      status = 1;
      clear_coefficients();
      return;
    }
    // Written as "not less" so that a NaN abscissa fails too: the interval
    // search cannot order the knots around it.
    for (long i = 1; i < n; ++i) {
      if (!(x[i - 1] < x[i])) {
        status = 2;
        clear_coefficients();
        return;
      }
    }
    if (n == 2) {
      clear_coefficients();
      b[0] = (y[1] - y[0]) / (x[1] - x[0]);
      b[1] = b[0];
      return;
    }

    // The tridiagonal system for sigma_i = s''(x[i]) / 6: b holds the
    // diagonal, d the off-diagonal, c the right-hand side and later sigma.
    d[0] = x[1] - x[0];
    c[1] = (y[1] - y[0]) / d[0];
    for (long i = 1; i < n - 1; ++i) {
      d[i] = x[i + 1] - x[i];
      b[i] = 2.0 * (d[i - 1] + d[i]);
      c[i + 1] = (y[i + 1] - y[i]) / d[i];
      c[i] = c[i + 1] - c[i];
    }
    b[0] = -d[0];
    b[n - 1] = -d[n - 2];
    c[0] = 0.0;
    c[n - 1] = 0.0;
    if (n != 3) {
      // Third divided differences of the four end points, scaled so that the
      // end rows equate the spline's end third derivatives with theirs.
      c[0] = c[2] / (x[3] - x[1]) - c[1] / (x[2] - x[0]);
      c[n - 1] = c[n - 2] / (x[n - 1] - x[n - 3]) - c[n - 3] / (x[n - 2] - x[n - 4]);
      c[0] = d[0] * (d[0] * c[0]) / (x[3] - x[0]);
      c[n - 1] = d[n - 2] * (-c[n - 1] * d[n - 2]) / (x[n - 1] - x[n - 4]);
    }
    if (begin_kind == 1) {
      b[0] = 2.0 * (x[1] - x[0]);
      c[0] = (y[1] - y[0]) / (x[1] - x[0]) - begin_slope;
    }
    if (end_kind == 1) {
      b[n - 1] = 2.0 * (x[n - 1] - x[n - 2]);
      c[n - 1] = end_slope - (y[n - 1] - y[n - 2]) / (x[n - 1] - x[n - 2]);
    }

    // Every off-diagonal element is a positive spacing and the system is
    // diagonally dominant, so it is solved without pivoting.
    for (long i = 1; i < n; ++i) {
      const double t = d[i - 1] / b[i - 1];
      b[i] = b[i] - d[i - 1] * t;
      c[i] = c[i] - t * c[i - 1];
    }
    c[n - 1] = c[n - 1] / b[n - 1];
    for (long i = n - 2; i >= 0; --i) c[i] = (c[i] - d[i] * c[i + 1]) / b[i];

    b[n - 1] = d[n - 2] * (2.0 * c[n - 1] + c[n - 2]) + (y[n - 1] - y[n - 2]) / d[n - 2];
    for (long i = 0; i < n - 1; ++i) {
      b[i] = (y[i + 1] - y[i]) / d[i] - (2.0 * c[i] + c[i + 1]) * d[i];
      d[i] = (c[i + 1] - c[i]) / d[i];
      c[i] = 3.0 * c[i];
    }
    c[n - 1] = 3.0 * c[n - 1];
    // Index n-1 then continues the last interval's cubic to the right.
    d[n - 1] = d[n - 2];
  }

  cubic_spline(const cubic_spline&) = delete;
  cubic_spline& operator=(const cubic_spline&) = delete;

  double eval(double t) const {
    long& last = last_interval();
    if (n < 2) return n == 1 ? y[0] : std::numeric_limits<double>::quiet_NaN();
    long k = last;
    if (k >= n - 1 || k < 0) k = 0;
    if (t < x[k] || t > x[k + 1]) {
      long lo = 0;
      long hi = n;
      do {
        const long mid = (lo + hi) / 2;
        // The else (rather than a test of t >= x[mid]) narrows the range
        // also when x[mid] is NaN, so the search always ends.
        if (x[mid] > t)
          hi = mid;
        else
          lo = mid;
      } while (lo + 1 < hi);
      k = lo;
    }
    last = k;
    return value_in(k, t);
  }

  // out[q] = eval(t[q]) for q = 0 ... K-1, in that order, leaving the same
  // cached interval; with valid coefficients the queries are split across up
  // to `threads` threads and searched through a table of about 8 n bytes.
  void eval_all(const double* t, size_t K, double* out, int threads) const {
    if (status != 0) {
      for (size_t q = 0; q < K; ++q) out[q] = eval(t[q]);
      return;
    }
    last_interval() = interval_search::evaluate(
        x.data(), n, n - 1, t, K, out, last_interval(), threads,
        [this](long k, double at) { return value_in(k, at); });
  }

  // The interval of the previous query, shared by all splines and calls:
  // ordered queries then rarely search. It is a starting guess, except that
  // a query exactly at its right end stays in it.
  static long& last_interval() {
    static long last = 0;
    return last;
  }

  long n;
  big_buffer::vector<double> x, y, b, c, d;
  int status = 0;

 private:
  void clear_coefficients() {
    std::fill(b.begin(), b.end(), 0.0);
    std::fill(c.begin(), c.end(), 0.0);
    std::fill(d.begin(), d.end(), 0.0);
  }

  double value_in(long k, double t) const {
    const double u = t - x[k];
    return y[k] + u * (b[k] + u * (c[k] + u * d[k]));
  }

  static size_t count(long n) { return n > 0 ? size_t(n) : 0; }
};

const char* const not_ascending_message = "Data point must be given with ascending x values";

enum { IN_X = 0, IN_Y, IN_XX, IN_COUNT };

}  // namespace

void mexFunction(int /*nlhs*/, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT) host::fail("Cubic spline : YY = MYSPLINE(X,Y,XX)");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const double* x = mxGetPr(prhs[IN_X]);
  const double* y = mxGetPr(prhs[IN_Y]);
  const double* xx = mxGetPr(prhs[IN_XX]);
  const long n = long(host::all_elements(prhs[IN_X]));
  const size_t y_count = host::all_elements(prhs[IN_Y]);
  const size_t K = host::all_elements(prhs[IN_XX]);

  if (n < 2) host::fail("There should be at least two data points.");
  if (y_count < size_t(n)) host::fail("Abscissa and ordinate vector should be of the same length.");

  // A row whatever the shape of XX. K is passed at full width: a 32-bit
  // count would wrap for huge XX and leave the loop below writing past it.
  plhs[0] = host::create_matrix_to_fill(1, K);
  double* yy = mxGetPr(plhs[0]);

  cubic_spline<double const*> spline(n, 0, 0, x, y, 0.0, 0.0);
  if (spline.status == 1) host::fail("There should be at least two data points.");
  // Values from a search over unordered knots would be meaningless.
  if (spline.status == 2) host::fail(not_ascending_message);
  // The threads only read the coefficients and fill their own parts of YY.
  spline.eval_all(xx, K, yy, parallel::thread_budget());
}
