#include "corrsum/corrsum.cpp"

#include <gtest/gtest.h>

#include <random>

#include "neighbours/brute_force.h"
#include "neighbours/test_data.h"

namespace {

using namespace standin;

std::vector<double> counts_of(const std::vector<double>& X, size_t N, size_t d,
                              const std::vector<double>& radii, uint64_t w, bool maximum,
                              int threads) {
  std::vector<double> n(radii.size(), -1);
  pair_counts(X.data(), N, d, radii.data(), radii.size(), w,
              maximum ? norm::maximum : norm::euclidean, n.data(), threads);
  return n;
}

void expect_brute_force(const std::vector<double>& X, size_t N, size_t d,
                        const std::vector<double>& radii, uint64_t w, bool maximum, int threads,
                        const std::string& what) {
  const auto got = counts_of(X, N, d, radii, w, maximum, threads);
  const auto want = brute_force::pair_counts(X.data(), N, d, radii, w, maximum);
  for (size_t m = 0; m < radii.size(); ++m)
    EXPECT_EQ(got[m], double(want[m])) << what << ": radius " << radii[m];
}

// Radii among the distances themselves (where the strict test decides), just
// above and below them, and a spread besides.
std::vector<double> radii_for(const std::vector<double>& X, size_t N, size_t d, bool maximum,
                              std::mt19937& rng) {
  std::vector<double> radii = {0, -1, INFINITY};
  for (int m = 0; m < 6; ++m) {
    const size_t i = rng() % N, j = rng() % N;
    const double r = brute_force::distance(X.data(), N, d, i, j, maximum);
    radii.push_back(r);
    radii.push_back(std::nextafter(r, INFINITY));
    radii.push_back(2 * r);
  }
  return radii;
}

TEST(CorrsumCore, AgreesWithEveryPairComparedOnRandomSets) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 100; ++trial) {
    const auto kind = test_data::kind(trial % int(test_data::kind::count));
    const size_t N = 2 + rng() % (trial % 10 == 0 ? 2500 : 300);
    const size_t d = 1 + rng() % 4;
    // Windows from none to most of the series, so that the pairs outside it
    // are counted on the tree and also one by one.
    const uint64_t w = trial % 4 == 0 ? 0 : rng() % (N - 1);
    const bool maximum = rng() % 2;
    const auto X = test_data::points(kind, N, d, rng);
    const std::string what = std::string(test_data::name(kind)) + " N " + std::to_string(N) +
                             " d " + std::to_string(d) + " w " + std::to_string(w) +
                             (maximum ? " max" : " euclidean");
    expect_brute_force(X, N, d, radii_for(X, N, d, maximum, rng), w, maximum, 1 + trial % 3, what);
  }
}

TEST(CorrsumCore, LargeSetsAgreeOnEveryThreadCount) {
  std::mt19937 rng(22);
  const size_t N = 5000, d = 2;
  for (auto kind : {test_data::kind::henon, test_data::kind::lattice}) {
    const auto X = test_data::points(kind, N, d, rng);
    const auto radii = radii_for(X, N, d, false, rng);
    for (int threads : {1, 2, 3})
      expect_brute_force(X, N, d, radii, 3, false, threads,
                         std::string(test_data::name(kind)) + " " + std::to_string(threads));
  }
}

// On an integer lattice the diagonal neighbours are sqrt(2) apart, and the
// rounded root of 2 is the radius itself: not below it. Their sum of squares
// 2 is below the square of that radius, which rounds above 2.
TEST(CorrsumCore, TheDistanceIsComparedWithTheRadius) {
  const std::vector<double> X = {0, 1, 0, 1, 0, 0, 1, 1};  // (0,0) (1,0) (0,1) (1,1)
  const double r = std::sqrt(2.0);
  ASSERT_LT(2.0, r * r);
  const auto n = counts_of(X, 4, 2, {r, std::nextafter(r, INFINITY), 1, std::nextafter(1.0, 2.0)},
                           0, false, 1);
  EXPECT_EQ(n[0], 4.0);  // the four sides
  EXPECT_EQ(n[1], 6.0);  // and the two diagonals
  EXPECT_EQ(n[2], 0.0);
  EXPECT_EQ(n[3], 4.0);
  // And the largest sum that counts is found exactly around any radius.
  std::mt19937 rng(23);
  for (int trial = 0; trial < 2000; ++trial) {
    const double radius = std::ldexp(1 + double(rng()) / 4294967296.0, int(rng() % 100) - 50);
    const double s = largest_counted_sum(radius, norm::euclidean);
    ASSERT_LT(std::sqrt(s), radius);
    ASSERT_GE(std::sqrt(std::nextafter(s, INFINITY)), radius);
  }
}

