#include "sampen/sampen.cpp"

#include <gtest/gtest.h>

#include <complex>
#include <random>

#include "host/gateway_checks.h"
#include "neighbours/test_data.h"

namespace {

using namespace standin;
using namespace gateway_checks;

// SE, A and B straight from the definition: the coarse-grained series, then
// every pair of templates compared coordinate by coordinate.
columns by_definition(const std::vector<double>& x, size_t m, double r, size_t tau, uint64_t w,
                      const std::vector<size_t>& scales) {
  columns out(3);
  for (const size_t s : scales) {
    std::vector<double> y(x.size() / s);
    for (size_t j = 0; j < y.size(); ++j) {
      double sum = 0;
      for (size_t i = 0; i < s; ++i) sum = sum + x[j * s + i];
      y[j] = sum / double(s);
    }
    const size_t T = y.size() - m * tau;
    uint64_t A = 0, B = 0;
    for (size_t i = 0; i < T; ++i)
      for (size_t j = i + 1; j < T; ++j) {
        if (j - i <= w) continue;
        bool within = true;
        for (size_t c = 0; c < m && within; ++c)
          within = std::fabs(y[i + c * tau] - y[j + c * tau]) <= r;
        B += within;
        A += within && std::fabs(y[i + m * tau] - y[j + m * tau]) <= r;
      }
    const double a = double(A), b = double(B);
    out[0].push_back(B > 0 ? -std::log(a / b) + 0.0 : NAN);
    out[1].push_back(a);
    out[2].push_back(b);
  }
  return out;
}

columns from_core(const std::vector<double>& x, size_t m, double r, size_t tau, uint64_t w,
                  const std::vector<size_t>& scales, int threads) {
  columns c(3, unset_column(scales.size()));
  EXPECT_EQ(sample_entropy(x.data(), x.size(), m, r, tau, w, scales.data(), scales.size(),
                           c[0].data(), c[1].data(), c[2].data(), threads),
            scales.size());
  return c;
}

// Random series of every kind, also quantised ones full of ties; radii
// among the series' own differences, where <= decides; windows, delays and
// scales at random, on 1, 2 and 3 threads; last a long one.
TEST(SampenCore, AgreesWithTheDefinition) {
  std::mt19937 rng(41);
  for (int trial = 0; trial < 300; ++trial) {
    const auto kind = test_data::kind(trial % int(test_data::kind::count));
    const size_t m = 1 + rng() % 4, tau = 1 + rng() % 3;
    const uint64_t w = rng() % 3 == 0 ? 0 : rng() % 30;
    std::vector<size_t> scales{1};
    if (kind != test_data::kind::huge)  // sums of those overflow
      for (size_t k = rng() % 4; k > 0; --k) scales.push_back(1 + rng() % 4);
    const size_t N = 4 * (m * tau + 2) + rng() % (trial % 20 == 0 ? 2000 : 300);
    const auto x = test_data::points(kind, N, 1, rng);
    double r = std::fabs(x[rng() % N] - x[rng() % N]);
    if (trial % 10 == 0) r = 0;
    if (trial % 10 == 1) r = INFINITY;
    SCOPED_TRACE(testing::Message() << test_data::name(kind) << " N " << N << " m " << m
                                    << " tau " << tau << " w " << w << " r " << r);
    expect_same(from_core(x, m, r, tau, w, scales, 1 + trial % 3),
                by_definition(x, m, r, tau, w, scales));
    if (HasFailure()) return;
  }
  std::uniform_int_distribution<int> level(0, 20);
  std::vector<double> x(6000);
  for (double& v : x) v = level(rng);  // heartbeat-like whole numbers
  const columns want = by_definition(x, 2, 3, 1, 2, {1, 2});
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(testing::Message() << threads << " threads");
    expect_same(from_core(x, 2, 3, 1, 2, {1, 2}, threads), want);
  }
}

std::vector<double> gaussian_noise(size_t N, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> normal;
  std::vector<double> x(N);
  for (double& v : x) v = normal(rng);
  return x;
}

// For independent Gaussian samples of spread sigma, two templates match in
// each coordinate independently with p = P(|X - Y| <= r) = erf(r / (2
// sigma)), so A / B estimates p and SE tends to -ln p: near 2.18 at
// r = 0.2. Coarse-graining at scale s leaves Gaussian samples of spread
// 1 / sqrt(s), so SE(s) = -ln erf(r sqrt(s) / 2) falls with s (2.185 at
// s = 1). The
// estimate's standard error comes from the series itself: SE of ten
// independent tenths spreads sqrt(10) times as much as SE of the whole.
TEST(SampenTheory, WhiteNoiseAtEveryScale) {
  const size_t N = 50000;
  const auto x = gaussian_noise(N, 42);
  const double r = 0.2;
  const std::vector<size_t> scales = {1, 2, 5, 10};
  const columns whole = from_core(x, 2, r, 1, 0, scales, 2);
  std::vector<double> sum(scales.size(), 0), squares(scales.size(), 0);
  for (size_t part = 0; part < 10; ++part) {
    const std::vector<double> tenth(x.begin() + long(part * N / 10),
                                    x.begin() + long((part + 1) * N / 10));
    const columns some = from_core(tenth, 2, r, 1, 0, scales, 2);
    for (size_t k = 0; k < scales.size(); ++k) {
      sum[k] += some[0][k];
      squares[k] += some[0][k] * some[0][k];
    }
  }
  double previous = INFINITY;
  for (size_t k = 0; k < scales.size(); ++k) {
    const double want = -std::log(std::erf(r * std::sqrt(double(scales[k])) / 2));
    const double spread = std::sqrt((squares[k] - sum[k] * sum[k] / 10) / 9);
    const double error = spread / std::sqrt(10.0);
    EXPECT_NEAR(whole[0][k], want, 4 * error) << "scale " << scales[k];
    EXPECT_LT(whole[0][k], previous) << "scale " << scales[k];
    previous = whole[0][k];
  }
}

