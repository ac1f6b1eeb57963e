#include "rqa/rqa.cpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <random>

#include "host/gateway_checks.h"
#include "neighbours/brute_force.h"
#include "neighbours/test_data.h"

namespace {

using namespace standin;
using namespace gateway_checks;

// The recurrence matrix, held whole, and its lines counted straight from
// the definitions: runs along every diagonal (both triangles) and down every
// column.
struct dense_model {
  uint64_t n = 0;
  std::vector<uint64_t> diagonal, vertical;  // [l], l = 0 ... N

  dense_model(const std::vector<double>& X, size_t N, size_t d, double r, uint64_t w,
              bool maximum)
      : diagonal(N + 1, 0), vertical(N + 1, 0) {
    std::vector<char> R(N * N, 0);
    for (size_t i = 0; i < N; ++i)
      for (size_t j = 0; j < N; ++j)
        R[i * N + j] = (i > j ? i - j : j - i) > w &&
                       brute_force::distance(X.data(), N, d, i, j, maximum) <= r;
    for (char e : R) n += uint64_t(e);
    const auto runs = [&](size_t i, size_t j, long di, long dj, std::vector<uint64_t>& lines) {
      size_t run = 0;
      for (; i < N && j < N; i += size_t(di), j += size_t(dj)) {
        if (R[i * N + j]) {
          ++run;
        } else if (run) {
          ++lines[run];
          run = 0;
        }
      }
      if (run) ++lines[run];
    };
    for (size_t k = 1; k < N; ++k) {
      runs(0, k, 1, 1, diagonal);
      runs(k, 0, 1, 1, diagonal);
    }
    for (size_t j = 0; j < N; ++j) runs(0, j, 1, 0, vertical);
  }

