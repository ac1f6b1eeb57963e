// The k nearest neighbours of query points among a library: a k-d tree over
// some rows of a point set, known by their row numbers, with a Theiler
// window on those numbers.
//
// The tree holds the library's points, its row r standing for the row
// numbers[r] of the point set; the numbers ascend with r. A query is any
// point, with a row number t of its own; the library row s is a candidate
// when |s - t| > w, so w = 0 leaves out the query's own row (when it is in
// the library) and nothing else. The window is applied while the tree is
// searched: the search ends with k candidates, or with all of them when
// there are fewer.
//
// Distances are those of k_nearest.h, under the Euclidean norm: the square
// root of the sum, over the coordinates in ascending order, of the squared
// differences, each operation rounded. Neighbours are ordered by distance
// and, among equal distances, by row number (the numbers ascend with the
// tree's rows, so the lower tree row is the lower number). Pruning is that
// of k_nearest.h: a node is passed over when the smallest sum any of its
// points can have exceeds a bound above every sum whose root could still
// beat or tie the k-th distance, when its rows all come after the k-th's and
// the root of that smallest sum is at least the k-th distance, or when its
// rows all lie within the window.
//
// A query point need not lie in the tree, which is what sets this search
// apart from k_nearest.h's: forecasts ask for the neighbours of any row of
// a series among the rows of a library.
//
// This header needs nothing of the host.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "host/parallel.h"
#include "neighbours/kd_tree.h"

namespace neighbours {

// The searches of one thread among one library, for D coordinates (0: any
// number, known at run time). The search and its buffers lie in cache lines
// of their own (parallel::own_lines).
template <size_t D>
class alignas(64) library_search {
 public:
  library_search(const kd_tree& tree, const row_t* numbers, size_t k, uint64_t window)
      : tree_(tree),
        numbers_(numbers),
        d_(D ? D : tree.dims()),
        k_(k),
        window_(window),
        nodes_(tree.size() ? &tree.node(0) : nullptr),
        rows_(tree.rows()),
        coordinates_(d_),
        query_(d_),
        gaps_(d_),
        found_(k),
        distances_(k),
        found_numbers_(k) {
    for (size_t c = 0; c < d_; ++c) coordinates_[c] = tree.coordinate(c);
  }

  // Searches the neighbours of the point `query` (its coordinates in
  // order), whose row number is t. Returns how many were found: k, or fewer
  // when there are fewer candidates. Afterwards distances() and numbers()
  // hold them, nearest first.
  //
  // Queries asked one after another close by (in a tree's leaf order) bound
  // each other: the last search's k-th distance plus the step from its
  // query to this one bounds this one's k-th distance, unless the window
  // takes out some of those neighbours. The search starts with that bound
  // and passes over far points from the start; when fewer than k
  // candidates lie within it, or the k-th found lies so close to it that a
  // point passed over could still tie, it runs again without it.
  size_t search(const double* query, uint64_t t) {
    constexpr double none = std::numeric_limits<double>::infinity();
    double guess = none;
    if (last_kth_ < none) {
      double step = 0;
      for (size_t c = 0; c < d_; ++c) {
        const double s = std::fabs(query[c] - query_[c]);
        step = step + s * s;
      }
      const double bound = (last_kth_ + std::sqrt(step)) * (1 + 0x1p-40);
      guess = bound * bound * (1 + 0x1p-40);
    }
    for (size_t c = 0; c < d_; ++c) query_[c] = query[c];
    query_number_ = t;
    if (k_ > 0 && tree_.size() > 0 && !search_within(guess)) search_within(none);
    last_kth_ = count_ == k_ && k_ > 0 ? found_[k_ - 1].distance : none;
    for (size_t m = 0; m < count_; ++m) {
      distances_[m] = found_[m].distance;
      found_numbers_[m] = numbers_[found_[m].row];
    }
    return count_;
  }
  const double* distances() const { return distances_.data(); }
  const row_t* numbers() const { return found_numbers_.data(); }

 private:
  struct neighbour {
    double distance;
    row_t row;  // the tree's row
  };
  static bool comes_before(const neighbour& a, const neighbour& b) {
    return a.distance < b.distance || (a.distance == b.distance && a.row < b.row);
  }

  size_t dims() const { return D ? D : d_; }

  // The search with every sum above `guess` passed over; false when that
  // may have lost a neighbour.
  bool search_within(double guess) {
    for (size_t c = 0; c < d_; ++c) gaps_[c] = 0;
    count_ = 0;
    limit_ = guess;
    last_ = neighbour{std::numeric_limits<double>::infinity(), std::numeric_limits<row_t>::max()};
    descend(kd_tree::root);
    return count_ == k_ && limit_ <= guess;
  }

  double sum_at(uint32_t i) const {
    double s = 0;
    for (size_t c = 0; c < dims(); ++c) {
      const double t = coordinates_[c][i] - query_[c];
      s = c == 0 ? t * t : s + t * t;
    }
    return s;
  }

  double sum_of_gaps() const {
    double s = 0;
    for (size_t c = 0; c < dims(); ++c) s = c == 0 ? gaps_[0] : s + gaps_[c];
    return s;
  }

