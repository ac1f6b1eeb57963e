#include "neardist/neardist.cpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "host/gateway_checks.h"
#include "host/sanitizer_builds.h"
#include "neighbours/brute_force.h"
#include "neighbours/test_data.h"

namespace {

using namespace standin;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct found {
  std::vector<double> D, I;
};

// The core's D and I for the references (all rows when refs is empty).
found core(const std::vector<double>& X, size_t N, size_t d, size_t k, uint64_t w, bool maximum,
           const std::vector<row_t>& refs, int threads) {
  const size_t nR = refs.empty() ? N : refs.size();
  found f{std::vector<double>(nR * k, -1), std::vector<double>(nR * k, -1)};
  nearest_neighbours(X.data(), N, d, k, w, maximum ? norm::maximum : norm::euclidean,
                     refs.empty() ? nullptr : refs.data(), nR, f.D.data(), f.I.data(), 1, threads);
  return f;
}

// The core's D and I, checked against a comparison with every candidate.
// Under ThreadSanitizer only the core runs: the comparison is serial.
void expect_brute_force(const std::vector<double>& X, size_t N, size_t d, size_t k, uint64_t w,
                        bool maximum, const std::vector<row_t>& refs, int threads,
                        const std::string& what) {
  const found f = core(X, N, d, k, w, maximum, refs, threads);
  if (sanitizer_builds::under_thread_sanitizer) return;
  const size_t nR = refs.empty() ? N : refs.size();
  const std::vector<double>& D = f.D;
  const std::vector<double>& I = f.I;
  for (size_t r = 0; r < nR; ++r) {
    const size_t i = refs.empty() ? r : refs[r];
    const auto want = brute_force::k_nearest(X.data(), N, d, i, k, w, maximum);
    ASSERT_EQ(want.size(), k);
    for (size_t m = 0; m < k; ++m) {
      ASSERT_TRUE(same_bits(D[r + m * nR], want[m].first) && I[r + m * nR] == want[m].second + 1)
          << what << ": reference " << r << " (row " << i << "), neighbour " << m << ": got "
          << D[r + m * nR] << " at row " << I[r + m * nR] << ", want " << want[m].first
          << " at row " << want[m].second + 1;
    }
  }
}

TEST(NeardistCore, AgreesWithEveryCandidateComparedOnRandomSets) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 120; ++trial) {
    const auto kind = test_data::kind(trial % int(test_data::kind::count));
    const size_t N = 2 + rng() % (trial % 10 == 0 ? 3000 : 400);
    const size_t d = 1 + rng() % 5;
    const uint64_t w = rng() % 3 == 0 ? 0 : rng() % (N / 4 + 1);
    const uint64_t fewest = neighbours::candidates_of(N / 2, N, w);
    if (fewest == 0) continue;
    const size_t k = 1 + rng() % std::min<uint64_t>(fewest, trial % 7 == 0 ? 80 : 20);
    const bool maximum = rng() % 2;
    std::vector<row_t> refs;
    if (trial % 3 == 1)  // some rows, in any order, some again
      for (size_t r = 0; r < 1 + rng() % (2 * N); ++r) refs.push_back(row_t(rng() % N));
    const auto X = test_data::points(kind, N, d, rng);
    const std::string what = std::string(test_data::name(kind)) + " N " + std::to_string(N) +
                             " d " + std::to_string(d) + " k " + std::to_string(k) + " w " +
                             std::to_string(w) + (maximum ? " max" : " euclidean");
    expect_brute_force(X, N, d, k, w, maximum, refs, 1 + trial % 3, what);
  }
}

// Enough references to be shared out in many chunks: every thread count
// gives the result of the comparison with every candidate.
TEST(NeardistCore, LargeSetsAgreeOnEveryThreadCount) {
  std::mt19937 rng(12);
  for (auto kind : {test_data::kind::henon, test_data::kind::lattice}) {
    const size_t N = 6000, d = 3, k = 9;
    const auto X = test_data::points(kind, N, d, rng);
    // One thread against every candidate; more threads against one.
    expect_brute_force(X, N, d, k, 7, false, {}, 1, test_data::name(kind));
    const found one = core(X, N, d, k, 7, false, {}, 1);
    for (int threads : {2, 3}) {
      const found more = core(X, N, d, k, 7, false, {}, threads);
      for (size_t e = 0; e < one.D.size(); ++e)
        ASSERT_TRUE(same_bits(more.D[e], one.D[e]) && more.I[e] == one.I[e])
            << test_data::name(kind) << " " << threads << " threads, entry " << e;
    }
  }
}

