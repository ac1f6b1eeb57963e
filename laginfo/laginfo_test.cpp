#include "laginfo/laginfo.cpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

namespace {

using namespace standin;

const double log2_constant = 0.69314718055995;

// ---- the two-digit counting tree ----------------------------------------

using pair_visit = std::tuple<int, int, long>;

struct pair_recorder {
  std::vector<pair_visit> visits;
  void visit(int first, int second, long count) { visits.emplace_back(first, second, count); }
};

struct depth_recorder {
  long nodes[2] = {0, 0};
  long counts[2] = {0, 0};
  void visit(int depth, long count) {
    ++nodes[depth];
    counts[depth] += count;
  }
};

class inspectable_pair_tree : public mt_ternary_tree {
 public:
  inspectable_pair_tree() : mt_ternary_tree(2) {}
  long blocks_in_use() const { return block_count; }
  void pretend_pool_is_full() {
    block_count = max_blocks;  // the slots stay empty; the destructor skips them
    free_in_block = 0;
  }
};

std::vector<pair_visit> pairs_of(const mt_ternary_tree& tree) {
  pair_recorder r;
  tree.traverse2(r);
  return r.visits;
}

TEST(PairTree, EmptyTreeVisitsNothing) {
  inspectable_pair_tree tree;
  EXPECT_TRUE(pairs_of(tree).empty());
  EXPECT_EQ(tree.blocks_in_use(), 0);
}

TEST(PairTree, RepeatedPairCountsOnOneLeafWithBothDigits) {
  mt_ternary_tree tree(2);
  const int a[2] = {3, 5}, b[2] = {4, 5};
  EXPECT_EQ(tree.insert2(a), 0);
  EXPECT_EQ(tree.insert2(a), 0);
  EXPECT_EQ(tree.insert2(b), 0);
  EXPECT_EQ(pairs_of(tree), (std::vector<pair_visit>{{3, 5, 2}, {4, 5, 1}}));
  // Two first digits and two pairs: four nodes, counts summing to 2 x 3.
  depth_recorder d;
  tree.traverse(d);
  EXPECT_EQ(d.nodes[0], 2);
  EXPECT_EQ(d.nodes[1], 2);
  EXPECT_EQ(d.counts[0] + d.counts[1], 6);
}

TEST(PairTree, ExtremeDigitsAndSiblingLeavesKeepTheirFirstDigit) {
  mt_ternary_tree tree(2);
  // Leaves that hang from lo_kid/hi_kid of other leaves, under first digits
  // at both ends of the integer range.
  const int keys[][2] = {{INT_MAX, 0}, {INT_MIN, 7},  {INT_MAX, -1}, {INT_MIN, INT_MAX},
                         {0, INT_MIN}, {INT_MAX, 5}, {INT_MIN, 7}};
  for (const auto& k : keys) ASSERT_EQ(tree.insert2(k), 0);
  EXPECT_EQ(pairs_of(tree),
            (std::vector<pair_visit>{{INT_MAX, 0, 1},
                                     {INT_MIN, 7, 2},
                                     {INT_MAX, -1, 1},
                                     {INT_MIN, INT_MAX, 1},
                                     {0, INT_MIN, 1},
                                     {INT_MAX, 5, 1}}));
}

TEST(PairTree, PoolLimitReportsMinusOne) {
  inspectable_pair_tree tree;
  const int key[2] = {1, 2};
  tree.pretend_pool_is_full();
  EXPECT_EQ(tree.insert2(key), -1);
}

// Against an independent count over many random pairs: one visit per distinct
// pair, in order of first occurrence, with its multiplicity; one node per
// distinct first digit and per distinct pair. The larger sets run over
// several pool blocks.
TEST(PairTree, VisitsMatchPairMultiplicitiesInCreationOrder) {
  std::mt19937 rng(2024);
  for (int range : {1, 3, 40, 3000}) {
    inspectable_pair_tree tree;
    std::map<std::pair<int, int>, long> count;
    std::map<int, long> firsts;
    std::vector<std::pair<int, int>> order;
    const int keys = 5000;
    for (int m = 0; m < keys; ++m) {
      const int key[2] = {int(rng() % unsigned(range)) - range / 2, int(rng() % unsigned(range))};
      ASSERT_EQ(tree.insert2(key), 0);
      ++firsts[key[0]];
      if (count[{key[0], key[1]}]++ == 0) order.emplace_back(key[0], key[1]);
    }
    auto visits = pairs_of(tree);
    ASSERT_EQ(visits.size(), order.size());
    for (size_t i = 0; i < visits.size(); ++i)
      EXPECT_EQ(visits[i], pair_visit(order[i].first, order[i].second, count[order[i]]));
    depth_recorder d;
    tree.traverse(d);
    EXPECT_EQ(d.nodes[0], long(firsts.size()));
    EXPECT_EQ(d.nodes[1], long(order.size()));
    EXPECT_EQ(d.counts[0], keys);
    EXPECT_EQ(d.counts[1], keys);
    if (range == 3000) {
      EXPECT_GT(tree.blocks_in_use(), 1);
    }
  }
}

// ---- the numeric core ----------------------------------------------------

// Straightforward mutual information: bins, histogram and pair counts in a
// map, summed over the pairs in order of first occurrence.
std::vector<double> reference(const std::vector<double>& x, long T, int b) {
  const long L = long(x.size());
  std::vector<int> bin(L);
  std::vector<double> h(b, 0.0);
  for (long t = 0; t < L; ++t) {
    bin[t] = int(std::floor(double(b) * x[t]));
    h[bin[t]] += 1;
  }
  for (double& v : h) v /= double(L);
  const long n = L - T;
  std::vector<double> mi(T + 1);
  for (long tau = 0; tau <= T; ++tau) {
    std::map<std::pair<int, int>, long> count;
    std::vector<std::pair<int, int>> order;
    for (long t = 0; t < n; ++t)
      if (count[{bin[t], bin[t + tau]}]++ == 0) order.emplace_back(bin[t], bin[t + tau]);
    double sum = 0;
    for (const auto& xy : order) {
      double mu = double(count[xy]) / double(n);
      sum = (std::log(mu / (h[xy.second] * h[xy.first])) / log2_constant) * mu + sum;
    }
    mi[tau] = sum;
  }
  return mi;
}

void expect_bits_equal(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0)
        << "entry " << i << ": " << got[i] << " vs " << want[i];
}

