#include "lyapcurve/lyapcurve.cpp"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "host/gateway_checks.h"
#include "neighbours/brute_force.h"
#include "neighbours/test_data.h"

namespace {

using namespace standin;
using namespace gateway_checks;

// The branches of the definition the model has taken, over all its runs.
constexpr unsigned D_ZERO = 1, N_ZERO = 2, D_INFINITE = 4, EVERY_BRANCH = 7;
unsigned reached = 0;

// S and n straight from the definition: U_t as comparing every usable row
// gives it (neardist on X(1 : N - K, :)), the sums in the order of U_t and
// of the references.
columns by_definition(const std::vector<double>& X, size_t N, size_t d, size_t K, size_t k,
                      uint64_t w, bool maximum, const std::vector<row_t>& refs) {
  std::vector<double> usable;
  for (size_t c = 0; c < d; ++c) usable.insert(usable.end(), &X[c * N], &X[c * N] + (N - K));
  std::vector<std::vector<std::pair<double, size_t>>> U;
  for (row_t t : refs)
    U.push_back(brute_force::k_nearest(usable.data(), N - K, d, t, k, w, maximum));
  columns curve(2);
  for (size_t step = 0; step <= K; ++step) {
    double sum = 0, count = 0;
    for (size_t r = 0; r < refs.size(); ++r) {
      double d_t = 0;
      for (const auto& [distance, s] : U[r])
        d_t = d_t + brute_force::distance(X.data(), N, d, refs[r] + step, s + step, maximum);
      d_t = d_t / double(k);
      reached |= (d_t == 0 ? D_ZERO : 0) | (std::isinf(d_t) ? D_INFINITE : 0);
      if (d_t > 0) sum = sum + std::log(d_t), count = count + 1;
    }
    reached |= !refs.empty() && count == 0 ? N_ZERO : 0;
    curve[0].push_back(count > 0 ? sum / count : NAN);
    curve[1].push_back(count);
  }
  return curve;
}

// first, first + 1, ... (count of them): rows from 0 for the core, from 1 for R.
template <typename T>
std::vector<T> rows_from(T first, size_t count) {
  std::vector<T> rows(count);
  std::iota(rows.begin(), rows.end(), first);
  return rows;
}

// The core's curve for the references, or for every usable row when all is true.
columns from_core(const std::vector<double>& X, size_t N, size_t d, size_t K, size_t k, uint64_t w,
                  bool maximum, const std::vector<row_t>& refs, bool all, int threads) {
  columns c(2, unset_column(K + 1));
  divergence_curve(X.data(), N, d, K, k, w, maximum ? norm::maximum : norm::euclidean,
                   all ? nullptr : refs.data(), all ? N - K : refs.size(), c[0].data(), c[1].data(),
                   threads);
  return c;
}

// References every usable row (the default) or any rows in any order,
// repeats too, or none; last a large set, on every thread count.
TEST(LyapcurveCore, AgreesWithTheDefinition) {
  std::mt19937 rng(41);
  reached = 0;
  for (int trial = 0; trial < 800; ++trial) {
    const auto kind = test_data::kind(trial % int(test_data::kind::count));
    const size_t N = 2 + rng() % (trial % 3 == 0 ? 12 : 300), d = trial % 29 ? 1 + rng() % 4 : 0;
    const size_t K = rng() % std::min<size_t>(N, trial % 5 == 0 ? 60 : 12), usable = N - K;
    const uint64_t w = rng() % 3 == 0 ? 0 : rng() % (usable / 3 + 1);
    const bool all = trial % 2, maximum = rng() % 2;
    std::vector<row_t> refs(all ? usable : rng() % (2 * usable));
    for (size_t r = 0; r < refs.size(); ++r) refs[r] = row_t(all ? r : rng() % usable);
    uint64_t fewest = UINT64_MAX;
    for (row_t t : refs) fewest = std::min(fewest, neighbours::candidates_of(t, usable, w));
    if (fewest == 0) continue;
    const size_t k = 1 + rng() % std::min<uint64_t>(fewest, trial % 7 == 0 ? 40 : 6);
    const auto X = test_data::points(kind, N, d, rng);
    SCOPED_TRACE(testing::Message() << test_data::name(kind) << " N " << N << " d " << d << " K "
                                    << K << " k " << k << " w " << w << (maximum ? " max" : " 2")
                                    << (all ? " all rows" : " refs ") << refs.size());
    const columns want = by_definition(X, N, d, K, k, w, maximum, refs);
    expect_same(from_core(X, N, d, K, k, w, maximum, refs, all, 1 + trial % 3), want);
    if (HasFailure()) return;
  }
  EXPECT_EQ(reached, EVERY_BRANCH);
  // Enough references for the searches, the logarithms and the sums to run on
  // threads, in blocks whose sums carry over (about 2^20 / (K + 1) references).
  const size_t N = 5100, d = 2, K = 3000, k = 8, usable = N - K;
  const auto X = test_data::points(test_data::kind::henon, N, d, rng);
  std::vector<row_t> refs(1000);
  for (row_t& r : refs) r = row_t(rng() % usable);
  const columns all = by_definition(X, N, d, K, k, 5, false, rows_from(row_t(0), usable));
  const columns some = by_definition(X, N, d, K, k, 5, true, refs);
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(testing::Message() << threads << " threads");
    expect_same(from_core(X, N, d, K, k, 5, false, {}, true, threads), all);
    expect_same(from_core(X, N, d, K, k, 5, true, refs, false, threads), some);
  }
}

