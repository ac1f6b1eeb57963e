// The count within a radius per point, against comparing every pair, on
// every kind of point set and at 1, 2 and 3 threads.
#include "neighbours/range_count.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "neighbours/brute_force.h"
#include "neighbours/test_data.h"

namespace {

using neighbours::kd_tree;
using neighbours::norm;

// The counts by row (the threshold is on the sum: for the Euclidean norm the
// sum of squares).
std::vector<uint64_t> counts_by_row(const std::vector<double>& X, size_t N, size_t d,
                                    double threshold, bool maximum, int threads) {
  const kd_tree tree(X.data(), N, d, threads);
  std::vector<uint32_t> at(N, 12345);
  neighbours::count_within(tree, maximum ? norm::maximum : norm::euclidean, threshold, at.data(),
                           threads);
  std::vector<uint64_t> counts(N);
  for (size_t i = 0; i < N; ++i) counts[tree.rows()[i]] = at[i];
  return counts;
}

TEST(RangeCount, AgreesWithEveryPairComparedOnRandomSets) {
  std::mt19937 rng(29);
  for (int trial = 0; trial < 120; ++trial) {
    const auto kind = test_data::kind(trial % int(test_data::kind::count));
    const size_t N = 1 + rng() % (trial % 10 == 0 ? 3000 : 400);
    const size_t d = 1 + rng() % 5;
    const auto X = test_data::points(kind, N, d, rng);
    const int threads = 1 + trial % 3;
    // Radii among the distances themselves (where <= decides), 0 (copies
    // only) and everything.
    std::vector<double> radii = {0, INFINITY};
    for (int k = 0; k < 3; ++k)
      radii.push_back(brute_force::distance(X.data(), N, d, rng() % N, rng() % N, true));
    for (const double r : radii) {
      const std::string what = std::string(test_data::name(kind)) + " N " + std::to_string(N) +
                               " d " + std::to_string(d) + " r " + std::to_string(r);
      EXPECT_EQ(counts_by_row(X, N, d, r, true, threads),
                brute_force::range_counts(X.data(), N, d, r, true))
          << what << " max";
    }
    // Euclidean: a sum threshold s counts the pairs whose sum is <= s; a
    // pair's own sum as threshold.
    const size_t i = rng() % N, j = rng() % N;
    double s = 0;
    for (size_t c = 0; c < d; ++c) {
      const double t = X[i + c * N] - X[j + c * N];
      s = c == 0 ? t * t : s + t * t;
    }
    const auto got = counts_by_row(X, N, d, s, false, threads);
    for (size_t a = 0; a < N; ++a) {
      uint64_t want = 0;
      for (size_t b = 0; b < N; ++b) {
        double sum = 0;
        for (size_t c = 0; c < d; ++c) {
          const double t = X[a + c * N] - X[b + c * N];
          sum = c == 0 ? t * t : sum + t * t;
        }
        want += sum <= s;
      }
      ASSERT_EQ(got[a], want) << test_data::name(kind) << " euclidean row " << a;
    }
  }
}

TEST(RangeCount, LargeSetsAgreeOnEveryThreadCount) {
  std::mt19937 rng(30);
  const size_t N = 8000, d = 2;
  for (auto kind : {test_data::kind::henon, test_data::kind::lattice}) {
    const auto X = test_data::points(kind, N, d, rng);
    const double r = brute_force::distance(X.data(), N, d, 1, 2, true) / 8;
    const auto one = counts_by_row(X, N, d, r, true, 1);
    EXPECT_EQ(one, brute_force::range_counts(X.data(), N, d, r, true)) << test_data::name(kind);
    for (int threads : {2, 3})
      EXPECT_EQ(counts_by_row(X, N, d, r, true, threads), one) << test_data::name(kind);
  }
}

TEST(RangeCount, ANaNThresholdCountsNothing) {
  std::mt19937 rng(31);
  const auto X = test_data::points(test_data::kind::uniform, 100, 2, rng);
  EXPECT_EQ(counts_by_row(X, 100, 2, NAN, true, 1), std::vector<uint64_t>(100, 0));
}

}  // namespace
