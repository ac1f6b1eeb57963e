// qspectrum: generalized dimensions from nearest-neighbour distances.
//
//   D = qspectrum(distances, gammas, kmin_low, kmin_high, kmax)
//   [D, moments, model] = qspectrum(...)
//
// distances is M x N: row j holds the distances of reference point j to its
// 1st ... N-th nearest neighbour. For every moment order gamma the power mean
// of order gamma of each column is formed (the geometric mean for gamma = 0).
// For a uniform D-dimensional measure these means grow with the neighbour
// order k like (Gamma(k + gamma/D) / Gamma(k))^(1/gamma) up to a scale (for
// gamma = 0 like exp(psi(k)/D)); the D whose scaled law fits the means over
// k = kmin ... kmax best is reported, for every kmin = kmin_low ... kmin_high.
//
// A fit minimises over D an error that itself is minimised over the scale;
// both minimisations use the same derivative-free minimiser.
#include <cmath>
#include <memory>

#include "host/host.h"
#include "host/parallel.h"

namespace {

// A vector of doubles addressed by the indices lo ... lo + n - 1, either
// owning its storage or laid over one column of a host matrix (then index k
// addresses row k - 1), so the fitting code can use neighbour orders as
// indices.
class mvector {
 public:
  // An owner of n zeroed doubles (no storage when n is 0).
  explicit mvector(long n) : owned(n > 0 ? new double[n]() : nullptr), storage(owned.get()), n(n) {}
  // A view over n doubles that stay owned by someone else.
  mvector(double* column, long n) : storage(column), n(n) {}
  mvector(const mvector&) = delete;
  mvector& operator=(const mvector&) = delete;

  double& operator[](long i) { return storage[i - lo]; }
  double operator[](long i) const { return storage[i - lo]; }
  long length() const { return n; }

 private:
  std::unique_ptr<double[]> owned;
  double* storage;
  long lo = 1;
  long n;
};

// Fills moments (N x G, column-major) with the power means of order gammas[g]
// of every column of the M x N distance matrix, passed as n_orders = N and
// n_points = M.
//
// Each (order, gamma) pair is its own task: its sum runs over the reference
// points in ascending order whichever thread takes it, so the moments are
// the same for every thread count. `threads` is the most that may be used.
void compute_moments(const double* distances, long n_orders, long n_points, long n_gammas,
                     const double* gammas, double* moments, int threads) {
  const long pairs = n_orders * n_gammas;
  // A pow costs tens of nanoseconds; a thread pays for its start with a few
  // thousand of them.
  threads = parallel::threads_for(double(pairs) * double(n_points), 4096, pairs, threads);
  parallel::run(pairs, threads, [&](long pair, int) {
    // Consecutive tasks share a distance column, which then stays in cache.
    const long i = pair / n_gammas;
    const long g = pair % n_gammas;
    const double gamma = gammas[g];
    const double* column = distances + n_points * i;
    double sum = 0;
    if (gamma != 0)
      for (long j = 0; j < n_points; ++j) sum += std::pow(column[j], gamma);
    else
      for (long j = 0; j < n_points; ++j) sum += std::log(column[j]);
    const double mean = sum / double(n_points);
    moments[i + n_orders * g] = gamma != 0 ? std::pow(mean, 1 / gamma) : std::exp(mean);
  });
}

// ln Gamma(x) for x > 0, from a six-term Lanczos series (relative error near
// 2e-10, ample for the central difference that stands in for digamma).
double gammaln(double x) {
  static const double cof[6] = {76.18009172947146,     -86.50532032941678,
                                24.01409824083091,     -1.231739572450155,
                                0.001208650973866179, -5.395239384953e-06};
  double t = x + 5.5;
  t = t - (x + 0.5) * std::log(t);
  double ser = 1.000000000190015;
  double y = x;
  for (double c : cof) {
    y = y + 1;
    ser = ser + c / y;
  }
  return std::log(2.5066282746310005 * ser / x) - t;
}

// A robust error between measured and model values over first ... last: each
// difference d counts as ln(1 + d^2/2), so single outlying orders cannot
// dominate the fit.
double log_error(long first, long last, const mvector& measured, const mvector& model,
                 double width) {
  if (last < first) return 0;
  double sum = 0;
  for (long i = first; i <= last; ++i) {
    const double d = (model[i] - measured[i]) / width;
    sum += std::log(1 + 0.5 * d * d);
  }
  return sum;
}

// A local minimiser of f in (a, b), golden section with parabolic steps,
// without derivatives. f is never evaluated at a or b. The loop has no
// iteration limit: every step moves at least tol_act inside a finite [a, b],
// which shrinks, so it ends for any f, also one returning NaN.
template <typename F>
double fminbr(double a, double b, F& f, double tol) {
  static constexpr double r = 0.3819660112501051;          // (3 - sqrt(5)) / 2
  static constexpr double sqrt_eps = 1.4901161193847656e-08;  // 2^-26

  double v = a + r * (b - a);
  double fv = f(v);
  double x = v, w = v;
  double fx = fv, fw = fv;

  for (;;) {
    const double middle = (a + b) / 2;
    const double tol_act = sqrt_eps * std::fabs(x) + tol / 3;
    if (4 * tol_act >= (b - a) + 2 * std::fabs(x - middle)) return x;

    // Golden section into the larger part, unless a parabola through x, w, v
    // gives an acceptable step inside [a, b].
    double step = x < middle ? r * (b - x) : r * (a - x);
    if (std::fabs(x - w) >= tol_act) {
      double t = (x - w) * (fx - fv);
      double q = (x - v) * (fx - fw);
      double p = (x - v) * q - (x - w) * t;
      q = 2 * (q - t);
      if (q > 0)
        p = -p;
      else
        q = -q;
      if (std::fabs(p) < std::fabs(step * q) && p > q * (a - x + 2 * tol_act) &&
          p < q * (b - x - 2 * tol_act))
        step = p / q;
    }
    if (std::fabs(step) < tol_act) step = step > 0 ? tol_act : -tol_act;

    const double t = x + step;
    const double ft = f(t);
    if (ft <= fx) {
      if (t < x)
        b = x;
      else
        a = x;
      v = w;
      fv = fw;
      w = x;
      fw = fx;
      x = t;
      fx = ft;
    } else {
      if (t < x)
        a = t;
      else
        b = t;
      if (ft <= fw || w == x) {
        v = w;
        fv = fw;
        w = t;
        fw = ft;
      } else if (ft <= fv || v == x || v == w) {
        v = t;
        fv = ft;
      }
    }
  }
}

// The error of the growth law for dimension D against the measured means of
// one moment order, with the scale chosen best for that D. Every evaluation
// leaves its scaled model in the model column.
class Error_Function {
 public:
  // The error of the current model scaled by s.
  class Scale_Function {
   public:
    explicit Scale_Function(Error_Function& e) : e(e) {}
    double operator()(double s) {
      for (long i = e.kmin; i <= e.kmax; ++i) e.scratch[i] = s * e.model[i];
      return log_error(e.kmin, e.kmax, e.data, e.scratch, 1);
    }

