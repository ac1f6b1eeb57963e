#include "gainrider/gainrider.cpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace standin;

std::vector<double> ridden(const std::vector<double>& x, long M, long N,
                           const std::vector<double>& tau, double limit, double threshold) {
  std::vector<double> y(x.size(), -7.0), g(tau.size(), -7.0);
  gainrider_filter(x.data(), M, N, tau.data(), long(tau.size()), limit - 1, threshold, y.data(),
                   g.data());
  return y;
}

void expect_bits_equal(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0)
        << "entry " << i << ": " << got[i] << " vs " << want[i];
}

// 1 + D tanh((a - 1)/D), in the form the module computes it.
double limited(double a, double D) {
  const double e = std::exp(((a - 1) * (-2)) / D);
  return (2 / (e + 1) - 1) * D + 1;
}

TEST(GainriderCore, DocumentedSequences) {
  const std::vector<double> half = {0.5, 0.5, 0.5};
  // tau = 1: each gain is the magnitude just produced.
  EXPECT_EQ(ridden(half, 3, 1, {1}, 3, 0.1), (std::vector<double>{0.5, 1, 0.5}));
  // tau = 2: gains 1, 3/4, then (2/3 + 3/4)/2.
  auto y = ridden(half, 3, 1, {2}, 3, 0.1);
  EXPECT_EQ(y[0], 0.5);
  EXPECT_EQ(y[1], 0.5 / 0.75);
  EXPECT_EQ(y[2], 0.5 / ((0.5 / 0.75 + (2 - 1) * 0.75) / 2));
  EXPECT_NEAR(y[2], 12.0 / 17, 1e-15);
  // The gain stops at the threshold.
  EXPECT_EQ(ridden({0.25, 0.25, 0.25}, 3, 1, {1}, 3, 0.5),
            (std::vector<double>{0.25, 0.5, 0.5}));
  // Two stages: the second divides 1 by 0.5 and compresses the 2.
  y = ridden(half, 3, 1, {1, 1}, 3, 0.1);
  const double r = limited(2, 2);
  EXPECT_NEAR(r, 1 + 2 * std::tanh(0.5), 1e-15);
  EXPECT_EQ(y, (std::vector<double>{0.5, r, 0.5 / r}));
}

TEST(GainriderCore, SoftLimiterIsOddContinuousAndBelowTheLimit) {
  for (double D : {0.5, 2.0, 99.0}) {
    EXPECT_EQ(ridden({3}, 1, 1, {1}, 1 + D, 0.1)[0], limited(3, D));
    EXPECT_NEAR(limited(3, D), 1 + D * std::tanh(2 / D), 1e-14);
    EXPECT_EQ(ridden({-3}, 1, 1, {1}, 1 + D, 0.1)[0], -limited(3, D));
    for (double v : {1.0, -1.0, 0.75, -1e-300})
      EXPECT_EQ(ridden({v}, 1, 1, {1}, 1 + D, 0.1)[0], v);
    // Just beyond 1 the slope is 1.
    EXPECT_NEAR(ridden({1 + 1e-9}, 1, 1, {1}, 1 + D, 0.1)[0], 1 + 1e-9, 1e-13);
    for (double a : {1.5, 10.0, 1e3, 1e300}) {
      const double out = ridden({a}, 1, 1, {1}, 1 + D, 0.1)[0];
      EXPECT_GT(out, 1.0);
      EXPECT_LE(out, 1 + D);
    }
    EXPECT_EQ(ridden({INFINITY}, 1, 1, {1}, 1 + D, 0.1)[0], 1 + D);
    EXPECT_EQ(ridden({-INFINITY}, 1, 1, {1}, 1 + D, 0.1)[0], -(1 + D));
  }
  // A -0 sample comes out as +0.
  EXPECT_FALSE(std::signbit(ridden({-0.0}, 1, 1, {1}, 3, 0.1)[0]));
}

TEST(GainriderCore, SteadyLevelsSettleWhereGainMeetsOutput) {
  const std::vector<double> quiet(5000, 0.01);
  EXPECT_NEAR(ridden(quiet, 5000, 1, {10}, 100, 1e-12).back(), 0.1, 1e-12);
  EXPECT_NEAR(ridden(quiet, 5000, 1, {10, 10}, 100, 1e-12).back(), std::pow(0.01, 0.25), 1e-12);
  EXPECT_NEAR(ridden(quiet, 5000, 1, {10}, 100, 0.5).back(), 0.02, 1e-12);
}

