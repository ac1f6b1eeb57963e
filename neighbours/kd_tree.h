// A k-d tree over the rows of a point set, for exact neighbour searches.
//
// The points (rows of an N x d matrix, one coordinate per column) are copied
// once, coordinate by coordinate, into leaf order: the points of every node
// are one run of positions, and each coordinate of them one run of doubles.
//
// A node is split across the coordinate along which its points spread
// widest, at the middle of their range there, so that neither side is empty;
// points equal to the cut balance the sides. Large nodes judge the spread
// from every eighth point and scan only the coordinate split in full, so a
// level of the tree costs little more than one pass over one coordinate and
// the moves of the split. A node whose points all
// coincide is split by row instead, the lower rows to the left, so that ties
// among many equal points stay cheap to resolve. Splits that keep peeling
// off a few points (data spread over many scales) give way to median splits
// below a depth, so every path stays short.
//
// Every node knows the box of its points (the leaves' found from their
// points, the others' joined from their children's) and its smallest and
// largest rows;
// an inner node also knows the largest coordinate of its left child and the
// smallest of its right child along its split. The searches (k_nearest.h,
// the pair count of corrsum) bound distances with these; the bounds are
// computed with the same operations, in the same order, as the distances
// themselves, so a rounded bound never exceeds a rounded distance it stands
// for.
//
// Rows are 32-bit: a point set has fewer than 2^31 rows.
//
// This header needs nothing of the host.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <numeric>
#include <vector>

#include "host/big_buffer.h"
#include "host/parallel.h"

namespace neighbours {

using row_t = uint32_t;

// Whether the ascending row numbers rows[0 ... n-1] are one run of
// consecutive rows (and not none), as a default library is.
inline bool one_run(const row_t* rows, size_t n) {
  return n > 0 && size_t(rows[n - 1] - rows[0]) == n - 1;
}

// The most rows a tree takes.
constexpr size_t max_rows = size_t(INT32_MAX);

// The most points in a leaf. A leaf holds between 1 and this many.
constexpr uint32_t leaf_size = 24;

struct kd_node {
  uint32_t begin, end;   // its points' positions in leaf order
  row_t first_row;       // the smallest row among them
  int32_t split;         // the coordinate split, or one of the kinds below
  uint32_t left, right;  // children of an inner node
  double below, above;   // along split: the left child's largest coordinate,
                         // the right child's smallest
};
constexpr int32_t leaf_node = -1;
constexpr int32_t row_split = -2;  // points all equal: lower rows to the left

class kd_tree {
 public:
  // The n x d points of X (column-major, as the hosts store matrices).
  // threads is the most the build may use.
  kd_tree(const double* X, size_t n, size_t d, int threads);
  // The same from the n values of each coordinate, wherever they lie: the
  // first rows of a matrix, or the columns of a delay embedding, which are
  // all runs of one series.
  kd_tree(const std::vector<const double*>& columns, size_t n, int threads);
  // The same, running `alongside` once on one of the build's threads while
  // the tree is built: work of the caller's that has nothing to do with the
  // tree, for the threads to share with the build (a large tree's first
  // split keeps all but one thread waiting).
  kd_tree(const std::vector<const double*>& columns, size_t n, int threads,
          const std::function<void()>& alongside);

  size_t size() const { return n_; }
  size_t dims() const { return d_; }
  // Coordinate c of the point at each leaf-order position.
  const double* coordinate(size_t c) const { return coords_.data() + c * stride_; }
  // The row of X each position holds.
  const row_t* rows() const { return rows_.data(); }
  static constexpr uint32_t root = 0;
  const kd_node& node(uint32_t id) const { return nodes_[id]; }
  // The largest row among a node's points. (Kept apart from the nodes, which
  // the build makes faster at 40 bytes than at 48.)
  row_t last_row(uint32_t id) const { return last_rows_[id]; }
  size_t node_count() const { return nodes_.size(); }
  // The lowest and highest coordinates of a node's points: d values each.
  const double* box_low(uint32_t id) const { return boxes_.data() + 2 * d_ * id; }
  const double* box_high(uint32_t id) const { return boxes_.data() + 2 * d_ * id + d_; }

  // Room after each coordinate's run, so that a scan may read up to a leaf's
  // size past a leaf's start without leaving the storage.
  static constexpr size_t padding = leaf_size;

