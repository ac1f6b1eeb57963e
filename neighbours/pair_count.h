// Pairs of points counted by their distance, with a Theiler window: the
// question of the correlation sum (corrsum) and of sample entropy (sampen).
//
// The points are N rows of d coordinates, each coordinate a run of N values
// (columns of a matrix, or runs of one series for delay vectors). A pair is
// rows i < j with j - i > w. Its sum is, as in k_nearest.h, the sum over the
// coordinates in order of the squared differences (Euclidean norm, before
// the root) or the largest absolute difference (maximum norm). Given
// ascending thresholds, a pair is counted at the first threshold that is at
// least its sum: a pair counts for a threshold t when its sum is <= t.
//
// The pairs are counted on a k-d tree, two nodes at a time: when the bounds
// on the sums between two nodes' points put all their pairs on the same
// side of every threshold, the pairs are counted at once; otherwise the
// nodes are split, down to pairs of leaves, whose pairs are counted one by
// one. The bounds use the same operations as the sums, so a rounded bound
// never passes a rounded sum. The tree counts every pair i < j; the pairs
// within the window (0 < j - i <= w) are then counted one by one and taken
// off, or, when they are the most of all pairs, the pairs outside it are
// counted one by one instead. Counts are whole numbers: adding the threads'
// counts gives the same for every thread count.
//
// This header needs nothing of the host.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/parallel.h"
#include "neighbours/k_nearest.h"

namespace neighbours {

// The first of the ascending thresholds[lo ... hi - 1] at least s (hi when
// none is): the first radius for which a pair with the sum s counts.
inline size_t first_counting(const double* thresholds, size_t lo, size_t hi, double s) {
  if (hi - lo <= 16) {
    size_t below = 0;
    for (size_t m = lo; m < hi; ++m) below += thresholds[m] < s;
    return lo + below;
  }
  return size_t(std::lower_bound(thresholds + lo, thresholds + hi, s) - thresholds);
}

// The least and most sums a pair of points of nodes a and b (of d
// coordinates) can have, in the operations of the sums themselves.
template <norm P>
inline void node_pair_bounds(const kd_tree& tree, size_t d, uint32_t a, uint32_t b, double& least,
                             double& most) {
  const double *a_low = tree.box_low(a), *a_high = tree.box_high(a);
  const double *b_low = tree.box_low(b), *b_high = tree.box_high(b);
  least = most = 0;
  for (size_t c = 0; c < d; ++c) {
    double gap = std::max(b_low[c] - a_high[c], a_low[c] - b_high[c]);
    if (!(gap > 0)) gap = 0;
    const double span = std::max(a_high[c] - b_low[c], b_high[c] - a_low[c]);
    if (P == norm::euclidean) {
      least = c == 0 ? gap * gap : least + gap * gap;
      most = c == 0 ? span * span : most + span * span;
    } else {
      least = std::max(least, gap);
      most = std::max(most, span);
    }
  }
}

// The sums of the point at leaf-order position i with those at
// [begin, begin + n).
template <norm P>
inline void sums_of(const kd_tree& tree, size_t d, uint32_t i, uint32_t begin, uint32_t n,
                    double* sums) {
  for (uint32_t j = 0; j < n; ++j) sums[j] = 0;
  for (size_t c = 0; c < d; ++c) {
    const double* x = tree.coordinate(c);
    const double q = x[i];
    for (uint32_t j = 0; j < n; ++j) {
      const double t = q - x[begin + j];
      if (P == norm::euclidean)
        sums[j] = c == 0 ? t * t : sums[j] + t * t;
      else
        sums[j] = std::max(sums[j], std::fabs(t));
    }
  }
}

// Counts pairs of the tree's points, two nodes at a time, into counts[m]:
// the number of pairs for which the m-th threshold is the first that counts
// them (m = M for the pairs no radius counts).
template <size_t D, norm P>
class pair_counter {
 public:
  pair_counter(const kd_tree& tree, const double* thresholds)
      : tree_(tree), d_(D ? D : tree.dims()), thresholds_(thresholds) {}

  // The pair of nodes a and b (a = b for the pairs within one node), whose
  // pairs are known to be first counted at a threshold in [lo, hi].
  struct task {
    uint32_t a, b;
    uint32_t lo, hi;
  };

  // Counts what the bounds settle; returns false when the pair of nodes
  // must be split (then the range narrows to what the bounds leave open).
  bool settle(task& t, uint64_t* counts) const {
    double least, most;
    bounds(t.a, t.b, least, most);
    const size_t lo = first_counting(thresholds_, t.lo, t.hi, least);
    const size_t hi = first_counting(thresholds_, lo, t.hi, most);
    t.lo = uint32_t(lo);
    t.hi = uint32_t(hi);
    if (lo < hi) return false;
    counts[lo] += pairs_of(t);
    return true;
  }

