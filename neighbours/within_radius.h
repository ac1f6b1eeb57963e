// The rows within a radius of a point of a k-d tree, with a Theiler window:
// for the point of row i, every row j with |i - j| > w whose distance to it
// is at most r (r included, as recurrence analysis counts it).
//
// Distances are those of k_nearest.h: the Euclidean distance is the square
// root of the sum, over the coordinates in ascending order, of the squared
// differences, each operation rounded; the maximum norm is the largest
// absolute difference. The comparison is made on the sums: the radius
// becomes the largest sum whose root is at most r, so that a sum is within
// it exactly when its distance is at most r.
//
// The search walks the tree from the root. A node whose nearest possible
// sum exceeds the largest counted sum is passed over; a node whose farthest
// possible sum is within it is listed whole, without a distance, its rows
// read off the leaf order; only leaves that straddle the radius compare
// point by point. A node whose rows all lie within the window is passed
// over, and one whose rows all lie outside it is listed without a test of
// each row. The bounds are computed with the operations of the sums, so a
// rounded bound never passes a rounded sum it stands for.
//
// The rows come in the tree's leaf order, not sorted.
//
// This header needs nothing of the host.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "neighbours/k_nearest.h"
#include "neighbours/kd_tree.h"

namespace neighbours {

// The largest sum (of squares, or largest difference) whose distance is at
// most r; -1 when none is (r below 0).
inline double largest_sum_within(double r, norm p) {
  if (!(r >= 0)) return -1;
  if (r == INFINITY || p == norm::maximum) return r;
  // The roots of the sums near r^2 are within an ulp or two of r.
  double s = std::min(r * r, DBL_MAX);
  while (s > 0 && std::sqrt(s) > r) s = std::nextafter(s, 0.0);
  while (s < DBL_MAX && std::sqrt(std::nextafter(s, INFINITY)) <= r)
    s = std::nextafter(s, INFINITY);
  return s;
}

// The searches of one thread, for D coordinates (0: any number, known at
// run time) under the norm P.
template <size_t D, norm P>
class within_radius_search {
 public:
  // window: w, at most the tree's size (wider windows leave no row).
  within_radius_search(const kd_tree& tree, double r, uint64_t window)
      : tree_(tree),
        d_(D ? D : tree.dims()),
        limit_(largest_sum_within(r, P)),
        window_(int64_t(std::min<uint64_t>(window, tree.size()))) {}

  // Appends to `into` the rows within the radius of the point q (d
  // coordinates) of row i, leaving out those within the window of i.
  void rows_of(const double* q, row_t i, std::vector<row_t>& into) {
    if (tree_.size() == 0 || limit_ < 0) return;
    const int64_t row = int64_t(i);
    stack_.clear();
    stack_.push_back(kd_tree::root);
    const row_t* rows = tree_.rows();
    while (!stack_.empty()) {
      const uint32_t id = stack_.back();
      stack_.pop_back();
      const kd_node& node = tree_.node(id);
      // The window: all of the node's rows inside it, or all outside.
      const int64_t first = node.first_row, last = tree_.last_row(id);
      const bool all_outside = last + window_ < row || first > row + window_;
      if (!all_outside && first + window_ >= row && last <= row + window_) continue;
      double least, most;
      bounds(id, q, least, most);
      if (least > limit_) continue;
      if (most <= limit_) {
        if (all_outside) {
          into.insert(into.end(), rows + node.begin, rows + node.end);
        } else {
          for (uint32_t m = node.begin; m < node.end; ++m)
            if (outside(rows[m], row)) into.push_back(rows[m]);
        }
        continue;
      }
      if (node.split == leaf_node) {
        // Without branches on the outcome, which no predictor guesses.
        size_t count = into.size();
        into.resize(count + (node.end - node.begin));
        row_t* const out = into.data();
        for (uint32_t m = node.begin; m < node.end; ++m) {
          out[count] = rows[m];
          count += size_t(sum_at(m, q) <= limit_) & size_t(all_outside || outside(rows[m], row));
        }
        into.resize(count);
        continue;
      }
      stack_.push_back(node.right);
      stack_.push_back(node.left);
    }
  }

 private:
  size_t dims() const { return D ? D : d_; }

  bool outside(row_t j, int64_t row) const {
    return int64_t(j) + window_ < row || int64_t(j) > row + window_;
  }

  // The least and most sums a point of the node can have with q.
  void bounds(uint32_t id, const double* q, double& least, double& most) const {
    const double *low = tree_.box_low(id), *high = tree_.box_high(id);
    least = most = 0;
    for (size_t c = 0; c < dims(); ++c) {
      double gap = std::max(low[c] - q[c], q[c] - high[c]);
      if (!(gap > 0)) gap = 0;
      const double span = std::max(high[c] - q[c], q[c] - low[c]);
      if (P == norm::euclidean) {
        least = c == 0 ? gap * gap : least + gap * gap;
        most = c == 0 ? span * span : most + span * span;
      } else {
        least = std::max(least, gap);
        most = std::max(most, span);
      }
    }
  }

  // The sum of the point at leaf-order position m with q.
  double sum_at(uint32_t m, const double* q) const {
    double sum = 0;
    for (size_t c = 0; c < dims(); ++c) {
      const double t = q[c] - tree_.coordinate(c)[m];
      if (P == norm::euclidean)
        sum = c == 0 ? t * t : sum + t * t;
      else
        sum = std::max(sum, std::fabs(t));
    }
    return sum;
  }

  const kd_tree& tree_;
  const size_t d_;
  const double limit_;
  const int64_t window_;
  std::vector<uint32_t> stack_;
};

}  // namespace neighbours
