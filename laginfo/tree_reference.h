// The mutual information as earlier releases counted it, with one two-digit
// counting tree per lag: the reference the tests compare the module with bit
// for bit, and the benchmarks compare it with for speed and memory.
#pragma once

#include <cmath>
#include <vector>

#include "tree/ternary_search_tree.h"

namespace tree_reference {

// Counting tree over keys of exactly two digits. A leaf (depth 1) never
// descends further, so its eq_kid links back to the node of depth 0 it hangs
// under, whose digit is the key's first digit; the traversal scans the pool in
// creation order and still knows both digits.
class pair_tree : public ternary_search_tree<int> {
 public:
  pair_tree() : ternary_search_tree<int>(2) {}

  void insert2(const int* key) {
    node** link = &root;
    node* first = nullptr;
    int i = 0;
    while (node* n = *link) {
      if (key[i] == n->digit) {
        ++n->count;
        if (i == 1) return;
        first = n;
        i = 1;
        link = &n->eq_kid;
      } else {
        link = key[i] < n->digit ? &n->lo_kid : &n->hi_kid;
      }
    }
    for (; i < 2; ++i) {
      node* fresh = take_node();  // at most 2n nodes: the pool limit is never reached
      *fresh = node{key[i], i, 1, nullptr, i == 1 ? first : nullptr, nullptr};
      *link = fresh;
      if (i == 0) first = fresh;
      link = &fresh->eq_kid;
    }
  }

  // visit(first digit, second digit, count) for every distinct pair, in the
  // order the pairs first occurred.
  template <typename Visit>
  void traverse2(Visit visit) const {
    for_each_node([&visit](const node& n) {
      if (n.depth != 0) visit(n.eq_kid->digit, n.digit, n.count);
    });
  }
};

// One resolution: result[0 ... T] for b bins; false for a value outside [0, 1).
inline bool mutual_information(const double* series, long L, long T, int b, double* result) {
  std::vector<int> bin(static_cast<size_t>(L));
  std::vector<double> h(static_cast<size_t>(b), 0.0);
  for (long t = 0; t < L; ++t) {
    const double u = std::floor(double(b) * series[t]);
    if (!(u >= 0 && u < b)) return false;
    bin[t] = int(u);
    h[bin[t]] += 1;
  }
  for (double& v : h) v /= double(L);
  const long n = L - T;
  for (long tau = 0; tau <= T; ++tau) {
    pair_tree tree;
    for (long t = 0; t < n; ++t) {
      const int key[2] = {bin[t], bin[t + tau]};
      tree.insert2(key);
    }
    double mi = 0;
    tree.traverse2([&](int x, int y, long count) {
      const double mu = double(count) / double(n);
      mi = (std::log(mu / (h[y] * h[x])) / 0.69314718055995) * mu + mi;
    });
    result[tau] = mi;
  }
  return true;
}

}  // namespace tree_reference
