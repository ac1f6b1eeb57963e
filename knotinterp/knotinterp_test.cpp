#include "knotinterp/knotinterp.cpp"

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
using spline = cubic_spline<double const*>;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

// Equal bits, or both NaN: which of two NaN operands an operation passes on
// (and so a NaN's sign) depends on the order in which the compiler places the
// operands of a sum or product, which the code does not pin.
bool same_value(double a, double b) { return same_bits(a, b) || (std::isnan(a) && std::isnan(b)); }

// A plain transcription of the spline: spacings and divided differences in
// their own arrays, the tridiagonal system solved by the Thomas algorithm,
// then the polynomial coefficients of every interval.
struct reference_spline {
  std::vector<double> b, c, d;
};

reference_spline reference(const std::vector<double>& x, const std::vector<double>& y,
                           int begin_kind = 0, int end_kind = 0, double begin_slope = 0,
                           double end_slope = 0) {
  const size_t n = x.size();
  std::vector<double> h(n - 1), delta(n - 1);
  for (size_t i = 0; i + 1 < n; ++i) {
    h[i] = x[i + 1] - x[i];
    delta[i] = (y[i + 1] - y[i]) / h[i];
  }
  std::vector<double> diag(n), rhs(n, 0.0);
  for (size_t i = 1; i + 1 < n; ++i) {
    diag[i] = 2.0 * (h[i - 1] + h[i]);
    rhs[i] = delta[i] - delta[i - 1];
  }
  diag[0] = -h[0];
  diag[n - 1] = -h[n - 2];
  if (n > 3) {
    const double third_begin = rhs[2] / (x[3] - x[1]) - rhs[1] / (x[2] - x[0]);
    const double third_end = rhs[n - 2] / (x[n - 1] - x[n - 3]) - rhs[n - 3] / (x[n - 2] - x[n - 4]);
    rhs[0] = h[0] * (h[0] * third_begin) / (x[3] - x[0]);
    rhs[n - 1] = h[n - 2] * (-third_end * h[n - 2]) / (x[n - 1] - x[n - 4]);
  }
  if (begin_kind == 1) {
    diag[0] = 2.0 * h[0];
    rhs[0] = delta[0] - begin_slope;
  }
  if (end_kind == 1) {
    diag[n - 1] = 2.0 * h[n - 2];
    rhs[n - 1] = end_slope - delta[n - 2];
  }
  for (size_t i = 1; i < n; ++i) {
    const double factor = h[i - 1] / diag[i - 1];
    diag[i] -= h[i - 1] * factor;
    rhs[i] -= factor * rhs[i - 1];
  }
  std::vector<double> sigma(n);
  sigma[n - 1] = rhs[n - 1] / diag[n - 1];
  for (size_t i = n - 1; i-- > 0;) sigma[i] = (rhs[i] - h[i] * sigma[i + 1]) / diag[i];

  reference_spline r{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n)};
  for (size_t i = 0; i + 1 < n; ++i) {
    r.b[i] = delta[i] - (2.0 * sigma[i] + sigma[i + 1]) * h[i];
    r.c[i] = 3.0 * sigma[i];
    r.d[i] = (sigma[i + 1] - sigma[i]) / h[i];
  }
  r.b[n - 1] = h[n - 2] * (2.0 * sigma[n - 1] + sigma[n - 2]) + delta[n - 2];
  r.c[n - 1] = 3.0 * sigma[n - 1];
  r.d[n - 1] = r.d[n - 2];
  return r;
}

// The value from the reference, with the interval found by a linear scan.
double reference_value(const std::vector<double>& x, const std::vector<double>& y,
                       const reference_spline& r, double t) {
  size_t k = 0;
  for (size_t i = 0; i < x.size(); ++i)
    if (x[i] <= t) k = i;
  const double u = t - x[k];
  return y[k] + u * (r.b[k] + u * (r.c[k] + u * r.d[k]));
}

struct data_set {
  std::vector<double> x, y;
};

data_set random_data(std::mt19937& rng, size_t n) {
  std::uniform_real_distribution<double> spacing(0.01, 3.0), value(-5.0, 5.0);
  data_set s;
  double at = value(rng);
  for (size_t i = 0; i < n; ++i) {
    s.x.push_back(at);
    s.y.push_back(value(rng));
    at += spacing(rng);
  }
  return s;
}

