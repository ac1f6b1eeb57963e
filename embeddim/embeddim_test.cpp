#include "embeddim/embeddim.cpp"

#include <gtest/gtest.h>

#include <random>

#include "host/gateway_checks.h"
#include "neighbours/test_data.h"

namespace {

using namespace standin;
using namespace gateway_checks;

// The branches of the definitions the model has taken, over all its runs.
constexpr unsigned K_EMPTY = 1, AT_RTOL = 2, AT_ATOL = 4, R_INFINITE = 8, EVERY_BRANCH = 15;
unsigned reached = 0;

double sigma_of(const std::vector<double>& x) {
  double mu = 0, squares = 0;
  for (double v : x) mu = mu + v;
  mu = mu / double(x.size());
  for (double v : x) squares = squares + (v - mu) * (v - mu);
  return std::sqrt(squares / double(x.size()));
}

// F, E1 and E2 straight from the definitions: n_m(t) by comparing every
// candidate s in ascending order, so that the lowest of the nearest stays;
// the sums in ascending t.
columns by_definition(const std::vector<double>& x, size_t mmax, size_t tau, uint64_t w,
                      double rtol, double atol) {
  const double sigma = sigma_of(x);
  std::vector<double> F(mmax + 1), E(mmax + 1), E_star(mmax + 1);
  for (size_t m = 1; m <= mmax + 1; ++m) {
    const size_t T = x.size() - m * tau;
    size_t in_K = 0, false_ones = 0;
    double ratios = 0, deltas = 0;
    for (size_t t = 0; t < T; ++t) {
      size_t n = SIZE_MAX;
      double R = 0;
      for (size_t s = 0; s < T; ++s) {
        if ((s > t ? s - t : t - s) <= w) continue;
        double r = 0;
        for (size_t c = 0; c < m; ++c) r = std::max(r, std::fabs(x[t + c * tau] - x[s + c * tau]));
        if (n == SIZE_MAX || r < R) n = s, R = r;
      }
      const double delta = std::fabs(x[t + m * tau] - x[n + m * tau]);
      deltas = deltas + delta;
      if (!(R > 0)) continue;
      ++in_K;
      const double R_next = std::max(R, delta);
      ratios = ratios + R_next / R;
      false_ones += delta / R > rtol || R_next / sigma > atol;
      if (m <= mmax)
        reached |= (delta / R == rtol ? AT_RTOL : 0) | (R_next / sigma == atol ? AT_ATOL : 0) |
                   (std::isinf(R) ? R_INFINITE : 0);
    }
    reached |= in_K == 0 ? K_EMPTY : 0;
    F[m - 1] = in_K ? double(false_ones) / double(in_K) : NAN;
    E[m - 1] = in_K ? ratios / double(in_K) : NAN;
    E_star[m - 1] = deltas / double(T);
  }
  columns out(3);
  for (size_t m = 0; m < mmax; ++m) {
    out[0].push_back(F[m]);
    out[1].push_back(E[m + 1] / E[m]);
    out[2].push_back(E_star[m + 1] / E_star[m]);
  }
  return out;
}

columns from_core(const std::vector<double>& x, size_t mmax, size_t tau, uint64_t w, double rtol,
                  double atol, int threads) {
  columns c(3, unset_column(mmax));
  embedding_statistics(x.data(), x.size(), mmax, tau, w, rtol, atol, c[0].data(), c[1].data(),
                       c[2].data(), threads);
  return c;
}

// A series of one of test_data's kinds, the huge values scaled so that their
// differences overflow.
std::vector<double> series(test_data::kind kind, size_t N, std::mt19937& rng) {
  std::vector<double> x = test_data::points(kind, N, 1, rng);
  if (kind == test_data::kind::huge) for (double& v : x) v *= 3.5;
  return x;
}

// Tolerances made of the series' own differences, which recur on the lattice
// and among repeated values: there delta / R and R' / sigma hit them exactly
// and the strict '>' decides. Now and then the shortest series the call
// allows; last a long one, on every thread count.
TEST(EmbeddimCore, AgreesWithTheDefinitions) {
  std::mt19937 rng(31);
  reached = 0;
  for (int trial = 0; trial < 600; ++trial) {
    const auto kind = test_data::kind(trial % int(test_data::kind::count));
    const size_t mmax = 1 + rng() % 5, tau = 1 + rng() % 3;
    const uint64_t w = rng() % 3 == 0 ? 0 : rng() % 20;
    const size_t N = size_t(samples_needed(mmax, tau, w)) + (trial % 7 == 0 ? 0 : rng() % 300);
    const auto x = series(kind, N, rng);
    const auto apart = [&] {
      const double a = std::fabs(x[rng() % N] - x[rng() % N]);
      return std::isnormal(a) ? a : 1;
    };
    const double a = apart(), b = apart(), rtol = a / b, atol = apart() / sigma_of(x);
    SCOPED_TRACE(testing::Message() << test_data::name(kind) << " N " << N << " mmax " << mmax
                                    << " tau " << tau << " w " << w << " rtol " << rtol);
    const columns want = by_definition(x, mmax, tau, w, rtol, atol);
    expect_same(from_core(x, mmax, tau, w, rtol, atol, 1 + trial % 3), want);
    if (HasFailure()) return;
  }
  EXPECT_EQ(reached, EVERY_BRANCH);
  // From 16384 points the searches run on threads; the sums stay in order.
  const auto x = series(test_data::kind::henon, 16500, rng);
  const columns want = by_definition(x, 1, 1, 10, 10, 2);
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(testing::Message() << threads << " threads");
    expect_same(from_core(x, 1, 1, 10, 10, 2, threads), want);
  }
}