  // The pairs that a task holds, split into tasks for children; leaves are
  // counted pair by pair.
  void split(const task& t, parallel::own_vector<task>& into, uint64_t* counts) const {
    const kd_node &a = tree_.node(t.a), &b = tree_.node(t.b);
    const bool a_leaf = a.split == leaf_node, b_leaf = b.split == leaf_node;
    if (t.a == t.b) {
      if (a_leaf) return count_within(a, t, counts);
      into.push_back({a.left, a.left, t.lo, t.hi});
      into.push_back({a.left, a.right, t.lo, t.hi});
      into.push_back({a.right, a.right, t.lo, t.hi});
      return;
    }
    if (a_leaf && b_leaf) return count_between(a, b, t, counts);
    // The larger node is split.
    const bool split_a = b_leaf || (!a_leaf && a.end - a.begin >= b.end - b.begin);
    if (split_a) {
      into.push_back({a.left, t.b, t.lo, t.hi});
      into.push_back({a.right, t.b, t.lo, t.hi});
    } else {
      into.push_back({t.a, b.left, t.lo, t.hi});
      into.push_back({t.a, b.right, t.lo, t.hi});
    }
  }

  // Counts everything a task holds.
  void count(task t, uint64_t* counts, parallel::own_vector<task>& stack) const {
    const size_t bottom = stack.size();
    stack.push_back(t);
    while (stack.size() > bottom) {
      task next = stack.back();
      stack.pop_back();
      if (!settle(next, counts)) split(next, stack, counts);
    }
  }

 private:
  size_t dims() const { return D ? D : d_; }

  uint64_t pairs_of(const task& t) const {
    const uint64_t na = tree_.node(t.a).end - tree_.node(t.a).begin;
    if (t.a == t.b) return na * (na - 1) / 2;
    return na * (tree_.node(t.b).end - tree_.node(t.b).begin);
  }

  void bounds(uint32_t a, uint32_t b, double& least, double& most) const {
    node_pair_bounds<P>(tree_, dims(), a, b, least, most);
  }
  void sums_with(uint32_t i, uint32_t begin, uint32_t n, double* sums) const {
    sums_of<P>(tree_, dims(), i, begin, n, sums);
  }

  void bin(const double* sums, uint32_t n, const task& t, uint64_t* counts) const {
    for (uint32_t j = 0; j < n; ++j) ++counts[first_counting(thresholds_, t.lo, t.hi, sums[j])];
  }

  void count_within(const kd_node& leaf, const task& t, uint64_t* counts) const {
    double sums[leaf_size];
    for (uint32_t i = leaf.begin; i + 1 < leaf.end; ++i) {
      sums_with(i, i + 1, leaf.end - i - 1, sums);
      bin(sums, leaf.end - i - 1, t, counts);
    }
  }

  void count_between(const kd_node& a, const kd_node& b, const task& t,
                     uint64_t* counts) const {
    double sums[leaf_size];
    for (uint32_t i = a.begin; i < a.end; ++i) {
      sums_with(i, b.begin, b.end - b.begin, sums);
      bin(sums, b.end - b.begin, t, counts);
    }
  }

