// slopeinterp: Akima interpolation.
//
//   YY = slopeinterp(X, Y, XX)
//
// Interpolates the points (X, Y) with Akima's piecewise cubic and evaluates it
// at every element of XX, returning a K x 1 column. The slope at each knot is
// a mean of the slopes of the neighbouring intervals weighted towards the
// side where the data change less, so an isolated step is followed without
// the overshoot of a cubic spline. Two extra points beyond each end give the
// end knots their slopes by the same rule. Queries outside [X(1), X(n)]
// continue the cubic of the nearest end interval.
#include <cmath>
#include <limits>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/interval_index.h"

namespace {

// The interpolant p(t) = y[i] + b[i] u + c[i] u^2 + d[i] u^3, u = t - x[i],
// on [x[i], x[i+1]]; b[i] is the slope at knot i.
//
// x and y are addressed from -2 to n+1: the data at 0 ... n-1 and the
// extension points on either side.
//
// status: 0 coefficients valid, 1 fewer than two points, 2 abscissae not
// strictly ascending (a NaN abscissa included).
template <typename Iterator>
class akima_interpolator {
 public:
  akima_interpolator(long n, Iterator xs, Iterator ys) : n(n) {
    if (n <= 1) {
      status = 1;
      return;
    }
    // The arrays come uncleared (a call repeated on data of the same size
    // reuses the last call's memory, already mapped); every element that is
    // read is written first.
    const size_t extended = size_t(n) + 4;
    x_storage.resize(extended);
    y_storage.resize(extended);
    x = x_storage.data() + 2;
    y = y_storage.data() + 2;
    b.resize(size_t(n));
    c.resize(size_t(n));
    d.resize(size_t(n));
    // The last knot starts no interval of its own.
    c[n - 1] = 0.0;
    d[n - 1] = 0.0;
    // The interval slopes, m[i] between points i and i+1, also from -2.
    big_buffer::vector<double> m_storage(extended);
    double* m = m_storage.data() + 2;
    for (long i = 0; i < n; ++i, ++xs) x[i] = *xs;
    for (long i = 0; i < n; ++i, ++ys) y[i] = *ys;

    // Written as "not less" so that a NaN abscissa fails too: the interval
    // search cannot order the knots around it.
    for (long i = 1; i < n; ++i) {
      if (!(x[i - 1] < x[i])) {
        status = 2;
        return;
      }
    }
    if (n == 2) {
      // One interval has one slope to continue outward on both sides, so
      // every knot slope is that slope: the straight line through the points.
      m[0] = (y[1] - y[0]) / (x[1] - x[0]);
      b[0] = m[0];
      b[1] = m[0];
      c[0] = 0.0;
      d[0] = 0.0;
      return;
    }

    x[-1] = (x[0] + x[1]) - x[2];
    x[-2] = (x[-1] + x[0]) - x[1];
    x[n] = (x[n - 1] + x[n - 2]) - x[n - 3];
    x[n + 1] = (x[n] + x[n - 1]) - x[n - 2];

    for (long i = 0; i < n - 1; ++i) m[i] = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);

    // Each extension ordinate continues the slopes linearly; its slope is then
    // taken from the new point.
    y[-1] = (m[1] - 2.0 * m[0]) * (x[0] - x[-1]) + y[0];
    m[-1] = (y[0] - y[-1]) / (x[0] - x[-1]);
    y[-2] = (m[0] - 2.0 * m[-1]) * (x[-1] - x[-2]) + y[-1];
    m[-2] = (y[-1] - y[-2]) / (x[-1] - x[-2]);
    y[n] = (2.0 * m[n - 2] - m[n - 3]) * (x[n] - x[n - 1]) + y[n - 1];
    m[n - 1] = (y[n] - y[n - 1]) / (x[n] - x[n - 1]);
    y[n + 1] = (2.0 * m[n - 1] - m[n - 2]) * (x[n + 1] - x[n]) + y[n];
    m[n] = (y[n + 1] - y[n]) / (x[n + 1] - x[n]);