 private:
  struct subtree;
  class arena;
  template <typename T>
  struct from_arena;
  struct part;
  struct split_at {
    int32_t split;    // the coordinate, or row_split
    uint32_t middle;  // the first position of the right child
  };
  void build(part& into, const subtree& node, std::vector<subtree>* deferred,
             uint32_t defer_below);
  split_at split_node(uint32_t begin, uint32_t end, int depth);
  template <typename Nodes, typename Rows, typename Boxes>
  void join(Nodes& nodes, Rows& last_rows, Boxes& boxes, uint32_t id) const;
  uint32_t partition(uint32_t begin, uint32_t end, size_t c, double cut, bool or_equal);
  void swap_positions(uint32_t i, uint32_t j);
  void range_of(uint32_t begin, uint32_t end, size_t c, double& low, double& high) const;

  size_t n_, d_, stride_;
  big_buffer::vector<double> coords_;
  big_buffer::vector<row_t> rows_;
  big_buffer::vector<kd_node> nodes_;
  big_buffer::vector<row_t> last_rows_;
  big_buffer::vector<double> boxes_;
};

// ---- building ------------------------------------------------------------------

// A node to build: its points, its depth, the round of the build it belongs
// to, and where it hangs.
struct kd_tree::subtree {
  uint32_t begin, end;
  int depth, round;
  // For a subtree left for later: whose left or right child it becomes, as
  // the part that holds the parent and the parent's place in it.
  const part* parent_part;
  uint32_t parent;
  bool is_right;
};

// Room for the parts of one build, handed out in runs of whole cache lines
// (parts made on different threads share none) from one block. The block
// comes from big_buffer, which keeps it for the next build of about the same
// size: parts in memory of their own would go back to the C library after
// every build, which hands much of it back to the system, and the next
// build would fault every page of its parts in afresh, a third of its time.
// A run that no longer fits comes from the heap.
class kd_tree::arena {
 public:
  // No block for 0 bytes: all runs come from the heap.
  explicit arena(size_t bytes) : block_(bytes ? power_of_two_from(bytes + line) : 0) {
    const uintptr_t start = uintptr_t(block_.data());
    first_ = (start + line - 1) / line * line - start;
  }
  void* take(size_t bytes) {
    bytes = (bytes + line - 1) / line * line;
    const size_t at = first_ + used_.fetch_add(bytes, std::memory_order_relaxed);
    if (at <= block_.size() && bytes <= block_.size() - at) return block_.data() + at;
    return ::operator new(bytes);
  }
  void give_back(void* run) {
    const uintptr_t at = uintptr_t(run), start = uintptr_t(block_.data());
    if (at < start || at - start >= block_.size()) ::operator delete(run);
  }

 private:
  static constexpr size_t line = 64;
  static size_t power_of_two_from(size_t bytes) {
    size_t size = big_buffer::smallest_kept;
    while (size < bytes) size *= 2;
    return size;
  }
  big_buffer::vector<char> block_;
  size_t first_ = 0;  // the first whole line of the block
  std::atomic<size_t> used_{0};
};

template <typename T>
struct kd_tree::from_arena {
  using value_type = T;
  arena* from;
  explicit from_arena(arena& a) : from(&a) {}
  template <typename U>
  from_arena(const from_arena<U>& other) : from(other.from) {}
  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(from->take(n * sizeof(T)));
  }
  void deallocate(T* p, size_t) { from->give_back(p); }
  template <typename U>
  bool operator==(const from_arena<U>& other) const { return from == other.from; }
  template <typename U>
  bool operator!=(const from_arena<U>& other) const { return from != other.from; }
};

// The nodes of a subtree being built, in the order they are made (parents
// before children), with their boxes; and, once all are made, where the
// part comes among them.
struct kd_tree::part {
  explicit part(arena& room) : nodes(from_arena<kd_node>(room)), last_rows(from_arena<row_t>(room)),
                               boxes(from_arena<double>(room)) {}
  subtree top;
  std::vector<kd_node, from_arena<kd_node>> nodes;
  std::vector<row_t, from_arena<row_t>> last_rows;
  std::vector<double, from_arena<double>> boxes;
  size_t index = 0;
};

inline void kd_tree::swap_positions(uint32_t i, uint32_t j) {
  for (size_t c = 0; c < d_; ++c) std::swap(coords_[c * stride_ + i], coords_[c * stride_ + j]);
  std::swap(rows_[i], rows_[j]);
}

