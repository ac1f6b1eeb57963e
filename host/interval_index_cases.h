// Knots and queries that the two interpolators' tests share: every case in
// which the interval search may go wrong, for the spline and the Akima
// interpolant alike.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/big_buffer.h"
#include "host/interval_index.h"

namespace interval_cases {

// Leaves kept blocks for arrays of about n doubles (or n indices) full of
// NaN, as an earlier call of the same size leaves its garbage: an array the
// interpolators read before writing then shows in their results.
inline void poison_kept_blocks(size_t n) {
  std::vector<big_buffer::vector<double>> blocks;
  for (size_t extra : {0, 0, 0, 0, 0, 0, 4, 4, 4, 4})
    blocks.emplace_back(n + extra, std::numeric_limits<double>::quiet_NaN());
}

// Strictly ascending knots: evenly spread, in tight clusters far apart,
// spread over most of the double range, or running from -Inf to +Inf.
std::vector<double> test_knots(std::mt19937& rng, int kind, size_t n) {
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<double> x;
  double at = 10 * unit(rng) - 5;
  for (size_t i = 0; i < n; ++i) {
    if (kind == 2) {
      x.push_back((unit(rng) < 0.5 ? -1 : 1) * std::pow(10.0, 600 * unit(rng) - 300));
      continue;
    }
    x.push_back(at);
    at += kind == 1 ? (unit(rng) < 0.9 ? 1e-9 : 1e4) : 0.5 + unit(rng);
  }
  if (kind == 2) {
    x.push_back(-1.7e308);
    x.push_back(1.7e308);
    std::sort(x.begin(), x.end());
    x.erase(std::unique(x.begin(), x.end()), x.end());
  }
  if (kind == 3) {
    x.front() = -INFINITY;
    x.back() = INFINITY;
  }
  return x;
}

// Queries at knots, beside them, between them, outside, infinite, signed
// zeros; sorted or not. Where the calls are split into blocks, runs of
// queries at consecutive knots mixed with NaNs straddle every block start:
// there the interval carries over from the queries before.
std::vector<double> test_queries(std::mt19937& rng, const std::vector<double>& x, size_t K,
                                 bool sorted) {
  const size_t n = x.size();
  std::uniform_int_distribution<size_t> knot(0, n - 1);
  std::uniform_real_distribution<double> unit(0, 1);
  const double specials[] = {INFINITY, -INFINITY, 0.0, -0.0, -1e308, 1e308, x[0] - 1, x[n - 1] + 1};
  std::vector<double> q(K);
  for (double& t : q) {
    const double r = unit(rng);
    const size_t i = knot(rng);
    if (r < 0.3)
      t = x[i];
    else if (r < 0.4)
      t = std::nextafter(x[i], r < 0.35 ? -INFINITY : INFINITY);
    else if (r < 0.45)
      t = specials[knot(rng) % 8];
    else
      t = i + 1 < n ? x[i] + unit(rng) * (x[i + 1] - x[i]) : x[i] + unit(rng);
    if (std::isnan(t)) t = x[i];  // between infinite knots
  }
  if (sorted) std::sort(q.begin(), q.end());
  for (size_t start = interval_search::block_size; start < K; start += interval_search::block_size) {
    const size_t first = knot(rng), from = start - 1 - knot(rng) % 40;
    for (size_t j = 0; j < 48 && from + j < K; ++j)
      q[from + j] = knot(rng) % 4 == 0 ? NAN : x[std::min(first + j, n - 1)];
  }
  for (size_t j = 0; j < K; j += 97) q[j] = NAN;
  return q;
}

// One query inside interval k (0 < k < top), then `blocks` whole blocks of
// queries exactly at knot k+1. One at a time they all stay in interval k;
// split into blocks, every block after the first guesses interval k+1 for
// each of its queries, so the replay has to run through to its last query.
inline std::vector<double> right_end_blocks(const std::vector<double>& x, size_t k,
                                            size_t blocks) {
  std::vector<double> q(1 + blocks * interval_search::block_size, x[k + 1]);
  q[0] = 0.5 * (x[k] + x[k + 1]);
  return q;
}

// The search and the evaluation one query at a time as they were before
// queries were split across threads, kept here unchanged as the reference:
// the cached interval, else the bisection over knots 0 ... top (the spline
// searches up to n, the Akima interpolant up to n-1). one_at_a_time writes
// the cubic of each query's interval (knots x, coefficients y, b, c, d) and
// returns the cached interval it leaves.
inline long bisection(const double* x, long top, double t) {
  long lo = 0;
  long hi = top;
  do {
    const long mid = (lo + hi) / 2;
    if (x[mid] > t)
      hi = mid;
    else
      lo = mid;
  } while (lo + 1 < hi);
  return lo;
}

inline long one_at_a_time(const double* x, const double* y, const double* b, const double* c,
                          const double* d, long n, long top, const std::vector<double>& queries,
                          std::vector<double>& out, long last) {
  for (size_t q = 0; q < queries.size(); ++q) {
    const double t = queries[q];
    long k = last;
    if (k >= n - 1 || k < 0) k = 0;
    if (t < x[k] || t > x[k + 1]) k = bisection(x, top, t);
    last = k;
    const double u = t - x[k];
    out[q] = y[k] + u * (b[k] + u * (c[k] + u * d[k]));
  }
  return last;
}

// Queries at the right end of the cached interval for whole blocks: the
// replay of each block must reach its last query, which else keeps the
// interval its block guessed (the value of the next interval at its knot).
// The interpolant of knots x and ordinates y, evaluated all at once on 2
// and 3 threads against one_at_a_time(interpolant, queries, out, last); what
// differs, or nothing.
template <typename Interpolant, typename OneAtATime>
std::string replay_reaches_block_ends(Interpolant& interpolant, const std::vector<double>& x,
                                      const std::vector<double>& y, OneAtATime one_at_a_time) {
  auto same_bits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  // An interval whose cubic reaches its right knot with other bits than the
  // knot's own ordinate, which a search there gives.
  size_t k = x.size() / 2;
  std::vector<double> two(2);
  for (;; ++k) {
    if (k + 3 >= x.size()) return "no interval ends off its knot's ordinate";
    one_at_a_time(interpolant, {0.5 * (x[k] + x[k + 1]), x[k + 1]}, two, 0);
    if (!same_bits(two[1], y[k + 1])) break;
  }
  const auto queries = right_end_blocks(x, k, 3);
  std::vector<double> want(queries.size()), got(queries.size());
  const long want_last = one_at_a_time(interpolant, queries, want, 0);
  std::string differs;
  for (int threads : {2, 3}) {
    Interpolant::last_interval() = 0;
    std::fill(got.begin(), got.end(), -7.0);
    interpolant.eval_all(queries.data(), queries.size(), got.data(), threads);
    if (Interpolant::last_interval() != want_last)
      differs += std::to_string(threads) + " threads: last interval differs; ";
    for (size_t q = 0; q < queries.size(); ++q)
      if (!same_bits(got[q], want[q])) {
        differs += std::to_string(threads) + " threads: first at query " + std::to_string(q) + "; ";
        break;
      }
  }
  return differs;
}

}  // namespace interval_cases