TEST(GainriderCore, StagesChainAndColumnsStartAfresh) {
  std::mt19937 rng(5);
  std::normal_distribution<double> normal(0, 3);
  const long M = 500;
  std::vector<double> a(M), b(M);
  for (double& v : a) v = normal(rng);
  for (double& v : b) v = normal(rng) * 0.01;
  const std::vector<double> tau = {1.5, 20, 3};
  // A cascade is its stages one after the other.
  std::vector<double> staged = a;
  for (double t : tau) staged = ridden(staged, M, 1, {t}, 4, 0.05);
  expect_bits_equal(ridden(a, M, 1, tau, 4, 0.05), staged);
  // Two columns give what each gives alone.
  std::vector<double> both = a;
  both.insert(both.end(), b.begin(), b.end());
  std::vector<double> apart = ridden(a, M, 1, tau, 4, 0.05);
  std::vector<double> second = ridden(b, M, 1, tau, 4, 0.05);
  apart.insert(apart.end(), second.begin(), second.end());
  expect_bits_equal(ridden(both, M, 2, tau, 4, 0.05), apart);
  for (double v : apart) EXPECT_LE(std::fabs(v), 4.0);
}

TEST(GainriderCore, NanSampleLeavesGainsAtTheThreshold) {
  auto y = ridden({0.5, NAN, 0.5}, 3, 1, {1}, 3, 0.1);
  EXPECT_TRUE(std::isnan(y[1]));
  EXPECT_EQ(y[2], limited(0.5 / 0.1, 2));
  // A NaN limit passes on NaN only where the limiter is reached.
  y = ridden({0.5, 3}, 2, 1, {1}, NAN, 0.1);
  EXPECT_EQ(y[0], 0.5);
  EXPECT_TRUE(std::isnan(y[1]));
}

// ---- through the stand-in host -------------------------------------------

// The gain update is written (t + (tau - 1) g) / tau; an algebraically equal
// form such as g + (t - g) / tau rounds differently. With time constants of 1
// or 2 both forms are often exact, so this compares the whole call on a long
// random signal with fractional time constants against a transcription of
// the documented steps, kept apart from the module's code.
TEST(GainriderGateway, RandomSignalsMatchTheWrittenStepsBitForBit) {
  std::mt19937 rng(17);
  std::normal_distribution<double> normal(0, 1);
  std::uniform_real_distribution<double> level(-4, 2);
  const size_t M = 20000, N = 3;
  const std::vector<double> tau = {1.37, 7.9, 0.63, 31.1};
  const double limit = 3.5, threshold = 0.013;
  std::vector<double> x(M * N);
  for (size_t i = 0; i < x.size(); ++i) x[i] = normal(rng) * std::pow(10.0, level(rng));

  std::vector<double> want(x.size());
  for (size_t j = 0; j < N; ++j) {
    std::vector<double> g(tau.size(), 1.0);
    for (size_t i = 0; i < M; ++i) {
      double v = x[j * M + i];
      for (size_t m = 0; m < tau.size(); ++m) {
        v = v / g[m];
        const double a = std::fabs(v);
        if (a > 1) {
          const double D = limit - 1;
          const double e = std::exp(((a - 1) * (-2)) / D);
          const double r = (2 / (e + 1) - 1) * D + 1;
          v = v > 0 ? r : -r;
        }
        const double t = std::fabs(v) >= threshold ? std::fabs(v) : threshold;
        g[m] = (t + (tau[m] - 1) * g[m]) / tau[m];
      }
      want[j * M + i] = v;
    }
  }

  auto r = call(1, {matrix(M, N, x), row(tau), scalar(limit), scalar(threshold)});
  ASSERT_FALSE(r.failed) << r.error;
  expect_bits_equal(r.out(0).values(), want);
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(GainriderGateway, OutputHasTheShapeOfTheData) {
  auto r = call(1, {matrix(3, 2, {0.5, 0.5, 0.5, 0.5, 0.5, 0.5}), scalar(1), scalar(3),
                    scalar(0.1)});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).rows(), 3u);
  EXPECT_EQ(r.out(0).columns(), 2u);
  EXPECT_EQ(r.out(0).values(), (std::vector<double>{0.5, 1, 0.5, 0.5, 1, 0.5}));
  EXPECT_EQ(r.released_on_exit, 0u);  // the gains were freed by the gateway
  for (auto shape : {std::pair<size_t, size_t>{0, 0}, {0, 3}, {2, 0}}) {
    r = call(1, {empty(shape.first, shape.second), scalar(1), scalar(3), scalar(0.1)});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.out(0).rows(), shape.first);
    EXPECT_EQ(r.out(0).columns(), shape.second);
  }
}