std::vector<double> core(const std::vector<double>& x, long T, int b) {
  std::vector<double> result(T + 1);
  EXPECT_EQ(laginfo_mutual_information(x.data(), long(x.size()), T, b, result.data()),
            laginfo_outcome::success);
  return result;
}

TEST(LaginfoCore, SmallSeriesGiveTheKnownBits) {
  const double c = log2_constant;
  // Two values in two bins: the entropy of the binned series, one bit formed
  // with the rounded constant.
  EXPECT_EQ(core({0.1, 0.6}, 0, 2)[0], std::log(2.0) / c);
  EXPECT_NE(std::log(2.0) / c, 1.0);

  // n = 3 pairs per lag, marginals 1/2 from all four values.
  const double want = (std::log((2.0 / 3) / 0.25) / c) * (2.0 / 3) +
                      (std::log((1.0 / 3) / 0.25) / c) * (1.0 / 3);
  auto both = core({0.1, 0.6, 0.1, 0.6}, 1, 2);
  EXPECT_EQ(both[0], want);
  EXPECT_EQ(both[1], want);
}

TEST(LaginfoCore, ChaoticAndRandomSeriesAgreeBitForBitWithIndependentCount) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> random(3000);
  for (double& v : random) v = uniform(rng);
  std::vector<double> logistic(3000);
  double y = 0.3;
  for (double& v : logistic) v = y = 3.99 * y * (1 - y) * 0.999999;  // stays below 1
  std::vector<double> repeated(3000);
  for (size_t i = 0; i < repeated.size(); ++i) repeated[i] = random[i % 7];

  for (const auto* series : {&random, &logistic, &repeated})
    for (long T : {0L, 12L, 2999L})
      for (int b : {2, 3, 17, 256, 16384}) expect_bits_equal(core(*series, T, b), reference(*series, T, b));
}