// In place FFT of a power-of-two length (sign -1 forward, +1 inverse,
// unscaled).
void fft(std::vector<std::complex<double>>& a, int sign) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double angle = sign * 2 * M_PI / double(len);
    for (size_t i = 0; i < n; i += len)
      for (size_t k = 0; k < len / 2; ++k) {
        const std::complex<double> w = std::polar(1.0, angle * double(k));
        const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
  }
}

// 1/f noise: white noise whose spectrum is shaped to amplitude 1 / sqrt(f).
std::vector<double> pink_noise(size_t N, unsigned seed) {
  const auto white = gaussian_noise(N, seed);
  std::vector<std::complex<double>> a(white.begin(), white.end());
  fft(a, -1);
  a[0] = 0;
  for (size_t k = 1; k < N; ++k) a[k] /= std::sqrt(double(std::min(k, N - k)));
  fft(a, 1);
  std::vector<double> x(N);
  for (size_t i = 0; i < N; ++i) x[i] = a[i].real();
  return x;
}

// Costa et al. 2002: coarse-graining white noise removes its variance, and
// its entropy falls with the scale; 1/f noise is alike at every scale, and
// its entropy stays flat. With r = 0.15 sigma (as there), over scales 1 ...
// 20: white noise falls by more than one nat (theory: 2.51 to 0.70), 1/f
// noise moves by less than a fifth of that.
TEST(SampenTheory, MultiscaleWhiteNoiseFallsOneOverFStaysFlat) {
  const size_t N = 1 << 15;
  std::vector<size_t> scales(20);
  for (size_t s = 0; s < 20; ++s) scales[s] = s + 1;
  const auto spread = [&](const columns& c) {
    const auto [low, high] = std::minmax_element(c[0].begin(), c[0].end());
    return *high - *low;
  };
  const auto white = gaussian_noise(N, 43);
  const columns w = from_core(white, 2, 0.15 * neighbours::spread_of(white.data(), N), 1, 0,
                              scales, 2);
  EXPECT_GT(w[0][0] - w[0][19], 1.0);
  const auto pink = pink_noise(N, 44);
  const columns p = from_core(pink, 2, 0.15 * neighbours::spread_of(pink.data(), N), 1, 0,
                              scales, 2);
  EXPECT_LT(spread(p), (w[0][0] - w[0][19]) / 5);
  for (size_t k = 0; k < 20; ++k) EXPECT_TRUE(std::isfinite(p[0][k])) << k;
}

// A constant series: every pair matches, A = B = the pairs outside the
// window, and SE = +0. A window wider than the series leaves no pair: NaN.
TEST(SampenTheory, ConstantSeriesAndWideWindow) {
  const std::vector<double> x(500, 3.25);
  for (const uint64_t w : {0, 7}) {
    const columns c = from_core(x, 2, 0, 1, w, {1, 3}, 2);
    for (size_t k = 0; k < 2; ++k) {
      const double T = double(x.size() / (k ? 3 : 1) - 2);
      EXPECT_EQ(c[2][k], (T - double(w)) * (T - double(w) - 1) / 2);
      EXPECT_EQ(c[1][k], c[2][k]);
      EXPECT_EQ(c[0][k], 0);
      EXPECT_FALSE(std::signbit(c[0][k]));
    }
  }
  const columns wide = from_core(x, 2, 1, 1, 501, {1}, 2);
  EXPECT_EQ(wide[1][0], 0);
  EXPECT_EQ(wide[2][0], 0);
  EXPECT_TRUE(std::isnan(wide[0][0]));
}

// Whole numbers 0, 1, 0, 1, ...: at r = 1 every pair is within r, its
// difference of 1 included (<=); just below 1 only the pairs of equal
// parity are. A pair of parts that never match gives A = 0 < B: Inf.
TEST(SampenTheory, TiesAtRCount) {
  std::vector<double> x(400);
  for (size_t i = 0; i < x.size(); ++i) x[i] = double(i % 2);
  const double T = 398;
  const columns at = from_core(x, 2, 1, 1, 0, {1}, 1);
  EXPECT_EQ(at[2][0], T * (T - 1) / 2);
  EXPECT_EQ(at[0][0], 0);
  const columns below = from_core(x, 2, std::nextafter(1.0, 0.0), 1, 0, {1}, 1);
  EXPECT_EQ(below[2][0], 2 * (T / 2) * (T / 2 - 1) / 2);
  EXPECT_EQ(below[1][0], below[2][0]);
  // 0, 1, 0, 3, 0, 5, ...: at m = 1, r = 0 the 0s match each other, but
  // the samples after them all differ: A = 0.
  for (size_t i = 0; i < x.size(); ++i) x[i] = i % 2 ? double(i) : 0;
  const columns never = from_core(x, 1, 0, 1, 0, {1}, 1);
  EXPECT_GT(never[2][0], 0);
  EXPECT_EQ(never[1][0], 0);
  EXPECT_EQ(never[0][0], INFINITY);
}

