#include "foldmap/foldmap.cpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace standin;

const std::string warning_text = "Values exceed threshold of 1000000, limiting values";

// The orbit as a one-dimensional recurrence, x_{-1} = y0, x_0 = x0:
// x_k = L(a x_{k-1}^2 + 1 + b x_{k-2}), row k = (x_k, x_{k-1}), L replacing a
// magnitude above 10^6 by +10^6. Returns the N x 2 matrix and counts the
// replacements.
std::vector<double> reference(double a, double b, double x0, double y0, size_t N,
                              size_t& limited) {
  std::vector<double> series = {y0, x0};
  limited = 0;
  for (size_t k = 0; k < N; ++k) {
    double previous = series[series.size() - 1];
    double before = series[series.size() - 2];
    double square = a * previous;
    square = square * previous;
    double value = square + 1.0;
    double term = b * before;
    value = value + term;
    if (value > 1e6 || value < -1e6) {
      value = 1e6;
      ++limited;
    }
    series.push_back(value);
  }
  std::vector<double> out(2 * N);
  for (size_t k = 0; k < N; ++k) {
    out[k] = series[k + 2];
    out[N + k] = series[k + 1];
  }
  return out;
}

// Bit for bit; every NaN the map can make here comes from the same operations
// in both computations, so even NaN bits agree.
void expect_bits_equal(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0)
        << "entry " << i << ": " << got[i] << " vs " << want[i];
}

struct orbit {
  std::vector<double> values;
  std::vector<std::string> warnings;
};

orbit run(double a, double b, double x0, double y0, size_t N) {
  orbit o{std::vector<double>(2 * N, -7.0), {}};
  foldmap_orbit(a, b, x0, y0, N, o.values.data(),
                [&](const char* text) { o.warnings.emplace_back(text); });
  return o;
}

TEST(FoldmapCore, RandomParametersAgreeWithRecurrence) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> coefficient(-2.0, 2.0), start(-1.5, 1.5);
  size_t total_limited = 0;
  for (int trial = 0; trial < 300; ++trial) {
    double a = coefficient(rng), b = coefficient(rng), x0 = start(rng), y0 = start(rng);
    size_t limited;
    auto want = reference(a, b, x0, y0, 200, limited);
    auto got = run(a, b, x0, y0, 200);
    expect_bits_equal(got.values, want);
    EXPECT_EQ(got.warnings.size(), limited);
    for (const auto& w : got.warnings) EXPECT_EQ(w, warning_text);
    total_limited += limited;
  }
  EXPECT_GT(total_limited, 0u);  // the random draws do cover divergent orbits
}

TEST(FoldmapCore, AttractorOrbitStaysBoundedWithoutWarnings) {
  size_t limited;
  auto want = reference(-1.4, 0.3, 0.0, 0.0, 10000, limited);
  auto got = run(-1.4, 0.3, 0.0, 0.0, 10000);
  expect_bits_equal(got.values, want);
  EXPECT_TRUE(got.warnings.empty());
  for (double v : got.values) EXPECT_LT(std::fabs(v), 1.5);
}

TEST(FoldmapCore, LimitReplacesByPlusOneMillionOncePerSample) {
  auto up = run(1, 0, 2000, 0, 2);  // 4e6 + 1, then 1e12 + 1
  EXPECT_EQ(up.values, (std::vector<double>{1e6, 1e6, 2000, 1e6}));
  EXPECT_EQ(up.warnings, std::vector<std::string>(2, warning_text));

  auto down = run(-1, 0, 2000, 0, 1);  // -(4e6 - 1) becomes +1e6
  EXPECT_EQ(down.values, (std::vector<double>{1e6, 2000}));
  EXPECT_EQ(down.warnings.size(), 1u);

  // A run-away orbit warns for every remaining sample.
  auto away = run(1, 0, 10, 0, 50);  // 101, 10202, 1.04e8, ...
  EXPECT_EQ(away.warnings.size(), 48u);
  EXPECT_EQ(away.values[0], 101.0);
  EXPECT_EQ(away.values[1], 10202.0);
  for (size_t i = 2; i < 50; ++i) EXPECT_EQ(away.values[i], 1e6);
}

TEST(FoldmapCore, LimitIsStrictAndLeavesStartingPointAlone) {
  // a*x*x + 1 lands exactly on +-1e6: unchanged, no warning.
  auto at = run(0, 1, 0, 999999, 1);
  EXPECT_EQ(at.values[0], 1e6);
  EXPECT_TRUE(at.warnings.empty());
  auto at_minus = run(0, 1, 5e7, -1000001, 1);
  EXPECT_EQ(at_minus.values, (std::vector<double>{-1e6, 5e7}));  // x0 itself is never limited
  EXPECT_TRUE(at_minus.warnings.empty());
  // One step above.
  auto above = run(0, 1, 0, std::nextafter(999999.0, 2e6), 1);
  EXPECT_EQ(above.values[0], 1e6);
  EXPECT_EQ(above.warnings.size(), 1u);
}

