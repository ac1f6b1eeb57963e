#include "baker/baker.cpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>
#include <vector>

namespace {

using namespace standin;

// The map as a function of the point, applied N times; rows gathered into
// the column-major N x 2 layout afterwards.
std::pair<double, double> bake(std::pair<double, double> p, double eta, double l1, double l2) {
  if (p.second < eta) return {l1 * p.first, p.second / eta};
  return {l2 * p.first + 0.5, (p.second - eta) / (1 - eta)};  // NaN lands here too
}

std::vector<double> reference(double eta, double l1, double l2, double x0, double y0,
                              size_t N) {
  std::vector<double> out(2 * N);
  std::pair<double, double> p{x0, y0};
  for (size_t k = 0; k < N; ++k) {
    p = bake(p, eta, l1, l2);
    out[k] = p.first;
    out[N + k] = p.second;
  }
  return out;
}

void expect_bits_equal(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0)
        << "entry " << i << ": " << got[i] << " vs " << want[i];
}

std::vector<double> run(double eta, double l1, double l2, double x0, double y0, size_t N) {
  std::vector<double> out(2 * N, -7.0);
  baker_orbit(eta, l1, l2, x0, y0, N, out.data());
  return out;
}

TEST(BakerCore, RandomParametersAgreeWithPointMap) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0), wide(-2.0, 3.0);
  for (int trial = 0; trial < 300; ++trial) {
    // Half inside the square, half with points and parameters outside it.
    auto draw = [&] { return trial % 2 ? unit(rng) : wide(rng); };
    double eta = draw(), l1 = draw(), l2 = draw(), x0 = draw(), y0 = draw();
    expect_bits_equal(run(eta, l1, l2, x0, y0, 200), reference(eta, l1, l2, x0, y0, 200));
  }
}

TEST(BakerCore, StripsByHand) {
  auto lower = run(0.5, 0.25, 0.4, 0.2, 0.1, 2);
  EXPECT_EQ(lower[0], 0.05);
  EXPECT_EQ(lower[2], 0.2);
  EXPECT_DOUBLE_EQ(lower[1], 1.0 / 80);
  EXPECT_EQ(lower[3], 0.4);

  auto upper = run(0.5, 0.25, 0.4, 0.2, 0.75, 1);
  EXPECT_DOUBLE_EQ(upper[0], 0.58);
  EXPECT_EQ(upper[1], 0.5);

  // On the cut: the upper strip, second coordinate 0; the offset is 0.5
  // whatever l2 is.
  EXPECT_EQ(run(0.5, 0.25, 0.9, 0, 0.5, 1), (std::vector<double>{0.5, 0}));
  EXPECT_EQ(run(0.5, 0.25, 0.9, 0, std::nextafter(0.5, 0.0), 1)[0], 0.0);
}

TEST(BakerCore, DegenerateCutsGiveIEEEResults) {
  // eta = 1, y = 1: 0 / 0; y = 2: 1 / 0.
  auto top = run(1, 0.3, 0.3, 0.1, 1, 2);
  EXPECT_EQ(top[0], 0.3 * 0.1 + 0.5);
  EXPECT_TRUE(std::isnan(top[2]) && std::isnan(top[3]));
  EXPECT_EQ(top[1], 0.3 * top[0] + 0.5);  // NaN takes the upper strip
  EXPECT_EQ(run(1, 0.3, 0.3, 0.1, 2, 1)[1], INFINITY);
  // eta = 0, y < 0: -1 / 0, and -inf stays in the lower strip.
  auto bottom = run(0, 0.5, 0.3, 0.4, -1, 2);
  EXPECT_EQ(bottom, (std::vector<double>{0.2, 0.1, -INFINITY, -INFINITY}));
  // NaN cut: always the upper strip.
  auto nan_cut = run(NAN, 0.5, 0.5, 0.0, 0.1, 2);
  EXPECT_EQ(nan_cut[0], 0.5);
  EXPECT_EQ(nan_cut[1], 0.75);
  EXPECT_TRUE(std::isnan(nan_cut[2]) && std::isnan(nan_cut[3]));
  expect_bits_equal(run(NAN, 0.5, 0.5, 0.0, 0.1, 5), reference(NAN, 0.5, 0.5, 0.0, 0.1, 5));
}

// ---- through the stand-in host -------------------------------------------

TEST(BakerGateway, ShapeAndParameterOrder) {
  for (int nlhs : {0, 1, 2}) {
    auto r = call(nlhs, {scalar(1.5), row({0.5, 0.25, 0.9, 0, 0.5})});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.out(0).rows(), 1u);
    EXPECT_EQ(r.out(0).columns(), 2u);
    EXPECT_EQ(r.out(0).values(), (std::vector<double>{0.5, 0}));
    for (size_t o = 1; o < r.outputs.size(); ++o) EXPECT_FALSE(r.outputs[o].has_value());
  }
  auto two = call(1, {scalar(2), column({0.5, 0.25, 0.4, 0.2, 0.1})});
  EXPECT_EQ(two.out(0).rows(), 2u);
  EXPECT_EQ(two.out(0).values(), run(0.5, 0.25, 0.4, 0.2, 0.1, 2));
  // A 2 x 3 matrix, column by column; the sixth element is ignored.
  auto block = call(1, {scalar(1), matrix(2, 3, {0.5, 0.25, 0.9, 0, 0.5, 123}), scalar(4)});
  EXPECT_EQ(block.out(0).values(), (std::vector<double>{0.5, 0}));
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(BakerGateway, MessagesInTheirOrder) {
  const std::string usage =
      "baker : number of samples to compute and parameter vector must be given";
  const std::string positive = "requested number of samples must be positive";
  const std::string length = "Need parameter vector of length 5 (eta,l1,l2,x0,y0)";
  EXPECT_EQ(error_of({}), usage);
  EXPECT_EQ(error_of({empty()}), usage);
  for (double bad : {0.0, 0.99, -2.0, double(NAN), 1e10})
    EXPECT_EQ(error_of({scalar(bad), row({1, 2})}), positive) << bad;
  EXPECT_EQ(error_of({scalar(1), row({0.5, 0.25, 0.4, 0.2})}), length);
  EXPECT_EQ(error_of({scalar(1), matrix(2, 2, {0.5, 0.25, 0.4, 0.2})}), length);
  EXPECT_EQ(error_of({empty(), row({0.5, 0.25, 0.4, 0.2, 0.1})}), "Input 1 must not be empty");
  EXPECT_EQ(error_of({typed(mxUINT8_CLASS, {1, 1}, {2}), row({0.5, 0.25, 0.4, 0.2, 0.1})}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({scalar(2), typed(mxSINGLE_CLASS, {1, 5}, {0.5, 0.25, 0.4, 0.2, 0.1})}),
            "Input 2 must be a real double array");
  EXPECT_EQ(error_of({scalar(2), complex_matrix(1, 5, {0.5, 0.25, 0.4, 0.2, 0.1}, {})}),
            "Input 2 must be a real double array");
}

}  // namespace