// The least-squares slope of S over the steps first ... last.
double slope(const std::vector<double>& S, size_t first, size_t last) {
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  const double n = double(last - first + 1);
  for (size_t i = first; i <= last; ++i)
    sx += double(i), sy += S[i], sxx += double(i) * double(i), sxy += double(i) * S[i];
  return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

// Over its linear range the curve rises by the largest Lyapunov exponent a
// step: 0.419 for the Henon map, ln 2 for the logistic map at 4.
TEST(LyapcurveTheory, SlopesAreTheLargestLyapunovExponents) {
  const size_t N = 20000;
  std::mt19937 rng(43);
  const auto henon = test_data::points(test_data::kind::henon, N, 2, rng);  // (x(t + 1), x(t))
  std::vector<double> logistic(N);
  double v = 0.3;
  for (int i = 0; i < 100; ++i) v = 4 * v * (1 - v);
  for (double& l : logistic) l = v = 4 * v * (1 - v);
  const auto H = from_core(henon, N, 2, 30, 1, 10, false, {}, true, 2)[0];
  const auto L = from_core(logistic, N, 1, 30, 1, 10, false, {}, true, 2)[0];
  EXPECT_NEAR(slope(H, 2, 9), 0.419, 0.05);
  EXPECT_NEAR(slope(L, 1, 10), std::log(2.0), 0.05);
}

// ---- through the stand-in host -------------------------------------------------------

TEST(LyapcurveGateway, DefaultsInputsOutputSlotsAndAllocation) {
  std::mt19937 rng(44);
  const size_t N = 120, d = 2, K = 6, usable = N - K;
  const auto X = test_data::points(test_data::kind::henon, N, d, rng);
  const mxArray points = matrix(N, d, X);
  // The defaults spelled out: k = 1, w = 0, R = 1 : N - K, p = 2.
  const std::vector<mxArray> spelled = {points,    scalar(K), scalar(1),
                                        scalar(0), row(rows_from(1.0, usable)), scalar(2)};
  const columns defaults = by_definition(X, N, d, K, 1, 0, false, rows_from(row_t(0), usable));
  for (long given = 2; given <= 6; ++given) {
    SCOPED_TRACE(testing::Message() << given << " inputs");
    expect_outputs(call(2, {spelled.begin(), spelled.begin() + given}), defaults, 2);
  }
  // Rows counted from 1, in any order, repeated; the maximum norm.
  const mxArray R = column({7, 1, 7, double(usable), 41});
  expect_outputs(call(2, {points, scalar(K), scalar(3), scalar(4), R, scalar(INFINITY)}),
                 by_definition(X, N, d, K, 3, 4, true, {6, 0, 6, row_t(usable - 1), 40}), 2);
  // No references: S all NaN, n all 0.
  expect_outputs(call(2, {points, scalar(K), scalar(2), scalar(0), empty(0, 3)}),
                 {std::vector<double>(K + 1, NAN), std::vector<double>(K + 1, 0.0)}, 2);
  expect_only_offered_slots_written(2, {points, scalar(K)});
  expect_allocation_failures_end_cleanly(2, {points, scalar(K)}, 2);
}

TEST(LyapcurveGateway, MessagesInTheirOrder) {
  const mxArray X = column({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), one = scalar(1), zero = scalar(0);
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{X}, "X and K must be given"},
      {{X, one, one, zero, one, scalar(2), zero}, "At most six inputs: X, K, k, w, R and p"},
      {{typed(mxINT32_CLASS, {10, 1}), scalar(-1)}, "Input 1 must be a real double array"},
      {{X, one, one, zero, one, complex_matrix(1, 1, {2}, {1})}, "Input 6 must be a real double array"},
      {{matrix(2, 2, {1, 2, 3, NAN}), empty()}, "X must not hold NaN or Inf"},
      {{X, empty()}, "Input 2 must not be empty"},
      {{X, scalar(10), zero}, "K must be a whole number from 0 to N - 1 = 9"},
      {{X, scalar(-1)}, "K must be a whole number from 0 to N - 1 = 9"},
      {{empty(0, 2), zero}, "K must be a whole number from 0 to N - 1 = -1"},
      {{X, one, zero, scalar(-1)}, "k must be a whole number from 1 to 2147483647"},
      {{X, one, scalar(2147483648.0)}, "k must be a whole number from 1 to 2147483647"},
      {{X, one, one, scalar(-1), zero}, "w must be a whole number, at least 0"},
      {{X, scalar(3), one, zero, row({8})}, "R must hold usable rows of X, whole numbers from 1 to N - K = 7"},
      {{X, scalar(3), one, zero, row({1, 0}), one}, "R must hold usable rows of X, whole numbers from 1 to N - K = 7"},
      {{X, one, scalar(5), zero, one, one}, "p must be 2 or Inf"},
      // Only the usable rows are candidates: 7 of them, 2 beyond w = 2 of row 4.
      {{X, scalar(3), scalar(3), scalar(2), row({1, 4, 7})},
       "Not enough candidates: reference row 4 has 2 rows more than w = 2 apart, fewer than k = 3"},
      {{X, one, one, scalar(1e300)},
       "Not enough candidates: reference row 1 has 0 rows more than w = 18446744073709551615 apart, fewer than k = 1"},
  };
  for (const auto& [inputs, message] : cases) EXPECT_EQ(call(2, inputs).error, message);
}

}  // namespace