TEST(FoldmapCore, NaNPassesAndInfinitiesAreLimited) {
  auto nan_a = run(NAN, 0.3, 0.1, 0.2, 3);
  EXPECT_TRUE(nan_a.warnings.empty());
  EXPECT_TRUE(std::isnan(nan_a.values[0]) && std::isnan(nan_a.values[1]) &&
              std::isnan(nan_a.values[2]));
  EXPECT_EQ(nan_a.values[3], 0.1);  // row 1, column 2 is x0
  EXPECT_TRUE(std::isnan(nan_a.values[4]) && std::isnan(nan_a.values[5]));

  auto nan_b = run(-1.4, NAN, 0.1, 0.2, 2);
  EXPECT_TRUE(nan_b.warnings.empty());
  EXPECT_TRUE(std::isnan(nan_b.values[0]) && std::isnan(nan_b.values[1]));

  auto inf_x = run(1, 0.5, INFINITY, 0, 2);  // +inf limited, then 1e12 + 1 + inf limited
  EXPECT_EQ(inf_x.values, (std::vector<double>{1e6, 1e6, INFINITY, 1e6}));
  EXPECT_EQ(inf_x.warnings.size(), 2u);
  // With b = 0 the infinite x0 still enters the second value as 0 * inf.
  auto inf_b0 = run(1, 0, INFINITY, 0, 2);
  EXPECT_EQ(inf_b0.values[0], 1e6);
  EXPECT_TRUE(std::isnan(inf_b0.values[1]));
  EXPECT_EQ(inf_b0.warnings.size(), 1u);
  auto minus_inf = run(0, -INFINITY, 0, 1, 1);
  EXPECT_EQ(minus_inf.values[0], 1e6);
  EXPECT_EQ(minus_inf.warnings.size(), 1u);
  auto zero_times_inf = run(0, 0, INFINITY, 0, 1);  // 0 * inf is NaN: passes
  EXPECT_TRUE(std::isnan(zero_times_inf.values[0]));
  EXPECT_TRUE(zero_times_inf.warnings.empty());
}

// ---- through the stand-in host -------------------------------------------

TEST(FoldmapGateway, ShapeAndValues) {
  for (int nlhs : {0, 1, 2}) {
    auto r = call(nlhs, {scalar(3), row({0, 0, 5, 7})});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.out(0).rows(), 3u);
    EXPECT_EQ(r.out(0).columns(), 2u);
    EXPECT_EQ(r.out(0).values(), (std::vector<double>{1, 1, 1, 5, 1, 1}));
    for (size_t o = 1; o < r.outputs.size(); ++o) EXPECT_FALSE(r.outputs[o].has_value());
  }
  auto truncated = call(1, {row({2.7, -5}), column({0, 0, 5, 7})});
  EXPECT_EQ(truncated.out(0).rows(), 2u);
}

TEST(FoldmapGateway, ParametersAreReadInStorageOrder) {
  // Column by column: a = 2, b = 3, x0 = 0.5, y0 = 4.
  auto square = call(1, {scalar(1), matrix(2, 2, {2, 3, 0.5, 4})});
  EXPECT_EQ(square.out(0).values(), (std::vector<double>{13.5, 0.5}));
  auto longer = call(1, {scalar(1), row({2, 3, 0.5, 4, 99})});
  EXPECT_EQ(longer.out(0).values(), (std::vector<double>{13.5, 0.5}));
  auto extra_input = call(1, {scalar(1), row({2, 3, 0.5, 4}), char_array("ignored")});
  EXPECT_EQ(extra_input.out(0).values(), (std::vector<double>{13.5, 0.5}));
}

TEST(FoldmapGateway, WarningsReachTheHostOncePerLimitedSample) {
  auto r = call(1, {scalar(2), row({1, 0, 2000, 0})});
  ASSERT_FALSE(r.failed);
  EXPECT_EQ(r.warnings, std::vector<std::string>(2, warning_text));
  EXPECT_EQ(r.out(0).values(), (std::vector<double>{1e6, 1e6, 2000, 1e6}));
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(FoldmapGateway, MessagesInTheirOrder) {
  const std::string usage =
      "Foldmap : number of samples to compute and parameter vector must be given";
  const std::string positive = "requested number of samples must be positive";
  const std::string length = "Need parameter vector of length 4 (a,b,x0,y0)";
  EXPECT_EQ(error_of({}), usage);
  EXPECT_EQ(error_of({scalar(3)}), usage);
  EXPECT_EQ(error_of({empty()}), usage);  // before anything is read
  for (double bad : {0.9, 0.0, -3.0, double(NAN), 3e9, -3e9, double(INFINITY)})
    EXPECT_EQ(error_of({scalar(bad), row({1, 2})}), positive) << bad;
  EXPECT_EQ(error_of({scalar(2), row({1, 2, 3})}), length);
  EXPECT_EQ(error_of({scalar(2), matrix(3, 1, {1, 2, 3})}), length);
  EXPECT_EQ(error_of({scalar(2), empty(4, 0)}), length);
  EXPECT_EQ(error_of({empty(0, 3), row({1, 2, 3, 4})}), "Input 1 must not be empty");
}

TEST(FoldmapGateway, NonDoubleInputsAreRefusedBeforeReading) {
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {1, 1}, {3}), row({1, 0, 0, 0})}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({scalar(0), typed(mxSINGLE_CLASS, {1, 4}, {1, 0, 0, 0})}),
            "Input 2 must be a real double array");  // before the count is judged
  EXPECT_EQ(error_of({sparse_matrix(1, 1, {3}), row({1, 2})}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({scalar(3), complex_matrix(1, 4, {1, 0, 0, 0}, {0, 0, 0, 1})}),
            "Input 2 must be a real double array");
}

}  // namespace