// The Henon map's x needs two delay coordinates: from m = 2 on almost no
// neighbour is false. White noise has false neighbours at every m, and a
// neighbour's next sample is as far off as any other's: E2 near 1.
TEST(EmbeddimTheory, HenonNeedsTwoDelayCoordinatesNoiseMore) {
  const columns henon = from_core(test_data::henon_x(20000), 3, 1, 10, 10, 2, 2);
  EXPECT_GT(henon[0][0], 0.5);
  EXPECT_LT(henon[0][1], 0.01);
  EXPECT_GT(std::fabs(henon[2][0] - 1), 0.2);
  std::mt19937 rng(33);
  const columns noise = from_core(series(test_data::kind::uniform, 10000, rng), 3, 1, 10, 10, 2, 2);
  for (size_t m = 0; m < 3; ++m) {
    EXPECT_GT(noise[0][m], 0.3) << "F(" << m + 1 << ")";
    EXPECT_NEAR(noise[2][m], 1, 0.05) << "E2(" << m + 1 << ")";
  }
}

// ---- through the stand-in host ------------------------------------------------

TEST(EmbeddimGateway, DefaultsInputsOutputSlotsAndAllocation) {
  std::mt19937 rng(34);
  const auto x = series(test_data::kind::henon, 300, rng);
  // The defaults spelled out: tau = 1, w = 0, rtol = 10, atol = 2.
  const std::vector<mxArray> spelled = {column(x), scalar(3),  scalar(1),
                                        scalar(0), scalar(10), scalar(2)};
  const columns defaults = by_definition(x, 3, 1, 0, 10, 2);
  for (long given = 2; given <= 6; ++given) {
    SCOPED_TRACE(testing::Message() << given << " inputs");
    expect_outputs(call(3, {spelled.begin(), spelled.begin() + given}), defaults, 3);
  }
  // Every input a value of its own, and x as a row.
  expect_outputs(call(3, {row(x), scalar(4), scalar(2), scalar(5), scalar(1.5), scalar(0.5)}),
                 by_definition(x, 4, 2, 5, 1.5, 0.5), 3);
  expect_only_offered_slots_written(3, {column(x), scalar(3)});
  expect_allocation_failures_end_cleanly(3, {column(x), scalar(2)}, 3);
}

TEST(EmbeddimGateway, MessagesInTheirOrder) {
  const mxArray x = column(std::vector<double>(30, 1.0)), one = scalar(1), zero = scalar(0);
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{x}, "x and mmax must be given"},
      {{x, one, one, zero, scalar(10), scalar(2), zero}, "At most six inputs: x, mmax, tau, w, rtol and atol"},
      {{typed(mxSINGLE_CLASS, {30, 1}), zero}, "Input 1 must be a real double array"},
      {{x, one, one, zero, scalar(10), complex_matrix(1, 1, {2}, {0})}, "Input 6 must be a real double array"},
      {{matrix(2, 2, {1, 2, NAN, 4}), one}, "x must be a vector"},
      {{row({1, 2, -INFINITY}), empty()}, "x must not hold NaN or Inf"},
      {{x, empty(0, 3), zero}, "Input 2 must not be empty"},
      {{x, zero}, "mmax must be a whole number, at least 1"},
      {{x, scalar(1.5), zero}, "mmax must be a whole number, at least 1"},
      {{x, one, zero, scalar(-1)}, "tau must be a whole number, at least 1"},
      {{x, one, one, scalar(0.5), zero}, "w must be a whole number, at least 0"},
      {{x, one, one, zero, empty()}, "Input 5 must not be empty"},
      {{x, one, one, zero, zero}, "rtol must be positive"},
      {{x, one, one, zero, scalar(NAN), zero}, "rtol must be positive"},
      {{x, one, one, zero, scalar(10), zero}, "atol must be positive"},
      {{column(std::vector<double>(28, 1.0)), scalar(6), one, scalar(10)},
       "x is too short: mmax = 6, tau = 1 and w = 10 need at least 29 samples"},
      {{empty(0, 5), one}, "x is too short: mmax = 1, tau = 1 and w = 0 need at least 4 samples"},
      {{x, one, one, scalar(1e300)},
       "x is too short: mmax = 1, tau = 1 and w = 18446744073709551615 need at least 3.6893488147419103e+19 samples"},
      {{x, scalar(1e15), scalar(3)},
       "x is too short: mmax = 1000000000000000, tau = 3 and w = 0 need at least 3000000000000005 samples"},
  };
  for (const auto& [inputs, message] : cases) EXPECT_EQ(call(3, inputs).error, message);
  EXPECT_FALSE(call(3, {column(std::vector<double>(29, 1.0)), scalar(6), one, scalar(10)}).failed);
}

}  // namespace