double cubic(double t) { return ((0.5 * t - 1.25) * t + 2.0) * t - 3.0; }
double cubic_slope(double t) { return (1.5 * t - 2.5) * t + 2.0; }

TEST(CubicSplineCore, CoefficientsAgreeBitForBitWithThomasReference) {
  std::mt19937 rng(11);
  // 40000 knots take kept blocks, which hold garbage first.
  for (size_t n : {3u, 4u, 5u, 9u, 200u, 40000u}) {
    for (int kinds = 0; kinds < 4; ++kinds) {
      const int begin_kind = kinds & 1, end_kind = kinds >> 1;
      auto s = random_data(rng, n);
      interval_cases::poison_kept_blocks(n);
      spline sp(long(n), begin_kind, end_kind, s.x.data(), s.y.data(), 0.7, -1.3);
      ASSERT_EQ(sp.status, 0);
      auto r = reference(s.x, s.y, begin_kind, end_kind, 0.7, -1.3);
      for (size_t i = 0; i < n; ++i) {
        EXPECT_TRUE(same_bits(sp.b[i], r.b[i])) << "n " << n << " kinds " << kinds << " b " << i;
        EXPECT_TRUE(same_bits(sp.c[i], r.c[i])) << "n " << n << " kinds " << kinds << " c " << i;
        EXPECT_TRUE(same_bits(sp.d[i], r.d[i])) << "n " << n << " kinds " << kinds << " d " << i;
      }
    }
  }
}

TEST(CubicSplineCore, IsTwiceContinuouslyDifferentiableAtInnerKnots) {
  std::mt19937 rng(5);
  auto s = random_data(rng, 50);
  spline sp(50, 0, 0, s.x.data(), s.y.data(), 0, 0);
  for (size_t i = 0; i + 1 < 50; ++i) {
    const double h = s.x[i + 1] - s.x[i];
    const double scale = 1 + std::fabs(sp.b[i]) + std::fabs(sp.c[i] * h) + std::fabs(sp.d[i] * h * h);
    EXPECT_NEAR(s.y[i] + h * (sp.b[i] + h * (sp.c[i] + h * sp.d[i])), s.y[i + 1], 1e-12 * scale * 10);
    EXPECT_NEAR(sp.b[i] + h * (2 * sp.c[i] + 3 * h * sp.d[i]), sp.b[i + 1], 1e-11 * scale);
    EXPECT_NEAR(sp.c[i] + 3 * h * sp.d[i], sp.c[i + 1], 1e-11 * scale / h);
  }
}

TEST(CubicSplineCore, CubicDataAreReproducedInsideAndOutside) {
  std::vector<double> x = {-2, -1.5, 0, 0.25, 1, 2.75, 3, 4.5};
  for (size_t n : {4u, 5u, 8u}) {
    std::vector<double> xs(x.begin(), x.begin() + long(n)), ys;
    for (double t : xs) ys.push_back(cubic(t));
    spline sp(long(n), 0, 0, xs.data(), ys.data(), 0, 0);
    for (double t = -6; t <= 9; t += 0.37)
      EXPECT_NEAR(sp.eval(t), cubic(t), 1e-10 * (1 + std::fabs(cubic(t)))) << n << " " << t;
  }
}

TEST(CubicSplineCore, ExactEndSlopesReproduceACubicFromThreePoints) {
  for (std::vector<double> xs : {std::vector<double>{-1, 0.5, 2}, {-1, 0, 0.5, 2, 3}}) {
    std::vector<double> ys;
    for (double t : xs) ys.push_back(cubic(t));
    spline sp(long(xs.size()), 1, 1, xs.data(), ys.data(), cubic_slope(xs.front()),
              cubic_slope(xs.back()));
    for (double t = -3; t <= 5; t += 0.41)
      EXPECT_NEAR(sp.eval(t), cubic(t), 1e-10 * (1 + std::fabs(cubic(t)))) << t;
  }
}