TEST(LaginfoCore, ValuesOutsideTheUnitIntervalAreRefused) {
  std::vector<double> result(2);
  for (double bad : {1.0, -1e-300, -0.5, double(NAN), double(INFINITY), -double(INFINITY)}) {
    std::vector<double> x = {0.5, 0.25, bad, 0.75};
    EXPECT_EQ(laginfo_mutual_information(x.data(), 4, 1, 8, result.data()),
              laginfo_outcome::value_outside_range)
        << bad;
  }
  // Just below 1 lands in the last bin; rounding of b * x decides, not x.
  std::vector<double> edge = {0.0, std::nextafter(1.0, 0.0)};
  EXPECT_EQ(laginfo_mutual_information(edge.data(), 2, 0, 16384, result.data()),
            laginfo_outcome::success);
}

// ---- through the stand-in host -------------------------------------------

const char* const progress_2 = "Number of partitions per axis   : 2\n";

TEST(LaginfoGateway, OneResolutionPrintsItsLineAndGivesOneColumn) {
  for (int nlhs : {0, 1}) {
    auto r = call(nlhs, {row({0.1, 0.6}), scalar(0), scalar(2)});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.printed, progress_2);
    EXPECT_EQ(r.out(0).rows(), 1u);
    EXPECT_EQ(r.out(0).columns(), 1u);
    EXPECT_EQ(r.out(0).values()[0], std::log(2.0) / log2_constant);
  }
}

