// What the forecasting modules (simplex, smap, crossmap) share: the
// embedding of a series into the past, the library searched for neighbours,
// the simplex forecast from neighbours, and the skill of forecasts.
//
// Rows count from 0 here. Row t of the embedding of x (N samples) with
// dimension E and delay tau is v(t) = (x[t], x[t - tau], ..., x[t - (E-1) tau]),
// defined for t >= first = (E - 1) tau: each row looks back in time, the
// latest value first. Its target is y[t + Tp], observed when t + Tp < N.
//
// This header needs nothing of the host.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "host/big_buffer.h"
#include "neighbours/kd_tree.h"

namespace predict {

using neighbours::row_t;

struct embedding {
  const double* x;
  size_t N, E, tau;
  size_t first() const { return (E - 1) * tau; }
  // The coordinates of row t, in order.
  void point(size_t t, double* v) const {
    for (size_t c = 0; c < E; ++c) v[c] = x[t - c * tau];
  }
};

// A k-d tree over the rows lib[0 ... n - 1] (ascending) of an embedding.
// Rows in one run are read where they lie, as runs of x; others are
// gathered first.
inline neighbours::kd_tree library_tree(const embedding& e, const row_t* lib, size_t n,
                                        int threads) {
  std::vector<const double*> columns(e.E);
  if (n == 0 || neighbours::one_run(lib, n)) {
    const size_t start = n ? lib[0] : e.first();
    for (size_t c = 0; c < e.E; ++c) columns[c] = e.x + start - c * e.tau;
    return neighbours::kd_tree(columns, n, threads);
  }
  big_buffer::vector<double> gathered(n * e.E);
  for (size_t c = 0; c < e.E; ++c) {
    for (size_t r = 0; r < n; ++r) gathered[c * n + r] = e.x[lib[r] - c * e.tau];
    columns[c] = gathered.data() + c * n;
  }
  return neighbours::kd_tree(columns, n, threads);
}

// The simplex forecast from k neighbours, nearest first: their distances d
// and rows s, and the series of targets y shifted by Tp. The weights are
// exp(-d_i / d_1), or, when d_1 = 0, 1 for the neighbours at distance 0 and
// 0 for the others; the forecast is sum(u_i y[s_i + Tp]) / sum(u_i), each
// sum taken in neighbour order.
inline double simplex_forecast(const double* d, const row_t* s, size_t k, const double* y,
                               size_t Tp) {
  double weighted = 0, total = 0;
  if (d[0] > 0) {
    // d_1 / d_1 is 1 for any finite d_1: its weight is exp(-1), once.
    static const double first_weight = std::exp(-1.0);
    for (size_t i = 0; i < k; ++i) {
      const double u = i == 0 && d[0] < HUGE_VAL ? first_weight : std::exp(-d[i] / d[0]);
      weighted = weighted + u * y[s[i] + Tp];
      total = total + u;
    }
  } else {
    for (size_t i = 0; i < k; ++i) {
      const double u = d[i] == 0 ? 1.0 : 0.0;
      weighted = weighted + u * y[s[i] + Tp];
      total = total + u;
    }
  }
  return weighted / total;
}

// The skill of forecasts b of observations a over the n pairs whose
// observation is not NaN (an unobserved target), with every sum taken in
// the order of the pairs: the means, then
//   rho  = sum((a - mean a)(b - mean b)) / sqrt(sum((a - mean a)^2) sum((b - mean b)^2)),
//   mae  = sum|a - b| / n,
//   rmse = sqrt(sum((a - b)^2) / n).
// rho is NaN when n < 2 or either sum of squares is 0; mae and rmse are
// NaN when n = 0.
struct skill {
  double rho, mae, rmse;
};
inline skill skill_of(const double* a, const double* b, size_t count) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  size_t n = 0;
  double sum_a = 0, sum_b = 0;
  for (size_t i = 0; i < count; ++i)
    if (!std::isnan(a[i])) {
      sum_a = sum_a + a[i];
      sum_b = sum_b + b[i];
      ++n;
    }
  if (n == 0) return {nan, nan, nan};
  const double mean_a = sum_a / double(n), mean_b = sum_b / double(n);
  double ab = 0, aa = 0, bb = 0, absolute = 0, squared = 0;
  for (size_t i = 0; i < count; ++i) {
    if (std::isnan(a[i])) continue;
    const double da = a[i] - mean_a, db = b[i] - mean_b, e = a[i] - b[i];
    ab = ab + da * db;
    aa = aa + da * da;
    bb = bb + db * db;
    absolute = absolute + std::fabs(e);
    squared = squared + e * e;
  }
  skill s;
  s.rho = n < 2 || aa == 0 || bb == 0 ? nan : ab / std::sqrt(aa * bb);
  s.mae = absolute / double(n);
  s.rmse = std::sqrt(squared / double(n));
  return s;
}

}  // namespace predict