// Differences too large for a double: such pairs are infinitely far, counted
// by an infinite radius only.
TEST(CorrsumCore, OverflowingDistancesCountOnlyForAnInfiniteRadius) {
  const std::vector<double> X = {-1e308, 1e308, 1e308};
  const auto n = counts_of(X, 3, 1, {1e300, DBL_MAX, INFINITY, 1}, 0, false, 1);
  EXPECT_EQ(n[0], 1.0);
  EXPECT_EQ(n[1], 1.0);
  EXPECT_EQ(n[2], 3.0);
  EXPECT_EQ(n[3], 1.0);
}

// ---- through the stand-in host ------------------------------------------------

TEST(CorrsumGateway, FractionsOfThePairsOutsideTheWindow) {
  std::mt19937 rng(24);
  const size_t N = 40, d = 2;
  const auto X = test_data::points(test_data::kind::uniform, N, d, rng);
  const std::vector<double> radii = {0.1, 0.5, INFINITY};
  const call_result result = call(2, {matrix(N, d, X), row(radii), scalar(5), scalar(INFINITY)});
  ASSERT_FALSE(result.failed) << result.error;
  ASSERT_EQ(result.out(0).rows(), 3u);
  ASSERT_EQ(result.out(0).columns(), 1u);
  const auto C = result.out(0).values(), n = result.out(1).values();
  const auto want = brute_force::pair_counts(X.data(), N, d, radii, 5, true);
  const double pairs = (N - 5) * (N - 6) / 2;
  for (size_t m = 0; m < 3; ++m) {
    EXPECT_EQ(n[m], double(want[m]));
    EXPECT_EQ(C[m], double(want[m]) / pairs);
  }
  EXPECT_EQ(n[2], pairs);
  // No radii: empty results.
  const call_result none = call(2, {matrix(N, d, X), empty(0, 0)});
  ASSERT_FALSE(none.failed) << none.error;
  EXPECT_EQ(none.out(0).rows(), 0u);
  EXPECT_EQ(none.out(1).rows(), 0u);
}

TEST(CorrsumGateway, MessagesInTheirOrder) {
  const mxArray X = matrix(5, 1, {1, 2, 3, 4, 5});
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{X}, "X and r must be given"},
      {{X, scalar(1), scalar(0), scalar(2), scalar(0)}, "At most four inputs: X, r, w and p"},
      {{X, typed(mxINT32_CLASS, {1, 1}, {1})}, "Input 2 must be a real double array"},
      {{matrix(2, 1, {1, INFINITY}), scalar(1)}, "X must not hold NaN or Inf"},
      {{X, row({1, NAN})}, "r must not hold NaN"},
      {{X, scalar(1), scalar(0.5)}, "w must be a whole number, at least 0"},
      {{X, scalar(1), empty()}, "Input 3 must not be empty"},
      {{X, scalar(1), scalar(0), scalar(1)}, "p must be 2 or Inf"},
      {{X, scalar(1), scalar(4)}, "No pairs: X needs more than w + 1 rows"},
      {{matrix(1, 3, {1, 2, 3}), scalar(1)}, "No pairs: X needs more than w + 1 rows"},
      {{empty(0, 2), scalar(1)}, "No pairs: X needs more than w + 1 rows"},
  };
  for (const auto& [inputs, message] : cases) {
    const call_result result = call(2, inputs);
    EXPECT_TRUE(result.failed) << message;
    EXPECT_EQ(result.error, message);
  }
}

}  // namespace
