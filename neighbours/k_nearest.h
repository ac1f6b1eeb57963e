// The k nearest neighbours of points of a k-d tree, with a Theiler window.
//
// Row j is a candidate neighbour of the point of row i when |i - j| > w, so
// w = 0 leaves out the point itself and nothing else. The window is applied
// while the tree is searched: the search ends with exactly k candidates.
//
// Distances are exact: the Euclidean distance is the square root of the sum,
// over the coordinates in ascending order, of the squared differences, each
// operation rounded; the maximum norm is the largest absolute difference.
// Neighbours are ordered by distance and, among equal distances (equal after
// the square root), by row. Whatever the tree prunes, the result is the one
// a comparison with every candidate gives.
//
// Pruning works on the sums before the square root. A node is skipped when
// the smallest sum any of its points can have exceeds `limit`, a bound above
// every sum whose square root could still beat or tie the k-th neighbour's
// distance d: d^2 (rounded) times (1 + 2^-49), past any sum whose root
// rounds to d (those lie within d^2 (1 + 2^-51)), plus 2^-1060 for sums so
// small that their spacing is coarser than that. A node is also skipped when
// its rows all come after the k-th's and the root of its smallest sum is at
// least d: none of its points can come before the k-th then, which keeps
// many copies of one point cheap. And a node whose rows all lie within the
// window is skipped as a whole.
//
// This header needs nothing of the host.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "host/parallel.h"
#include "neighbours/kd_tree.h"

namespace neighbours {

enum class norm { euclidean, maximum };

// The searches of one thread, for D coordinates (0: any number, known at run
// time) under the norm P.
//
// The neighbours found so far are kept as a list in order when k is small,
// where moving a few entries costs less than the heap's unpredictable
// branches, and as a heap (last neighbour on top) when k is large. The
// search and its buffers lie in cache lines of their own (parallel::own_lines).
template <size_t D, norm P>
class alignas(64) k_nearest_search {
 public:
  k_nearest_search(const kd_tree& tree, size_t k, uint64_t window)
      : tree_(tree),
        d_(D ? D : tree.dims()),
        k_(k),
        window_(window),
        listed_(k <= listed_up_to),
        nodes_(&tree.node(0)),
        rows_(tree.rows()),
        coordinates_(d_),
        query_(d_),
        gaps_(d_),
        found_(k) {
    for (size_t c = 0; c < d_; ++c) coordinates_[c] = tree.coordinate(c);
  }

  // Searches the neighbours of the point at leaf-order position `position`.
  // Afterwards distances() and rows() hold them, nearest first.
  //
  // Searches in leaf order follow each other closely. The last search's k-th
  // distance plus the step from its point to this one bounds this point's
  // k-th distance, unless the window takes out some of those neighbours;
  // the search starts with that bound, so it passes over far points from
  // the start. It is only a guess: when fewer than k candidates lie within
  // it, or when the k-th found lies so close to it that a pruned point could
  // still tie, the search runs again without it.
  void search(uint32_t position) {
    double guess = std::numeric_limits<double>::infinity();
    if (has_last_) {
      double step = 0;
      for (size_t c = 0; c < d_; ++c) {
        const double t = std::fabs(coordinates_[c][position] - query_[c]);
        step = P == norm::euclidean ? step + t * t : std::max(step, t);
      }
      if (P == norm::euclidean) step = std::sqrt(step);
      const double bound = (last_.distance + step) * (1 + 0x1p-40);
      guess = P == norm::euclidean ? bound * bound * (1 + 0x1p-40) : bound;
    }
    for (size_t c = 0; c < d_; ++c) query_[c] = coordinates_[c][position];
    query_row_ = rows_[position];
    if (!search_within(guess)) search_within(std::numeric_limits<double>::infinity());
    has_last_ = true;
    if (!listed_) std::sort_heap(found_.begin(), found_.end(), comes_before);
    distances_.resize(k_);
    found_rows_.resize(k_);
    for (size_t m = 0; m < k_; ++m) {
      distances_[m] = found_[m].distance;
      found_rows_[m] = found_[m].row;
    }
  }
  const double* distances() const { return distances_.data(); }
  const row_t* rows() const { return found_rows_.data(); }