TEST(LaginfoGateway, ColumnsAndLinesFollowThePartitionSizes) {
  std::vector<double> x(200);
  std::mt19937 rng(5);
  for (double& v : x) v = double(rng() % 1000) / 1000;
  auto r = call(1, {column(x), scalar(2.7), row({16, 2.9})});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.printed,
            "Number of partitions per axis   : 16\nNumber of partitions per axis   : 2\n");
  ASSERT_EQ(r.out(0).rows(), 3u);  // lag 2.7 is 2
  ASSERT_EQ(r.out(0).columns(), 2u);
  auto want = reference(x, 2, 16);
  auto two = reference(x, 2, 2);
  want.insert(want.end(), two.begin(), two.end());
  expect_bits_equal(r.out(0).values(), want);

  // The series as a row, the sizes as a column, extra inputs: same result.
  auto again = call(1, {row(x), scalar(2), column({16, 2}), scalar(1)});
  EXPECT_EQ(again.out(0).values(), r.out(0).values());
  // A matrix series gives its first max(M, N) elements.
  auto m = call(1, {matrix(2, 3, {0.1, 0.2, 0.3, 0.4, 0.5, 0.6}), scalar(1), scalar(4)});
  EXPECT_EQ(m.out(0).values(), call(1, {row({0.1, 0.2, 0.3}), scalar(1), scalar(4)}).out(0).values());
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(LaginfoGateway, MessagesInTheirOrder) {
  const std::string usage =
      "laginfo : Scalar time series, maximal timelag and number of partitions per axis must be "
      "given";
  const std::string too_short = "Length of time series much to short for given timelag";
  const std::string negative = "Maximal timelag may not be negative";
  const std::string no_size = "At least one partition size must be given";
  const std::string too_few = "Number of bins should be at least greater one";
  const std::string too_many = "Number of bins too large";
  auto x = row({0.1, 0.6, 0.3});

  EXPECT_EQ(error_of({}), usage);
  EXPECT_EQ(error_of({x, scalar(1)}), usage);
  // The length test comes first, so a negative lag reaches its own message.
  EXPECT_EQ(error_of({x, scalar(3), scalar(1)}), too_short);
  EXPECT_EQ(error_of({x, scalar(50), empty()}), too_short);
  EXPECT_EQ(error_of({x, scalar(-1), empty()}), negative);
  EXPECT_FALSE(call(1, {x, scalar(-0.5), scalar(2)}).failed);  // -0.5 is lag 0
  EXPECT_EQ(error_of({x, scalar(0), empty()}), no_size);
  EXPECT_EQ(error_of({x, scalar(0), empty(0, 5)}), no_size);
  for (double bad : {1.0, 1.5, 0.0, -3.0, double(NAN), -double(INFINITY)})
    EXPECT_EQ(error_of({x, scalar(0), scalar(bad)}), too_few) << bad;
  for (double bad : {16385.0, 3e9, double(INFINITY)})
    EXPECT_EQ(error_of({x, scalar(0), scalar(bad)}), too_many) << bad;
  EXPECT_FALSE(call(1, {x, scalar(0), scalar(16384)}).failed);
  EXPECT_EQ(error_of({x, scalar(0), row({4, 20000, 1})}), too_many);
  EXPECT_EQ(error_of({x, scalar(0), row({4, 1, 20000})}), too_few);
  // Lags that no integer holds: NaN and -Inf are negative, the rest too long.
  EXPECT_EQ(error_of({x, scalar(NAN), scalar(2)}), negative);
  EXPECT_EQ(error_of({x, scalar(-INFINITY), scalar(2)}), negative);
  EXPECT_EQ(error_of({x, scalar(INFINITY), scalar(2)}), too_short);
  EXPECT_EQ(error_of({x, scalar(1e300), scalar(2)}), too_short);
  // Nothing to read: an empty lag, a series without elements.
  EXPECT_EQ(error_of({x, empty(), scalar(2)}), "Input 2 must not be empty");
  EXPECT_EQ(error_of({empty(0, 5), scalar(0), scalar(2)}), too_short);
  EXPECT_EQ(error_of({empty(0, 5), scalar(-2), scalar(2)}), negative);
}

TEST(LaginfoGateway, BadValueEndsTheCallAfterItsProgressLine) {
  auto r = call(1, {row({0.1, 1.0}), scalar(0), row({2, 3})});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.error, "Data values must be rang values in the range [0 1)");
  EXPECT_EQ(r.printed, progress_2);
  r = call(1, {row({0.1, NAN}), scalar(0), scalar(2)});
  EXPECT_EQ(r.error, "Data values must be rang values in the range [0 1)");
}

TEST(LaginfoGateway, NonDoubleInputsAreRefusedBeforeReading) {
  auto x = row({0.1, 0.6});
  EXPECT_EQ(error_of({typed(mxSINGLE_CLASS, {1, 2}, {0.1f, 0.6f}), scalar(0), scalar(2)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({x, typed(mxINT32_CLASS, {1, 1}, {0}), scalar(2)}),
            "Input 2 must be a real double array");
  EXPECT_EQ(error_of({x, scalar(0), char_array("ab")}), "Input 3 must be a real double array");
  EXPECT_EQ(error_of({sparse_matrix(1, 2, {0.5}), scalar(0), scalar(2)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({x, scalar(0), complex_matrix(1, 1, {2}, {1})}),
            "Input 3 must be a real double array");
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {1, 2})}).substr(0, 9), "laginfo :");
}

TEST(LaginfoGateway, AllocationFailureEndsTheCallCleanly) {
  fail_allocation_after(0);
  auto r = call(1, {row({0.1, 0.6}), scalar(0), scalar(2)});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.printed, "");
  EXPECT_EQ(r.released_on_exit, 0u);
}

}  // namespace
