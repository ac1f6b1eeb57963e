#include "permen/permen.cpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "host/gateway_checks.h"

namespace {

using namespace standin;
using namespace gateway_checks;

// H, Hn and c straight from the definition: each vector's pattern by a
// stable sort of its positions, numbered by its rank among all permutations
// in lexicographic order (the Lehmer code); counts or weights added in time
// order; then the sums in pattern order.
columns by_definition(const std::vector<double>& x, int m, size_t tau, bool weighted) {
  const size_t T = x.size() - size_t(m - 1) * tau;
  size_t patterns = 1;
  for (int k = 2; k <= m; ++k) patterns *= size_t(k);
  std::vector<double> c(patterns, 0.0);
  for (size_t t = 0; t < T; ++t) {
    std::vector<double> v(static_cast<size_t>(m));
    for (int k = 0; k < m; ++k) v[size_t(k)] = x[t + size_t(k) * tau];
    std::vector<int> order(static_cast<size_t>(m));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return v[size_t(a)] < v[size_t(b)]; });
    size_t number = 0;
    for (int r = 0; r < m; ++r) {
      size_t smaller_after = 0;
      for (int j = r + 1; j < m; ++j) smaller_after += order[size_t(j)] < order[size_t(r)];
      number = number * size_t(m - r) + smaller_after;
    }
    if (!weighted) {
      c[number] = c[number] + 1;
      continue;
    }
    double mean = 0, squares = 0;
    for (double value : v) mean = mean + value;
    mean = mean / m;
    for (double value : v) squares = squares + (value - mean) * (value - mean);
    c[number] = c[number] + squares / m;
  }
  double total = 0, sum = 0;
  for (double count : c) total = total + count;
  for (double count : c)
    if (count > 0) sum = sum + count / total * std::log(count / total);
  const double H = 0 - sum;
  return {{H}, {H / std::log(double(patterns))}, c};
}

columns from_core(const std::vector<double>& x, int m, size_t tau, bool weighted, int threads) {
  columns c{unset_column(1), unset_column(1), unset_column(factorial[m])};
  permutation_entropy(x.data(), x.size(), m, tau, weighted, c[0].data(), c[1].data(), c[2].data(),
                      threads);
  return c;
}

// Small integers (many ties), continuous values, and steps of both.
std::vector<double> series(int kind, size_t N, std::mt19937& rng) {
  std::vector<double> x(N);
  std::normal_distribution<double> normal;
  for (size_t t = 0; t < N; ++t)
    x[t] = kind == 0 ? double(rng() % 4) : kind == 1 ? normal(rng) : double(rng() % 3) * 1e-3 + normal(rng) * (t % 5 == 0);
  return x;
}

TEST(PermenCore, AgreesWithTheDefinition) {
  std::mt19937 rng(51);
  for (int trial = 0; trial < 300; ++trial) {
    const int m = 2 + int(rng() % 6);
    const size_t tau = 1 + rng() % 3;
    const size_t N = size_t(m - 1) * tau + 1 + (trial % 10 == 0 ? 0 : rng() % 400);
    const bool weighted = trial % 2;
    const auto x = series(trial % 3, N, rng);
    SCOPED_TRACE(testing::Message() << "N " << N << " m " << m << " tau " << tau << " weighted " << weighted);
    expect_same(from_core(x, m, tau, weighted, 1 + trial % 3), by_definition(x, m, tau, weighted));
    if (HasFailure()) return;
  }
  // Several blocks of shared comparisons (weighted codes a block of time at
  // once), and delays on both sides of the one beyond which vectors are
  // coded one by one.
  for (int m : {3, 6, 9})
    for (size_t tau : {size_t(1), size_t(7), 512 / size_t(m - 2), 512 / size_t(m - 2) + 1, size_t(700)})
      for (bool weighted : {false, true}) {
        const auto x = series(int(tau % 3), 7000, rng);
        SCOPED_TRACE(testing::Message() << "m " << m << " tau " << tau << " weighted " << weighted);
        expect_same(from_core(x, m, tau, weighted, 2), by_definition(x, m, tau, weighted));
        if (HasFailure()) return;
      }
  // m = 8 ... 10 on a few vectors: the largest pattern numbers.
  for (int m = 8; m <= 10; ++m) {
    const auto x = series(1, 300, rng);
    expect_same(from_core(x, m, 2, m == 9, 1), by_definition(x, m, 2, m == 9));
  }
}

// Large enough for threads: blocks of time counted apart, weights added in
// time order on the calling thread, the same bits on 1, 2 and 3 threads.
TEST(PermenCore, SameOnEveryThreadCount) {
  std::mt19937 rng(52);
  for (int kind : {0, 1}) {
    const auto x = series(kind, 700000, rng);
    for (bool weighted : {false, true}) {
      const columns want = by_definition(x, 4, 2, weighted);
      for (int threads : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << threads << " threads, weighted " << weighted);
        expect_same(from_core(x, 4, 2, weighted, threads), want);
      }
    }
  }
}

// The numbering is lexicographic: a vector whose values are the inverse of
// the k-th permutation (from std::next_permutation) has pattern k.
TEST(PermenTheory, PatternsInLexicographicOrder) {
  for (int m : {3, 4, 5}) {
    std::vector<int> perm(static_cast<size_t>(m));
    std::iota(perm.begin(), perm.end(), 0);
    size_t k = 0;
    do {
      std::vector<double> v(static_cast<size_t>(m));
      for (int r = 0; r < m; ++r) v[size_t(perm[size_t(r)])] = r;  // sorts into perm
      const columns c = from_core(v, m, 1, false, 1);
      EXPECT_EQ(c[2][k], 1.0) << "m " << m << " pattern " << k + 1;
      ++k;
    } while (std::next_permutation(perm.begin(), perm.end()));
    EXPECT_EQ(k, size_t(factorial[m]));
  }
}

