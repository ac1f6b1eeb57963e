#include "peakiter/peakiter.cpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace standin;

// The recurrence written out in one line: x -> s * (1 - (P(u) - P(0)) / (P(1) - P(0))),
// P(t) = (2h + t)^e, u = |2x - 1|.
std::vector<double> reference(double h, double e, double s, double x0, size_t N) {
  std::vector<double> out;
  double x = x0;
  while (out.size() < N) {
    double u = std::fabs(2 * x - 1);
    double base = 2 * h;
    double low = std::pow(base, e);
    x = s * (1 - (std::pow(base + u, e) - low) / (std::pow(base + 1, e) - low));
    out.push_back(x);
  }
  return out;
}

void expect_bits_equal(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0)
        << "entry " << i << ": " << got[i] << " vs " << want[i];
}

std::vector<double> run(double h, double e, double s, double x0, size_t N) {
  std::vector<double> out(N, -7.0);
  peakiter_orbit(h, e, s, x0, N, out.data());
  return out;
}

TEST(PeakiterCore, RandomParametersAgreeWithRecurrence) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> shape(0.0, 2.0), exponent(0.2, 4.0),
      peak(0.3, 1.0), start(0.0, 1.0);
  for (int trial = 0; trial < 300; ++trial) {
    double h = shape(rng), e = exponent(rng), s = peak(rng), x0 = start(rng);
    expect_bits_equal(run(h, e, s, x0, 300), reference(h, e, s, x0, 300));
  }
}

TEST(PeakiterCore, UnitExponentIsTheOrdinaryTentMap) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int trial = 0; trial < 50; ++trial) {
    double s = unit(rng), x = unit(rng);
    auto got = run(0, 1, s, x, 200);
    for (size_t k = 0; k < got.size(); ++k) {
      x = s * (1 - std::fabs(2 * x - 1));
      ASSERT_EQ(got[k], x) << "sample " << k;
    }
  }
  EXPECT_EQ(run(0, 1, 1, 0.25, 4), (std::vector<double>{0.5, 1, 0, 0}));
}

TEST(PeakiterCore, ShapeIsNormalisedAtBothEnds) {
  for (double h : {0.0, 0.3, 2.0})
    for (double e : {0.5, 2.0, 3.7}) {
      EXPECT_EQ(g(0, h, e), 0.0);
      EXPECT_EQ(g(1, h, e), 1.0);
      EXPECT_EQ(run(h, e, 0.8, 0.5, 1)[0], 0.8);  // the peak: u = 0
      EXPECT_EQ(run(h, e, 0.8, 0.0, 1)[0], 0.0);  // the feet: u = 1
      EXPECT_EQ(run(h, e, 0.8, 1.0, 1)[0], 0.0);
    }
  // Exponent 2 from 0: g(u) = u^2.
  EXPECT_EQ(g(0.5, 0, 2), 0.25);
  EXPECT_EQ(run(0, 2, 1, 0.25, 1)[0], 0.75);
}

TEST(PeakiterCore, BrokenParametersGiveNaNAndInfinitiesUnchecked) {
  for (double v : run(0.3, 0, 1, 0.2, 5)) EXPECT_TRUE(std::isnan(v));   // 0 / 0
  for (double v : run(-1, 0.5, 1, 0.2, 5)) EXPECT_TRUE(std::isnan(v));  // pow(-2, 0.5)
  for (double v : run(0, 1, 1, NAN, 3)) EXPECT_TRUE(std::isnan(v));
  // An infinite peak is fed back: inf, then 1 - inf = -inf times inf, and on.
  expect_bits_equal(run(0, 1, INFINITY, 0.5, 4), reference(0, 1, INFINITY, 0.5, 4));
  EXPECT_EQ(run(0, 1, INFINITY, 0.5, 2), (std::vector<double>{INFINITY, -INFINITY}));
  expect_bits_equal(run(0.1, 2.5, 4, 0.3, 50), reference(0.1, 2.5, 4, 0.3, 50));
}

// ---- through the stand-in host -------------------------------------------

TEST(PeakiterGateway, ShapeAndParameterOrder) {
  for (int nlhs : {0, 1, 2}) {
    auto r = call(nlhs, {row({3.9, 100}), row({0, 1, 1, 0.25})});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.out(0).rows(), 3u);
    EXPECT_EQ(r.out(0).columns(), 1u);
    EXPECT_EQ(r.out(0).values(), (std::vector<double>{0.5, 1, 0}));
    for (size_t o = 1; o < r.outputs.size(); ++o) EXPECT_FALSE(r.outputs[o].has_value());
  }
  // h = 0, e = 2 column by column; s = 1, x0 = 0.25; the fifth element is ignored.
  auto square = call(1, {scalar(1), matrix(2, 2, {0, 2, 1, 0.25})});
  EXPECT_EQ(square.out(0).values(), std::vector<double>{0.75});
  auto longer = call(1, {scalar(1), column({0, 2, 1, 0.25, 9}), scalar(0)});
  EXPECT_EQ(longer.out(0).values(), std::vector<double>{0.75});
  EXPECT_TRUE(call(1, {scalar(1), row({0, 2, 1, 0.25})}).warnings.empty());
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(PeakiterGateway, MessagesInTheirOrder) {
  const std::string usage =
      "Peakiter : number of samples to compute and parameter vector must be given";
  const std::string positive = "requested number of samples must be positive";
  const std::string length = "Need parameter vector of length 4 (h, e, s, x0)";
  EXPECT_EQ(error_of({}), usage);
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {1, 1}, {3})}), usage);
  for (double bad : {0.5, -1.0, double(NAN), 2147483648.0, -double(INFINITY)})
    EXPECT_EQ(error_of({scalar(bad), row({1})}), positive) << bad;
  EXPECT_EQ(error_of({scalar(1), row({0, 1, 1})}), length);
  EXPECT_EQ(error_of({scalar(1), empty(0, 4)}), length);
  EXPECT_EQ(error_of({empty(1, 0), row({0, 1, 1, 0.2})}), "Input 1 must not be empty");
  EXPECT_EQ(error_of({typed(mxLOGICAL_CLASS, {1, 1}, {1}), row({0, 1, 1, 0.2})}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({scalar(0), typed(mxINT32_CLASS, {1, 4}, {0, 1, 1, 0})}),
            "Input 2 must be a real double array");
  EXPECT_EQ(error_of({scalar(2), sparse_matrix(1, 4, {1, 1})}),
            "Input 2 must be a real double array");
}

}  // namespace
