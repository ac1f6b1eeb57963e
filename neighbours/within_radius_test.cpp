// The rows within a radius: the search lists, for every row, exactly the
// rows that comparing every pair lists, on every kind of point set, for
// radii that fall on distances (ties) and between them, both norms and
// windows from none to all.
#include "neighbours/within_radius.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <random>
#include <vector>

#include "host/host.h"
#include "neighbours/brute_force.h"
#include "neighbours/test_data.h"

namespace {

using neighbours::norm;
using neighbours::row_t;

// The distances of every pair, row by row, under both norms.
struct all_distances {
  std::vector<double> of[2];  // [maximum][i * N + j]
  all_distances(const std::vector<double>& X, size_t N, size_t d) {
    for (bool maximum : {false, true}) {
      of[maximum].resize(N * N);
      for (size_t i = 0; i < N; ++i)
        for (size_t j = 0; j < N; ++j)
          of[maximum][i * N + j] = brute_force::distance(X.data(), N, d, i, j, maximum);
    }
  }
};

template <size_t D, norm P>
void expect_as_brute_force(const std::vector<double>& X, size_t N, size_t d,
                           const all_distances& between, double r, uint64_t w) {
  const neighbours::kd_tree tree(X.data(), N, d, 1);
  neighbours::within_radius_search<D, P> search(tree, r, w);
  const std::vector<double>& distance = between.of[P == norm::maximum];
  std::vector<row_t> found;
  std::vector<double> q(d);
  for (size_t i = 0; i < N; ++i) {
    for (size_t c = 0; c < d; ++c) q[c] = X[i + c * N];
    found.clear();
    search.rows_of(q.data(), row_t(i), found);
    std::sort(found.begin(), found.end());
    std::vector<row_t> want;
    for (size_t j = 0; j < N; ++j)
      if ((j > i ? j - i : i - j) > w && distance[i * N + j] <= r) want.push_back(row_t(j));
    ASSERT_EQ(found, want) << "row " << i << ", r " << r << ", w " << w;
  }
}

template <norm P>
void expect_as_brute_force_in(const std::vector<double>& X, size_t N, size_t d,
                              const all_distances& between, double r, uint64_t w) {
  switch (d) {
    case 1: return expect_as_brute_force<1, P>(X, N, d, between, r, w);
    case 2: return expect_as_brute_force<2, P>(X, N, d, between, r, w);
    default: return expect_as_brute_force<0, P>(X, N, d, between, r, w);
  }
}

TEST(WithinRadius, ListsWhatEveryPairGives) {
  std::mt19937 rng(31);
  for (int kind = 0; kind < int(test_data::kind::count); ++kind)
    for (size_t N : {1, 2, 40, 200})
      for (size_t d : {1, 2, 4}) {
        SCOPED_TRACE(std::string(test_data::name(test_data::kind(kind))) + " N " +
                     std::to_string(N) + " d " + std::to_string(d));
        const auto X = test_data::points(test_data::kind(kind), N, d, rng);
        const all_distances between(X, N, d);
        // Radii at distances that occur (ties), just off them, 0 and Inf.
        std::vector<double> radii = {0, INFINITY, DBL_MAX};
        for (int m = 0; m < 1 && N > 1; ++m) {
          const size_t i = rng() % N, j = rng() % N;
          for (bool maximum : {false, true}) {
            const double at = between.of[maximum][i * N + j];
            radii.insert(radii.end(), {at, std::nextafter(at, 0.0), std::nextafter(at, INFINITY)});
          }
        }
        for (const double r : radii)
          for (const uint64_t w : {uint64_t(0), uint64_t(7), UINT64_MAX}) {
            expect_as_brute_force_in<norm::euclidean>(X, N, d, between, r, w);
            expect_as_brute_force_in<norm::maximum>(X, N, d, between, r, w);
          }
      }
}

// Euclidean radii whose square is not the largest sum within them: the
// lattice's sqrt(2) and its neighbours in both directions.
TEST(WithinRadius, LargestSumIsTheLastWhoseRootFits) {
  for (double r : {std::sqrt(2.0), 1e-160, 3e-310, 0.1, 1e200, DBL_MAX}) {
    const double s = neighbours::largest_sum_within(r, norm::euclidean);
    EXPECT_LE(std::sqrt(s), r) << r;
    EXPECT_GT(std::sqrt(std::nextafter(s, INFINITY)), r) << r;
  }
  EXPECT_EQ(neighbours::largest_sum_within(0, norm::euclidean), 0);
  EXPECT_EQ(neighbours::largest_sum_within(-1, norm::maximum), -1);
  EXPECT_EQ(neighbours::largest_sum_within(0.5, norm::maximum), 0.5);
}

}  // namespace

// The stand-in host links a gateway; this test has none of its own.
void mexFunction(int, mxArray*[], int, const mxArray*[]) {}
