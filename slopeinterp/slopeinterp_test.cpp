#include "slopeinterp/slopeinterp.cpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "host/interval_index_cases.h"

namespace {

using namespace standin;
using interval_cases::test_knots;
using interval_cases::test_queries;
using interpolator = akima_interpolator<double const*>;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

// Equal bits, or both NaN: which of two NaN operands an operation passes on
// (and so a NaN's sign) depends on the order in which the compiler places the
// operands of a sum or product, which the code does not pin.
bool same_value(double a, double b) { return same_bits(a, b) || (std::isnan(a) && std::isnan(b)); }

// A vector addressed from -2, for the extension points on either side.
struct from_minus_two {
  explicit from_minus_two(size_t n) : v(n + 4, 0.0) {}
  double& operator[](long i) { return v[size_t(i + 2)]; }
  std::vector<double> v;
};

// A plain transcription of Akima's rule: the data extended by two points on
// each side, the interval slopes, the weighted knot slopes, then the cubic
// coefficients.
struct reference_akima {
  std::vector<double> b, c, d;
};

reference_akima reference(const std::vector<double>& xs, const std::vector<double>& ys) {
  const long n = long(xs.size());
  from_minus_two x(xs.size()), y(xs.size()), m(xs.size());
  for (long i = 0; i < n; ++i) {
    x[i] = xs[size_t(i)];
    y[i] = ys[size_t(i)];
  }
  x[-1] = x[0] + x[1] - x[2];
  x[-2] = x[-1] + x[0] - x[1];
  x[n] = x[n - 1] + x[n - 2] - x[n - 3];
  x[n + 1] = x[n] + x[n - 1] - x[n - 2];
  auto slope = [&](long i) { return (y[i + 1] - y[i]) / (x[i + 1] - x[i]); };
  for (long i = 0; i < n - 1; ++i) m[i] = slope(i);
  y[-1] = y[0] + (x[0] - x[-1]) * (m[1] - 2 * m[0]);
  m[-1] = slope(-1);
  y[-2] = y[-1] + (x[-1] - x[-2]) * (m[0] - 2 * m[-1]);
  m[-2] = slope(-2);
  y[n] = y[n - 1] + (x[n] - x[n - 1]) * (2 * m[n - 2] - m[n - 3]);
  m[n - 1] = slope(n - 1);
  y[n + 1] = y[n] + (x[n + 1] - x[n]) * (2 * m[n - 1] - m[n - 2]);
  m[n] = slope(n);

  reference_akima r{std::vector<double>(size_t(n)), std::vector<double>(size_t(n)),
                    std::vector<double>(size_t(n))};
  for (long i = 0; i < n; ++i) {
    const double right = std::fabs(m[i + 1] - m[i]);
    const double left = std::fabs(m[i - 1] - m[i - 2]);
    r.b[size_t(i)] = right + left > 0 ? (left * m[i] + right * m[i - 1]) / (right + left)
                                       : (m[i - 1] + m[i]) / 2;
  }
  for (long i = 0; i < n - 1; ++i) {
    const double h = x[i + 1] - x[i];
    const double b0 = r.b[size_t(i)], b1 = r.b[size_t(i) + 1];
    r.c[size_t(i)] = (3 * m[i] - 2 * b0 - b1) / h;
    r.d[size_t(i)] = (b0 + b1 - 2 * m[i]) / (h * h);
  }
  return r;
}

// The value from the reference: interval by a linear scan, the last interval
// continued to the right.
double reference_value(const std::vector<double>& x, const std::vector<double>& y,
                       const reference_akima& r, double t) {
  size_t k = 0;
  for (size_t i = 0; i + 1 < x.size(); ++i)
    if (x[i] <= t) k = i;
  const double u = t - x[k];
  return y[k] + u * (r.b[k] + u * (r.c[k] + u * r.d[k]));
}

struct data_set {
  std::vector<double> x, y;
};

// Random spacings and values, with runs of equal values and of equal slopes,
// where Akima's weights vanish.
data_set random_data(std::mt19937& rng, size_t n) {
  std::uniform_real_distribution<double> spacing(0.01, 3.0), value(-5.0, 5.0);
  std::uniform_int_distribution<int> kind(0, 3);
  data_set s;
  double at = value(rng);
  for (size_t i = 0; i < n; ++i) {
    s.x.push_back(at);
    const int k = kind(rng);
    s.y.push_back(i > 0 && k == 0 ? s.y.back() : value(rng));
    at += k == 1 ? 1.0 : spacing(rng);
  }
  return s;
}

TEST(AkimaCore, CoefficientsAgreeBitForBitWithReference) {
  std::mt19937 rng(17);
  // 40000 knots take kept blocks, which hold garbage first.
  for (size_t n : {3u, 4u, 5u, 8u, 300u, 40000u}) {
    for (int repeat = 0; repeat < 5; ++repeat) {
      auto s = random_data(rng, n);
      interval_cases::poison_kept_blocks(n);
      interpolator a(long(n), s.x.data(), s.y.data());
      ASSERT_EQ(a.status, 0);
      auto r = reference(s.x, s.y);
      for (size_t i = 0; i < n; ++i) {
        EXPECT_TRUE(same_bits(a.b[i], r.b[i])) << "n " << n << " b " << i;
        EXPECT_TRUE(same_bits(a.c[i], r.c[i])) << "n " << n << " c " << i;
        EXPECT_TRUE(same_bits(a.d[i], r.d[i])) << "n " << n << " d " << i;
      }
      EXPECT_EQ(a.c[n - 1], 0.0);
      EXPECT_EQ(a.d[n - 1], 0.0);
    }
  }
}

TEST(AkimaCore, InterpolatesWithContinuousSlope) {
  std::mt19937 rng(9);
  auto s = random_data(rng, 40);
  interpolator a(40, s.x.data(), s.y.data());
  for (size_t i = 0; i + 1 < 40; ++i) {
    const double h = s.x[i + 1] - s.x[i];
    const double scale = 1 + std::fabs(a.b[i]) + std::fabs(a.b[i + 1]) + std::fabs(s.y[i]);
    EXPECT_NEAR(s.y[i] + h * (a.b[i] + h * (a.c[i] + h * a.d[i])), s.y[i + 1], 1e-12 * scale);
    EXPECT_NEAR(a.b[i] + h * (2 * a.c[i] + 3 * h * a.d[i]), a.b[i + 1], 1e-11 * scale / h);
  }
}

TEST(AkimaCore, LineAndParabolaAreReproduced) {
  std::vector<double> x = {0, 1, 2.5, 3, 4.2, 5}, y;
  for (double t : x) y.push_back(2 * t + 1);
  interpolator line(6, x.data(), y.data());
  EXPECT_EQ(line.eval(6), 13.0);
  for (double t = -3; t < 9; t += 0.3) EXPECT_NEAR(line.eval(t), 2 * t + 1, 1e-13) << t;

  for (std::vector<double> xs : {std::vector<double>{0, 1, 2, 3}, {0, 1, 2}}) {
    std::vector<double> ys;
    for (double t : xs) ys.push_back(t * t);
    interpolator parabola(long(xs.size()), xs.data(), ys.data());
    for (double t : {0.5, 2.5, -1.0, 4.0, 1.75})
      EXPECT_NEAR(parabola.eval(t), t * t, 1e-13) << xs.size() << " " << t;
  }
}

TEST(AkimaCore, StepIsFollowedWithoutOvershoot) {
  std::vector<double> x = {0, 1, 2, 3, 4, 5}, y = {0, 0, 0, 1, 1, 1};
  interpolator a(6, x.data(), y.data());
  for (double t = 0; t <= 2; t += 0.125) EXPECT_EQ(a.eval(t), 0.0) << t;
  for (double t = 3; t <= 5; t += 0.125) EXPECT_EQ(a.eval(t), 1.0) << t;
  EXPECT_EQ(a.eval(2.5), 0.5);
  for (double t = 2; t <= 3; t += 0.0625) {
    EXPECT_GE(a.eval(t), 0.0);
    EXPECT_LE(a.eval(t), 1.0);
  }
}

TEST(AkimaCore, TwoPointsGiveTheLine) {
  std::vector<double> x = {0, 1}, y = {1, 3};
  interpolator a(2, x.data(), y.data());
  ASSERT_EQ(a.status, 0);
  EXPECT_EQ(a.eval(-1), -1.0);
  EXPECT_EQ(a.eval(0.5), 2.0);
  EXPECT_EQ(a.eval(2), 5.0);
}

TEST(AkimaCore, BadDataAreReportedInStatus) {
  std::vector<double> one = {1};
  interpolator none(0, one.data(), one.data());
  EXPECT_EQ(none.status, 1);
  interpolator single(1, one.data(), one.data());
  EXPECT_EQ(single.status, 1);
  EXPECT_TRUE(std::isnan(single.eval(1)));

  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> y = {1, 2, 3, 4};
  for (std::vector<double> x : {std::vector<double>{0, 1, 1, 2}, {0, 1, 2, 1.5}, {1, 0},
                                {nan, 1, 2, 3}, {0, 1, nan, 3}, {0, 1, 2, nan}}) {
    interpolator a(long(x.size()), x.data(), y.data());
    EXPECT_EQ(a.status, 2);
    EXPECT_TRUE(std::isnan(a.eval(0.5)));
  }
}

TEST(AkimaCore, KnotQueriesAgreeWithWarmAndColdCache) {
  std::mt19937 rng(4);
  auto s = random_data(rng, 30);
  interpolator a(30, s.x.data(), s.y.data());
  for (size_t k = 1; k + 1 < 30; ++k) {
    // Cache an interval away from x[k], so that the search finds it: u = 0.
    const size_t away = k < 15 ? 28 : 0;
    a.eval(0.5 * (s.x[away] + s.x[away + 1]));
    const double cold = a.eval(s.x[k]);
    EXPECT_EQ(cold, s.y[k]);
    a.eval(0.5 * (s.x[k - 1] + s.x[k]));  // caches interval k-1
    const double warm = a.eval(s.x[k]);   // its right end
    EXPECT_NEAR(warm, cold, 1e-11 * (1 + std::fabs(cold))) << k;
  }
  // The last knot lies in the last interval, whichever way it is found.
  EXPECT_NEAR(a.eval(s.x[29]), s.y[29], 1e-11 * (1 + std::fabs(s.y[29])));
}

// The Akima interpolant searches the knots up to n-1.
long one_at_a_time(const interpolator& s, const std::vector<double>& queries,
                   std::vector<double>& out, long last) {
  return interval_cases::one_at_a_time(s.x, s.y, s.b.data(), s.c.data(), s.d.data(), s.n, s.n - 1,
                                       queries, out, last);
}

TEST(AkimaCore, AllQueriesAtOnceMatchOneAtATimeOnEveryThreadCount) {
  std::mt19937 rng(8);
  const size_t split = 3 * interval_search::block_size + 777;  // four blocks
  struct { int kind; size_t knots, queries; } cases[] = {
      {0, 5, split}, {0, 3000, split}, {1, 3000, split}, {2, 3000, split},
      {3, 40, split}, {0, 100000, 2000}, {1, 2, 100}};
  for (const auto& c : cases) {
    const auto x = test_knots(rng, c.kind, c.knots);
    std::vector<double> y(x.size());
    for (double& v : y) v = std::uniform_real_distribution<double>(-5, 5)(rng);
    interval_cases::poison_kept_blocks(x.size());
    interpolator sp(long(x.size()), x.data(), y.data());
    ASSERT_EQ(sp.status, 0);
    for (bool sorted : {true, false}) {
      const auto queries = test_queries(rng, x, c.queries, sorted);
      for (long last : {0L, 1L, long(x.size()) - 1, long(x.size()) / 2, -3L}) {
        std::vector<double> want(queries.size()), got(queries.size());
        const long want_last = one_at_a_time(sp, queries, want, last);
        for (int threads : {1, 2, 3}) {
          interpolator::last_interval() = last;
          std::fill(got.begin(), got.end(), -7.0);
          sp.eval_all(queries.data(), 0, got.data(), threads);
          EXPECT_EQ(interpolator::last_interval(), last);
          sp.eval_all(queries.data(), queries.size(), got.data(), threads);
          EXPECT_EQ(interpolator::last_interval(), want_last) << c.kind << " " << threads;
          size_t differ = 0;
          for (size_t q = 0; q < queries.size(); ++q) differ += !same_value(got[q], want[q]);
          EXPECT_EQ(differ, 0u) << "kind " << c.kind << " knots " << x.size() << " sorted "
                                << sorted << " last " << last << " threads " << threads;
        }
      }
    }
  }
}

TEST(AkimaCore, ReplayReachesTheLastQueryOfEveryBlock) {
  std::mt19937 rng(9);
  const auto x = test_knots(rng, 0, 50);
  std::vector<double> y(x.size());
  for (double& v : y) v = std::uniform_real_distribution<double>(-5, 5)(rng);
  interpolator sp(long(x.size()), x.data(), y.data());
  ASSERT_EQ(sp.status, 0);
  EXPECT_EQ(interval_cases::replay_reaches_block_ends(sp, x, y, one_at_a_time), "");
}

// ---- through the stand-in host -------------------------------------------

TEST(SlopeinterpGateway, ValuesMatchReferenceBitForBit) {
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> offset(-4.0, 4.0);
  for (size_t n : {3u, 4u, 7u, 80u}) {
    auto s = random_data(rng, n);
    std::vector<double> queries;
    for (int q = 0; q < 300; ++q)
      queries.push_back(s.x.front() + (s.x.back() - s.x.front() + 8.0) * (q / 300.0) - 4.0);
    for (int q = 0; q < 300; ++q) queries.push_back(s.x[size_t(q) % n] + offset(rng));
    auto r = call(1, {row(s.x), column(s.y), row(queries)});
    ASSERT_FALSE(r.failed) << r.error;
    auto got = r.out(0).values();
    ASSERT_EQ(got.size(), queries.size());
    auto ref = reference(s.x, s.y);
    for (size_t q = 0; q < queries.size(); ++q)
      EXPECT_TRUE(same_bits(got[q], reference_value(s.x, s.y, ref, queries[q])))
          << "n " << n << " query " << queries[q];
  }
}

TEST(SlopeinterpGateway, OutputIsAColumnInStorageOrderOfXX) {
  auto x = row({0, 1, 2, 3}), y = row({0, 1, 4, 9});
  auto r = call(0, {x, y, matrix(2, 3, {0.5, 2.5, -1, 4, 0, 3})});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).rows(), 6u);
  EXPECT_EQ(r.out(0).columns(), 1u);
  const std::vector<double> want = {0.25, 6.25, 1, 16, 0, 9};
  auto got = r.out(0).values();
  for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 1e-13);

  auto e = call(1, {x, y, empty(3, 0)});
  ASSERT_FALSE(e.failed);
  EXPECT_EQ(e.out(0).rows(), 0u);
  EXPECT_EQ(e.out(0).columns(), 1u);

  auto two = call(1, {row({0, 1}), row({1, 3}), row({-1, 0.5, 2, NAN})});
  ASSERT_FALSE(two.failed);
  auto line = two.out(0).values();
  EXPECT_EQ(line[0], -1.0);
  EXPECT_EQ(line[1], 2.0);
  EXPECT_EQ(line[2], 5.0);
  EXPECT_TRUE(std::isnan(line[3]));
}