TEST(CubicSplineCore, TwoPointsGiveTheLineThreeTheParabola) {
  std::vector<double> x2 = {0, 1}, y2 = {1, 3};
  spline line(2, 0, 0, x2.data(), y2.data(), 0, 0);
  EXPECT_EQ(line.eval(-1), -1.0);
  EXPECT_EQ(line.eval(0.5), 2.0);
  EXPECT_EQ(line.eval(2), 5.0);

  std::vector<double> x3 = {0, 1, 3}, y3 = {1, 2, 0};
  spline parabola(3, 0, 0, x3.data(), y3.data(), 0, 0);
  // p(t) = 1 + 5/3 t - 2/3 t^2
  for (double t : {-2.0, 0.5, 2.0, 4.0})
    EXPECT_NEAR(parabola.eval(t), 1 + 5.0 / 3 * t - 2.0 / 3 * t * t, 1e-14) << t;
  EXPECT_NEAR(parabola.eval(2), 5.0 / 3, 1e-15);
}

TEST(CubicSplineCore, BadDataLeaveStatusAndZeroCoefficients) {
  std::vector<double> none;
  spline empty(0, 0, 0, none.data(), none.data(), 0, 0);
  EXPECT_EQ(empty.status, 1);
  EXPECT_TRUE(std::isnan(empty.eval(1)));
  std::vector<double> one = {4};
  spline single(1, 0, 0, one.data(), one.data(), 0, 0);
  EXPECT_EQ(single.status, 1);
  EXPECT_EQ(single.eval(10), 4.0);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> y = {1, 2, 3, 4, 5};
  for (std::vector<double> x : {std::vector<double>{0, 1, 1, 2, 3}, {0, 1, 2, 3, 2.5},
                                {nan, 1, 2, 3, 4}, {0, 1, nan, 3, 4}, {0, 1, 2, 3, nan}}) {
    spline sp(5, 0, 0, x.data(), y.data(), 0, 0);
    EXPECT_EQ(sp.status, 2);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(sp.b[i] == 0 && sp.c[i] == 0 && sp.d[i] == 0);
    // The search ends even over NaN knots: at one of the ordinates, or at NaN
    // when it stops on a NaN knot.
    for (double t : {-1.0, 1.5, 2.0, 10.0}) {
      const double v = sp.eval(t);
      EXPECT_TRUE(std::isnan(v) || (v >= 1 && v <= 5 && v == std::floor(v))) << t << " gives " << v;
    }
  }
}

TEST(CubicSplineCore, KnotQueriesAgreeWithWarmAndColdCache) {
  std::mt19937 rng(3);
  auto s = random_data(rng, 30);
  spline sp(30, 0, 0, s.x.data(), s.y.data(), 0, 0);
  for (size_t k = 1; k + 1 < 30; ++k) {
    // Cache an interval away from x[k], so that the search finds it: u = 0.
    const size_t away = k < 15 ? 28 : 0;
    sp.eval(0.5 * (s.x[away] + s.x[away + 1]));
    const double cold = sp.eval(s.x[k]);
    EXPECT_EQ(cold, s.y[k]);
    sp.eval(0.5 * (s.x[k - 1] + s.x[k]));  // caches interval k-1
    const double warm = sp.eval(s.x[k]);   // its right end
    EXPECT_NEAR(warm, cold, 1e-12 * (1 + std::fabs(cold))) << k;
  }
}

// The spline searches the knots up to n.
long one_at_a_time(const spline& s, const std::vector<double>& queries, std::vector<double>& out,
                   long last) {
  return interval_cases::one_at_a_time(s.x.data(), s.y.data(), s.b.data(), s.c.data(), s.d.data(), s.n,
                                       s.n, queries, out, last);
}