    for (long i = 0; i < n; ++i) {
      const double w1 = std::fabs(m[i + 1] - m[i]);
      const double w2 = std::fabs(m[i - 1] - m[i - 2]);
      // Equal slopes on both sides (or a NaN sum) leave no preference.
      if (w1 + w2 > 0.0)
        b[i] = (w2 * m[i] + w1 * m[i - 1]) / (w1 + w2);
      else
        b[i] = (m[i - 1] + m[i]) / 2.0;
    }

    for (long i = 0; i < n - 1; ++i) {
      const double h = x[i + 1] - x[i];
      c[i] = (3.0 * m[i] - 2.0 * b[i] - b[i + 1]) / h;
      d[i] = (b[i] + b[i + 1] - 2.0 * m[i]) / (h * h);
    }
  }

  akima_interpolator(const akima_interpolator&) = delete;
  akima_interpolator& operator=(const akima_interpolator&) = delete;

  double eval(double t) const {
    long& last = last_interval();
    if (status != 0) return std::numeric_limits<double>::quiet_NaN();
    long k = last;
    if (k >= n - 1 || k < 0) k = 0;
    if (t < x[k] || t > x[k + 1]) {
      // The upper bound n-1 keeps k at most n-2: beyond the last knot the
      // last interval's cubic continues.
      long lo = 0;
      long hi = n - 1;
      do {
        const long mid = (lo + hi) / 2;
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
  // cached interval; the queries are split across up to `threads` threads
  // and searched through a table of about 8 n bytes.
  void eval_all(const double* t, size_t K, double* out, int threads) const {
    if (status != 0) {
      for (size_t q = 0; q < K; ++q) out[q] = eval(t[q]);
      return;
    }
    last_interval() = interval_search::evaluate(
        x, n, n - 2, t, K, out, last_interval(), threads,
        [this](long k, double at) { return value_in(k, at); });
  }

  // The interval of the previous query, shared by all interpolators and
  // calls: ordered queries then rarely search. It is a starting guess,
  // except that a query exactly at its right end stays in it.
  static long& last_interval() {
    static long last = 0;
    return last;
  }

  long n;
  double* x = nullptr;
  double* y = nullptr;
  big_buffer::vector<double> b, c, d;
  int status = 0;

 private:
  double value_in(long k, double t) const {
    const double u = t - x[k];
    return y[k] + u * (b[k] + u * (c[k] + u * d[k]));
  }

  big_buffer::vector<double> x_storage, y_storage;
};

enum { IN_X = 0, IN_Y, IN_XX, IN_COUNT };

}  // namespace

void mexFunction(int /*nlhs*/, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT) host::fail("Akima interpolation : YY = AKIMA(X,Y,XX)");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const double* x = mxGetPr(prhs[IN_X]);
  const double* y = mxGetPr(prhs[IN_Y]);
  const double* xx = mxGetPr(prhs[IN_XX]);
  const long n = long(host::all_elements(prhs[IN_X]));
  const size_t y_count = host::all_elements(prhs[IN_Y]);
  const size_t K = host::all_elements(prhs[IN_XX]);

  if (n < 2) host::fail("There should be at least two data points.");
  if (y_count < size_t(n)) host::fail("Abscissa and ordinate vector should be of the same length.");

  // A column whatever the shape of XX. K is passed at full width: a 32-bit
  // count would wrap for huge XX and leave the loop below writing past it.
  plhs[0] = host::create_matrix_to_fill(K, 1);
  double* yy = mxGetPr(plhs[0]);

  // A local object, so the host's error call, which leaves by unwinding,
  // destroys it too.
  akima_interpolator<double const*> interpolator(n, x, y);
  switch (interpolator.status) {
    case 0:
      break;
    case 1:
      host::fail("Need more input data points");
    case 2:
      host::fail("Data point must be given with ascending x values");
    default:
      host::fail("Error computing Akima coefficients");
  }
  // The threads only read the coefficients and fill their own parts of YY.
  interpolator.eval_all(xx, K, yy, parallel::thread_budget());
}