// Moves the points whose coordinate c is below the cut (or equal to it, with
// or_equal) to the front of [begin, end); returns the first position after
// them. Blocks at both ends are first sorted out without branches on the
// data (the positions that must move are listed, then swapped in pairs);
// the last few points are swapped one pair at a time.
inline uint32_t kd_tree::partition(uint32_t begin, uint32_t end, size_t c, double cut,
                                   bool or_equal) {
  const double* x = coords_.data() + c * stride_;
  auto run = [&](auto front) {
    constexpr uint32_t block = 64;
    uint32_t stay_left[block], stay_right[block];  // offsets of misplaced points
    uint32_t left = begin, right = end;             // [left, right) not yet sorted out
    uint32_t left_count = 0, right_count = 0, left_done = 0, right_done = 0;
    while (right - left > 2 * block) {
      if (left_count == 0) {
        left_done = 0;
        for (uint32_t i = 0; i < block; ++i) {
          stay_left[left_count] = i;
          left_count += !front(x[left + i]);
        }
      }
      if (right_count == 0) {
        right_done = 0;
        for (uint32_t i = 0; i < block; ++i) {
          stay_right[right_count] = i;
          right_count += front(x[right - 1 - i]);
        }
      }
      const uint32_t pairs = std::min(left_count, right_count);
      for (uint32_t p = 0; p < pairs; ++p)
        swap_positions(left + stay_left[left_done + p], right - 1 - stay_right[right_done + p]);
      left_count -= pairs;
      right_count -= pairs;
      left_done += pairs;
      right_done += pairs;
      if (left_count == 0) left += block;
      if (right_count == 0) right -= block;
    }
    uint32_t i = left, j = right;
    for (;;) {
      while (i < j && front(x[i])) ++i;
      while (i < j && !front(x[j - 1])) --j;
      if (i >= j) return i;
      swap_positions(i, j - 1);
      ++i;
      --j;
    }
  };
  return or_equal ? run([cut](double v) { return v <= cut; })
                  : run([cut](double v) { return v < cut; });
}

// The lowest and highest coordinate c of the points [begin, end); four runs
// side by side, so that each waits less on the last.
inline void kd_tree::range_of(uint32_t begin, uint32_t end, size_t c, double& low,
                              double& high) const {
  const double* x = coords_.data() + c * stride_;
  double lows[4], highs[4];
  for (int r = 0; r < 4; ++r) lows[r] = highs[r] = x[begin];
  uint32_t i = begin;
  for (; i + 4 <= end; i += 4)
    for (int r = 0; r < 4; ++r) {
      lows[r] = std::min(lows[r], x[i + r]);
      highs[r] = std::max(highs[r], x[i + r]);
    }
  for (; i < end; ++i) {
    lows[0] = std::min(lows[0], x[i]);
    highs[0] = std::max(highs[0], x[i]);
  }
  low = std::min(std::min(lows[0], lows[1]), std::min(lows[2], lows[3]));
  high = std::max(std::max(highs[0], highs[1]), std::max(highs[2], highs[3]));
}

// Splits the node of the points [begin, end) (more than a leaf holds),
// moving them to their sides.
inline kd_tree::split_at kd_tree::split_node(uint32_t begin, uint32_t end, int depth) {
  const uint32_t count = end - begin;
  // The coordinate along which the points spread widest, judged from every
  // eighth point of a large node; then the points' range along it.
  const uint32_t stride = count >= 256 ? 8 : 1;
  size_t c = 0;
  double widest = -1;
  for (size_t k = 0; k < d_; ++k) {
    const double* x = coordinate(k);
    double l = x[begin], h = x[begin];
    for (uint32_t i = begin + stride; i < end; i += stride) {
      l = std::min(l, x[i]);
      h = std::max(h, x[i]);
    }
    if (h - l > widest) widest = h - l, c = k;
  }
  double low = 0, high = 0;
  if (d_ > 0) range_of(begin, end, c, low, high);
  if (!(low < high) && stride > 1) {
    // The sample saw no extent: look at every point.
    widest = 0;
    for (size_t k = 0; k < d_; ++k) {
      double l, h;
      range_of(begin, end, k, l, h);
      if (h - l > widest) widest = h - l, c = k, low = l, high = h;
    }
  }

  if (!(low < high)) {
    // Every point is the same: split by row.
    std::sort(rows_.begin() + begin, rows_.begin() + end);
    return {row_split, begin + count / 2};
  }
  double cut;
  // Deep down a tree of lopsided splits, the median keeps the rest short.
  constexpr int lopsided_depth = 48;
  if (depth >= lopsided_depth) {
    std::vector<double> values(coordinate(c) + begin, coordinate(c) + end);
    std::nth_element(values.begin(), values.begin() + count / 2, values.end());
    cut = values[count / 2];
  } else {
    cut = low / 2 + high / 2;  // no overflow for huge values
    cut = std::min(std::max(cut, low), high);
  }
  const uint32_t less = partition(begin, end, c, cut, false) - begin;
  if (less > count / 2) return {int32_t(c), begin + less};
  const uint32_t upto = partition(begin + less, end, c, cut, true) - begin;
  return {int32_t(c), begin + (upto < count / 2 ? upto : count / 2)};
}

