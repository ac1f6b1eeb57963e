// Counting ternary search tree over fixed-length integer keys.
//
// Every node stands for one key prefix and counts the inserted keys that share
// it. Nodes come from a pool of doubling blocks (512, 1024, 2048, ... nodes,
// at most 128 blocks), so taking a node is a pointer increment and the whole
// tree is released in at most 128 frees. A traversal scans the blocks in
// creation order instead of walking the links: no recursion, no stack, and a
// fixed visiting order, so the sums a visitor forms are reproducible.
#pragma once

#include <climits>
#include <cstddef>
#include <new>

template <typename Digit>
struct tst_node {
  Digit digit;      // the key component this node tests
  int depth;        // position of digit in the key, from 0
  long count;       // keys that have this node's prefix
  tst_node* lo_kid; // same depth, smaller digits
  tst_node* eq_kid; // next depth: the rest of the keys with this prefix
  tst_node* hi_kid; // same depth, greater digits
};

template <typename Digit, typename Visitor = void>
class ternary_search_tree {
 public:
  using node = tst_node<Digit>;
  static constexpr long first_block_size = 512;
  static constexpr long max_blocks = 128;

  explicit ternary_search_tree(long key_length) : key_length(key_length) {}
  ternary_search_tree(const ternary_search_tree&) = delete;
  ternary_search_tree& operator=(const ternary_search_tree&) = delete;

  ~ternary_search_tree() {
    for (long b = 0; b < block_count; ++b) delete[] blocks[b];  // empty slots are null
  }

  // Counts the key (key_length digits). Returns 0, or -1 when a new node was
  // needed while all 128 blocks are in use; the tree is then only fit for
  // destruction.
  int insert(const Digit* key) {
    node** link = &root;
    long i = 0;
    while (node* n = *link) {
      if (key[i] == n->digit) {
        ++n->count;
        if (++i == key_length) return 0;
        link = &n->eq_kid;
      } else if (key[i] < n->digit) {
        link = &n->lo_kid;
      } else {
        link = &n->hi_kid;
      }
    }
    for (; i < key_length; ++i) {
      node* fresh = take_node();
      if (!fresh) return -1;
      *fresh = node{key[i], static_cast<int>(i), 1, nullptr, nullptr, nullptr};
      *link = fresh;
      link = &fresh->eq_kid;
    }
    return 0;
  }

  // Calls visitor.visit(depth, count) for every node, in creation order.
  template <typename V = Visitor>
  void traverse(V& visitor) const {
    for_each_node([&visitor](const node& n) { visitor.visit(n.depth, n.count); });
  }

 protected:
  // A fresh node from the pool, or null when the pool limit is reached. A
  // block whose byte size cannot be represented fails like the allocator.
  node* take_node() {
    if (free_in_block == 0) {
      if (block_count == max_blocks) return nullptr;
      if (block_size > LONG_MAX / long(sizeof(node))) throw std::bad_alloc();
      node* block = new node[static_cast<size_t>(block_size)];
      blocks[block_count++] = block;
      next_free = block;
      free_in_block = block_size;
      block_size = block_size > LONG_MAX / 2 ? LONG_MAX : 2 * block_size;
    }
    --free_in_block;
    return next_free++;
  }

  // Calls f(node) for every node in use, block by block in storage order,
  // which is the order of creation.
  template <typename F>
  void for_each_node(F f) const {
    long capacity = first_block_size;
    for (long b = 0; b < block_count; ++b, capacity *= 2) {
      long used = (b == block_count - 1) ? capacity - free_in_block : capacity;
      const node* block = blocks[b];
      for (long k = 0; k < used; ++k) f(block[k]);
    }
  }

  node* next_free = nullptr;
  long block_size = first_block_size;
  long block_count = 0;
  long free_in_block = 0;
  node* blocks[max_blocks] = {};
  long key_length;
  node* root = nullptr;
};
