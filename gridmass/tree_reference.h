// The partition sums as earlier releases counted them, with one counting
// ternary search tree per resolution: the reference that the tests compare
// the module with bit for bit, and the benchmarks compare it with for speed.
#pragma once

#include <cmath>
#include <memory>

#include "tree/ternary_search_tree.h"

namespace tree_reference {

enum class outcome { success, all_values_equal, value_outside_grid, pool_exhausted, count_mismatch };

// Visitor of the tree: per depth, the number of nodes (occupied cells) and
// the two sums over their masses, formed in node creation order.
class dim_estimator {
 public:
  dim_estimator(long dim, long npoints)
      : cell_count(new long[dim]()), sum_plogp(new double[dim]()), sum_p2(new double[dim]()),
        npoints(npoints) {}

  void visit(int depth, long count) {
    double mu = double(count) / double(npoints);
    visited += count;
    cell_count[depth] += 1;
    sum_plogp[depth] = (std::log(mu) / 0.69314718055995) * mu + sum_plogp[depth];
    sum_p2[depth] = mu * mu + sum_p2[depth];
  }

  std::unique_ptr<long[]> cell_count;
  std::unique_ptr<double[]> sum_plogp;
  std::unique_ptr<double[]> sum_p2;
  long npoints;
  long visited = 0;
};

inline outcome partition_sums(const double* data, long M, long N, const int* bins, long P,
                              double* minus_log_cells, double* sum_plogp, double* log_sum_p2) {
  const double ln2 = 0.69314718055995;
  const long values = M * N;
  double lo = data[0];
  double hi = data[0];
  for (long i = 1; i < values; ++i) {
    if (data[i] < lo) lo = data[i];
    if (data[i] > hi) hi = data[i];
  }
  if (lo == hi) {
    for (long i = 0; i < P * N; ++i) minus_log_cells[i] = sum_plogp[i] = log_sum_p2[i] = 0.0;
    return outcome::all_values_equal;
  }

  std::unique_ptr<int[]> key(new int[N]);
  for (long p = 0; p < P; ++p) {
    const int b = bins[p];
    dim_estimator estimator(N, M);
    ternary_search_tree<int, dim_estimator> tree(N);
    const double scale = (b - 0.000001) / (hi - lo);
    const double offset = scale * lo;
    for (long i = 0; i < M; ++i) {
      for (long k = 0; k < N; ++k) {
        const double u = std::floor(scale * data[i + k * M] - offset);
        if (!(u >= 0 && u < b)) return outcome::value_outside_grid;
        key[k] = int(u);
      }
      if (tree.insert(key.get()) == -1) return outcome::pool_exhausted;
    }
    tree.traverse(estimator);
    if (estimator.visited != values) return outcome::count_mismatch;
    for (long k = 0; k < N; ++k) {
      minus_log_cells[p + k * P] = -(std::log(double(estimator.cell_count[k])) / ln2);
      sum_plogp[p + k * P] = estimator.sum_plogp[k];
      log_sum_p2[p + k * P] = std::log(estimator.sum_p2[k]) / ln2;
    }
  }
  return outcome::success;
}

}  // namespace tree_reference
