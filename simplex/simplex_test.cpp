#include "simplex/simplex.cpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "host/gateway_checks.h"
#include "neighbours/test_data.h"
#include "predict/models.h"

namespace {

using namespace standin;

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

struct run_result {
  std::vector<double> P;
  predict::skill S;
};
run_result run(const std::vector<double>& x, size_t E, size_t tau, size_t Tp, size_t w,
               const std::vector<row_t>& lib, const std::vector<row_t>& pred, size_t k,
               int threads) {
  run_result r{std::vector<double>(2 * pred.size()), {}};
  const predict::embedding e{x.data(), x.size(), E, tau};
  r.S = simplex_forecasts(e, Tp, w, lib.data(), lib.size(), pred.data(), pred.size(), k,
                          r.P.data(), threads);
  return r;
}

// Random series (with ties: values on a coarse lattice), libraries and
// prediction rows, every input at random: the model's forecasts and skill,
// bit for bit, on 1, 2 and 3 threads.
TEST(SimplexCore, AgreesWithTheModelBitForBit) {
  std::mt19937 rng(41);
  for (int trial = 0; trial < 90; ++trial) {
    const size_t N = 20 + rng() % (trial % 9 == 0 ? 3000 : 300);
    std::vector<double> x;
    switch (trial % 3) {
      case 0: x = models::white_noise(N, unsigned(trial)); break;
      case 1: x = models::logistic(N, 4, 0.1 + 0.001 * trial); break;
      default:
        for (size_t i = 0; i < N; ++i) x.push_back(double(rng() % 4));  // many ties
    }
    const size_t E = 1 + rng() % 4, tau = 1 + rng() % 3, Tp = rng() % 4;
    const size_t first = (E - 1) * tau;
    if (first + Tp + 10 >= N) continue;
    const size_t w = rng() % 3 == 0 ? 0 : rng() % 6;
    std::vector<row_t> lib, pred;
    const bool some = trial % 2;
    for (size_t t = first; t + Tp < N; ++t)
      if (!some || rng() % 3 != 0) lib.push_back(row_t(t));
    for (size_t r = 0; r < 1 + rng() % N; ++r) pred.push_back(row_t(first + rng() % (N - first)));
    const size_t k = 1 + rng() % 6;
    uint64_t fewest = UINT64_MAX;
    for (row_t t : pred)
      fewest = std::min(fewest, neighbours::library_candidates(lib.data(), lib.size(), t, w));
    if (fewest < k) continue;
    const std::vector<size_t> model_lib(lib.begin(), lib.end());
    std::vector<double> a, b;
    for (row_t t : pred) {
      a.push_back(t + Tp < N ? x[t + Tp] : NAN);
      b.push_back(models::simplex(x, x, E, tau, Tp, w, model_lib, k, t));
    }
    for (int threads : {1, 2, 3}) {
      const run_result got = run(x, E, tau, Tp, w, lib, pred, k, threads);
      for (size_t r = 0; r < pred.size(); ++r)
        ASSERT_TRUE(same_bits(got.P[r], a[r]) && same_bits(got.P[pred.size() + r], b[r]))
            << "trial " << trial << " row " << pred[r] << ": " << got.P[pred.size() + r]
            << ", want " << b[r];
      EXPECT_TRUE(same_bits(got.S.rho, models::rho(a, b))) << trial;
    }
  }
}

// The skill: mean absolute and root mean square error over the observed
// targets, NaN where the definitions say so.
TEST(SimplexCore, SkillFromItsDefinitions) {
  const double a[5] = {1, NAN, 2, 4, NAN}, b[5] = {2, 7, 2, 1, 5};
  const predict::skill s = predict::skill_of(a, b, 5);
  EXPECT_DOUBLE_EQ(s.mae, 4.0 / 3);
  EXPECT_DOUBLE_EQ(s.rmse, std::sqrt(10.0 / 3));
  // mean a = 7/3, mean b = 5/3: sum (a - ma)(b - mb) = -5/3, sums of squares 14/3, 2/3.
  EXPECT_DOUBLE_EQ(s.rho, -5 / std::sqrt(28.0));
  const predict::skill one = predict::skill_of(a, b, 2);
  EXPECT_TRUE(std::isnan(one.rho));
  EXPECT_EQ(one.mae, 1);
  const double flat[3] = {1, 1, 1};
  EXPECT_TRUE(std::isnan(predict::skill_of(flat, b, 3).rho));
  EXPECT_TRUE(std::isnan(predict::skill_of(b, flat, 3).rho));
  const predict::skill none = predict::skill_of(a + 1, b, 1);
  EXPECT_TRUE(std::isnan(none.rho) && std::isnan(none.mae) && std::isnan(none.rmse));
}

double rho_of(const std::vector<double>& x, size_t E, size_t Tp, size_t w = 0) {
  const predict::embedding e{x.data(), x.size(), E, 1};
  std::vector<row_t> lib, pred;
  for (size_t t = e.first(); t + Tp < x.size(); ++t) lib.push_back(row_t(t));
  for (size_t t = e.first(); t < x.size(); ++t) pred.push_back(row_t(t));
  return run(x, E, 1, Tp, w, lib, pred, E + 1, 2).S.rho;
}

// Sugihara & May 1990: a deterministic series is forecast well one step
// ahead and worse further ahead when it is chaotic; noise is not forecast.
TEST(SimplexKnownAnswers, SineLogisticHenonNoise) {
  std::vector<double> sine(1000);
  for (size_t i = 0; i < sine.size(); ++i) sine[i] = std::sin(0.1 * double(i));
  EXPECT_GT(rho_of(sine, 2, 1), 0.999);

  const auto logistic = models::logistic(1000);
  const auto henon = test_data::henon_x(1000);
  for (const auto* x : {&logistic, &henon}) {
    double last = 1;
    for (size_t Tp : {1, 2, 4, 8}) {
      const double rho = rho_of(*x, 2, Tp);
      EXPECT_LT(rho, last) << "Tp " << Tp;
      last = rho;
    }
    EXPECT_GT(rho_of(*x, 2, 1), 0.95);
  }

  EXPECT_LT(std::fabs(rho_of(models::white_noise(2000, 7), 2, 1)), 0.1);

  // Henon's x: its best embedding dimension is 2 or 3.
  size_t best = 0;
  double best_rho = -2;
  for (size_t E = 1; E <= 6; ++E) {
    const double rho = rho_of(henon, E, 1);
    if (rho > best_rho) best_rho = rho, best = E;
  }
  EXPECT_TRUE(best == 2 || best == 3) << best;
}

// ---- through the stand-in host ------------------------------------------------

TEST(SimplexGateway, DefaultsShapesAndRowsFromOne) {
  const auto x = models::logistic(60);
  const call_result all = call(2, {column(x), scalar(2)});
  ASSERT_FALSE(all.failed) << all.error;
  // Rows 2 ... 60 (from 1): every row with an embedding; the last has no target.
  ASSERT_EQ(all.out(0).rows(), 59u);
  ASSERT_EQ(all.out(0).columns(), 2u);
  ASSERT_EQ(all.out(1).columns(), 3u);
  std::vector<row_t> lib, pred;
  for (row_t t = 1; t < 59; ++t) lib.push_back(t);
  for (row_t t = 1; t < 60; ++t) pred.push_back(t);
  const run_result want = run(x, 2, 1, 1, 0, lib, pred, 3, 1);
  const auto P = all.out(0).values(), S = all.out(1).values();
  for (size_t i = 0; i < P.size(); ++i) EXPECT_TRUE(same_bits(P[i], want.P[i])) << i;
  EXPECT_TRUE(std::isnan(P[58]));
  EXPECT_TRUE(same_bits(S[0], want.S.rho) && same_bits(S[1], want.S.mae) &&
              same_bits(S[2], want.S.rmse));

  // Given rows from 1; a repeated lib row counts once; empty lib and pred
  // take their defaults.
  const call_result some = call(2, {row(x), scalar(2), scalar(2), scalar(3), scalar(1),
                                    row({40, 5, 40, 30, 20, 10, 50, 12, 33}), row({60, 3, 60}),
                                    scalar(2)});
  ASSERT_FALSE(some.failed) << some.error;
  const run_result want_some = run(x, 2, 2, 3, 1, {4, 9, 11, 19, 29, 32, 39, 49}, {59, 2, 59}, 2, 1);
  const auto PS = some.out(0).values();
  ASSERT_EQ(PS.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_TRUE(same_bits(PS[i], want_some.P[i])) << i;
  const call_result defaults =
      call(2, {column(x), scalar(2), scalar(1), scalar(1), scalar(0), empty(), empty(), scalar(3)});
  ASSERT_FALSE(defaults.failed) << defaults.error;
  const auto PD = defaults.out(0).values();
  for (size_t i = 0; i < P.size(); ++i) EXPECT_TRUE(same_bits(PD[i], P[i])) << i;
}

TEST(SimplexGateway, MessagesInTheirOrder) {
  const mxArray x = column(models::logistic(10));
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{x}, "x and E must be given"},
      {{x, scalar(1), scalar(1), scalar(1), scalar(0), empty(), empty(), scalar(1), scalar(1)},
       "At most eight inputs: x, E, tau, Tp, w, lib, pred and k"},
      {{x, typed(mxINT32_CLASS, {1, 1}, {2})}, "Input 2 must be a real double array"},
      {{column({1, NAN, 3}), scalar(1)}, "x must not hold NaN or Inf"},
      {{column({1, 2, INFINITY}), scalar(1)}, "x must not hold NaN or Inf"},
      {{x, empty()}, "Input 2 must not be empty"},
      {{x, scalar(0)}, "E must be a whole number, at least 1"},
      {{x, scalar(2.5)}, "E must be a whole number, at least 1"},
      {{x, scalar(2), scalar(0)}, "tau must be a whole number, at least 1"},
      {{x, scalar(2), scalar(NAN)}, "tau must be a whole number, at least 1"},
      {{x, scalar(4), scalar(4)},
       "x is too short for E = 4 and tau = 4: it needs more than (E - 1) tau = 12 samples"},
      {{x, scalar(1e300)},
       "x is too short for E = 1099511627776 and tau = 1: it needs more than (E - 1) tau = "
       "1099511627775 samples"},
      {{x, scalar(2), scalar(1), scalar(-1)}, "Tp must be a whole number, at least 0"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(0.5)}, "w must be a whole number, at least 0"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(0), row({3, 11})},
       "lib must hold row numbers of x, whole numbers from 1 to 10; 11 is not one"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(0), row({3, 2.5})},
       "lib must hold row numbers of x, whole numbers from 1 to 10; 2.5 is not one"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(0), row({3, NAN})},
       "lib must hold row numbers of x, whole numbers from 1 to 10; nan is not one"},
      {{x, scalar(3), scalar(2), scalar(1), scalar(0), row({9, 5, 4})},
       "lib row 4 has no embedding: rows start at 5 for E = 3 and tau = 2"},
      {{x, scalar(2), scalar(1), scalar(2), scalar(0), row({3, 9, 8})},
       "lib row 9 has no observed target: its target lies past the end of x for Tp = 2"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(0), empty(), row({3, 0})},
       "pred must hold row numbers of x, whole numbers from 1 to 10; 0 is not one"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(0), empty(), row({3, 1})},
       "pred row 1 has no embedding: rows start at 2 for E = 2 and tau = 1"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(0), empty(), empty(), scalar(0)},
       "k must be a whole number from 1 to 2147483647"},
      // Rows 2 ... 9 are the library; row 5 has 8 - 7 = 1 candidate with w = 3.
      {{x, scalar(2), scalar(1), scalar(1), scalar(3)},
       "Not enough candidates: prediction row 5 has 1 library rows more than w = 3 apart, "
       "fewer than k = 3"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(0), empty(), empty(), scalar(8)},
       "Not enough candidates: prediction row 2 has 7 library rows more than w = 0 apart, "
       "fewer than k = 8"},
      // A window wider than the library leaves nothing.
      {{x, scalar(2), scalar(1), scalar(1), scalar(1e6)},
       "Not enough candidates: prediction row 2 has 0 library rows more than w = 1000000 "
       "apart, fewer than k = 3"},
      {{x, scalar(2), scalar(1), scalar(20)},
       "Not enough candidates: prediction row 2 has 0 library rows more than w = 0 apart, "
       "fewer than k = 3"},
  };
  for (const auto& [inputs, message] : cases) {
    const call_result result = call(2, inputs);
    EXPECT_TRUE(result.failed) << message;
    EXPECT_EQ(result.error, message);
  }
}

TEST(SimplexGateway, AllocationFailureEndsTheCallCleanly) {
  gateway_checks::expect_allocation_failures_end_cleanly(
      2, {column(models::logistic(300)), scalar(2)}, 2);
}

}  // namespace
