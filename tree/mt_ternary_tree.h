// Counting tree over keys of exactly two digits, for pair statistics: every
// distinct pair (first, second) becomes one leaf that counts its occurrences,
// and a traversal hands each leaf to a visitor together with both digits.
//
// The leaves are the nodes of depth 1. A leaf never descends further, so its
// eq_kid is free; it is set to the node of depth 0 that the key passed
// through, whose digit is the key's first digit. That keeps a leaf
// self-describing (the traversal scans the pool, not the links, and still
// knows both digits) without storing an integer in a pointer's place. The
// back link is never followed by an insert: a search stops at depth 1 on an
// equal digit and otherwise goes through lo_kid or hi_kid.
#pragma once

#include "tree/ternary_search_tree.h"

class mt_ternary_tree : public ternary_search_tree<int> {
 public:
  // The key length is kept for the shared layout; insert2 and traverse2
  // always work on two digits.
  explicit mt_ternary_tree(long key_length) : ternary_search_tree<int>(key_length) {}

  // Counts the pair key[0], key[1]. Returns 0, or -1 when a new node was
  // needed while all 128 blocks are in use.
  int insert2(const int* key) {
    node** link = &root;
    node* first = nullptr;  // the depth-0 node of this key, once found or made
    int i = 0;
    while (node* n = *link) {
      if (key[i] == n->digit) {
        ++n->count;
        if (i == 1) return 0;
        first = n;
        i = 1;
        link = &n->eq_kid;
      } else if (key[i] < n->digit) {
        link = &n->lo_kid;
      } else {
        link = &n->hi_kid;
      }
    }
    for (; i < 2; ++i) {
      node* fresh = take_node();
      if (!fresh) return -1;
      *fresh = node{key[i], i, 1, nullptr, i == 1 ? first : nullptr, nullptr};
      *link = fresh;
      if (i == 0) first = fresh;
      link = &fresh->eq_kid;
    }
    return 0;
  }

  // Calls visitor.visit(first digit, second digit, count) once for every
  // distinct pair, in the order the pairs first occurred.
  template <typename V>
  void traverse2(V& visitor) const {
    for_each_node([&visitor](const node& n) {
      if (n.depth != 0) visitor.visit(n.eq_kid->digit, n.digit, n.count);
    });
  }
};