// Two candidates at the same distance after the square root, although the
// sum of squares of the farther row is one unit in the last place larger:
// (1, 2^-26) has the sum 1 + 2^-52, whose root rounds to 1, as (1, 0) does.
TEST(NeardistCore, EqualAfterTheRootGoesByRow) {
  const size_t N = 6;
  std::vector<double> X = {0, 5, 1, 9, 9, 1,  // x
                           0, 5, 0x1p-26, 9, 9, 0};  // y
  std::vector<double> D(2), I(2);
  const row_t refs[1] = {0};
  nearest_neighbours(X.data(), N, 2, 2, 0, norm::euclidean, refs, 1, D.data(), I.data(), 1, 1);
  EXPECT_EQ(D[0], 1.0);
  EXPECT_EQ(D[1], 1.0);
  EXPECT_EQ(I[0], 3);  // row 2 (from 0): the larger sum, the lower row
  EXPECT_EQ(I[1], 6);
  expect_brute_force(X, N, 2, 2, 0, false, {0}, 1, "tie after the root");
}

// Many copies of a few points: the k lowest rows among the copies outside
// the window, found without looking at every copy.
TEST(NeardistCore, CopiesGoByRow) {
  const size_t N = 200000, k = 5;
  std::vector<double> X(2 * N);
  for (size_t i = 0; i < N; ++i) X[i] = X[i + N] = double(i % 2);
  const row_t refs[2] = {0, 150001};
  std::vector<double> D(2 * k), I(2 * k);
  nearest_neighbours(X.data(), N, 2, k, 3, norm::euclidean, refs, 2, D.data(), I.data(), 1, 2);
  for (size_t m = 0; m < k; ++m) {
    EXPECT_EQ(D[0 + m * 2], 0.0);
    EXPECT_EQ(I[0 + m * 2], double(4 + 2 * m + 1)) << m;  // rows 4, 6, ... from 0
    EXPECT_EQ(D[1 + m * 2], 0.0);
    EXPECT_EQ(I[1 + m * 2], double(1 + 2 * m + 1)) << m;  // rows 1, 3, ...
  }
}

// A million copies of one point, every one a reference: the lowest rows
// other than its own. The rows of the copies must keep the search short;
// looking at every copy for every reference would take hours.
TEST(NeardistCore, EveryReferenceAmongMillionsOfCopies) {
  const size_t N = 1000000, k = 3;
  const std::vector<double> X(2 * N, 0.25);
  std::vector<double> D(N * k), I(N * k);
  nearest_neighbours(X.data(), N, 2, k, 0, norm::euclidean, nullptr, N, D.data(), I.data(), 1,
                     parallel::thread_budget());
  for (size_t i = 0; i < N; ++i)
    for (size_t m = 0; m < k; ++m) {
      ASSERT_EQ(D[i + m * N], 0.0);
      ASSERT_EQ(I[i + m * N], double(m + (m >= i) + 1)) << i << " " << m;
    }
}

// More points than the tree builds on one thread, on data with structure,
// and references in any order.
TEST(NeardistCore, TreesBuiltOnThreadsAgree) {
  std::mt19937 rng(15);
  const size_t N = 70000, d = 3;
  const auto X = test_data::points(test_data::kind::henon, N, d, rng);
  std::vector<row_t> refs(300);
  for (row_t& r : refs) r = row_t(rng() % N);
  for (int threads : {1, 3})
    expect_brute_force(X, N, d, 12, 30, threads == 3, refs, threads, "henon on threads");
}

// A slow drift: the rows within the window are the nearest points, and
// nodes of them only are passed over as a whole.
TEST(NeardistCore, WideWindowsOnASlowDrift) {
  const size_t N = 20000;
  std::vector<double> X(N);
  for (size_t i = 0; i < N; ++i) X[i] = double(i) + 1e-3 * double(i % 7);
  expect_brute_force(X, N, 1, 4, 3000, false, {0, 9999, 19999, 5000}, 1, "drift");
}

// ---- through the stand-in host ------------------------------------------------

mxArray column_major(const std::vector<double>& X, size_t N, size_t d) { return matrix(N, d, X); }