TEST(CubicSplineCore, AllQueriesAtOnceMatchOneAtATimeOnEveryThreadCount) {
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
    spline sp(long(x.size()), 0, 0, x.data(), y.data(), 0, 0);
    ASSERT_EQ(sp.status, 0);
    for (bool sorted : {true, false}) {
      const auto queries = test_queries(rng, x, c.queries, sorted);
      for (bool buckets : {true, false}) {
        const interval_search::interval_index index(x.data(), long(x.size()), long(x.size()) - 1,
                                                    buckets);
        size_t differ = 0;
        for (double t : queries) differ += index.find(t) != interval_cases::bisection(x.data(), long(x.size()), t);
        EXPECT_EQ(differ, 0u) << "kind " << c.kind << " knots " << x.size() << " buckets " << buckets;
      }
      for (long last : {0L, 1L, long(x.size()) - 1, long(x.size()) / 2, -3L}) {
        std::vector<double> want(queries.size()), got(queries.size());
        const long want_last = one_at_a_time(sp, queries, want, last);
        for (int threads : {1, 2, 3}) {
          spline::last_interval() = last;
          std::fill(got.begin(), got.end(), -7.0);
          sp.eval_all(queries.data(), 0, got.data(), threads);
          EXPECT_EQ(spline::last_interval(), last);
          sp.eval_all(queries.data(), queries.size(), got.data(), threads);
          EXPECT_EQ(spline::last_interval(), want_last) << c.kind << " " << threads;
          size_t differ = 0;
          for (size_t q = 0; q < queries.size(); ++q) differ += !same_value(got[q], want[q]);
          EXPECT_EQ(differ, 0u) << "kind " << c.kind << " knots " << x.size() << " sorted "
                                << sorted << " last " << last << " threads " << threads;
        }
      }
    }
  }
  // Knots out of order keep the search over them as it was.
  std::vector<double> x = {0, 1, 1, 3, 2}, y = {1, 2, 3, 4, 5}, want(200), got(200);
  spline bad(5, 0, 0, x.data(), y.data(), 0, 0);
  const auto queries = test_queries(rng, x, 200, false);
  const long want_last = one_at_a_time(bad, queries, want, 2);
  spline::last_interval() = 2;
  bad.eval_all(queries.data(), queries.size(), got.data(), 2);
  EXPECT_EQ(spline::last_interval(), want_last);
  for (size_t q = 0; q < queries.size(); ++q) EXPECT_TRUE(same_value(got[q], want[q])) << q;
}

TEST(CubicSplineCore, ReplayReachesTheLastQueryOfEveryBlock) {
  std::mt19937 rng(9);
  const auto x = test_knots(rng, 0, 50);
  std::vector<double> y(x.size());
  for (double& v : y) v = std::uniform_real_distribution<double>(-5, 5)(rng);
  spline sp(long(x.size()), 0, 0, x.data(), y.data(), 0, 0);
  ASSERT_EQ(sp.status, 0);
  EXPECT_EQ(interval_cases::replay_reaches_block_ends(sp, x, y, one_at_a_time), "");
}

// ---- through the stand-in host -------------------------------------------

TEST(KnotinterpGateway, ValuesMatchReferenceBitForBit) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> offset(-4.0, 4.0);
  for (size_t n : {2u, 3u, 4u, 60u}) {
    auto s = random_data(rng, n);
    std::vector<double> queries;
    for (int q = 0; q < 300; ++q)
      queries.push_back(s.x.front() + (s.x.back() - s.x.front() + 8.0) * (q / 300.0) - 4.0);
    for (int q = 0; q < 300; ++q) queries.push_back(s.x[size_t(q) % n] + offset(rng));
    auto r = call(1, {row(s.x), column(s.y), row(queries)});
    ASSERT_FALSE(r.failed) << r.error;
    auto got = r.out(0).values();
    ASSERT_EQ(got.size(), queries.size());
    if (n == 2) {
      // The straight line, b[0] = b[1] = slope.
      const double slope = (s.y[1] - s.y[0]) / (s.x[1] - s.x[0]);
      reference_spline line{{slope, slope}, {0, 0}, {0, 0}};
      for (size_t q = 0; q < queries.size(); ++q)
        EXPECT_TRUE(same_bits(got[q], reference_value(s.x, s.y, line, queries[q])));
      continue;
    }
    auto ref = reference(s.x, s.y);
    for (size_t q = 0; q < queries.size(); ++q)
      EXPECT_TRUE(same_bits(got[q], reference_value(s.x, s.y, ref, queries[q])))
          << "n " << n << " query " << queries[q];
  }
}