// What an inner node takes from its children: its box, its rows, the
// bounds of its split.
template <typename Nodes, typename Rows, typename Boxes>
void kd_tree::join(Nodes& nodes, Rows& last_rows, Boxes& boxes, uint32_t id) const {
  kd_node& node = nodes[id];
  const double* left = boxes.data() + 2 * d_ * node.left;
  const double* right = boxes.data() + 2 * d_ * node.right;
  double* box = boxes.data() + 2 * d_ * id;
  for (size_t k = 0; k < d_; ++k) {
    box[k] = std::min(left[k], right[k]);
    box[d_ + k] = std::max(left[d_ + k], right[d_ + k]);
  }
  node.first_row = std::min(nodes[node.left].first_row, nodes[node.right].first_row);
  last_rows[id] = std::max(last_rows[node.left], last_rows[node.right]);
  if (node.split >= 0) {
    node.below = left[d_ + size_t(node.split)];
    node.above = right[size_t(node.split)];
  }
}

// Builds `node` and all below it into `into`, as its next nodes. Subtrees
// of fewer than defer_below points are, when `deferred` is given, left for
// later: their parent's link waits for them, and so do the parent's box and
// bounds.
inline void kd_tree::build(part& into, const subtree& node, std::vector<subtree>* deferred,
                           uint32_t defer_below) {
  const uint32_t begin = node.begin, end = node.end;
  const uint32_t id = uint32_t(into.nodes.size());
  into.nodes.push_back(kd_node{begin, end, 0, leaf_node, 0, 0, 0, 0});
  into.last_rows.push_back(0);
  into.boxes.resize(into.boxes.size() + 2 * d_);

  if (end - begin <= leaf_size) {
    double* box = into.boxes.data() + 2 * d_ * id;
    for (size_t c = 0; c < d_; ++c) range_of(begin, end, c, box[c], box[d_ + c]);
    const auto [first, last] = std::minmax_element(rows_.begin() + begin, rows_.begin() + end);
    into.nodes[id].first_row = *first;
    into.last_rows[id] = *last;
    return;
  }
  const split_at split = split_node(begin, end, node.depth);
  into.nodes[id].split = split.split;
  bool waits = false;
  for (const bool is_right : {false, true}) {
    const subtree child{is_right ? split.middle : begin, is_right ? end : split.middle,
                        node.depth + 1, node.round, nullptr, id, is_right};
    if (deferred && child.end - child.begin < defer_below) {
      deferred->push_back(child);
      waits = true;
      continue;
    }
    (is_right ? into.nodes[id].right : into.nodes[id].left) = uint32_t(into.nodes.size());
    build(into, child, deferred, defer_below);
  }
  if (waits) return;
  join(into.nodes, into.last_rows, into.boxes, id);
}

// The columns of an n x d column-major matrix.
inline std::vector<const double*> columns_of(const double* X, size_t n, size_t d) {
  std::vector<const double*> columns(d);
  for (size_t c = 0; c < d; ++c) columns[c] = X + c * n;
  return columns;
}

inline kd_tree::kd_tree(const double* X, size_t n, size_t d, int threads)
    : kd_tree(columns_of(X, n, d), n, threads) {}

inline kd_tree::kd_tree(const std::vector<const double*>& columns, size_t n, int threads)
    : kd_tree(columns, n, threads, std::function<void()>()) {}