 private:
  static constexpr size_t listed_up_to = 48;

  struct neighbour {
    double distance;
    row_t row;
  };
  static bool comes_before(const neighbour& a, const neighbour& b) {
    return a.distance < b.distance || (a.distance == b.distance && a.row < b.row);
  }

  size_t dims() const { return D ? D : d_; }

  // The sum for the point at position i: squared differences added in
  // coordinate order, or the largest absolute difference.
  double sum_at(uint32_t i) const {
    double t = coordinates_[0][i] - query_[0];
    double s = P == norm::euclidean ? t * t : std::fabs(t);
    for (size_t c = 1; c < dims(); ++c) {
      t = coordinates_[c][i] - query_[c];
      s = P == norm::euclidean ? s + t * t : std::max(s, std::fabs(t));
    }
    return s;
  }

  // The smallest sum a point of a node can have, from the gaps between the
  // query and the node's cell along each coordinate, in the same operations.
  double sum_of_gaps() const {
    double s = gaps_[0];
    for (size_t c = 1; c < dims(); ++c) s = P == norm::euclidean ? s + gaps_[c] : std::max(s, gaps_[c]);
    return s;
  }

  // The search with every sum above `guess` passed over until k candidates
  // are found; false when that may have lost a neighbour.
  bool search_within(double guess) {
    for (size_t c = 0; c < d_; ++c) gaps_[c] = 0;
    count_ = 0;
    limit_ = guess;
    last_ = neighbour{std::numeric_limits<double>::infinity(), std::numeric_limits<row_t>::max()};
    descend(kd_tree::root);
    return count_ == k_ && limit_ <= guess;
  }

  // Whether a node with sums of at least `least` may hold a point that comes
  // before the k-th found: one within the limit, and not one whose rows all
  // come after the k-th's while its distances are all at least the k-th's
  // (the rounded root of the least sum bounds the rounded roots of them all).
  bool may_hold(uint32_t id, double least) const {
    if (least > limit_) return false;
    if (nodes_[id].first_row <= last_.row) return true;
    return (P == norm::euclidean ? std::sqrt(least) : least) < last_.distance;
  }

  // Whether every row of the node lies within the window of the query.
  bool inside_window(uint32_t id) const {
    const row_t first = nodes_[id].first_row, last = tree_.last_row(id);
    const uint64_t before = query_row_ > first ? query_row_ - first : 0;
    const uint64_t after = last > query_row_ ? last - query_row_ : 0;
    return before <= window_ && after <= window_;
  }

  // Offers the points at positions [begin, end) of a leaf. Their sums are
  // formed first, a block of leaf_size at a time (the coordinates are padded,
  // so a block may reach past the last point), in a loop without branches;
  // then those within the limit at the start are offered one by one.
  void scan(uint32_t begin, uint32_t end) {
    double sums[leaf_size];
    uint32_t within[leaf_size];
    const double limit = limit_;
    uint32_t count = 0;
    if (dims() == 0) {
      for (uint32_t i = begin; i < end; ++i) offer(i, 0.0);
      return;
    }
    double q[D ? D : 1];
    const double* x[D ? D : 1];
    if (D) {
      for (size_t c = 0; c < D; ++c) q[c] = query_[c], x[c] = coordinates_[c] + begin;
      for (uint32_t i = 0; i < leaf_size; ++i) {
        double t = x[0][i] - q[0];
        double s = P == norm::euclidean ? t * t : std::fabs(t);
        for (size_t c = 1; c < D; ++c) {
          t = x[c][i] - q[c];
          s = P == norm::euclidean ? s + t * t : std::max(s, std::fabs(t));
        }
        sums[i] = s;
      }
    } else {
      for (uint32_t i = 0; i < end - begin; ++i) sums[i] = sum_at(begin + i);
    }
    for (uint32_t i = 0; i < end - begin; ++i) {
      within[count] = i;
      count += sums[i] <= limit;
    }
    // The roots all at once, before the offers wait on them one by one.
    double roots[leaf_size];
    for (uint32_t m = 0; m < count; ++m)
      roots[m] = P == norm::euclidean ? std::sqrt(sums[within[m]]) : sums[within[m]];
    for (uint32_t m = 0; m < count; ++m) {
      const uint32_t i = within[m];
      if (sums[i] <= limit_) offer(begin + i, roots[m]);
    }
  }

