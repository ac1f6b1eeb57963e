#include "apen/apen.cpp"

#include <gtest/gtest.h>

#include <random>

#include "host/gateway_checks.h"
#include "neighbours/test_data.h"

namespace {

using namespace standin;
using namespace gateway_checks;

// AE straight from the definition: every template compared with every
// other (itself included), the logs summed in order of i.
double by_definition(const std::vector<double>& x, size_t m, double r, size_t tau) {
  double phi[2];
  for (size_t L = m; L <= m + 1; ++L) {
    const size_t n = x.size() - (L - 1) * tau;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
      uint64_t count = 0;
      for (size_t j = 0; j < n; ++j) {
        bool within = true;
        for (size_t c = 0; c < L && within; ++c)
          within = std::fabs(x[i + c * tau] - x[j + c * tau]) <= r;
        count += within;
      }
      sum = sum + std::log(double(count) / double(n));
    }
    phi[L - m] = sum / double(n);
  }
  return phi[0] - phi[1];
}

// Random series of every kind, also quantised ones full of ties; radii
// among the series' own differences, where <= decides; on 1, 2 and 3
// threads; last a long one.
TEST(ApenCore, AgreesWithTheDefinition) {
  std::mt19937 rng(51);
  for (int trial = 0; trial < 300; ++trial) {
    const auto kind = test_data::kind(trial % int(test_data::kind::count));
    const size_t m = 1 + rng() % 4, tau = 1 + rng() % 3;
    const size_t N = m * tau + 1 + rng() % (trial % 20 == 0 ? 1500 : 200);
    const auto x = test_data::points(kind, N, 1, rng);
    double r = std::fabs(x[rng() % N] - x[rng() % N]);
    if (trial % 10 == 0) r = 0;
    if (trial % 10 == 1) r = INFINITY;
    SCOPED_TRACE(testing::Message() << test_data::name(kind) << " N " << N << " m " << m
                                    << " tau " << tau << " r " << r);
    EXPECT_TRUE(same(approximate_entropy(x.data(), N, m, r, tau, 1 + trial % 3),
                     by_definition(x, m, r, tau)));
    if (HasFailure()) return;
  }
  std::uniform_int_distribution<int> level(0, 20);
  std::vector<double> x(5000);
  for (double& v : x) v = level(rng);
  const double want = by_definition(x, 2, 3, 2);
  for (int threads : {1, 2, 3})
    EXPECT_TRUE(same(approximate_entropy(x.data(), x.size(), 2, 3, 2, threads), want)) << threads;
}

// For independent Gaussian samples (sigma = 1) a template matches in each
// coordinate independently, with q(v) = P(|v - Y| <= r) = Phi(v + r) -
// Phi(v - r) for its value v; so C_i^L tends to the product of q over its
// coordinates and AE to -E[ln q(X)], an integral done here by Simpson's
// rule. The estimate's standard error comes from ten independent tenths of
// the series; the bias of the log of a count of about lambda = n E[q]^(m+1)
// matches is of order 1 / lambda.
TEST(ApenTheory, WhiteNoise) {
  const size_t N = 40000;
  std::mt19937_64 rng(52);
  std::normal_distribution<double> normal;
  std::vector<double> x(N);
  for (double& v : x) v = normal(rng);
  const double r = 0.5;
  const auto Phi = [](double v) { return 0.5 * std::erfc(-v / std::sqrt(2.0)); };
  const auto q = [&](double v) { return Phi(v + r) - Phi(v - r); };
  const int steps = 4000;
  const double h = 16.0 / steps;
  double integral = 0, mean_q = 0;
  for (int k = 0; k <= steps; ++k) {
    const double v = -8 + k * h, weight = k == 0 || k == steps ? 1 : k % 2 ? 4 : 2;
    const double density = std::exp(-v * v / 2) / std::sqrt(2 * M_PI);
    integral += weight * density * -std::log(q(v));
    mean_q += weight * density * q(v);
  }
  integral *= h / 3;
  mean_q *= h / 3;
  const double whole = approximate_entropy(x.data(), N, 2, r, 1, 2);
  double sum = 0, squares = 0;
  for (size_t part = 0; part < 10; ++part) {
    const double ae = approximate_entropy(x.data() + part * N / 10, N / 10, 2, r, 1, 2);
    sum += ae;
    squares += ae * ae;
  }
  const double error = std::sqrt((squares - sum * sum / 10) / 9) / std::sqrt(10.0);
  const double bias = 1 / (double(N) * mean_q * mean_q * mean_q);
  EXPECT_NEAR(whole, integral, 4 * error + bias);
}

// A constant series: every C_i is 1, AE = 0.
TEST(ApenTheory, ConstantSeries) {
  const std::vector<double> x(300, -2.5);
  EXPECT_EQ(approximate_entropy(x.data(), x.size(), 2, 0, 3, 2), 0);
}

// ---- through the stand-in host ------------------------------------------------

TEST(ApenGateway, DefaultsInputsAndAllocation) {
  std::mt19937 rng(53);
  const auto x = test_data::points(test_data::kind::henon, 300, 1, rng);
  const double r = 0.2 * neighbours::spread_of(x.data(), x.size());
  const std::vector<mxArray> spelled = {column(x), scalar(2), scalar(r), scalar(1)};
  const double defaults = by_definition(x, 2, r, 1);
  for (long given = 1; given <= 4; ++given) {
    SCOPED_TRACE(testing::Message() << given << " inputs");
    expect_outputs(call(1, {spelled.begin(), spelled.begin() + given}), {{defaults}}, 1);
  }
  expect_outputs(call(1, {column(x), scalar(2), empty()}), {{defaults}}, 1);
  expect_outputs(call(1, {row(x), scalar(3), scalar(0.1), scalar(2)}),
                 {{by_definition(x, 3, 0.1, 2)}}, 1);
  expect_only_offered_slots_written(1, {column(x), scalar(2)});
  expect_allocation_failures_end_cleanly(1, {column(x), scalar(2)}, 1);
}

TEST(ApenGateway, MessagesInTheirOrder) {
  const mxArray x = column(std::vector<double>(30, 1.0)), one = scalar(1), zero = scalar(0);
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{}, "x must be given"},
      {{x, one, one, one, one}, "At most four inputs: x, m, r and tau"},
      {{char_array("abc")}, "Input 1 must be a real double array"},
      {{x, one, one, typed(mxINT32_CLASS, {1, 1})}, "Input 4 must be a real double array"},
      {{matrix(2, 2, {1, 2, 3, 4})}, "x must be a vector"},
      {{row({1, INFINITY})}, "x must not hold NaN or Inf"},
      {{x, empty()}, "Input 2 must not be empty"},
      {{x, scalar(-1)}, "m must be a whole number, at least 1"},
      {{x, one, scalar(-INFINITY)}, "r must be a number, at least 0"},
      {{x, one, one, scalar(1.5)}, "tau must be a whole number, at least 1"},
      {{x, scalar(2), one, scalar(15)}, "x is too short: m = 2 and tau = 15 need at least 31 samples"},
      {{empty()}, "x is too short: m = 2 and tau = 1 need at least 3 samples"},
  };
  for (const auto& [inputs, message] : cases) EXPECT_EQ(call(1, inputs).error, message);
  EXPECT_FALSE(call(1, {x, scalar(2), one, scalar(14)}).failed);
  EXPECT_FALSE(call(1, {x, scalar(29)}).failed);
}

}  // namespace