// ---- through the stand-in host ------------------------------------------------

TEST(SampenGateway, DefaultsInputsOutputSlotsAndAllocation) {
  std::mt19937 rng(45);
  const auto x = test_data::points(test_data::kind::henon, 400, 1, rng);
  const double r = 0.2 * neighbours::spread_of(x.data(), x.size());
  const std::vector<mxArray> spelled = {column(x), scalar(2), scalar(r), scalar(1),
                                        scalar(0), scalar(1)};
  const columns defaults = by_definition(x, 2, r, 1, 0, {1});
  for (long given = 1; given <= 6; ++given) {
    SCOPED_TRACE(testing::Message() << given << " inputs");
    expect_outputs(call(3, {spelled.begin(), spelled.begin() + given}), defaults, 3);
  }
  // An empty r is the default too; every input a value of its own, x as a
  // row, scales as a row.
  expect_outputs(call(3, {column(x), scalar(2), empty()}), defaults, 3);
  expect_outputs(call(3, {row(x), scalar(3), scalar(0.1), scalar(2), scalar(5), row({2, 1, 3})}),
                 by_definition(x, 3, 0.1, 2, 5, {2, 1, 3}), 3);
  const call_result none = call(3, {column(x), scalar(2), scalar(0.1), scalar(1), scalar(0),
                                    empty(1, 0)});
  ASSERT_FALSE(none.failed);
  EXPECT_EQ(none.out(0).values().size(), 0u);
  expect_only_offered_slots_written(3, {column(x), scalar(2)});
  expect_allocation_failures_end_cleanly(3, {column(x), scalar(2)}, 3);
}

TEST(SampenGateway, MessagesInTheirOrder) {
  const mxArray x = column(std::vector<double>(30, 1.0)), one = scalar(1), zero = scalar(0);
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{}, "x must be given"},
      {{x, one, one, one, zero, one, one}, "At most six inputs: x, m, r, tau, w and scales"},
      {{typed(mxSINGLE_CLASS, {30, 1})}, "Input 1 must be a real double array"},
      {{x, one, one, one, zero, complex_matrix(1, 1, {2}, {0})}, "Input 6 must be a real double array"},
      {{matrix(2, 2, {1, 2, 3, 4})}, "x must be a vector"},
      {{row({1, 2, NAN}), empty()}, "x must not hold NaN or Inf"},
      {{x, empty()}, "Input 2 must not be empty"},
      {{x, zero}, "m must be a whole number, at least 1"},
      {{x, scalar(2.5)}, "m must be a whole number, at least 1"},
      {{x, one, scalar(-0.1)}, "r must be a number, at least 0"},
      {{x, one, scalar(NAN)}, "r must be a number, at least 0"},
      {{x, one, one, zero}, "tau must be a whole number, at least 1"},
      {{x, one, one, one, scalar(-1)}, "w must be a whole number, at least 0"},
      {{x, one, one, one, zero, row({1, 0})}, "scales must hold whole numbers, at least 1"},
      {{x, one, one, one, zero, scalar(INFINITY)}, "scales must hold whole numbers, at least 1"},
      {{x, one, one, one, zero, row({1, 10, 11})},
       "x is too short at scale 11: m = 1 and tau = 1 need at least 3 samples there, it has 2"},
      {{x, scalar(2), one, scalar(15)},
       "x is too short at scale 1: m = 2 and tau = 15 need at least 32 samples there, it has 30"},
      {{empty()}, "x is too short at scale 1: m = 2 and tau = 1 need at least 4 samples there, it has 0"},
      {{x, one, one, one, zero, scalar(1e20)},
       "x is too short at scale 1e+20: m = 1 and tau = 1 need at least 3 samples there, it has 0"},
      {{row({1e308, 1e308, -1e308, 5, 6, 7}), one, one, one, zero, row({1, 2})},
       "x overflows at scale 2: a sum of that many samples is infinite"},
  };
  for (const auto& [inputs, message] : cases) EXPECT_EQ(call(3, inputs).error, message);
  EXPECT_FALSE(call(3, {x, scalar(2), one, scalar(14)}).failed);
  // Values near the largest double: the spread overflows to Inf, so the
  // default r takes every pair.
  const call_result huge = call(3, {row({1e308, 1e308, -1e308, 5, 6, 7})});
  ASSERT_FALSE(huge.failed) << huge.error;
  EXPECT_EQ(huge.out(0).values()[0], 0);
}

}  // namespace