  const kd_tree& tree_;
  const size_t d_;
  const double* thresholds_;
};

// The tree's count of all pairs i < j.
template <size_t D, norm P>
inline void count_on_tree(const kd_tree& tree, const double* thresholds, size_t M,
                          uint64_t* counts, int threads) {
  using counter = pair_counter<D, P>;
  const counter pairs(tree, thresholds);
  // The first splits here, until there are pairs of nodes enough to share
  // out; then the threads take them as they come free.
  parallel::own_vector<typename counter::task> tasks{{kd_tree::root, kd_tree::root, 0, uint32_t(M)}};
  parallel::own_vector<typename counter::task> next;
  constexpr size_t enough = 4096;
  while (!tasks.empty() && tasks.size() < enough) {
    next.clear();
    for (auto t : tasks)
      if (!pairs.settle(t, counts)) pairs.split(t, next, counts);
    tasks.swap(next);
  }
  threads = parallel::threads_for(double(tree.size()) * 64, 1 << 16, long(tasks.size()), threads);
  std::vector<parallel::own_vector<uint64_t>> own(size_t(std::max(threads, 1)),
                                                  parallel::own_vector<uint64_t>(M + 1, 0));
  std::vector<parallel::own_line<parallel::own_vector<typename counter::task>>> stacks(own.size());
  parallel::run(long(tasks.size()), threads, [&](long i, int worker) {
    pairs.count(tasks[size_t(i)], own[size_t(worker)].data(), stacks[size_t(worker)].value);
  });
  for (const auto& counted : own)
    for (size_t m = 0; m <= M; ++m) counts[m] += counted[m];
}

template <norm P>
inline void count_on_tree_in(const kd_tree& tree, const double* thresholds, size_t M,
                             uint64_t* counts, int threads) {
  switch (tree.dims()) {
    case 1: return count_on_tree<1, P>(tree, thresholds, M, counts, threads);
    case 2: return count_on_tree<2, P>(tree, thresholds, M, counts, threads);
    case 3: return count_on_tree<3, P>(tree, thresholds, M, counts, threads);
    default: return count_on_tree<0, P>(tree, thresholds, M, counts, threads);
  }
}

// Counts, one by one, the pairs (i, i + lag) of the N points whose
// coordinates are columns[0 ... d - 1] (N values each), for lag = lags_from
// ... lags_to (those with i + lag < N); into counts as pair_counter does.
inline void count_by_lag(const std::vector<const double*>& columns, size_t N, norm p,
                         uint64_t lags_from, uint64_t lags_to, const double* thresholds, size_t M,
                         uint64_t* counts, int threads) {
  const size_t d = columns.size();
  if (lags_from > lags_to || lags_from >= N) return;
  lags_to = std::min<uint64_t>(lags_to, N - 1);
  // Blocks of rows, each with every lag: the rows a block reads stay in cache.
  constexpr size_t block = 2048;
  const long blocks = long((N + block - 1) / block);
  const double pairs = double(lags_to - lags_from + 1) * double(N);
  threads = parallel::threads_for(pairs, 1 << 18, blocks, threads);
  std::vector<parallel::own_vector<uint64_t>> own(size_t(std::max(threads, 1)),
                                                  parallel::own_vector<uint64_t>(M + 1, 0));
  parallel::run(blocks, threads, [&](long b, int worker) {
    uint64_t* counted = own[size_t(worker)].data();
    std::vector<double> sums(block);
    const size_t first = size_t(b) * block;
    for (uint64_t lag = lags_from; lag <= lags_to; ++lag) {
      if (first + lag >= N) break;
      const size_t n = std::min(block, size_t(N - lag - first));
      for (size_t c = 0; c < d; ++c) {
        const double* x = columns[c] + first;
        for (size_t i = 0; i < n; ++i) {
          const double t = x[i] - x[i + lag];
          if (p == norm::euclidean)
            sums[i] = c == 0 ? t * t : sums[i] + t * t;
          else
            sums[i] = c == 0 ? std::fabs(t) : std::max(sums[i], std::fabs(t));
        }
      }
      if (d == 0) std::fill_n(sums.begin(), n, 0.0);
      for (size_t i = 0; i < n; ++i) ++counted[first_counting(thresholds, 0, M, sums[i])];
    }
  });
  for (const auto& c : own)
    for (size_t m = 0; m <= M; ++m) counts[m] += c[m];
}

// counts[m], m = 0 ... M, for the ascending thresholds[0 ... M - 1]: the
// number of pairs i < j with j - i > w of the N points whose coordinates are
// `columns` that threshold m is the first to count (m = M: none does).
// counts must hold M + 1 zeros.
inline void count_pairs(const std::vector<const double*>& columns, size_t N, norm p,
                        const double* thresholds, size_t M, uint64_t w, uint64_t* counts,
                        int threads) {
  if (N < 2) return;
  const uint64_t lags = std::min<uint64_t>(w, N - 1);  // within the window
  const uint64_t in_window = lags * N - lags * (lags + 1) / 2;
  const uint64_t all = uint64_t(N) * (N - 1) / 2;
  if (all - in_window < in_window) {
    if (w < N - 1)
      count_by_lag(columns, N, p, w + 1, N - 1, thresholds, M, counts, threads);
    return;
  }
  const kd_tree tree(columns, N, threads);
  if (p == norm::euclidean)
    count_on_tree_in<norm::euclidean>(tree, thresholds, M, counts, threads);
  else
    count_on_tree_in<norm::maximum>(tree, thresholds, M, counts, threads);
  std::vector<uint64_t> window(M + 1, 0);
  count_by_lag(columns, N, p, 1, lags, thresholds, M, window.data(), threads);
  for (size_t m = 0; m <= M; ++m) counts[m] -= window[m];
}

}  // namespace neighbours
