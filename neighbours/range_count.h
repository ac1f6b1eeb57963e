// For every point of a k-d tree, the number of points within a radius of
// it, itself included: the question of approximate entropy (apen).
//
// A point j counts for point i when their sum (pair_count.h: the sum of
// squared differences over the coordinates in order, or the largest
// absolute difference) is at most the threshold; i counts for itself (its
// sum with itself is 0). There is no window.
//
// The counts come from pairs of nodes, as the pair count's: when the bounds
// put every point of node b within the threshold of every point of node a,
// each point of a gains b's size at once; when they put none, nothing is
// counted; otherwise the larger node is split, down to pairs of leaves,
// whose points are compared one by one. The query side is shared out as
// subtrees, each taken whole by one thread, which alone writes its points'
// counts. Counts are whole numbers, the same for every thread count.
//
// This header needs nothing of the host.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/parallel.h"
#include "neighbours/kd_tree.h"
#include "neighbours/pair_count.h"

namespace neighbours {

namespace detail {

template <size_t D, norm P>
void count_within_with(const kd_tree& tree, double threshold, uint32_t* counts, int threads) {
  const size_t d = D ? D : tree.dims();
  const size_t n = tree.size();
  // The query subtrees: the nodes where a walk from the root, in order,
  // first finds at most `small` points.
  const uint32_t small = uint32_t(std::max<size_t>(n / 512, 4 * leaf_size));
  std::vector<uint32_t> queries, walk{kd_tree::root};
  while (!walk.empty()) {
    const uint32_t id = walk.back();
    walk.pop_back();
    const kd_node& node = tree.node(id);
    if (node.split == leaf_node || node.end - node.begin <= small) {
      queries.push_back(id);
      continue;
    }
    walk.push_back(node.right);
    walk.push_back(node.left);
  }
  for (size_t i = 0; i < n; ++i) counts[i] = 0;

  struct task {
    uint32_t a, b;
  };
  threads = parallel::threads_for(double(n) * 64, 1 << 16, long(queries.size()), threads);
  std::vector<parallel::own_line<parallel::own_vector<task>>> stacks(size_t(std::max(threads, 1)));
  parallel::run(long(queries.size()), threads, [&](long q, int worker) {
    parallel::own_vector<task>& stack = stacks[size_t(worker)].value;
    stack.push_back({queries[size_t(q)], kd_tree::root});
    double sums[leaf_size];
    while (!stack.empty()) {
      const task t = stack.back();
      stack.pop_back();
      double least, most;
      node_pair_bounds<P>(tree, d, t.a, t.b, least, most);
      if (!(least <= threshold)) continue;
      const kd_node &a = tree.node(t.a), &b = tree.node(t.b);
      if (most <= threshold) {
        const uint32_t size = b.end - b.begin;
        for (uint32_t i = a.begin; i < a.end; ++i) counts[i] += size;
        continue;
      }
      const bool a_leaf = a.split == leaf_node, b_leaf = b.split == leaf_node;
      if (a_leaf && b_leaf) {
        const uint32_t size = b.end - b.begin;
        for (uint32_t i = a.begin; i < a.end; ++i) {
          sums_of<P>(tree, d, i, b.begin, size, sums);
          uint32_t within = 0;
          for (uint32_t j = 0; j < size; ++j) within += sums[j] <= threshold;
          counts[i] += within;
        }
        continue;
      }
      const bool split_a = b_leaf || (!a_leaf && a.end - a.begin >= b.end - b.begin);
      if (split_a) {
        stack.push_back({a.right, t.b});
        stack.push_back({a.left, t.b});
      } else {
        stack.push_back({t.a, b.right});
        stack.push_back({t.a, b.left});
      }
    }
  });
}

template <norm P>
void count_within_in(const kd_tree& tree, double threshold, uint32_t* counts, int threads) {
  switch (tree.dims()) {
    case 1: return count_within_with<1, P>(tree, threshold, counts, threads);
    case 2: return count_within_with<2, P>(tree, threshold, counts, threads);
    case 3: return count_within_with<3, P>(tree, threshold, counts, threads);
    case 4: return count_within_with<4, P>(tree, threshold, counts, threads);
    default: return count_within_with<0, P>(tree, threshold, counts, threads);
  }
}

}  // namespace detail

// counts[i], for every leaf-order position i of the tree (tree.rows() gives
// its row): the number of the tree's points, itself included, whose sum
// with it is at most `threshold`. A NaN threshold counts none.
inline void count_within(const kd_tree& tree, norm p, double threshold, uint32_t* counts,
                         int threads) {
  if (tree.size() == 0) return;
  if (p == norm::euclidean)
    detail::count_within_in<norm::euclidean>(tree, threshold, counts, threads);
  else
    detail::count_within_in<norm::maximum>(tree, threshold, counts, threads);
}

}  // namespace neighbours
