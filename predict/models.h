// For the tests: the forecasting definitions written out plainly, with every
// library row compared, and series whose forecasts theory knows. Slow and
// plain on purpose; simplex and crossmap must agree with them bit for bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace models {

// Rows from 0. Distance of rows t and s of the embedding (E, tau) of x: the
// root of the sum over c = 0 ... E-1, in order, of (x[t - c tau] - x[s - c tau])^2.
inline double distance(const std::vector<double>& x, size_t E, size_t tau, size_t t, size_t s) {
  double sum = 0;
  for (size_t c = 0; c < E; ++c) {
    const double d = x[t - c * tau] - x[s - c * tau];
    sum = sum + d * d;
  }
  return std::sqrt(sum);
}

// The simplex forecast of row t of x's embedding, of the target series y
// shifted by Tp, from the k nearest rows of lib (any order) more than w
// from t.
inline double simplex(const std::vector<double>& x, const std::vector<double>& y, size_t E,
                      size_t tau, size_t Tp, size_t w, const std::vector<size_t>& lib, size_t k,
                      size_t t) {
  std::vector<std::pair<double, size_t>> all;
  for (const size_t s : lib)
    if ((s > t ? s - t : t - s) > w) all.push_back({distance(x, E, tau, t, s), s});
  std::sort(all.begin(), all.end());
  all.resize(k);
  double num = 0, den = 0;
  for (size_t i = 0; i < k; ++i) {
    double u;
    if (all[0].first > 0)
      u = std::exp(-all[i].first / all[0].first);
    else
      u = all[i].first == 0 ? 1 : 0;
    num = num + u * y[all[i].second + Tp];
    den = den + u;
  }
  return num / den;
}

// Pearson's rho of the pairs with a not-NaN observation, sums in order.
inline double rho(const std::vector<double>& a, const std::vector<double>& b) {
  double n = 0, sa = 0, sb = 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (!std::isnan(a[i])) sa = sa + a[i], sb = sb + b[i], n = n + 1;
  const double ma = sa / n, mb = sb / n;
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (!std::isnan(a[i])) {
      ab = ab + (a[i] - ma) * (b[i] - mb);
      aa = aa + (a[i] - ma) * (a[i] - ma);
      bb = bb + (b[i] - mb) * (b[i] - mb);
    }
  if (n < 2 || aa == 0 || bb == 0) return std::numeric_limits<double>::quiet_NaN();
  return ab / std::sqrt(aa * bb);
}

inline std::vector<double> logistic(size_t n, double r = 4, double x0 = 0.4) {
  std::vector<double> x(n);
  double v = x0;
  for (int i = 0; i < 100; ++i) v = r * v * (1 - v);
  for (double& e : x) e = v, v = r * v * (1 - v);
  return x;
}

inline std::vector<double> white_noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> g;
  std::vector<double> x(n);
  for (double& e : x) e = g(rng);
  return x;
}

// The coupled logistic maps x(t+1) = x(t)(3.8 - 3.8 x(t) - 0.02 y(t)),
// y(t+1) = y(t)(3.5 - 3.5 y(t) - 0.1 x(t)): x drives y harder than y
// drives x.
inline void coupled_logistic(size_t n, std::vector<double>& x, std::vector<double>& y) {
  x.resize(n);
  y.resize(n);
  double a = 0.4, b = 0.2;
  for (size_t i = 0; i < n + 100; ++i) {
    if (i >= 100) x[i - 100] = a, y[i - 100] = b;
    const double na = a * (3.8 - 3.8 * a - 0.02 * b), nb = b * (3.5 - 3.5 * b - 0.1 * a);
    a = na, b = nb;
  }
}

}  // namespace models
