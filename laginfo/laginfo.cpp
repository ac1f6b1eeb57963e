// laginfo: auto mutual information of a scalar time series over time lags.
//
//   I = laginfo(series, maximal_lag, partition_sizes)
//
// For every partition size b and every lag tau = 0 ... T, the values of the
// series (rank values in [0, 1)) are put into b bins, the n = L - T pairs
// (x_t, x_{t+tau}) are counted by pair of bins, and
//   I(tau, p) = sum over occupied pairs of mu_xy log2(mu_xy / (h_x h_y))
// in bits, mu_xy the share of the n pairs in bins (x, y) and h the histogram
// of all L values divided by L.
//
// A b x b table of joint counts is never allocated (b goes up to 16384): a
// two-digit counting tree holds one node per occupied first bin and one per
// occupied pair. The series is binned once per resolution; only the pair
// counting is repeated for every lag.
#include <cmath>
#include <cstdint>
#include <vector>

#include "host/host.h"
#include "tree/mt_ternary_tree.h"

namespace {

// log2 is ln divided by this 14-digit rounding of ln 2 (not the exact value),
// so that results agree bit for bit with every earlier release.
constexpr double ln2 = 0.69314718055995;
constexpr int max_bins = 16384;

// Visitor of traverse2: the mutual information of one lag, summed over the
// occupied pairs of bins in the order they first occurred.
class mutinfo_estimator {
 public:
  void visit(int x, int y, long count) {
    const double mu = double(count) / double(npairs);
    mi = (std::log(mu / (marginal[y] * marginal[x])) / ln2) * mu + mi;
  }

  double mi = 0;
  const double* marginal = nullptr;  // b shares of all values, not owned
  long npairs = 0;
};

enum class laginfo_outcome { success, value_outside_range };

// Fills result[0 ... T] with the mutual information at lags 0 ... T for b bins
// per axis, from the L values of series (L > T >= 0, 2 <= b).
laginfo_outcome laginfo_mutual_information(const double* series, long L, long T, int b,
                                           double* result) {
  std::vector<int> bin(static_cast<size_t>(L));
  std::vector<double> histogram(static_cast<size_t>(b), 0.0);
  for (long t = 0; t < L; ++t) {
    const double u = std::floor(double(b) * series[t]);
    if (!(u >= 0 && u < b)) return laginfo_outcome::value_outside_range;  // also NaN
    bin[t] = int(u);
    histogram[bin[t]] += 1;
  }
  for (double& h : histogram) h /= double(L);

  // Every lag uses the same number of pairs, so the rows of all lags are
  // formed over equally many samples.
  const long n = L - T;
  for (long tau = 0; tau <= T; ++tau) {
    mutinfo_estimator estimator;
    estimator.marginal = histogram.data();
    estimator.npairs = n;
    mt_ternary_tree tree(2);
    // At most 2n nodes: the pool limit of 128 doubling blocks is far beyond
    // what any allocator gives, so insert2 cannot report it.
    for (long t = 0; t < n; ++t) {
      const int key[2] = {bin[t], bin[t + tau]};
      tree.insert2(key);
    }
    tree.traverse2(estimator);
    result[tau] = estimator.mi;
  }
  return laginfo_outcome::success;
}

// A maximal lag or a bin count from a double, truncated toward zero. Values
// beyond the integer range keep their meaning (a lag longer than any series,
// too many bins); NaN and -Inf become the most negative integer and are
// refused as a negative lag or as too few bins.
long count_from_double(double value) {
  if (value >= 2147483648.0) return INT32_MAX;
  return host::count_from_double(value);
}

enum { IN_SERIES = 0, IN_MAXLAG, IN_SIZES, IN_COUNT };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  (void)nlhs;  // the one output is made whatever was asked for
  if (nrhs < IN_COUNT)
    host::fail(
        "laginfo : Scalar time series, maximal timelag and number of partitions per axis must "
        "be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  // An array with no elements holds no series, whatever its longer side.
  const long L = host::all_elements(prhs[IN_SERIES]) == 0
                     ? 0
                     : long(host::longer_side(prhs[IN_SERIES]));
  const double* series = mxGetPr(prhs[IN_SERIES]);
  const long T = count_from_double(host::first_element(prhs[IN_MAXLAG], IN_MAXLAG + 1));
  const double* sizes = mxGetPr(prhs[IN_SIZES]);
  const long P = long(host::longer_side(prhs[IN_SIZES]));

  if (L - T <= 0) host::fail("Length of time series much to short for given timelag");
  if (T < 0) host::fail("Maximal timelag may not be negative");
  // A 0 x 5 argument has a longer side of 5 but holds no partition size.
  if (P < 1 || host::all_elements(prhs[IN_SIZES]) == 0)
    host::fail("At least one partition size must be given");
  std::vector<int> bins(static_cast<size_t>(P));
  for (long p = 0; p < P; ++p) {
    bins[p] = int(count_from_double(sizes[p]));
    if (bins[p] <= 1) host::fail("Number of bins should be at least greater one");
    if (bins[p] > max_bins) host::fail("Number of bins too large");
  }

  plhs[0] = mxCreateDoubleMatrix(T + 1, P, mxREAL);
  double* result = mxGetPr(plhs[0]);
  for (long p = 0; p < P; ++p) {
    mexPrintf("Number of partitions per axis   : %d\n", bins[p]);
    if (laginfo_mutual_information(series, L, T, bins[p], result + p * (T + 1)) !=
        laginfo_outcome::success)
      host::fail("Data values must be rang values in the range [0 1)");
  }
}