inline kd_tree::kd_tree(const std::vector<const double*>& columns, size_t n, int threads,
                        const std::function<void()>& alongside)
    : n_(n), d_(columns.size()), stride_(n + padding), coords_(d_ * (n + padding)), rows_(n) {
  const size_t d = d_;
  // The copy in blocks on the threads: the first writes to fresh memory
  // cost page faults, which the threads share.
  constexpr size_t block = size_t(1) << 18;
  const size_t blocks = (n + block - 1) / block;
  parallel::run(long((d + 1) * blocks),
                parallel::threads_for(double(n) * double(d + 1), double(block), long(blocks), threads),
                [&](long task, int) {
                  const size_t c = size_t(task) / blocks, first = size_t(task) % blocks * block;
                  const size_t count = std::min(block, n - first);
                  if (c < d)
                    std::memcpy(coords_.data() + c * stride_ + first, columns[c] + first,
                                count * sizeof(double));
                  else
                    std::iota(rows_.begin() + long(first), rows_.begin() + long(first + count),
                              row_t(first));
                });
  for (size_t c = 0; c < d; ++c) std::fill_n(coords_.data() + c * stride_ + n, padding, 0.0);
  if (n == 0) {
    if (alongside) alongside();
    return;
  }

  // A large tree is built in rounds: the root; its two children; the tops
  // below its four grandchildren, down to subtrees of fewer than a
  // sixteenth of the points; those subtrees, each whole. A thread that
  // comes free takes the largest subtree whose parent is made, whatever
  // its round, so that no thread waits for the others to end a round. Each
  // subtree goes into a part of its own, and the parts are joined in the
  // order of their rounds and, within a round, of their points, so the tree
  // and where its nodes are stored are the same for every thread count.
  // (Splitting all the top's nodes level by level gains nothing: there the
  // split's passes wait on memory, and one after the other each finds much
  // of its half still in cache.)
  constexpr uint32_t on_threads_from = 1u << 16;
  constexpr int last_round = 3;
  const bool large = n >= on_threads_from;
  const uint32_t whole_below = std::max<uint32_t>(uint32_t(n / 16), on_threads_from / 4);
  // A part of points [begin, end) takes room for (end - begin) / 6 + 1
  // nodes (a tree has about one per 8 points), a top's part for 64, and
  // either grows if need be. Small trees take their few nodes from the heap.
  constexpr size_t from_arena_from = 4096;
  arena room(n < from_arena_from ? 0
                                 : (n / 6 + 1024) * (sizeof(kd_node) + sizeof(row_t) +
                                                     2 * d * sizeof(double)) + 3 * 64 * 1024);
  std::vector<std::unique_ptr<part>> parts;
  std::mutex parts_lock;
  // The work alongside is an item of no points, taken after the root.
  constexpr int alongside_round = -1;
  std::vector<subtree> first_items{{0, uint32_t(n), 0, 0, nullptr, 0, false}};
  if (alongside) first_items.push_back({0, 0, 0, alongside_round, nullptr, 0, false});
  parallel::run_growing(
      std::move(first_items),
      large ? parallel::threads_for(double(n), on_threads_from / 2, 16, threads) : 1,
      [](const subtree& a, const subtree& b) {
        return a.end - a.begin > b.end - b.begin ||
               (a.end - a.begin == b.end - b.begin && a.begin < b.begin);
      },
      [&](const subtree& top, int, std::vector<subtree>& later) {
        if (top.round == alongside_round) return alongside();
        auto made = std::make_unique<part>(room);
        made->top = top;
        const bool defer = large && top.round < last_round;
        const size_t nodes = defer ? 64 : (top.end - top.begin) / 6 + 1;
        made->nodes.reserve(nodes);
        made->last_rows.reserve(nodes);
        made->boxes.reserve(nodes * 2 * d);
        build(*made, top, defer ? &later : nullptr, top.round < 2 ? uint32_t(n) : whole_below);
        for (subtree& child : later) {
          child.round = top.round + 1;
          child.parent_part = made.get();
        }
        std::lock_guard<std::mutex> hold(parts_lock);
        parts.push_back(std::move(made));
      });
  std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) {
    return a->top.round < b->top.round ||
           (a->top.round == b->top.round && a->top.begin < b->top.begin);
  });

  std::vector<uint32_t> offsets(parts.size());
  size_t total = 0, waited = 0;  // waited: the nodes of parts whose children came later
  for (size_t p = 0; p < parts.size(); ++p) {
    parts[p]->index = p;
    offsets[p] = uint32_t(total);
    total += parts[p]->nodes.size();
    if (large && parts[p]->top.round < last_round) waited = total;
  }
  nodes_.reserve(total);
  last_rows_.reserve(total);
  boxes_.reserve(total * 2 * d);
  for (size_t p = 0; p < parts.size(); ++p) {
    for (kd_node node : parts[p]->nodes) {
      if (node.split != leaf_node) {
        node.left += offsets[p];
        node.right += offsets[p];
      }
      nodes_.push_back(node);
    }
    last_rows_.insert(last_rows_.end(), parts[p]->last_rows.begin(), parts[p]->last_rows.end());
    boxes_.insert(boxes_.end(), parts[p]->boxes.begin(), parts[p]->boxes.end());
  }
  for (size_t p = 1; p < parts.size(); ++p) {
    const subtree& top = parts[p]->top;
    kd_node& parent = nodes_[offsets[top.parent_part->index] + top.parent];
    (top.is_right ? parent.right : parent.left) = offsets[p];
  }
  // What waited for later rounds: parents come before their children, so a
  // pass from the back finds the children done.
  for (size_t id = waited; id-- > 0;)
    if (nodes_[id].split != leaf_node) join(nodes_, last_rows_, boxes_, uint32_t(id));
}

}  // namespace neighbours