  void descend(uint32_t id) {
    const kd_node& node = nodes_[id];
    // Rows close in time may lie close in space too (a slowly moving
    // system): a node of them only is passed over as a whole.
    if (window_ > 0 && inside_window(id)) return;
    if (node.split == leaf_node) {
      scan(node.begin, node.end);
      return;
    }
    if (node.split == row_split) {
      // The points are all the same: the sum of one is the sum of all.
      descend(node.left);
      if (may_hold(node.right, dims() ? sum_at(node.begin) : 0)) descend(node.right);
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
    const double step = P == norm::euclidean ? gap * gap : gap;
    gaps_[c] = std::max(before, step);
    const uint32_t far = left_first ? node.right : node.left;
    if (may_hold(far, sum_of_gaps())) descend(far);
    gaps_[c] = before;
  }

  // Offers the point at position i, at the given distance.
  void offer(uint32_t i, double distance) {
    const row_t row = rows_[i];
    const uint64_t apart = row > query_row_ ? row - query_row_ : query_row_ - row;
    if (apart <= window_) return;
    const neighbour candidate{distance, row};
    if (count_ == k_ && !comes_before(candidate, last_)) return;
    if (listed_) {
      // Into its place in the list; when full, the last one drops out.
      size_t hole = count_ < k_ ? count_++ : k_ - 1;
      while (hole > 0 && comes_before(candidate, found_[hole - 1])) {
        found_[hole] = found_[hole - 1];
        --hole;
      }
      found_[hole] = candidate;
    } else if (count_ < k_) {
      found_[count_++] = candidate;
      std::push_heap(found_.begin(), found_.begin() + long(count_), comes_before);
    } else {
      std::pop_heap(found_.begin(), found_.end(), comes_before);
      found_.back() = candidate;
      std::push_heap(found_.begin(), found_.end(), comes_before);
    }
    if (count_ < k_) return;
    last_ = listed_ ? found_[k_ - 1] : found_[0];
    limit_ = P == norm::euclidean
                 ? last_.distance * last_.distance * (1 + 0x1p-49) + 0x1p-1060
                 : last_.distance;
  }

  const kd_tree& tree_;
  const size_t d_, k_;
  const uint64_t window_;
  const bool listed_;
  const kd_node* nodes_;
  const row_t* rows_;
  std::vector<const double*> coordinates_;
  parallel::own_vector<double> query_, gaps_;
  row_t query_row_ = 0;
  size_t count_ = 0;
  bool has_last_ = false;
  double limit_ = 0;
  neighbour last_{};
  parallel::own_vector<neighbour> found_;
  parallel::own_vector<double> distances_;
  parallel::own_vector<row_t> found_rows_;
};

// The number of candidates of row i among n rows with window w.
inline uint64_t candidates_of(uint64_t i, uint64_t n, uint64_t w) {
  const uint64_t first = i > w ? i - w : 0;
  const uint64_t last = w >= n - 1 - i ? n - 1 : i + w;
  return n - (last - first + 1);
}

// References in the tree's leaf order, where one search follows another
// closely: the leaf-order positions to search, in ascending order, and for
// each reference r the place among them where it is searched. The
// references are the rows refs[0 ... nR - 1], or every row in order when
// refs is null (then nR is the tree's size).
struct leaf_ordered {
  big_buffer::vector<uint32_t> positions, searched_at;
};
inline leaf_ordered in_leaf_order(const kd_tree& tree, const row_t* refs, size_t nR) {
  const size_t N = tree.size();
  const row_t* rows = tree.rows();
  big_buffer::vector<uint32_t> position_of(N);
  for (size_t i = 0; i < N; ++i) position_of[rows[i]] = uint32_t(i);
  leaf_ordered result{big_buffer::vector<uint32_t>(nR), big_buffer::vector<uint32_t>()};
  if (!refs) {
    for (size_t i = 0; i < N; ++i) result.positions[i] = uint32_t(i);
    result.searched_at = std::move(position_of);
    return result;
  }
  result.searched_at.resize(nR);
  big_buffer::vector<uint32_t> starts(N + 1, 0);
  for (size_t r = 0; r < nR; ++r) ++starts[position_of[refs[r]] + 1];
  for (size_t i = 0; i < N; ++i) starts[i + 1] += starts[i];
  for (size_t r = 0; r < nR; ++r) {
    const uint32_t position = position_of[refs[r]];
    result.searched_at[r] = starts[position]++;
    result.positions[result.searched_at[r]] = position;
  }
  return result;
}

// Searches the k nearest candidates of the points at the leaf-order
// positions[0 ... count - 1], each of which must have at least k candidates,
// and hands each result to emit(index into positions, distances, rows),
// nearest first. Positions in ascending order keep the tree in cache.
//
// The references are taken by the threads in chunks, in order, as each
// thread comes free; emit is called on the thread that searched, once per
// reference, and must only write that reference's own results.
template <typename Emit>
void k_nearest(const kd_tree& tree, norm p, size_t k, uint64_t window,
               const uint32_t* positions, size_t count, int threads, Emit&& emit);

namespace detail {

template <size_t D, norm P, typename Emit>
void k_nearest_with(const kd_tree& tree, size_t k, uint64_t window, const uint32_t* positions,
                    size_t count, int threads, Emit& emit) {
  constexpr size_t chunk = 256;
  const long chunks = long((count + chunk - 1) / chunk);
  // A search costs a microsecond or so; a thread pays for itself with a
  // few hundred of them.
  threads = parallel::threads_for(double(count) * double(k), 8192, chunks, threads);
  std::vector<std::unique_ptr<k_nearest_search<D, P>>> searches(size_t(std::max(threads, 1)));
  parallel::run(chunks, threads, [&](long t, int worker) {
    auto& search = searches[size_t(worker)];
    if (!search) search = std::make_unique<k_nearest_search<D, P>>(tree, k, window);
    const size_t end = std::min(count, size_t(t + 1) * chunk);
    for (size_t r = size_t(t) * chunk; r < end; ++r) {
      search->search(positions[r]);
      emit(r, search->distances(), search->rows());
    }
  });
}

template <norm P, typename Emit>
void k_nearest_in(const kd_tree& tree, size_t k, uint64_t window, const uint32_t* positions,
                  size_t count, int threads, Emit& emit) {
  switch (tree.dims()) {
    case 1: return k_nearest_with<1, P>(tree, k, window, positions, count, threads, emit);
    case 2: return k_nearest_with<2, P>(tree, k, window, positions, count, threads, emit);
    case 3: return k_nearest_with<3, P>(tree, k, window, positions, count, threads, emit);
    case 4: return k_nearest_with<4, P>(tree, k, window, positions, count, threads, emit);
    case 5: return k_nearest_with<5, P>(tree, k, window, positions, count, threads, emit);
    case 6: return k_nearest_with<6, P>(tree, k, window, positions, count, threads, emit);
    case 7: return k_nearest_with<7, P>(tree, k, window, positions, count, threads, emit);
    case 8: return k_nearest_with<8, P>(tree, k, window, positions, count, threads, emit);
    default: return k_nearest_with<0, P>(tree, k, window, positions, count, threads, emit);
  }
}

}  // namespace detail

template <typename Emit>
void k_nearest(const kd_tree& tree, norm p, size_t k, uint64_t window,
               const uint32_t* positions, size_t count, int threads, Emit&& emit) {
  if (count == 0 || k == 0) return;
  if (p == norm::euclidean)
    detail::k_nearest_in<norm::euclidean>(tree, k, window, positions, count, threads, emit);
  else
    detail::k_nearest_in<norm::maximum>(tree, k, window, positions, count, threads, emit);
}

}  // namespace neighbours