TEST(GainriderGateway, TimeConstantsByTheLongerSide) {
  auto x = column({0.5, 0.5, 0.5});
  auto two = call(1, {x, row({1, 1}), scalar(3), scalar(0.1)});
  auto cut = call(1, {x, matrix(2, 2, {1, 1, -5, -5}), scalar(3), scalar(0.1)});
  ASSERT_FALSE(cut.failed) << cut.error;  // only the first two are constants
  EXPECT_EQ(cut.out(0).values(), two.out(0).values());
}

TEST(GainriderGateway, MessagesInTheirOrder) {
  auto x = column({1, 2});
  auto one = scalar(1);
  EXPECT_EQ(error_of({x, one, scalar(3)}),
            "adaptive level  : input samples, vector of time constants, upper dynamic limit and "
            "quietness threshold must be given");
  const std::string no_tau = "Vector of time constants must be given";
  EXPECT_EQ(error_of({x, empty(), scalar(3), scalar(0.1)}), no_tau);
  EXPECT_EQ(error_of({x, empty(0, 3), scalar(3), scalar(0.1)}), no_tau);
  EXPECT_EQ(error_of({x, empty(2, 0), scalar(3), scalar(0.1)}), no_tau);
  const std::string bad_tau = "Time constants must be positive";
  EXPECT_EQ(error_of({x, row({2, 0}), scalar(0.5), scalar(0)}), bad_tau);
  EXPECT_EQ(error_of({x, row({2, -1}), scalar(3), scalar(0.1)}), bad_tau);
  EXPECT_FALSE(call(1, {x, row({2, NAN}), scalar(3), scalar(0.1)}).failed);
  EXPECT_FALSE(call(1, {x, row({2, 0.5}), scalar(3), scalar(0.1)}).failed);
  const std::string bad_limit = "Dynamic limit must be greater 1";
  EXPECT_EQ(error_of({x, one, scalar(1), scalar(0)}), bad_limit);
  EXPECT_EQ(error_of({x, one, scalar(0.5), scalar(0.1)}), bad_limit);
  EXPECT_FALSE(call(1, {x, one, scalar(1.5), scalar(0.1)}).failed);
  EXPECT_FALSE(call(1, {x, one, scalar(NAN), scalar(0.1)}).failed);
  EXPECT_EQ(error_of({x, one, scalar(3), scalar(0)}), "Threshold must be positive");
  EXPECT_EQ(error_of({x, one, scalar(3), scalar(-1)}), "Threshold must be positive");
  EXPECT_FALSE(call(1, {x, one, scalar(3), scalar(NAN)}).failed);
  // Empty scalars are refused where they would be read.
  EXPECT_EQ(error_of({x, one, empty(), empty()}), "Input 3 must not be empty");
  EXPECT_EQ(error_of({x, one, scalar(3), empty(0, 1)}), "Input 4 must not be empty");
  EXPECT_EQ(error_of({x, row({0}), empty(), empty()}), bad_tau);
  EXPECT_EQ(error_of({x, one, scalar(1), empty()}), bad_limit);
  // Further inputs are ignored.
  EXPECT_FALSE(call(1, {x, one, scalar(3), scalar(0.1), char_array("more")}).failed);
}

TEST(GainriderGateway, NonDoubleInputsAreRefusedBeforeReading) {
  auto x = column({1, 2});
  auto one = scalar(1);
  EXPECT_EQ(error_of({typed(mxSINGLE_CLASS, {2, 1}), one, scalar(3), scalar(0.1)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({x, typed(mxINT32_CLASS, {1, 1}, {1}), scalar(3), scalar(0.1)}),
            "Input 2 must be a real double array");
  EXPECT_EQ(error_of({x, one, typed(mxLOGICAL_CLASS, {1, 1}, {1}), scalar(0.1)}),
            "Input 3 must be a real double array");
  EXPECT_EQ(error_of({x, one, scalar(3), complex_matrix(1, 1, {0.1}, {1})}),
            "Input 4 must be a real double array");
  EXPECT_EQ(error_of({sparse_matrix(5, 1, {2}), one, scalar(3), scalar(0.1)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {2, 1})}).substr(0, 16), "adaptive level  ");
}

TEST(GainriderGateway, FailedGainAllocationEndsTheCallCleanly) {
  auto inputs = std::vector<mxArray>{column({1, 2}), row({1, 2}), scalar(3), scalar(0.1)};
  fail_allocation_after(1);
  auto r = call(1, inputs);
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.released_on_exit, 0u);
  fail_allocation_after(1, allocation_failure::null_pointer);
  r = call(1, inputs);
  EXPECT_EQ(r.error, "Out of memory for the stage gains");
}

}  // namespace
