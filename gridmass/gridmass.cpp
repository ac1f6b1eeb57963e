// gridmass: box-counting partition sums of a point set.
//
//   [H0, H1, H2] = gridmass(points, partition_sizes)
//
// For every resolution (b bins per axis) and every k = 1 ... N, a grid of b^k
// cells is laid over the first k coordinates of the M points, and the
// occupied cells give three partition sums in bits: -log2 B (B occupied
// cells), sum mu log2 mu and log2 sum mu^2 (mu the share of points in a
// cell). Their growth with log2 b is what box-counting estimates of the
// generalized dimensions of orders 0, 1 and 2 rest on.
//
// The grid is never stored. The cell indices of every point form a key of N
// digits, counted by a ternary search tree: its nodes of depth k-1 are exactly
// the occupied cells of the grid over the first k coordinates, so one tree and
// one traversal per resolution give the sums for all k at once.
#include <cmath>
#include <memory>
#include <vector>

#include "host/host.h"
#include "tree/ternary_search_tree.h"

namespace {

// log2 is ln divided by this 14-digit rounding of ln 2 (not the exact value),
// so that results agree bit for bit with every earlier release.
constexpr double ln2 = 0.69314718055995;
constexpr long max_dimension = 512;
constexpr int max_bins = 16384;

// Visitor of the tree: per depth, the number of nodes (occupied cells) and the
// two sums over their masses, formed in node creation order.
class dim_estimator {
 public:
  dim_estimator(long dim, long npoints)
      : cell_count(new long[dim]()),
        sum_plogp(new double[dim]()),
        sum_p2(new double[dim]()),
        dim(dim),
        npoints(npoints) {}

  void visit(int depth, long count) {
    double mu = double(count) / double(npoints);
    visited += count;
    cell_count[depth] += 1;
    sum_plogp[depth] = (std::log(mu) / ln2) * mu + sum_plogp[depth];
    sum_p2[depth] = mu * mu + sum_p2[depth];
  }

  std::unique_ptr<long[]> cell_count;
  std::unique_ptr<double[]> sum_plogp;
  std::unique_ptr<double[]> sum_p2;
  long dim;
  long npoints;
  long visited = 0;
};

enum class gridmass_outcome {
  success,
  all_values_equal,
  value_outside_grid,
  pool_exhausted,
  count_mismatch
};

// Fills the three P x N result arrays (column-major, entry p + k*P for
// resolution p and the first k+1 coordinates) for the M x N data set.
gridmass_outcome gridmass_partition_sums(const double* data, long M, long N, const int* bins,
                                         long P, double* minus_log_cells, double* sum_plogp,
                                         double* log_sum_p2) {
  const long values = M * N;
  double lo = data[0];
  double hi = data[0];
  for (long i = 1; i < values; ++i) {
    if (data[i] < lo) lo = data[i];
    if (data[i] > hi) hi = data[i];
  }
  if (lo == hi) {
    for (long i = 0; i < P * N; ++i) minus_log_cells[i] = sum_plogp[i] = log_sum_p2[i] = 0.0;
    return gridmass_outcome::all_values_equal;
  }

  int key[max_dimension];
  for (long p = 0; p < P; ++p) {
    const int b = bins[p];
    dim_estimator estimator(N, M);
    ternary_search_tree<int, dim_estimator> tree(N);

    // The highest value lands just below b, in bin b-1; the lowest at 0.
    const double scale = (b - 0.000001) / (hi - lo);
    const double offset = scale * lo;
    for (long i = 0; i < M; ++i) {
      for (long k = 0; k < N; ++k) {
        const double u = std::floor(scale * data[i + k * M] - offset);
        if (!(u >= 0 && u < b)) return gridmass_outcome::value_outside_grid;
        key[k] = int(u);
      }
      if (tree.insert(key) == -1) return gridmass_outcome::pool_exhausted;
    }

    tree.traverse(estimator);
    if (estimator.visited != values) return gridmass_outcome::count_mismatch;

    for (long k = 0; k < N; ++k) {
      minus_log_cells[p + k * P] = -(std::log(double(estimator.cell_count[k])) / ln2);
      sum_plogp[p + k * P] = estimator.sum_plogp[k];
      log_sum_p2[p + k * P] = std::log(estimator.sum_p2[k]) / ln2;
    }
  }
  return gridmass_outcome::success;
}

// Bins per axis from a partition size: truncated toward zero. A NaN cannot
// be a bin count and counts as too few; values beyond the integer range
// count as too many.
int bins_from_double(double value) {
  if (value >= 2147483648.0) return INT32_MAX;
  return host::count_from_double(value);
}

enum { IN_POINTS = 0, IN_SIZES, IN_COUNT };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT)
    host::fail(
        "Gridmass : Data set of points (row vectors) and number of partitions (per axis) must be "
        "given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const long M = long(mxGetM(prhs[IN_POINTS]));
  const long N = long(mxGetN(prhs[IN_POINTS]));
  const double* data = mxGetPr(prhs[IN_POINTS]);
  const double* sizes = mxGetPr(prhs[IN_SIZES]);
  const long P = long(host::longer_side(prhs[IN_SIZES]));

  if (M < 2) host::fail("Data set must consist of at least two points (row vectors)");
  if (N < 1) host::fail("Data points must be at least of dimension one");
  if (N > max_dimension) host::fail("Maximal dimension exceeded");
  // A 0 x 5 argument has a length of 5 but holds no partition size.
  if (P < 1 || host::all_elements(prhs[IN_SIZES]) == 0)
    host::fail("At least one partition size must be given");
  std::vector<int> bins(static_cast<size_t>(P));
  for (long p = 0; p < P; ++p) {
    bins[p] = bins_from_double(sizes[p]);
    if (bins[p] <= 1) host::fail("Number of bins should be at least greater one");
    if (bins[p] > max_bins) host::fail("Number of bins too large");
  }

  // Sums that were not asked for are still computed, into working memory.
  const size_t entries = size_t(P) * size_t(N);
  plhs[0] = mxCreateDoubleMatrix(P, N, mxREAL);
  double* results[3] = {mxGetPr(plhs[0]), nullptr, nullptr};
  std::unique_ptr<host::working_memory<double>> scratch[3];
  for (int r = 1; r < 3; ++r) {
    if (nlhs > r) {
      plhs[r] = mxCreateDoubleMatrix(P, N, mxREAL);
      results[r] = mxGetPr(plhs[r]);
    } else {
      scratch[r] = std::make_unique<host::working_memory<double>>(entries);
      results[r] = scratch[r]->get();
    }
  }

  switch (gridmass_partition_sums(data, M, N, bins.data(), P, results[0], results[1],
                                  results[2])) {
    case gridmass_outcome::success:
      break;
    case gridmass_outcome::all_values_equal:
      mexPrintf("Data values are indentical, nothing to compute\n");
      break;
    case gridmass_outcome::value_outside_grid:
      host::fail("Data values seem not to be in range [0,1]");
    case gridmass_outcome::pool_exhausted:
      host::fail("Ran out of memory");
    case gridmass_outcome::count_mismatch:
      host::fail("Internal error, tree did not contain all points");
  }
}