TEST(NeardistGateway, DefaultsShapesAndRowsFromOne) {
  std::mt19937 rng(13);
  const size_t N = 50, d = 2;
  const auto X = test_data::points(test_data::kind::uniform, N, d, rng);
  const call_result all = call(2, {column_major(X, N, d), scalar(3)});
  ASSERT_FALSE(all.failed) << all.error;
  ASSERT_EQ(all.out(0).rows(), N);
  ASSERT_EQ(all.out(0).columns(), 3u);
  const auto D = all.out(0).values(), I = all.out(1).values();
  for (size_t i = 0; i < N; ++i) {
    const auto want = brute_force::k_nearest(X.data(), N, d, i, 3, 0, false);
    for (size_t m = 0; m < 3; ++m) {
      EXPECT_TRUE(same_bits(D[i + m * N], want[m].first));
      EXPECT_EQ(I[i + m * N], double(want[m].second + 1));
    }
  }
  // R picks rows in any order, repeats too; w and p as given.
  const call_result some =
      call(2, {column_major(X, N, d), scalar(2), scalar(4), column({7, 1, 7, 50}), scalar(INFINITY)});
  ASSERT_FALSE(some.failed) << some.error;
  ASSERT_EQ(some.out(0).rows(), 4u);
  const auto DR = some.out(0).values(), IR = some.out(1).values();
  const size_t rows[4] = {6, 0, 6, 49};
  for (size_t r = 0; r < 4; ++r) {
    const auto want = brute_force::k_nearest(X.data(), N, d, rows[r], 2, 4, true);
    for (size_t m = 0; m < 2; ++m) {
      EXPECT_TRUE(same_bits(DR[r + m * 4], want[m].first));
      EXPECT_EQ(IR[r + m * 4], double(want[m].second + 1));
    }
  }
  // An empty R: no rows, k columns.
  const call_result none = call(2, {column_major(X, N, d), scalar(4), scalar(0), empty(1, 0)});
  ASSERT_FALSE(none.failed) << none.error;
  EXPECT_EQ(none.out(0).rows(), 0u);
  EXPECT_EQ(none.out(0).columns(), 4u);
  EXPECT_EQ(none.out(1).columns(), 4u);
}

TEST(NeardistGateway, MessagesInTheirOrder) {
  const mxArray X = matrix(10, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{X}, "X and k must be given"},
      {{X, scalar(1), scalar(0), scalar(1), scalar(2), scalar(0)},
       "At most five inputs: X, k, w, R and p"},
      {{X, typed(mxSINGLE_CLASS, {1, 1}, {1})}, "Input 2 must be a real double array"},
      {{matrix(2, 1, {1, NAN}), scalar(1)}, "X must not hold NaN or Inf"},
      {{matrix(2, 1, {1, -INFINITY}), scalar(1)}, "X must not hold NaN or Inf"},
      {{X, empty()}, "Input 2 must not be empty"},
      {{X, scalar(0)}, "k must be a whole number from 1 to 2147483647"},
      {{X, scalar(1.5)}, "k must be a whole number from 1 to 2147483647"},
      {{X, scalar(NAN), scalar(-1)}, "k must be a whole number from 1 to 2147483647"},
      {{X, scalar(1), scalar(-1)}, "w must be a whole number, at least 0"},
      {{X, scalar(1), scalar(INFINITY)}, "w must be a whole number, at least 0"},
      {{X, scalar(1), scalar(0), row({1, 11})}, "R must hold row numbers of X, whole numbers from 1 to 10"},
      {{X, scalar(1), scalar(0), row({0})}, "R must hold row numbers of X, whole numbers from 1 to 10"},
      {{X, scalar(1), scalar(0), row({2.5}), scalar(3)},
       "R must hold row numbers of X, whole numbers from 1 to 10"},
      {{X, scalar(1), scalar(0), row({2}), scalar(1)}, "p must be 2 or Inf"},
      {{X, scalar(1), scalar(0), row({2}), scalar(-INFINITY)}, "p must be 2 or Inf"},
      {{X, scalar(6), scalar(2)},
       "Not enough candidates: reference row 3 has 5 rows more than w = 2 apart, fewer than k = 6"},
      {{X, scalar(1), scalar(1e300)},
       "Not enough candidates: reference row 1 has 0 rows more than w = 18446744073709551615 "
       "apart, fewer than k = 1"},
  };
  for (const auto& [inputs, message] : cases) {
    const call_result result = call(2, inputs);
    EXPECT_TRUE(result.failed) << message;
    EXPECT_EQ(result.error, message);
  }
}

TEST(NeardistGateway, AllocationFailureEndsTheCallCleanly) {
  std::mt19937 rng(14);
  const auto X = test_data::points(test_data::kind::uniform, 30, 2, rng);
  gateway_checks::expect_allocation_failures_end_cleanly(2, {column_major(X, 30, 2), scalar(2)}, 2);
}

}  // namespace