TEST(KnotinterpGateway, OutputIsARowInStorageOrderOfXX) {
  auto x = row({0, 1}), y = row({1, 3});
  auto r = call(0, {x, y, matrix(2, 3, {-1, 0.5, 2, 0, 1, 3})});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).rows(), 1u);
  EXPECT_EQ(r.out(0).columns(), 6u);
  EXPECT_EQ(r.out(0).values(), (std::vector<double>{-1, 2, 5, 1, 3, 7}));

  auto e = call(1, {x, y, empty(0, 3)});
  ASSERT_FALSE(e.failed);
  EXPECT_EQ(e.out(0).rows(), 1u);
  EXPECT_EQ(e.out(0).columns(), 0u);

  auto nan = call(1, {row({0, 1, 3}), row({1, 2, 0}), row({2, NAN, 2})});
  auto values = nan.out(0).values();
  EXPECT_NEAR(values[0], 5.0 / 3, 1e-15);
  EXPECT_TRUE(std::isnan(values[1]));
  EXPECT_EQ(values[2], values[0]);
}

TEST(KnotinterpGateway, ShapesOfXAndYDoNotMatterAndExtraOrdinatesAreIgnored) {
  const std::vector<double> xs = {0, 1, 2.5, 3, 4, 6}, ys = {1, -1, 0.5, 2, 2, -3};
  const auto queries = row({-1, 0.3, 2.7, 5, 7});
  auto want = call(1, {row(xs), row(ys), queries}).out(0).values();
  EXPECT_EQ(call(1, {column(xs), column(ys), queries}).out(0).values(), want);
  EXPECT_EQ(call(1, {matrix(2, 3, xs), matrix(3, 2, ys), queries}).out(0).values(), want);
  EXPECT_EQ(call(1, {row(xs), row({1, -1, 0.5, 2, 2, -3, 100, 200}), queries}).out(0).values(), want);
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(KnotinterpGateway, MessagesInTheirOrder) {
  const std::string usage = "Cubic spline : YY = MYSPLINE(X,Y,XX)";
  const std::string too_few = "There should be at least two data points.";
  const std::string lengths = "Abscissa and ordinate vector should be of the same length.";
  const std::string ascending = "Data point must be given with ascending x values";
  EXPECT_EQ(error_of({}), usage);
  EXPECT_EQ(error_of({row({0, 1}), row({1, 2})}), usage);
  EXPECT_EQ(error_of({empty(), empty()}), usage);
  EXPECT_EQ(error_of({scalar(1), scalar(2), scalar(3)}), too_few);
  EXPECT_EQ(error_of({empty(), empty(), scalar(3)}), too_few);
  EXPECT_EQ(error_of({scalar(1), empty(), scalar(3)}), too_few);
  EXPECT_EQ(error_of({row({0, 1, 2}), row({1, 2}), scalar(3)}), lengths);
  EXPECT_EQ(error_of({row({0, 1, 1, 2}), row({1}), scalar(3)}), lengths);
  EXPECT_EQ(error_of({row({0, 1, 1, 2}), row({1, 2, 3, 4}), scalar(3)}), ascending);
  EXPECT_EQ(error_of({row({2, 1}), row({1, 2}), scalar(3)}), ascending);
  EXPECT_EQ(error_of({row({0, NAN, 2}), row({1, 2, 3}), scalar(3)}), ascending);
  EXPECT_EQ(error_of({row({0, 1, 2, NAN}), row({1, 2, 3, 4}), empty()}), ascending);
  // Further inputs are ignored.
  EXPECT_FALSE(call(1, {row({0, 1}), row({1, 2}), scalar(3), char_array("more")}).failed);
}

TEST(KnotinterpGateway, NonDoubleInputsAreRefusedBeforeReading) {
  auto x = row({0, 1, 2});
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {1, 1}, {0}), x, x}),  // before the sizes
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({x, complex_matrix(1, 3, {0, 1, 2}, {1, 1, 1}), x}),
            "Input 2 must be a real double array");
  EXPECT_EQ(error_of({x, x, typed(mxLOGICAL_CLASS, {1, 1}, {1})}),
            "Input 3 must be a real double array");
  EXPECT_EQ(error_of({sparse_matrix(1, 3, {1}), x, x}), "Input 1 must be a real double array");
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {1, 3})}), "Cubic spline : YY = MYSPLINE(X,Y,XX)");
}

TEST(KnotinterpGateway, FailedOutputAllocationEndsTheCall) {
  fail_allocation_after(0);
  auto r = call(1, {row({0, 1}), row({1, 2}), row({0.5})});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.released_on_exit, 0u);
}

}  // namespace
