#include "tree/ternary_search_tree.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

namespace {

struct visit_record {
  int depth;
  long count;
  bool operator==(const visit_record& o) const { return depth == o.depth && count == o.count; }
};

struct recording_visitor {
  std::vector<visit_record> visits;
  void visit(int depth, long count) { visits.push_back({depth, count}); }
};

// Exposes the pool and the links, which the tests inspect.
class inspectable_tree : public ternary_search_tree<int, recording_visitor> {
 public:
  using ternary_search_tree::ternary_search_tree;
  const node* root_node() const { return root; }
  long blocks_in_use() const { return block_count; }
  long free_nodes() const { return free_in_block; }
  void pretend_pool_is_full() {
    block_count = max_blocks;  // the slots stay empty; the destructor skips them
    free_in_block = 0;
  }
};

std::vector<visit_record> visits_of(const inspectable_tree& tree) {
  recording_visitor v;
  tree.traverse(v);
  return v.visits;
}

TEST(TernarySearchTree, EmptyTreeVisitsNothing) {
  inspectable_tree tree(3);
  EXPECT_TRUE(visits_of(tree).empty());
  EXPECT_EQ(tree.blocks_in_use(), 0);
}

TEST(TernarySearchTree, SameKeyTwiceMakesOneNodePerDigitCountingTwo) {
  inspectable_tree tree(3);
  int key[3] = {4, 1, 7};
  ASSERT_EQ(tree.insert(key), 0);
  ASSERT_EQ(tree.insert(key), 0);
  EXPECT_EQ(visits_of(tree), (std::vector<visit_record>{{0, 2}, {1, 2}, {2, 2}}));
}

TEST(TernarySearchTree, KeysDifferingAtDigitKHangFromLoOrHiKid) {
  inspectable_tree smaller(3);
  int first[3] = {5, 5, 5};
  int lower[3] = {5, 5, 2};
  smaller.insert(first);
  smaller.insert(lower);
  const auto* depth2 = smaller.root_node()->eq_kid->eq_kid;
  ASSERT_NE(depth2->lo_kid, nullptr);
  EXPECT_EQ(depth2->lo_kid->digit, 2);
  EXPECT_EQ(depth2->hi_kid, nullptr);
  EXPECT_EQ(smaller.root_node()->count, 2);  // the shared prefix counts both
  EXPECT_EQ(smaller.root_node()->eq_kid->count, 2);

  inspectable_tree greater(3);
  int higher[3] = {5, 9, 0};
  greater.insert(first);
  greater.insert(higher);
  const auto* depth1 = greater.root_node()->eq_kid;
  ASSERT_NE(depth1->hi_kid, nullptr);
  EXPECT_EQ(depth1->hi_kid->digit, 9);
  EXPECT_EQ(depth1->hi_kid->depth, 1);
  EXPECT_EQ(depth1->lo_kid, nullptr);
  EXPECT_EQ(visits_of(greater),
            (std::vector<visit_record>{{0, 2}, {1, 1}, {2, 1}, {1, 1}, {2, 1}}));
}

TEST(TernarySearchTree, BlockBoundaryAt512And513Nodes) {
  inspectable_tree tree(1);
  for (int k = 0; k < 512; ++k) tree.insert(&k);
  EXPECT_EQ(tree.blocks_in_use(), 1);
  EXPECT_EQ(tree.free_nodes(), 0);
  EXPECT_EQ(visits_of(tree).size(), 512u);

  int next = 512;
  tree.insert(&next);
  EXPECT_EQ(tree.blocks_in_use(), 2);
  EXPECT_EQ(tree.free_nodes(), 1023);  // the second block holds 1024 nodes
  auto visits = visits_of(tree);
  ASSERT_EQ(visits.size(), 513u);
  for (const auto& v : visits) EXPECT_EQ(v, (visit_record{0, 1}));
}

TEST(TernarySearchTree, PoolLimitReportsMinusOne) {
  inspectable_tree tree(2);
  int key[2] = {1, 2};
  tree.pretend_pool_is_full();
  EXPECT_EQ(tree.insert(key), -1);
}

// Against an independent count of prefixes over many random keys: nodes of
// depth k are the distinct prefixes of length k+1 with their multiplicities,
// visited in the order they first occurred, and all counts sum to M*N.
TEST(TernarySearchTree, CountsMatchPrefixMultiplicitiesInCreationOrder) {
  std::mt19937 rng(12345);
  for (int digits : {1, 3, 6}) {
    for (int range : {2, 5, 40}) {
      inspectable_tree tree(digits);
      std::map<std::vector<int>, long> prefix_count;
      std::vector<std::vector<int>> creation_order;
      const int keys = 3000;
      for (int m = 0; m < keys; ++m) {
        std::vector<int> key(digits);
        for (int& d : key) d = int(rng() % unsigned(range)) - range / 2;
        ASSERT_EQ(tree.insert(key.data()), 0);
        for (int k = 1; k <= digits; ++k) {
          std::vector<int> prefix(key.begin(), key.begin() + k);
          if (prefix_count[prefix]++ == 0) creation_order.push_back(prefix);
        }
      }
      auto visits = visits_of(tree);
      ASSERT_EQ(visits.size(), creation_order.size());
      long total = 0;
      for (size_t i = 0; i < visits.size(); ++i) {
        EXPECT_EQ(visits[i].depth, int(creation_order[i].size()) - 1);
        EXPECT_EQ(visits[i].count, prefix_count[creation_order[i]]);
        total += visits[i].count;
      }
      EXPECT_EQ(total, long(keys) * digits);
    }
  }
}

}  // namespace
