#include "dfa/dfa.cpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "host/gateway_checks.h"

namespace {

using namespace standin;
using namespace gateway_checks;
using wide = long double;

// F2 of the window y[0 ... n-1] in extended precision, by another route: the
// columns 1, t, ..., t^order (t scaled into [-1, 1]) made orthonormal by
// Gram-Schmidt done twice, the window (less its first value, which the
// extended format takes off exactly for these windows) projected on them, and
// the residual formed and squared.
wide reference_f2(const double* y, size_t n, int order) {
  std::vector<std::vector<wide>> Q;
  for (int k = 0; k <= order; ++k) {
    std::vector<wide> column(n);
    for (size_t i = 0; i < n; ++i)
      column[i] = std::pow((wide(i) - wide(n - 1) / 2) / (wide(n) / 2), wide(k));
    for (int pass = 0; pass < 2; ++pass)
      for (const auto& e : Q) {
        wide dot = 0;
        for (size_t i = 0; i < n; ++i) dot += e[i] * column[i];
        for (size_t i = 0; i < n; ++i) column[i] -= dot * e[i];
      }
    wide norm = 0;
    for (wide v : column) norm += v * v;
    norm = std::sqrt(norm);
    for (wide& v : column) v /= norm;
    Q.push_back(column);
  }
  std::vector<wide> r(n);
  for (size_t i = 0; i < n; ++i) r[i] = wide(y[i]) - wide(y[0]);
  for (int pass = 0; pass < 2; ++pass)
    for (const auto& e : Q) {
      wide dot = 0;
      for (size_t i = 0; i < n; ++i) dot += e[i] * r[i];
      for (size_t i = 0; i < n; ++i) r[i] -= dot * e[i];
    }
  wide squares = 0;
  for (wide v : r) squares += v * v;
  return squares / wide(n);
}

// The spread of the window about its mean: the scale the results are held
// to.
double spread(const double* y, size_t n) {
  wide mean = 0, squares = 0;
  for (size_t i = 0; i < n; ++i) mean += y[i];
  mean /= wide(n);
  for (size_t i = 0; i < n; ++i) squares += (y[i] - mean) * (y[i] - mean);
  return double(std::sqrt(squares / wide(n)));
}

std::vector<double> white(size_t N, std::mt19937& rng) {
  std::normal_distribution<double> normal;
  std::vector<double> x(N);
  for (double& v : x) v = normal(rng);
  return x;
}

std::vector<double> cumulative(std::vector<double> x) {
  for (size_t t = 1; t < x.size(); ++t) x[t] += x[t - 1];
  return x;
}

// Windows of random walks, of polynomials of every degree up to the fit's
// (with noise far below their values, or none), far from zero or not: each
// window's F = sqrt(F2) within 1e-12 of the window's spread of the
// extended-precision fit's.
TEST(DfaCore, WindowsAgreeWithAnExtendedPrecisionFit) {
  std::mt19937 rng(61);
  std::normal_distribution<double> normal;
  for (int trial = 0; trial < 400; ++trial) {
    const int order = trial % 6;
    const size_t n = size_t(order + 2) + rng() % (trial % 5 == 0 ? 3000 : 60);
    const double offset = trial % 3 == 0 ? 0 : std::ldexp(1.0, int(rng() % 40)) * (trial % 2 ? 1 : -1);
    const int kind = (trial / 6) % 3;  // walk, polynomial, polynomial with tiny noise
    std::vector<double> y(n);
    double c[6];
    for (double& v : c) v = normal(rng);
    for (size_t i = 0; i < n; ++i) {
      const double s = (double(i) - double(n) / 3) / double(n);
      double p = 0;
      for (int k = std::min(order, kind == 0 ? 0 : order); k >= 0; --k) p = p * s + c[k];
      y[i] = offset + (kind == 0 ? (i ? y[i - 1] - offset : 0) + normal(rng) : 1e3 * p) +
             (kind == 2 ? 1e-6 * normal(rng) : 0);
    }
    const basis B = basis_for(n, order);
    const double want = double(std::sqrt(reference_f2(y.data(), n, order)));
    double F = std::sqrt(window_f2(y.data(), B, order));
    EXPECT_LE(std::fabs(F - want), 1e-12 * spread(y.data(), n))
        << "n " << n << " order " << order << " offset " << offset << " kind " << kind << ": " << F
        << ", want " << want;
    if (n <= short_window) {  // also as one of eight short windows side by side
      const double* windows[lanes];
      double F2[lanes];
      for (int l = 0; l < lanes; ++l) windows[l] = y.data();
      short_windows_f2(windows, B, order, F2);
      F = std::sqrt(F2[5]);
      EXPECT_LE(std::fabs(F - want), 1e-12 * spread(y.data(), n)) << "short, n " << n << " order " << order;
    }
    if (HasFailure()) return;
  }
}

// The windows, their order and the moments over them, from the reference
// fits; then the same bits on 1, 2 and 3 threads.
TEST(DfaCore, FluctuationFunctionFromItsWindows) {
  std::mt19937 rng(62);
  const auto x = white(3001, rng);
  std::vector<double> Y(x.size());
  profile(x.data(), x.size(), Y.data());
  // The profile as defined: mu and the running sum in order.
  double mu = 0, sum = 0;
  for (double v : x) mu = mu + v;
  mu = mu / double(x.size());
  for (size_t t = 0; t < x.size(); ++t) {
    sum = sum + (x[t] - mu);
    ASSERT_EQ(Y[t], sum);
  }
  const std::vector<double> n = {5, 7, 100, 1000, 1501, 3001}, q = {2, 0, -3, 1, 5};
  for (int order : {0, 1, 3}) {
    std::vector<double> F(n.size() * q.size());
    fluctuation_function(x.data(), x.size(), n.data(), n.size(), order, q.data(), q.size(),
                         F.data(), 1);
    for (size_t s = 0; s < n.size(); ++s) {
      const size_t size = size_t(n[s]), K = x.size() / size;
      std::vector<wide> F2;
      for (size_t v = 0; v < K; ++v) F2.push_back(reference_f2(Y.data() + v * size, size, order));
      for (size_t j = 1; j <= K; ++j)
        F2.push_back(reference_f2(Y.data() + x.size() - j * size, size, order));
      for (size_t m = 0; m < q.size(); ++m) {
        wide total = 0;
        for (wide f2 : F2) total += q[m] == 0 ? std::log(f2) : std::pow(f2, wide(q[m]) / 2);
        total /= wide(F2.size());
        const double want = double(q[m] == 0 ? std::exp(total / 2) : std::pow(total, 1 / wide(q[m])));
        EXPECT_NEAR(F[s + m * n.size()], want, 1e-10 * want)
            << "order " << order << " n " << size << " q " << q[m];
      }
    }
  }
  const auto walk = cumulative(white(400000, rng));
  const std::vector<double> sizes = {5, 64, 1000, 40000, 400000};
  std::vector<double> want(sizes.size() * 2), got(want.size());
  const double moments[] = {2, -1};
  fluctuation_function(walk.data(), walk.size(), sizes.data(), sizes.size(), 2, moments, 2,
                       want.data(), 1);
  for (int threads : {2, 3}) {
    fluctuation_function(walk.data(), walk.size(), sizes.data(), sizes.size(), 2, moments, 2,
                         got.data(), threads);
    expect_same({got}, {want});
  }
  // Sizes in any order, again, and more windows than samples (several
  // batches): each size gives what it gives when asked alone.
  const std::vector<double> mixed = {64, 4, 1000, 4, 5, 400000, 6, 4};
  std::vector<double> together(mixed.size() * 2), alone(2);
  for (int threads : {1, 3}) {
    fluctuation_function(walk.data(), walk.size(), mixed.data(), mixed.size(), 2, moments, 2,
                         together.data(), threads);
    for (size_t s = 0; s < mixed.size(); ++s) {
      fluctuation_function(walk.data(), walk.size(), &mixed[s], 1, 2, moments, 2, alone.data(), 1);
      expect_same({{together[s], together[s + mixed.size()]}}, {alone});
    }
  }
}

// The slope of log F against log n.
double slope(const std::vector<double>& n, const std::vector<double>& F) {
  double mx = 0, my = 0, sxy = 0, sxx = 0;
  for (size_t i = 0; i < n.size(); ++i) mx += std::log(n[i]) / double(n.size()), my += std::log(F[i]) / double(n.size());
  for (size_t i = 0; i < n.size(); ++i) {
    sxy += (std::log(n[i]) - mx) * (std::log(F[i]) - my);
    sxx += (std::log(n[i]) - mx) * (std::log(n[i]) - mx);
  }
  return sxy / sxx;
}

// Kantelhardt et al.: alpha = 0.5 for white noise, 1.5 for its cumulative
// sum; a monofractal's h(q) is the same for every q; a trend of degree
// order - 1 in x (order in the profile) leaves nothing but rounding.
TEST(DfaTheory, KnownExponentsAndTrends) {
  std::mt19937 rng(63);
  const auto x = white(100000, rng);
  const std::vector<double> n = {16, 32, 64, 128, 256, 512, 1024, 2048};
  const std::vector<double> q = {-3, -1, 0, 1, 2, 3};
  std::vector<double> F(n.size() * q.size());
  fluctuation_function(x.data(), x.size(), n.data(), n.size(), 1, q.data(), q.size(), F.data(), 2);
  for (size_t m = 0; m < q.size(); ++m) {
    const double h = slope(n, std::vector<double>(F.begin() + long(m * n.size()), F.begin() + long((m + 1) * n.size())));
    EXPECT_NEAR(h, 0.5, 0.05) << "q " << q[m];
  }
  const auto walk = cumulative(x);
  std::vector<double> G(n.size());
  const double two = 2;
  fluctuation_function(walk.data(), walk.size(), n.data(), n.size(), 2, &two, 1, G.data(), 2);
  EXPECT_NEAR(slope(n, G), 1.5, 0.05);

  for (int order = 1; order <= 5; ++order) {
    std::vector<double> trend(5000);
    for (size_t t = 0; t < trend.size(); ++t) {
      const double s = double(t) / 1000;
      trend[t] = 0.25;
      for (int k = 1; k < order; ++k) trend[t] += std::pow(s, k) * (k % 2 ? 3 : -2);
    }
    const std::vector<double> sizes = {double(order + 2), 50, 1000, 5000};
    std::vector<double> Fz(sizes.size());
    fluctuation_function(trend.data(), trend.size(), sizes.data(), sizes.size(), order, &two, 1,
                         Fz.data(), 1);
    std::vector<double> Y(trend.size());
    profile(trend.data(), trend.size(), Y.data());
    for (size_t s = 0; s < sizes.size(); ++s)
      EXPECT_LE(Fz[s], 1e-12 * spread(Y.data(), size_t(sizes[s]))) << "order " << order << " n " << sizes[s];
  }
}

// ---- through the stand-in host ------------------------------------------------

TEST(DfaGateway, DefaultsInputsOutputsAndAllocation) {
  std::mt19937 rng(64);
  const auto x = white(700, rng);
  const std::vector<double> n = {3, 10, 700, 50};
  const auto core = [&](int order, std::vector<double> q) {
    std::vector<double> F(n.size() * q.size());
    fluctuation_function(x.data(), x.size(), n.data(), n.size(), order, q.data(), q.size(), F.data(), 1);
    return F;
  };
  const std::vector<double> defaults = core(1, {2});
  for (const auto& inputs : {std::vector<mxArray>{column(x), row(n)},
                             std::vector<mxArray>{row(x), column(n), scalar(1)},
                             std::vector<mxArray>{column(x), row(n), scalar(1), scalar(2)}}) {
    const call_result result = call(1, inputs);
    ASSERT_FALSE(result.failed) << result.error;
    EXPECT_EQ(result.out(0).rows(), n.size());
    EXPECT_EQ(result.out(0).columns(), 1u);
    expect_same({result.out(0).values()}, {defaults});
  }
  const call_result several = call(1, {column(x), row(n), scalar(0), row({0, 2, -2})});
  ASSERT_FALSE(several.failed) << several.error;
  EXPECT_EQ(several.out(0).rows(), 4u);
  EXPECT_EQ(several.out(0).columns(), 3u);
  expect_same({several.out(0).values()}, {core(0, {0, 2, -2})});
  // No sizes, or no moments: an empty F of the right shape.
  EXPECT_EQ(call(1, {column(x), empty(1, 0), scalar(1), row({1, 2})}).out(0).columns(), 2u);
  EXPECT_EQ(call(1, {column(x), row(n), scalar(1), empty()}).out(0).rows(), 4u);
  expect_only_offered_slots_written(1, {column(x), row(n)});
  expect_allocation_failures_end_cleanly(1, {column(x), row(n)}, 1);
}

TEST(DfaGateway, MessagesInTheirOrder) {
  const mxArray x = column(std::vector<double>(30, 1.0)), ten = scalar(10), one = scalar(1);
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{x}, "x and n must be given"},
      {{x, ten, one, one, one}, "At most four inputs: x, n, order and q"},
      {{typed(mxSINGLE_CLASS, {30, 1}), ten}, "Input 1 must be a real double array"},
      {{x, ten, one, typed(mxINT8_CLASS, {1, 1}, {2})}, "Input 4 must be a real double array"},
      {{matrix(2, 2, {1, 2, 3, 4}), ten}, "x must be a vector"},
      {{row({1, NAN, 2}), scalar(NAN)}, "x must not hold NaN or Inf"},
      {{x, ten, empty()}, "Input 3 must not be empty"},
      {{x, scalar(NAN), scalar(6)}, "order must be a whole number from 0 to 5"},
      {{x, ten, scalar(-1)}, "order must be a whole number from 0 to 5"},
      {{x, ten, scalar(0.5)}, "order must be a whole number from 0 to 5"},
      {{x, row({10, 2}), one, scalar(NAN)}, "n must hold whole numbers from order + 2 = 3 to the length of x, 30"},
      {{x, row({10, 31})}, "n must hold whole numbers from order + 2 = 3 to the length of x, 30"},
      {{x, scalar(7.5), scalar(5)}, "n must hold whole numbers from order + 2 = 7 to the length of x, 30"},
      {{x, scalar(INFINITY), scalar(0)}, "n must hold whole numbers from order + 2 = 2 to the length of x, 30"},
      {{row({1, 2}), scalar(2), scalar(1)}, "n must hold whole numbers from order + 2 = 3 to the length of x, 2"},
      {{x, ten, one, row({2, INFINITY})}, "q must not hold NaN or Inf"},
      {{x, ten, one, scalar(NAN)}, "q must not hold NaN or Inf"},
  };
  for (const auto& [inputs, message] : cases) EXPECT_EQ(call(1, inputs).error, message);
  EXPECT_FALSE(call(1, {x, row({3, 30}), one}).failed);
}

}  // namespace
