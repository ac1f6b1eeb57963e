// The k-d tree: what every search relies on holds for every node, on every
// kind of point set, and the tree is the same whatever the thread count.
#include "neighbours/kd_tree.h"
#include "neighbours/inputs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/host.h"
#include "neighbours/test_data.h"

namespace {

using neighbours::kd_node;
using neighbours::kd_tree;

// Checks one node and those below it against its points; returns its depth.
int check_node(const kd_tree& tree, uint32_t id, const std::vector<double>& X, size_t N) {
  const kd_node& node = tree.node(id);
  const size_t d = tree.dims();
  EXPECT_LT(node.begin, node.end);
  for (size_t c = 0; c < d; ++c) {
    const double* x = tree.coordinate(c);
    const double low = *std::min_element(x + node.begin, x + node.end);
    const double high = *std::max_element(x + node.begin, x + node.end);
    EXPECT_EQ(tree.box_low(id)[c], low);
    EXPECT_EQ(tree.box_high(id)[c], high);
    for (uint32_t i = node.begin; i < node.end; ++i)
      EXPECT_EQ(x[i], X[tree.rows()[i] + c * N]);
  }
  EXPECT_EQ(node.first_row,
            *std::min_element(tree.rows() + node.begin, tree.rows() + node.end));
  EXPECT_EQ(tree.last_row(id),
            *std::max_element(tree.rows() + node.begin, tree.rows() + node.end));
  if (node.split == neighbours::leaf_node) {
    EXPECT_LE(node.end - node.begin, neighbours::leaf_size);
    return 0;
  }
  const kd_node &left = tree.node(node.left), &right = tree.node(node.right);
  EXPECT_EQ(left.begin, node.begin);
  EXPECT_EQ(left.end, right.begin);
  EXPECT_EQ(right.end, node.end);
  if (node.split == neighbours::row_split) {
    for (size_t c = 0; c < d; ++c) EXPECT_EQ(tree.box_low(id)[c], tree.box_high(id)[c]);
    EXPECT_LT(*std::max_element(tree.rows() + left.begin, tree.rows() + left.end),
              *std::min_element(tree.rows() + right.begin, tree.rows() + right.end));
  } else {
    const double* x = tree.coordinate(size_t(node.split));
    EXPECT_EQ(node.below, *std::max_element(x + left.begin, x + left.end));
    EXPECT_EQ(node.above, *std::min_element(x + right.begin, x + right.end));
    EXPECT_LE(node.below, node.above);
  }
  return 1 + std::max(check_node(tree, node.left, X, N), check_node(tree, node.right, X, N));
}

// The nodes from the root down, left first, as the searches see them.
std::vector<double> shape_of(const kd_tree& tree) {
  std::vector<double> shape(tree.rows(), tree.rows() + tree.size());
  std::function<void(uint32_t)> walk = [&](uint32_t id) {
    const kd_node& node = tree.node(id);
    shape.insert(shape.end(), {double(node.begin), double(node.end), double(node.split),
                               node.below, node.above, double(node.first_row),
                               double(tree.last_row(id))});
    if (node.split != neighbours::leaf_node) walk(node.left), walk(node.right);
  };
  if (tree.node_count() > 0) walk(kd_tree::root);
  return shape;
}

TEST(KdTree, EveryNodeHoldsWhatTheSearchesRelyOn) {
  std::mt19937 rng(5);
  for (int kind = 0; kind < int(test_data::kind::count); ++kind)
    for (size_t N : {1, 2, 25, 300, 5000})
      for (size_t d : {1, 2, 3, 5}) {
        const auto X = test_data::points(test_data::kind(kind), N, d, rng);
        const kd_tree tree(X.data(), N, d, 1);
        SCOPED_TRACE(std::string(test_data::name(test_data::kind(kind))) + " N " +
                     std::to_string(N) + " d " + std::to_string(d));
        const int depth = check_node(tree, kd_tree::root, X, N);
        EXPECT_LE(depth, 48 + 33);
      }
}

// Values 2^-1 ... 2^-N: every split at the middle of the range would peel
// off one point, and recursion that deep would overflow the stack.
TEST(KdTree, LopsidedDataStayShallow) {
  const size_t N = 200000;
  std::vector<double> X(N);
  for (size_t i = 0; i < N; ++i) X[i] = std::ldexp(1.0, -int(i % 1000) - 1) * (1 + double(i) / N);
  const kd_tree tree(X.data(), N, 1, 1);
  EXPECT_LE(check_node(tree, kd_tree::root, X, N), 48 + 33);
}

// Points that spread along the second coordinate only off every eighth
// point, where a large node judges the spread from: they must still be
// split by coordinate, not by row as points all alike would be.
TEST(KdTree, SpreadBetweenTheSampledPointsIsFound) {
  const size_t N = 1024;
  std::vector<double> X(2 * N, 0.0);
  for (size_t i = 0; i < N; ++i) X[N + i] = i % 8 == 0 ? 0 : double(i);
  const kd_tree tree(X.data(), N, 2, 1);
  EXPECT_EQ(tree.node(kd_tree::root).split, 1);
  check_node(tree, kd_tree::root, X, N);
}

// Points equal to the cut fill the smaller side up to half: 400 below the
// middle of the range, 200 on it, 400 above.
TEST(KdTree, PointsOnTheCutBalanceTheSides) {
  std::vector<double> X(1000, 1.0);
  std::fill_n(X.begin(), 400, -1.0);
  std::fill_n(X.begin() + 400, 200, 0.0);
  const kd_tree tree(X.data(), X.size(), 1, 1);
  const kd_node& root = tree.node(kd_tree::root);
  EXPECT_EQ(tree.node(root.left).end - tree.node(root.left).begin, 500u);
  EXPECT_EQ(root.below, 0.0);
  EXPECT_EQ(root.above, 0.0);
}

// The parts built side by side are joined into one whole tree, the same for
// every thread count: also where the parts outgrow the room set aside for
// them (points on many scales make about one node per two points). Every
// node of two of the trees is checked as well.
TEST(KdTree, SameTreeForEveryThreadCount) {
  std::mt19937 rng(6);
  for (auto kind : {test_data::kind::henon, test_data::kind::lattice, test_data::kind::repeated,
                    test_data::kind::scales}) {
    const size_t N = kind == test_data::kind::scales ? 100000 : 300000, d = 2;
    const auto X = test_data::points(kind, N, d, rng);
    const auto one = shape_of(kd_tree(X.data(), N, d, 1));
    for (int threads : {2, 3}) {
      const kd_tree tree(X.data(), N, d, threads);
      EXPECT_TRUE(shape_of(tree) == one) << test_data::name(kind) << ", " << threads << " threads";
      if (threads == 3 && (kind == test_data::kind::henon || kind == test_data::kind::scales)) {
        SCOPED_TRACE(test_data::name(kind));
        check_node(tree, kd_tree::root, X, N);
      }
    }
  }
}

// Work handed to the build runs once, whatever the size and thread count,
// leaves the tree as it is, and its failure reaches the caller.
TEST(KdTree, WorkAlongsideTheBuildRunsOnce) {
  std::mt19937 rng(7);
  for (size_t N : {0, 10, 5000, 100000}) {
    const auto X = test_data::points(test_data::kind::henon, N, 3, rng);
    const auto columns = neighbours::columns_of(X.data(), N, 3);
    const auto alone = shape_of(kd_tree(columns, N, 1));
    for (int threads : {1, 2, 3}) {
      SCOPED_TRACE("N " + std::to_string(N) + ", " + std::to_string(threads) + " threads");
      std::atomic<int> runs{0};
      const kd_tree tree(columns, N, threads, [&] { ++runs; });
      EXPECT_EQ(runs, 1);
      EXPECT_TRUE(shape_of(tree) == alone);
      EXPECT_THROW(kd_tree(columns, N, threads, [] { throw std::runtime_error("alongside"); }),
                   std::runtime_error);
    }
  }
}

// The inputs' check for NaN and Inf against std::isfinite, value by value:
// every class of double, at every place.
TEST(Inputs, AllFiniteAsIsfiniteSays) {
  const double special[] = {0.0, -0.0, 1.0, -2.5, 0x1p-1074, -0x1p-1022, DBL_MAX, -DBL_MAX,
                            INFINITY, -INFINITY, NAN, -NAN, std::nextafter(INFINITY, 0.0)};
  std::mt19937_64 rng(5);
  for (int trial = 0; trial < 2000; ++trial) {
    std::vector<double> x(rng() % 40);
    for (double& v : x) {
      uint64_t bits = rng();
      std::memcpy(&v, &bits, sizeof v);  // any bit pattern, NaN payloads too
      if (rng() % 2) v = special[rng() % (sizeof special / sizeof *special)];
      else if (rng() % 2) v = std::ldexp(double(bits >> 11), -52);
    }
    bool want = true;
    for (double v : x) want = want && std::isfinite(v);
    EXPECT_EQ(neighbours::all_finite(x.data(), x.size()), want) << "trial " << trial;
  }
  // Millions of values are read in pieces on the threads: one NaN or Inf
  // anywhere, in the last piece too, is found on every thread count.
  std::vector<double> x(3 * (size_t(1) << 20) + 5, 1.0);
  for (int threads : {1, 2, 3}) {
    parallel::threads_for_this_call = threads;
    EXPECT_TRUE(neighbours::all_finite(x.data(), x.size()));
    for (size_t at : {size_t(0), size_t(rng() % x.size()), x.size() - 1}) {
      x[at] = at % 2 ? NAN : -INFINITY;
      EXPECT_FALSE(neighbours::all_finite(x.data(), x.size())) << threads << " threads, at " << at;
      x[at] = 1.0;
    }
  }
  parallel::threads_for_this_call = 0;
}

}  // namespace

// The stand-in host links a gateway; this test has none of its own.
void mexFunction(int, mxArray*[], int, const mxArray*[]) {}