  // M by the definitions: each ratio one division after all counting.
  std::vector<double> measures(size_t N, uint64_t w, double lmin, double vmin) const {
    uint64_t pairs = 0;
    for (size_t i = 0; i < N; ++i)
      for (size_t j = 0; j < N; ++j) pairs += (i > j ? i - j : j - i) > w;
    uint64_t dl = 0, dc = 0, vl = 0, vc = 0, dmax = 0, vmax = 0;
    for (size_t l = 1; l <= N; ++l) {
      if (diagonal[l]) dmax = l;
      if (vertical[l]) vmax = l;
      if (double(l) >= lmin) dl += l * diagonal[l], dc += diagonal[l];
      if (double(l) >= vmin) vl += l * vertical[l], vc += vertical[l];
    }
    double sum = 0;
    for (size_t l = 1; l <= N; ++l)
      if (double(l) >= lmin && diagonal[l]) {
        const double p = double(diagonal[l]) / double(dc);
        sum = sum + p * std::log(p);
      }
    const auto ratio = [](uint64_t a, uint64_t b) { return b ? double(a) / double(b) : NAN; };
    return {ratio(n, pairs), ratio(dl, n), ratio(dl, dc), double(dmax), dc ? -sum : NAN,
            ratio(vl, n),    ratio(vl, vc), double(vmax), double(n)};
  }
};

// A random walk on a coarse grid: many ties, and lines of every length.
std::vector<double> quantised_walk(size_t N, size_t d, std::mt19937& rng) {
  std::vector<double> X(N * d);
  std::uniform_int_distribution<int> step(-1, 1);
  for (size_t c = 0; c < d; ++c) {
    double v = 0;
    for (size_t i = 0; i < N; ++i) X[i + c * N] = v = std::fabs(v + step(rng));
  }
  return X;
}

void expect_counts(const rqa_core::counts& got, const dense_model& want) {
  EXPECT_EQ(got.recurrences, want.n);
  EXPECT_EQ(got.diagonal, want.diagonal);
  EXPECT_EQ(got.vertical, want.vertical);
}

TEST(RqaCore, AgreesWithTheDenseModel) {
  std::mt19937 rng(31);
  int cases = 0;
  for (int kind = -1; kind < int(test_data::kind::count); ++kind)
    for (size_t N : {0, 1, 3, 9, 40, 100})
      for (size_t d : {1, 2, 3}) {
        const auto X = kind < 0 ? quantised_walk(N, d, rng)
                                : test_data::points(test_data::kind(kind), N, d, rng);
        std::vector<double> radii = {0, INFINITY};
        for (int m = 0; m < 2 && N > 1; ++m) {
          const double at = brute_force::distance(X.data(), N, d, rng() % N, rng() % N, m == 0);
          radii.insert(radii.end(), {at, std::nextafter(at, INFINITY)});
        }
        for (const double r : radii)
          for (const uint64_t w : {uint64_t(0), uint64_t(1), uint64_t(4), uint64_t(N) - 1,
                                   UINT64_MAX})
            for (const bool maximum : {false, true}) {
              SCOPED_TRACE(testing::Message() << "kind " << kind << " N " << N << " d " << d
                                              << " r " << r << " w " << w << " max " << maximum);
              const dense_model want(X, N, d, r, w, maximum);
              const norm p = maximum ? norm::maximum : norm::euclidean;
              // Blocks of every size down to one row: lines cross every
              // boundary.
              for (size_t blocks : {size_t(2), size_t(7)})
                expect_counts(rqa_core::count(X.data(), N, d, r, w, p, 1, blocks), want);
              const auto counted = rqa_core::count(X.data(), N, d, r, w, p, 1, N);
              expect_counts(counted, want);
              for (const double lmin : {1.0, 2.0, 3.0, 1e300}) {
                const double vmin = lmin < 3 ? 3 - lmin : 1;
                std::vector<double> M(rqa_core::measure_count);
                rqa_core::measures(counted, N, w, lmin, vmin, M.data());
                expect_same({M}, {want.measures(N, w, lmin, vmin)});
              }
              ++cases;
            }
      }
  EXPECT_GT(cases, 1000);
}

// Large enough that the rows are shared among 2 and 3 threads.
TEST(RqaCore, SameCountsForEveryThreadCount) {
  std::mt19937 rng(32);
  const size_t N = 3100;
  for (auto kind : {0, int(test_data::kind::henon)}) {
    const auto X = kind == 0 ? quantised_walk(N, 2, rng)
                             : test_data::points(test_data::kind(kind), N, 2, rng);
    const double r = brute_force::distance(X.data(), N, 2, 0, 1, true) / 4;
    const dense_model want(X, N, 2, r, 3, true);
    EXPECT_GT(want.n, N);
    for (int threads : {1, 2, 3})
      expect_counts(rqa_core::count(X.data(), N, 2, r, 3, norm::maximum, threads), want);
  }
}

// (sin, cos) of a phase that returns every P samples: rows recur exactly
// when they lie a multiple of P apart, so every recurrence lies on a whole
// diagonal (DET = 1), the diagonals P apart, and no column holds two
// neighbouring rows (LAM = 0).
TEST(RqaTheory, PeriodicSeriesLiesOnWholeDiagonalsPApart) {
  const size_t N = 1000, P = 20;
  std::vector<double> X(2 * N);
  for (size_t i = 0; i < N; ++i) {
    const double phase = 2 * M_PI * double(i % P) / double(P);
    X[i] = std::sin(phase);
    X[N + i] = std::cos(phase);
  }
  const auto c = rqa_core::count(X.data(), N, 2, 1e-9, 1, norm::maximum, 2);
  std::vector<uint64_t> want(N + 1, 0);
  for (size_t k = P; k < N; k += P) want[N - k] = 2;
  EXPECT_EQ(c.diagonal, want);
  double M[rqa_core::measure_count];
  rqa_core::measures(c, N, 1, 2, 2, M);
  EXPECT_EQ(M[1], 1.0);  // DET
  EXPECT_EQ(M[5], 0.0);  // LAM
  EXPECT_EQ(M[3], double(N - P));
}

// White noise: the recurrences are the pairs corrsum counts (strictly below
// the radius nudged up an ulp), twice, and few of them line up.
TEST(RqaTheory, WhiteNoiseRecursAsTheCorrelationSumSays) {
  std::mt19937 rng(33);
  std::uniform_real_distribution<double> unit(0, 1);
  const size_t N = 3000;
  std::vector<double> X(2 * N);
  for (double& v : X) v = unit(rng);
  for (const bool maximum : {false, true})
    for (const uint64_t w : {0, 1, 10}) {
      const double r = 0.1;
      const auto c = rqa_core::count(X.data(), N, 2, r, w, maximum ? norm::maximum : norm::euclidean, 2);
      const auto pairs =
          brute_force::pair_counts(X.data(), N, 2, {std::nextafter(r, INFINITY)}, w, maximum);
      EXPECT_EQ(c.recurrences, 2 * pairs[0]);
      double M[rqa_core::measure_count];
      rqa_core::measures(c, N, w, 2, 2, M);
      EXPECT_EQ(M[0], double(2 * pairs[0]) / double((N - w - 1) * (N - w)));
      EXPECT_LT(M[1], 0.15);  // DET: about twice RR
    }
}

// The Henon map: nearly every recurrence lies on a line, and the number of
// lines falls exponentially with their length, at a rate of the order of
// the largest exponent, 0.42 (the lines part as neighbours diverge).
TEST(RqaTheory, HenonLinesFallExponentially) {
  const size_t N = 20000;
  const auto x = test_data::henon_x(N + 1);
  std::vector<double> X(2 * N);
  for (size_t i = 0; i < N; ++i) X[i] = x[i + 1], X[N + i] = x[i];
  const auto c = rqa_core::count(X.data(), N, 2, 0.02, 1, norm::maximum, 2);
  double M[rqa_core::measure_count];
  rqa_core::measures(c, N, 1, 2, 2, M);
  EXPECT_GT(M[1], 0.75);              // DET
  EXPECT_LT(M[3], double(N) / 10);    // Lmax: the lines end
  // The slope of ln Dl(l) over l = 3 ... 12, by least squares.
  double sl = 0, sy = 0, sll = 0, sly = 0;
  const int from = 3, to = 12;
  for (int l = from; l <= to; ++l) {
    const double y = std::log(double(c.diagonal[size_t(l)]));
    sl += l, sy += y, sll += double(l) * l, sly += l * y;
  }
  const double m = to - from + 1, slope = (m * sly - sl * sy) / (m * sll - sl * sl);
  EXPECT_LT(slope, -0.1) << "RR " << M[0];
  EXPECT_GT(slope, -1.0);
}

// The logistic map just below the period-3 window (intermittency): every
// third value stays still for stretches, which make long vertical lines.
// TT is about the stretches' mean length, measured here as runs of steps
// under r.
TEST(RqaTheory, LaminarStretchesMakeVerticalLines) {
  const size_t N = 6000;
  std::vector<double> y(N);
  double x = 0.4;
  for (int t = 0; t < 3000; ++t) x = 3.8284 * x * (1 - x);
  for (size_t i = 0; i < N; ++i) {
    for (int t = 0; t < 3; ++t) x = 3.8284 * x * (1 - x);
    y[i] = x;
  }
  const double r = 0.01;
  const auto c = rqa_core::count(y.data(), N, 1, r, 1, norm::maximum, 2);
  double M[rqa_core::measure_count];
  rqa_core::measures(c, N, 1, 2, 2, M);
  EXPECT_GT(M[5], 0.8);  // LAM
  size_t stretches = 0, steps = 0, run = 0;
  for (size_t i = 1; i <= N; ++i) {
    if (i < N && std::fabs(y[i] - y[i - 1]) <= r) {
      ++run;
    } else if (run >= 2) {
      ++stretches, steps += run + 1, run = 0;
    } else {
      run = 0;
    }
  }
  const double mean = double(steps) / double(stretches);
  EXPECT_GT(M[6], mean / 3) << mean;
  EXPECT_LT(M[6], mean * 3) << mean;
}

TEST(RqaGateway, DefaultsNoPairsOutputSlotsAndAllocation) {
  std::mt19937 rng(34);
  const size_t N = 200;
  const auto X = quantised_walk(N, 2, rng);
  const dense_model model(X, N, 2, 1, 1, true);
  const std::vector<double> M = model.measures(N, 1, 2, 2);
  const std::vector<double> Dl(model.diagonal.begin() + 1, model.diagonal.end());
  const std::vector<double> Vl(model.vertical.begin() + 1, model.vertical.end());
  const std::vector<mxArray> spelled = {matrix(N, 2, X), scalar(1), scalar(1),
                                        scalar(2),       scalar(2), scalar(INFINITY)};
  for (long given = 2; given <= 6; ++given) {
    SCOPED_TRACE(testing::Message() << given << " inputs");
    const call_result result = call(3, {spelled.begin(), spelled.begin() + given});
    ASSERT_FALSE(result.failed) << result.error;
    EXPECT_EQ(result.out(0).rows(), 1u);
    EXPECT_EQ(result.out(1).columns(), 1u);
    expect_same({result.out(0).values(), result.out(1).values(), result.out(2).values()},
                {M, Dl, Vl});
  }
  // No pair takes part: RR and the ratios NaN, every count 0.
  const call_result none = call(3, {matrix(N, 2, X), scalar(1), scalar(N - 1)});
  ASSERT_FALSE(none.failed);
  expect_same({none.out(0).values(), none.out(1).values()},
              {{NAN, NAN, NAN, 0, NAN, NAN, NAN, 0, 0}, std::vector<double>(N, 0)});
  const call_result empty_X = call(3, {empty(0, 2), scalar(1)});
  ASSERT_FALSE(empty_X.failed);
  EXPECT_EQ(empty_X.out(1).rows(), 0u);
  // Only the slots offered are written.
  for (int nlhs = 0; nlhs <= 3; ++nlhs) {
    gateway_checks::detail::wrote_past_the_slots = false;
    const call_result result = call(&gateway_checks::detail::guarded, nlhs, spelled);
    EXPECT_FALSE(gateway_checks::detail::wrote_past_the_slots) << "nlhs = " << nlhs;
    ASSERT_FALSE(result.failed);
    expect_same({result.out(0).values()}, {M});
  }
  expect_allocation_failures_end_cleanly(3, {matrix(N, 2, X), scalar(1)}, 3);
}

TEST(RqaGateway, MessagesInTheirOrder) {
  const mxArray X = matrix(10, 1, std::vector<double>(10, 1.0)), one = scalar(1);
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{X}, "X and r must be given"},
      {{X, one, one, one, one, one, one}, "At most six inputs: X, r, w, lmin, vmin and p"},
      {{typed(mxSINGLE_CLASS, {10, 1}), one}, "Input 1 must be a real double array"},
      {{X, one, one, one, one, complex_matrix(1, 1, {2}, {0})}, "Input 6 must be a real double array"},
      {{matrix(2, 1, {1, NAN}), scalar(-1)}, "X must not hold NaN or Inf"},
      {{matrix(2, 1, {1, -INFINITY}), one}, "X must not hold NaN or Inf"},
      {{X, empty()}, "Input 2 must not be empty"},
      {{X, scalar(-1), scalar(-1)}, "r must be a number, at least 0"},
      {{X, scalar(NAN)}, "r must be a number, at least 0"},
      {{X, one, scalar(0.5)}, "w must be a whole number, at least 0"},
      {{X, one, scalar(-1)}, "w must be a whole number, at least 0"},
      {{X, one, one, scalar(0)}, "lmin must be a whole number, at least 1"},
      {{X, one, one, scalar(INFINITY)}, "lmin must be a whole number, at least 1"},
      {{X, one, one, one, scalar(2.5)}, "vmin must be a whole number, at least 1"},
      {{X, one, one, one, empty()}, "Input 5 must not be empty"},
      {{X, one, one, one, one, scalar(1)}, "p must be 2 or Inf"},
      {{X, one, one, one, one, scalar(NAN)}, "p must be 2 or Inf"},
  };
  for (const auto& [inputs, message] : cases) EXPECT_EQ(call(3, inputs).error, message);
}

}  // namespace
