#include "smap/smap.cpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "host/gateway_checks.h"
#include "predict/models.h"

namespace {

using namespace standin;

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

struct run_result {
  std::vector<double> P, C;
  predict::skill S;
};
run_result run(const std::vector<double>& x, size_t E, size_t tau, size_t Tp, double theta,
               size_t w, const std::vector<row_t>& lib, const std::vector<row_t>& pred,
               int threads) {
  run_result r{std::vector<double>(2 * pred.size()), std::vector<double>(pred.size() * (E + 1)), {}};
  const predict::embedding e{x.data(), x.size(), E, tau};
  r.S = smap_forecasts(e, Tp, theta, w, lib.data(), lib.size(), pred.data(), pred.size(),
                       r.P.data(), r.C.data(), threads);
  return r;
}

std::vector<row_t> every_row(size_t from, size_t to) {
  std::vector<row_t> rows;
  for (size_t t = from; t < to; ++t) rows.push_back(row_t(t));
  return rows;
}

using real = long double;

// The fit in extended precision: the weights, then the least-squares
// coefficients from the normal equations (A'A) c = A'b, solved by Gaussian
// elimination with partial pivoting; when the system has fewer rows m than
// unknowns, the minimum-norm solution A' (A A')^-1 b. Accurate for systems
// far from singular.
std::vector<real> solve(std::vector<std::vector<real>> M, std::vector<real> v) {
  const size_t n = v.size();
  for (size_t col = 0; col < n; ++col) {
    size_t pivot = col;
    for (size_t r = col + 1; r < n; ++r)
      if (std::fabs(M[r][col]) > std::fabs(M[pivot][col])) pivot = r;
    std::swap(M[col], M[pivot]);
    std::swap(v[col], v[pivot]);
    for (size_t r = col + 1; r < n; ++r) {
      const real f = M[r][col] / M[col][col];
      for (size_t c = col; c < n; ++c) M[r][c] -= f * M[col][c];
      v[r] -= f * v[col];
    }
  }
  std::vector<real> out(n);
  for (size_t i = n; i-- > 0;) {
    real s = v[i];
    for (size_t c = i + 1; c < n; ++c) s -= M[i][c] * out[c];
    out[i] = s / M[i][i];
  }
  return out;
}

std::vector<real> reference_fit(const std::vector<double>& x, size_t E, size_t tau, size_t Tp,
                                double theta, size_t w, const std::vector<row_t>& lib, size_t t) {
  const size_t p = E + 1;
  std::vector<size_t> rows;
  std::vector<real> d;
  real sum = 0;
  for (row_t s : lib)
    if ((s > t ? s - t : t - s) > w) {
      real squares = 0;
      for (size_t j = 0; j < E; ++j) {
        const real diff = real(x[s - j * tau]) - real(x[t - j * tau]);
        squares += diff * diff;
      }
      rows.push_back(s);
      d.push_back(std::sqrt(squares));
      sum += d.back();
    }
  const size_t m = rows.size();
  const real mean = sum / real(m);
  std::vector<std::vector<real>> A(m, std::vector<real>(p));
  std::vector<real> b(m);
  for (size_t i = 0; i < m; ++i) {
    const real W = mean > 0 ? std::exp(-real(theta) * d[i] / mean) : 1;
    A[i][0] = W;
    for (size_t j = 0; j < E; ++j) A[i][j + 1] = W * real(x[rows[i] - j * tau]);
    b[i] = W * real(x[rows[i] + Tp]);
  }
  if (m >= p) {
    std::vector<std::vector<real>> G(p, std::vector<real>(p, 0));
    std::vector<real> g(p, 0);
    for (size_t i = 0; i < m; ++i)
      for (size_t a = 0; a < p; ++a) {
        g[a] += A[i][a] * b[i];
        for (size_t c = 0; c < p; ++c) G[a][c] += A[i][a] * A[i][c];
      }
    return solve(G, g);
  }
  std::vector<std::vector<real>> G(m, std::vector<real>(m, 0));
  for (size_t i = 0; i < m; ++i)
    for (size_t k = 0; k < m; ++k)
      for (size_t a = 0; a < p; ++a) G[i][k] += A[i][a] * A[k][a];
  const std::vector<real> y = solve(G, b);
  std::vector<real> c(p, 0);
  for (size_t a = 0; a < p; ++a)
    for (size_t i = 0; i < m; ++i) c[a] += A[i][a] * y[i];
  return c;
}

// Random series, libraries, windows and theta: the coefficients and
// forecasts within 1e-9 of the extended-precision fit (relative to the
// largest coefficient), bit for bit the same on 1, 2 and 3 threads.
TEST(SmapCore, AgreesWithAnExtendedPrecisionFit) {
  std::mt19937 rng(61);
  for (int trial = 0; trial < 40; ++trial) {
    const size_t N = 30 + rng() % 400;
    const auto x = trial % 2 ? models::logistic(N, 3.9, 0.1 + 0.01 * trial)
                             : models::white_noise(N, unsigned(trial));
    const size_t E = 1 + rng() % 6, tau = 1 + rng() % 2, Tp = rng() % 3, w = rng() % 4;
    const double theta = std::vector<double>{0, 0.5, 1, 2, 4}[rng() % 5];
    const size_t first = (E - 1) * tau;
    std::vector<row_t> lib;
    for (size_t t = first; t + Tp < N; ++t)
      if (trial % 3 || rng() % 2) lib.push_back(row_t(t));
    std::vector<row_t> pred;
    for (int r = 0; r < 40; ++r) pred.push_back(row_t(first + rng() % (N - first)));
    const run_result one = run(x, E, tau, Tp, theta, w, lib, pred, 1);
    for (int threads : {2, 3}) {
      const run_result more = run(x, E, tau, Tp, theta, w, lib, pred, threads);
      for (size_t i = 0; i < one.P.size(); ++i) ASSERT_TRUE(same_bits(more.P[i], one.P[i]));
      for (size_t i = 0; i < one.C.size(); ++i) ASSERT_TRUE(same_bits(more.C[i], one.C[i]));
    }
    for (size_t r = 0; r < pred.size(); ++r) {
      const auto c = reference_fit(x, E, tau, Tp, theta, w, lib, pred[r]);
      real scale = 0, forecast = c[0];
      for (size_t j = 0; j <= E; ++j) scale = std::max(scale, std::fabs(c[j]));
      for (size_t j = 0; j < E; ++j) forecast += c[j + 1] * real(x[pred[r] - j * tau]);
      for (size_t j = 0; j <= E; ++j)
        ASSERT_NEAR(double(one.C[r + j * pred.size()]), double(c[j]), 1e-9 * double(scale))
            << "trial " << trial << " row " << pred[r] << " coefficient " << j;
      ASSERT_NEAR(one.P[pred.size() + r], double(forecast), 1e-9 * double(std::fabs(forecast) + scale));
    }
  }
}

// Orthonormal columns (column j at j m) by modified Gram-Schmidt.
std::vector<real> orthonormal(size_t m, size_t p, std::mt19937& rng) {
  std::normal_distribution<double> normal;
  std::vector<real> Q(m * p);
  for (real& q : Q) q = normal(rng);
  for (size_t j = 0; j < p; ++j) {
    for (size_t k = 0; k < j; ++k) {
      real dot = 0;
      for (size_t i = 0; i < m; ++i) dot += Q[i + k * m] * Q[i + j * m];
      for (size_t i = 0; i < m; ++i) Q[i + j * m] -= dot * Q[i + k * m];
    }
    real norm = 0;
    for (size_t i = 0; i < m; ++i) norm += Q[i + j * m] * Q[i + j * m];
    for (size_t i = 0; i < m; ++i) Q[i + j * m] /= std::sqrt(norm);
  }
  return Q;
}

// Random systems A = U diag(sigma) V' of a chosen 2-norm condition (sigma
// from 1 down to 1 / cond), targets A c plus a residual off the columns'
// span: both solvers within 1e-9 of the extended-precision solution,
// relative to its largest coefficient, up to the condition where the
// normal equations stop. Those take every system of condition 1e3 (their
// limit is on the 1-norm condition of R, at most p times the 2-norm one)
// and refuse those of 1e6.
TEST(SmapCore, SolversAgreeWithExtendedPrecision) {
  std::mt19937 rng(5);
  std::normal_distribution<double> normal;
  for (size_t p : {2, 3, 4, 5, 7})
    for (size_t m : {p, p + 1, size_t(60), size_t(3000)})
      for (double cond : {1.0, 30.0, 1e3, 5e3, 1e6}) {
        const std::vector<real> U = orthonormal(m, p, rng), V = orthonormal(p, p, rng);
        std::vector<double> A(m * (p + 1));  // column-major, targets last
        std::vector<real> fit(p), residual(m);
        for (real& c : fit) c = normal(rng);
        for (real& r : residual) r = normal(rng);
        const real off = cond > 1e3 ? 0 : 0.5;  // residual against the fit's norm
        real fitted_norm = 0, residual_norm = 0;
        std::vector<real> fitted(m, 0);
        for (size_t j = 0; j < p; ++j)
          for (size_t i = 0; i < m; ++i) {
            real a = 0;
            for (size_t k = 0; k < p; ++k)
              a += U[i + k * m] * std::pow(real(cond), -real(k) / real(p - 1)) * V[j + k * p];
            A[i + j * m] = double(a);
            fitted[i] += real(A[i + j * m]) * fit[j];
          }
        for (size_t i = 0; i < m; ++i) {
          fitted_norm += fitted[i] * fitted[i];
          residual_norm += residual[i] * residual[i];
        }
        const real residual_scale = off * std::sqrt(fitted_norm / residual_norm);
        for (size_t i = 0; i < m; ++i) A[i + p * m] = double(fitted[i] + residual_scale * residual[i]);
        std::vector<std::vector<real>> G(p, std::vector<real>(p, 0));
        std::vector<real> g(p, 0);
        std::vector<double> gram((p + 1) * (p + 1), 0);
        for (size_t j = 0; j < p; ++j)
          for (size_t k = j; k <= p; ++k)
            for (size_t i = 0; i < m; ++i) {
              gram[j * (p + 1) + k] = gram[j * (p + 1) + k] + A[i + j * m] * A[i + k * m];
              if (k < p) G[j][k] = G[k][j] += real(A[i + j * m]) * real(A[i + k * m]);
              if (k == p) g[j] += real(A[i + j * m]) * real(A[i + p * m]);
            }
        const std::vector<real> want = solve(G, g);
        real scale = 0;
        for (real c : want) scale = std::max(scale, std::fabs(c));
        const auto near_want = [&](const std::vector<double>& c, const char* by) {
          for (size_t j = 0; j < p; ++j)
            ASSERT_NEAR(c[j], double(want[j]), 1e-9 * double(scale))
                << by << ": p " << p << " m " << m << " cond " << cond << " coefficient " << j;
        };
        const auto make_row = [&](size_t i, double* row) {
          for (size_t j = 0; j <= p; ++j) row[j] = A[i + j * m];
        };
        std::vector<double> inverse(p * p), scratch(p), row(p + 1), c(p);
        bool solved = false;
        neighbours::with_dimension(p - 1, [&](auto D) {
          solved = solve_normal_equations<decltype(D)::value>(make_row, m, p, gram.data(),
                                                              inverse.data(), scratch.data(),
                                                              row.data(), c.data());
        });
        if (cond <= 1e3) {
          ASSERT_TRUE(solved) << "p " << p << " m " << m << " cond " << cond;
        } else if (cond >= 1e6) {
          ASSERT_FALSE(solved) << "p " << p << " m " << m;
        }
        if (solved) near_want(c, "normal equations");
        if (cond > 5e3) continue;
        std::vector<double> system = A;
        solve_by_svd(system.data(), m, p, c.data());
        near_want(c, "SVD");
      }
}

// Fewer library rows than unknowns: the minimum-norm solution. A constant
// series: one singular value, the rest cut off, and the forecast is the
// constant.
TEST(SmapCore, MinimumNormFits) {
  const auto x = models::logistic(50);
  const std::vector<row_t> lib = {10, 30}, pred = {20, 40};
  const run_result r = run(x, 3, 1, 1, 2, 0, lib, pred, 1);
  for (size_t i = 0; i < 2; ++i) {
    const auto c = reference_fit(x, 3, 1, 1, 2, 0, lib, pred[i]);
    for (size_t j = 0; j < 4; ++j) EXPECT_NEAR(r.C[i + j * 2], double(c[j]), 1e-12);
  }
  const std::vector<double> flat(40, 0.5);
  const run_result f = run(flat, 2, 1, 1, 3, 0, every_row(1, 39), every_row(1, 40), 2);
  for (size_t i = 0; i < 39; ++i) {
    EXPECT_NEAR(f.P[39 + i], 0.5, 1e-14);
    EXPECT_NEAR(f.C[i], 1.0 / 3, 1e-14);
    EXPECT_NEAR(f.C[i + 39], 1.0 / 6, 1e-14);
  }
}

double rho_of(const std::vector<double>& x, size_t E, double theta) {
  return run(x, E, 1, 1, theta, 0, every_row(E - 1, x.size() - 1), every_row(E - 1, x.size()), 2)
      .S.rho;
}

// Sugihara 1994: a chaotic series is forecast better by local maps (theta
// above 0); a linear stochastic one gains nothing beyond sampling noise.
TEST(SmapKnownAnswers, LogisticGainsAutoregressionDoesNot) {
  const auto logistic = models::logistic(500);
  const auto noise = models::white_noise(2000, 3);
  std::vector<double> ar(2000);
  ar[0] = noise[0];
  for (size_t t = 1; t < ar.size(); ++t) ar[t] = 0.6 * ar[t - 1] + noise[t];
  const double thetas[] = {0, 0.5, 2, 8};
  double best = -2, best_theta = -1, ar_best = -2;
  for (double theta : thetas) {
    const double rho = rho_of(logistic, 2, theta);
    if (rho > best) best = rho, best_theta = theta;
    ar_best = std::max(ar_best, rho_of(ar, 2, theta));
  }
  EXPECT_GT(best_theta, 0);
  EXPECT_GT(best, rho_of(logistic, 2, 0) + 0.05);
  const double linear = rho_of(ar, 2, 0);
  EXPECT_GT(linear, 0.5);
  EXPECT_LE(ar_best - linear, 0.005);
}

// ---- through the stand-in host ------------------------------------------------

TEST(SmapGateway, DefaultsShapesAndRowsFromOne) {
  const auto x = models::logistic(60);
  const call_result all = call(3, {column(x), scalar(2), scalar(1), scalar(1), scalar(2)});
  ASSERT_FALSE(all.failed) << all.error;
  ASSERT_EQ(all.out(0).rows(), 59u);
  ASSERT_EQ(all.out(1).columns(), 3u);
  ASSERT_EQ(all.out(2).rows(), 59u);
  ASSERT_EQ(all.out(2).columns(), 3u);
  const run_result want = run(x, 2, 1, 1, 2, 0, every_row(1, 59), every_row(1, 60), 1);
  const auto P = all.out(0).values(), C = all.out(2).values();
  for (size_t i = 0; i < P.size(); ++i) EXPECT_TRUE(same_bits(P[i], want.P[i])) << i;
  for (size_t i = 0; i < C.size(); ++i) EXPECT_TRUE(same_bits(C[i], want.C[i])) << i;
  const call_result some = call(3, {row(x), scalar(2), scalar(2), scalar(3), scalar(0.5),
                                    scalar(1), row({40, 5, 40, 30, 20, 10, 50, 12, 33}),
                                    row({60, 3, 60})});
  ASSERT_FALSE(some.failed) << some.error;
  const run_result want_some = run(x, 2, 2, 3, 0.5, 1, {4, 9, 11, 19, 29, 32, 39, 49}, {59, 2, 59}, 1);
  const auto PS = some.out(0).values();
  for (size_t i = 0; i < 6; ++i) EXPECT_TRUE(same_bits(PS[i], want_some.P[i])) << i;
}

TEST(SmapGateway, MessagesInTheirOrder) {
  const mxArray x = column(models::logistic(10));
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{x}, "x and E must be given"},
      {{x, scalar(1), scalar(1), scalar(1), scalar(0), scalar(0), empty(), empty(), scalar(1)},
       "At most eight inputs: x, E, tau, Tp, theta, w, lib and pred"},
      {{x, scalar(1), scalar(1), scalar(1), typed(mxSINGLE_CLASS, {1, 1}, {1})},
       "Input 5 must be a real double array"},
      {{column({NAN, 1}), scalar(1)}, "x must not hold NaN or Inf"},
      {{x, scalar(0)}, "E must be a whole number, at least 1"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(-1)}, "theta must be a finite number, at least 0"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(INFINITY)}, "theta must be a finite number, at least 0"},
      {{x, scalar(2), scalar(1), scalar(1), empty()}, "Input 5 must not be empty"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(1), scalar(-1)}, "w must be a whole number, at least 0"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(1), scalar(0), row({10})},
       "lib row 10 has no observed target: its target lies past the end of x for Tp = 1"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(1), scalar(0), empty(), row({1})},
       "pred row 1 has no embedding: rows start at 2 for E = 2 and tau = 1"},
      {{x, scalar(2), scalar(1), scalar(1), scalar(1), scalar(20)},
       "Not enough candidates: prediction row 2 has 0 library rows more than w = 20 apart, "
       "fewer than 1"},
  };
  for (const auto& [inputs, message] : cases) {
    const call_result result = call(3, inputs);
    EXPECT_TRUE(result.failed) << message;
    EXPECT_EQ(result.error, message);
  }
}

TEST(SmapGateway, AllocationFailureEndsTheCallCleanly) {
  gateway_checks::expect_allocation_failures_end_cleanly(
      3, {column(models::logistic(100)), scalar(2), scalar(1), scalar(1), scalar(2)}, 3);
}

}  // namespace