// A monotone series has one pattern: H = 0. White noise uses all patterns
// alike: Hn near 1. Ties follow time order: a constant series is pattern 1,
// and (1, 1, 0) sorts as positions 3, 1, 2: pattern 5 of 6 (an unstable sort
// could give 3, 2, 1: pattern 6).
TEST(PermenTheory, KnownAnswers) {
  std::vector<double> up(1000), down(1000);
  for (size_t t = 0; t < up.size(); ++t) up[t] = double(t) * 0.5, down[t] = -std::exp(double(t) * 1e-3);
  columns c = from_core(up, 5, 3, false, 2);
  expect_same({c[0], c[1]}, {{0.0}, {0.0}});  // +0, not -0
  EXPECT_EQ(c[2][0], 1000 - 12.0);
  c = from_core(down, 4, 1, true, 2);
  EXPECT_EQ(c[0][0], 0.0);
  EXPECT_GT(c[2][23], 0.0);
  std::mt19937 rng(53);
  const auto noise = series(1, 200000, rng);
  c = from_core(noise, 4, 1, false, 2);
  EXPECT_GT(c[1][0], 0.999);
  EXPECT_LE(c[1][0], 1.0);
  c = from_core(std::vector<double>(50, 7.0), 3, 1, false, 1);
  EXPECT_EQ(c[2][0], 48.0);
  EXPECT_EQ(c[0][0], 0.0);
  c = from_core({1, 1, 0}, 3, 1, false, 1);
  EXPECT_EQ(c[2][4], 1.0);
  // Weighted, a constant series has no weight at all: no term, H = 0.
  c = from_core(std::vector<double>(50, 7.0), 3, 1, true, 1);
  EXPECT_EQ(c[2][0], 0.0);
  EXPECT_EQ(c[0][0], 0.0);
}

// ---- through the stand-in host ------------------------------------------------

TEST(PermenGateway, DefaultsInputsOutputSlotsAndAllocation) {
  std::mt19937 rng(54);
  const auto x = series(2, 500, rng);
  const columns defaults = by_definition(x, 3, 1, false);
  const std::vector<mxArray> spelled = {column(x), scalar(3), scalar(1), scalar(0)};
  for (long given = 1; given <= 4; ++given)
    expect_outputs(call(3, {spelled.begin(), spelled.begin() + given}), defaults, 3);
  expect_outputs(call(3, {row(x), scalar(5), scalar(2), scalar(1)}), by_definition(x, 5, 2, true), 3);
  expect_outputs(call(3, {row(x), scalar(4), scalar(3), typed(mxLOGICAL_CLASS, {1, 1}, {1})}),
                 by_definition(x, 4, 3, true), 3);
  expect_outputs(call(3, {row(x), scalar(4), scalar(3), typed(mxLOGICAL_CLASS, {1, 1}, {0})}),
                 by_definition(x, 4, 3, false), 3);
  expect_only_offered_slots_written(3, {column(x), scalar(4)});
  expect_allocation_failures_end_cleanly(3, {column(x), scalar(4)}, 3);
}

TEST(PermenGateway, MessagesInTheirOrder) {
  const mxArray x = column(std::vector<double>(30, 1.0)), one = scalar(1), three = scalar(3);
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{}, "x must be given"},
      {{x, three, one, one, one}, "At most four inputs: x, m, tau and weighted"},
      {{typed(mxSINGLE_CLASS, {30, 1}), three}, "Input 1 must be a real double array"},
      {{x, three, typed(mxINT32_CLASS, {1, 1}, {1})}, "Input 3 must be a real double array"},
      {{x, three, one, char_array("y")}, "Input 4 must be a real double array"},
      {{matrix(2, 2, {1, 2, 3, 4}), three}, "x must be a vector"},
      {{row({1, NAN, 2}), empty()}, "x must not hold NaN or Inf"},
      {{row({1, 2, INFINITY})}, "x must not hold NaN or Inf"},
      {{x, empty()}, "Input 2 must not be empty"},
      {{x, scalar(1)}, "m must be a whole number from 2 to 10"},
      {{x, scalar(11)}, "m must be a whole number from 2 to 10"},
      {{x, scalar(2.5)}, "m must be a whole number from 2 to 10"},
      {{x, scalar(NAN)}, "m must be a whole number from 2 to 10"},
      {{x, three, scalar(0)}, "tau must be a whole number, at least 1"},
      {{x, three, scalar(INFINITY)}, "tau must be a whole number, at least 1"},
      {{x, three, one, typed(mxLOGICAL_CLASS, {0, 0})}, "Input 4 must not be empty"},
      {{x, three, one, scalar(2)}, "weighted must be true or false (1 or 0)"},
      {{x, three, one, scalar(NAN)}, "weighted must be true or false (1 or 0)"},
      {{column(std::vector<double>(27, 1.0)), scalar(10), scalar(3)},
       "x is too short: m = 10 and tau = 3 need at least 28 samples"},
      {{empty(0, 1)}, "x is too short: m = 3 and tau = 1 need at least 3 samples"},
      {{x, three, scalar(1e300)},
       "x is too short: m = 3 and tau = 1.0000000000000001e+300 need at least 2.0000000000000001e+300 samples"},
  };
  for (const auto& [inputs, message] : cases) EXPECT_EQ(call(3, inputs).error, message);
  EXPECT_FALSE(call(3, {column(std::vector<double>(28, 1.0)), scalar(10), three}).failed);
}

}  // namespace