  bool may_hold(uint32_t id, double least) const {
    if (least > limit_) return false;
    if (nodes_[id].first_row <= last_.row) return true;
    return std::sqrt(least) < last_.distance;
  }

  bool inside_window(uint32_t id) const {
    const uint64_t first = numbers_[nodes_[id].first_row], last = numbers_[tree_.last_row(id)];
    const uint64_t before = query_number_ > first ? query_number_ - first : 0;
    const uint64_t after = last > query_number_ ? last - query_number_ : 0;
    return before <= window_ && after <= window_;
  }

  void scan(uint32_t begin, uint32_t end) {
    for (uint32_t i = begin; i < end; ++i) {
      const double s = sum_at(i);
      if (s <= limit_) offer(i, std::sqrt(s));
    }
  }

  void descend(uint32_t id) {
    const kd_node& node = nodes_[id];
    if (window_ > 0 && inside_window(id)) return;
    if (node.split == leaf_node) {
      scan(node.begin, node.end);
      return;
    }
    if (node.split == row_split) {
      descend(node.left);
      if (may_hold(node.right, sum_at(node.begin))) descend(node.right);
      return;
    }
    const size_t c = size_t(node.split);
    const double v = query_[c];
    const double to_left = v - node.below, to_right = node.above - v;
    const bool left_first = to_left < to_right;
    double gap = left_first ? to_right : to_left;
    if (!(gap > 0)) gap = 0;
    descend(left_first ? node.left : node.right);
    const double before = gaps_[c];
    gaps_[c] = std::max(before, gap * gap);
    const uint32_t far = left_first ? node.right : node.left;
    if (may_hold(far, sum_of_gaps())) descend(far);
    gaps_[c] = before;
  }

  void offer(uint32_t i, double distance) {
    const row_t row = rows_[i];
    const uint64_t number = numbers_[row];
    const uint64_t apart = number > query_number_ ? number - query_number_ : query_number_ - number;
    if (apart <= window_) return;
    const neighbour candidate{distance, row};
    if (count_ == k_ && !comes_before(candidate, last_)) return;
    // Into its place in the list; when full, the last one drops out.
    size_t hole = count_ < k_ ? count_++ : k_ - 1;
    while (hole > 0 && comes_before(candidate, found_[hole - 1])) {
      found_[hole] = found_[hole - 1];
      --hole;
    }
    found_[hole] = candidate;
    if (count_ < k_) return;
    last_ = found_[k_ - 1];
    limit_ = last_.distance * last_.distance * (1 + 0x1p-49) + 0x1p-1060;
  }

  const kd_tree& tree_;
  const row_t* numbers_;
  const size_t d_, k_;
  const uint64_t window_;
  const kd_node* nodes_;
  const row_t* rows_;
  std::vector<const double*> coordinates_;
  parallel::own_vector<double> query_, gaps_;
  uint64_t query_number_ = 0;
  size_t count_ = 0;
  double limit_ = 0;
  double last_kth_ = std::numeric_limits<double>::infinity();
  neighbour last_{};
  parallel::own_vector<neighbour> found_;
  parallel::own_vector<double> distances_;
  parallel::own_vector<row_t> found_numbers_;
};

// Calls f(std::integral_constant<size_t, D>()) with D = d for the common
// small dimensions, else D = 0: a search of library_search<D> then knows
// its dimension at compile time.
template <typename F>
void with_dimension(size_t d, F&& f) {
  switch (d) {
    case 1: return f(std::integral_constant<size_t, 1>());
    case 2: return f(std::integral_constant<size_t, 2>());
    case 3: return f(std::integral_constant<size_t, 3>());
    case 4: return f(std::integral_constant<size_t, 4>());
    default: return f(std::integral_constant<size_t, 0>());
  }
}

// The rows of the ascending row numbers lib[0 ... n - 1] within the window
// w of row t, at most w away from it: one run of lib, [first, last).
struct window_run {
  const row_t *first, *last;
};
inline window_run rows_in_window(const row_t* lib, size_t n, uint64_t t, uint64_t w) {
  const uint64_t low = t > w ? t - w : 0;
  const uint64_t high = t + w < t ? UINT64_MAX : t + w;  // saturated
  const row_t* first =
      std::lower_bound(lib, lib + n, low, [](row_t a, uint64_t b) { return a < b; });
  return {first, std::upper_bound(first, lib + n, high, [](uint64_t a, row_t b) { return a < b; })};
}

// The number of candidates of row t among the ascending row numbers
// lib[0 ... n - 1] with window w: those more than w away from t.
inline uint64_t library_candidates(const row_t* lib, size_t n, uint64_t t, uint64_t w) {
  if (one_run(lib, n)) {  // the rows within the window counted without a search
    const uint64_t low = t > w ? t - w : 0;
    const uint64_t high = t + w < t ? UINT64_MAX : t + w;  // saturated
    const uint64_t from = std::max<uint64_t>(low, lib[0]), to = std::min<uint64_t>(high, lib[n - 1]);
    return n - (from <= to ? to - from + 1 : 0);
  }
  const window_run inside = rows_in_window(lib, n, t, w);
  return n - uint64_t(inside.last - inside.first);
}

}  // namespace neighbours