   private:
    Error_Function& e;
  };

  Error_Function(const mvector& data, long kmin, long kmax, double gamma, mvector& model)
      : data(data), kmin(kmin), kmax(kmax), gamma(gamma), scratch(kmax), model(model) {}

  double operator()(double D) {
    if (gamma != 0) {
      // Gamma(k + gamma/D) / Gamma(k) relative to kmin, by its recurrence.
      model[kmin] = 1;
      double p = 1;
      for (long i = kmin; i < kmax; ++i) {
        p = p * ((double(i) + gamma / D) / double(i));
        model[i + 1] = std::pow(p, 1 / gamma);
      }
    } else {
      // exp(psi(k)/D), psi taken as the central difference of ln Gamma.
      for (long i = kmin; i <= kmax; ++i)
        model[i] = std::exp(((gammaln(double(i) + 0.001) - gammaln(double(i) - 0.001)) / 0.002) / D);
    }
    Scale_Function scale_error(*this);
    const double s = fminbr(0.0, 1000000.0, scale_error, 0.00001);
    for (long i = kmin; i <= kmax; ++i) model[i] = s * model[i];
    return log_error(kmin, kmax, data, model, 1);
  }

 private:
  const mvector& data;
  long kmin;
  long kmax;
  double gamma;
  mvector scratch;
  mvector& model;
};

enum class qspectrum_outcome { success, kmin_too_small };

// A D below -gamma/kmin would ask for Gamma of a non-positive argument at
// k = kmin; from -gamma/kmin = 128 on, no search interval is left.
bool kmin_too_small(double gamma, long kmin) { return -gamma / double(kmin) >= 128; }

// Fits D for every kmin = kmin_low ... kmin_high (column kmin - kmin_low of
// the G x K dims) and every gamma, against the N x G moments.
//
// The model matrix ends as if the fits had run one after another in loop
// order, each evaluation writing rows kmin - 1 ... kmax - 1 of its column:
// the fit for kmin_high leaves rows kmin_high - 1 ... kmax - 1, and a row
// r below that keeps what the fit for kmin = r + 1 wrote last. So every fit
// evaluates into a model of its own, then copies only those rows, and the
// fits can run in any order, on up to `threads` threads, with the same
// results. A pair without a search interval ends the whole call, so it is
// looked for before any fit starts.
qspectrum_outcome fit_dimensions(double* moments, double* model, long N, const double* gammas,
                                 long G, long kmin_low, long kmin_high, long kmax, double* dims,
                                 int threads) {
  for (long kmin = kmin_low; kmin <= kmin_high; ++kmin)
    for (long g = 0; g < G; ++g)
      if (kmin_too_small(gammas[g], kmin)) return qspectrum_outcome::kmin_too_small;

  const long K = kmin_high - kmin_low + 1;
  const long fits = K * G;
  // A fit costs some microseconds per neighbour order it spans.
  threads = parallel::threads_for(double(fits) * double(kmax - kmin_low + 1), 64, fits, threads);
  parallel::run(fits, threads, [&](long fit, int) {
    const long kmin = kmin_low + fit / G;
    const long g = fit % G;
    double lower = -gammas[g] / double(kmin);
    if (lower <= 0.05) lower = 0.05;
    if (std::isnan(lower)) {
      // A NaN order gives no search interval: nothing to fit.
      dims[g + G * (kmin - kmin_low)] = NAN;
      return;
    }
    const mvector data(moments + N * g, N);
    mvector own_model(kmax);
    Error_Function error(data, kmin, kmax, gammas[g], own_model);
    dims[g + G * (kmin - kmin_low)] = fminbr(lower, 128.0, error, 0.0001);
    double* column = model + N * g;
    if (kmin < kmin_high)
      column[kmin - 1] = own_model[kmin];
    else
      for (long k = kmin; k <= kmax; ++k) column[k - 1] = own_model[k];
  });
  return qspectrum_outcome::success;
}

// The scalar inputs: truncated toward zero, NaN and values beyond the 32-bit
// range become the most negative integer (refused by the tests that follow).
long order_from(const mxArray* array, int position) {
  return host::count_from_double(host::first_element(array, position));
}

enum { IN_DISTANCES = 0, IN_GAMMAS, IN_KMIN_LOW, IN_KMIN_HIGH, IN_KMAX, IN_COUNT };
enum { OUT_DIMS = 0, OUT_MOMENTS, OUT_MODEL };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT)
    host::fail("qspectrum : distances, gammas, kmin_low, kmin_high and kmax must be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const long M = long(mxGetM(prhs[IN_DISTANCES]));
  const long N = long(mxGetN(prhs[IN_DISTANCES]));
  const double* distances = mxGetPr(prhs[IN_DISTANCES]);
  const double* gammas = mxGetPr(prhs[IN_GAMMAS]);
  const long G = long(host::all_elements(prhs[IN_GAMMAS]));
  const long kmin_low = order_from(prhs[IN_KMIN_LOW], IN_KMIN_LOW + 1);
  const long kmin_high = order_from(prhs[IN_KMIN_HIGH], IN_KMIN_HIGH + 1);
  const long kmax = order_from(prhs[IN_KMAX], IN_KMAX + 1);

  if (kmin_low <= 0) host::fail("kmin must be positive");
  if (kmin_high >= kmax) host::fail("kmax must be greater kmin_upper");
  if (kmin_low > kmin_high) host::fail("kmin_upper must be greater or equal to kmin_lower");
  if (N < kmax) host::fail("kmax may not exceed length of v");

  // Both matrices are made here, on the calling thread: the threads of the
  // core only write into them.
  const int threads = parallel::thread_budget();
  mxArray* moments = mxCreateDoubleMatrix(N, G, mxREAL);
  mxArray* model = mxCreateDoubleMatrix(N, G, mxREAL);
  compute_moments(distances, N, M, G, gammas, mxGetPr(moments), threads);

  const long K = kmin_high - kmin_low + 1;
  plhs[OUT_DIMS] = mxCreateDoubleMatrix(G, K, mxREAL);
  if (fit_dimensions(mxGetPr(moments), mxGetPr(model), N, gammas, G, kmin_low, kmin_high, kmax,
                     mxGetPr(plhs[OUT_DIMS]), threads) != qspectrum_outcome::success)
    host::fail("kmin to small");

  if (nlhs > OUT_MOMENTS) plhs[OUT_MOMENTS] = moments;
  if (nlhs > OUT_MODEL) plhs[OUT_MODEL] = model;
}