TEST(SlopeinterpGateway, ShapesOfXAndYDoNotMatterAndExtraOrdinatesAreIgnored) {
  const std::vector<double> xs = {0, 1, 2.5, 3, 4, 6}, ys = {1, -1, 0.5, 2, 2, -3};
  const auto queries = row({-1, 0.3, 2.7, 5, 7});
  auto want = call(1, {row(xs), row(ys), queries}).out(0).values();
  EXPECT_EQ(call(1, {column(xs), column(ys), queries}).out(0).values(), want);
  EXPECT_EQ(call(1, {matrix(2, 3, xs), matrix(3, 2, ys), queries}).out(0).values(), want);
  EXPECT_EQ(call(1, {row(xs), row({1, -1, 0.5, 2, 2, -3, 100, 200}), queries}).out(0).values(),
            want);
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(SlopeinterpGateway, MessagesInTheirOrder) {
  const std::string usage = "Akima interpolation : YY = AKIMA(X,Y,XX)";
  const std::string too_few = "There should be at least two data points.";
  const std::string lengths = "Abscissa and ordinate vector should be of the same length.";
  const std::string ascending = "Data point must be given with ascending x values";
  EXPECT_EQ(error_of({}), usage);
  EXPECT_EQ(error_of({row({0, 1, 2}), row({1, 2, 3})}), usage);
  EXPECT_EQ(error_of({scalar(1), scalar(2), scalar(3)}), too_few);
  EXPECT_EQ(error_of({empty(), row({1, 2}), scalar(3)}), too_few);
  EXPECT_EQ(error_of({row({0, 1, 2}), row({1, 2}), scalar(3)}), lengths);
  EXPECT_EQ(error_of({row({0, 2, 1}), row({1}), scalar(3)}), lengths);
  EXPECT_EQ(error_of({row({0, 1, 1, 2}), row({1, 2, 3, 4}), scalar(3)}), ascending);
  EXPECT_EQ(error_of({row({3, 2}), row({1, 2}), empty()}), ascending);
  EXPECT_EQ(error_of({row({0, 1, NAN}), row({1, 2, 3}), scalar(3)}), ascending);
  EXPECT_FALSE(call(1, {row({0, 1}), row({1, 2}), scalar(3), char_array("more")}).failed);
}

TEST(SlopeinterpGateway, NonDoubleInputsAreRefusedBeforeReading) {
  auto x = row({0, 1, 2});
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {1, 3}, {0, 1, 2}), x, x}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({x, typed(mxUINT8_CLASS, {1, 3}, {0, 1, 2}), x}),
            "Input 2 must be a real double array");
  EXPECT_EQ(error_of({x, x, typed(mxSINGLE_CLASS, {1, 1}, {1})}),
            "Input 3 must be a real double array");
  EXPECT_EQ(error_of({x, sparse_matrix(1, 3, {1}), x}), "Input 2 must be a real double array");
  EXPECT_EQ(error_of({x, x, complex_matrix(1, 1, {0}, {1})}),
            "Input 3 must be a real double array");
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {1, 3})}), "Akima interpolation : YY = AKIMA(X,Y,XX)");
}

TEST(SlopeinterpGateway, FailedOutputAllocationEndsTheCall) {
  fail_allocation_after(0);
  auto r = call(1, {row({0, 1, 2}), row({1, 2, 0}), row({0.5})});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.released_on_exit, 0u);
}

}  // namespace
