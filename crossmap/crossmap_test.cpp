#include "crossmap/crossmap.cpp"

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

std::vector<double> run(const std::vector<double>& x, const std::vector<double>& y, size_t E,
                        size_t tau, const std::vector<size_t>& sizes, size_t samples, bool seeded,
                        uint32_t seed, size_t w, size_t Tp, int threads,
                        const list_plan* plan = nullptr) {
  const predict::embedding e{x.data(), x.size(), E, tau};
  const cross_problem p{e, y.data(), Tp, w, x.size() - e.first() - Tp};
  const size_t columns = seeded ? samples : 1;
  std::vector<double> R(sizes.size() * columns, -7);
  cross_map(p, sizes.data(), sizes.size(), columns, seeded, seed, R.data(), threads,
            plan ? *plan : default_plan(p.n, E + 1));
  return R;
}

// The definition: the draws from the reference generator (the standard
// library's mt19937 is seeded as init_genrand; two words make a
// genrand_res53), every valid row forecast from the model's search.
std::vector<double> model(const std::vector<double>& x, const std::vector<double>& y, size_t E,
                          size_t tau, const std::vector<size_t>& sizes, size_t samples,
                          bool seeded, uint32_t seed, size_t w, size_t Tp) {
  const size_t first = (E - 1) * tau, n = x.size() - first - Tp;
  std::mt19937 twister(seed);
  const auto res53 = [&] {
    const double a = double(twister() >> 5), b = double(twister() >> 6);
    return (a * 67108864.0 + b) / 9007199254740992.0;
  };
  const size_t columns = seeded ? samples : 1;
  std::vector<double> R(sizes.size() * columns);
  for (size_t i = 0; i < sizes.size(); ++i)
    for (size_t j = 0; j < columns; ++j) {
      std::vector<size_t> list(n);
      for (size_t r = 0; r < n; ++r) list[r] = first + r;
      if (seeded)
        for (size_t a = 0; a < sizes[i]; ++a)
          std::swap(list[a], list[a + size_t(std::floor(res53() * double(n - a)))]);
      list.resize(sizes[i]);
      std::vector<double> targets, forecasts;
      for (size_t t = first; t < first + n; ++t) {
        targets.push_back(y[t + Tp]);
        forecasts.push_back(models::simplex(x, y, E, tau, Tp, w, list, E + 1, t));
      }
      R[i + j * sizes.size()] = models::rho(targets, forecasts);
    }
  return R;
}

TEST(CrossmapCore, AgreesWithTheModelBitForBit) {
  std::mt19937 rng(51);
  for (int trial = 0; trial < 30; ++trial) {
    const size_t N = 40 + rng() % 200;
    std::vector<double> x, y;
    models::coupled_logistic(N + trial, x, y);
    x.erase(x.begin(), x.begin() + trial);
    y.erase(y.begin(), y.begin() + trial);
    if (trial % 3 == 2)
      for (double& v : x) v = std::round(v * 4);  // ties
    const size_t E = 1 + rng() % 3, tau = 1 + rng() % 2, Tp = rng() % 3, w = rng() % 3;
    const size_t n = N - (E - 1) * tau - Tp, least = E + 2 * w + 2;
    std::vector<size_t> sizes;
    for (int s = 0; s < 3; ++s) sizes.push_back(least + rng() % (n - least + 1));
    sizes.push_back(n);
    const size_t samples = 1 + rng() % 5;
    const bool seeded = trial % 5 != 4;
    const uint32_t seed = uint32_t(rng());
    const auto want = model(x, y, E, tau, sizes, samples, seeded, seed, w, Tp);
    // Trees alone, lists walked by every draw (short ones: many rows fall
    // back on the tree), and the plan of a call.
    const list_plan plans[] = {{0, 0}, {1 + size_t(trial) % 4, 0}, {3 + size_t(trial) % 9, 0},
                               default_plan(n, E + 1)};
    for (int threads : {1, 2, 3})
      for (const list_plan& plan : plans) {
        const auto got = run(x, y, E, tau, sizes, samples, seeded, seed, w, Tp, threads, &plan);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i)
          ASSERT_TRUE(same_bits(got[i], want[i]))
              << "trial " << trial << " threads " << threads << " depth " << plan.depth << " entry "
              << i << ": " << got[i] << ", want " << want[i];
      }
  }
}

// init_genrand and genrand_res53 as the reference defines them: the first
// outputs of init_genrand(5489), and 53-bit doubles from two words.
TEST(CrossmapCore, TheGeneratorIsTheReference) {
  mersenne_twister::generator twister(0);
  twister.init_genrand(5489);
  EXPECT_EQ(twister.genrand_int32(), 3499211612UL);
  EXPECT_EQ(twister.genrand_int32(), 581869302UL);
  twister.init_genrand(5489);
  EXPECT_EQ(twister.genrand_res53(), (double(3499211612UL >> 5) * 67108864.0 + double(581869302UL >> 6)) / 0x1p53);
}

double mean(const std::vector<double>& R, size_t i, size_t rows, size_t samples) {
  double s = 0;
  for (size_t j = 0; j < samples; ++j) s += R[i + j * rows];
  return s / double(samples);
}

// Sugihara et al. 2012, the coupled logistic maps: y's manifold holds x,
// the stronger driver, better than x's holds y; both skills rise with the
// library size. Independent series cross-map to nothing.
TEST(CrossmapKnownAnswers, CoupledLogisticMaps) {
  std::vector<double> x, y;
  models::coupled_logistic(1000, x, y);
  const std::vector<size_t> sizes = {10, 50, 200, 500, 998};
  const size_t samples = 20;
  const auto y_from_x = run(x, y, 2, 1, sizes, samples, true, 1, 0, 0, 2);
  const auto x_from_y = run(y, x, 2, 1, sizes, samples, true, 2, 0, 0, 2);
  for (size_t i = 1; i < sizes.size(); ++i) {
    EXPECT_GT(mean(y_from_x, i, sizes.size(), samples), mean(y_from_x, i - 1, sizes.size(), samples)) << i;
    EXPECT_GT(mean(x_from_y, i, sizes.size(), samples), mean(x_from_y, i - 1, sizes.size(), samples)) << i;
  }
  const double weaker = mean(y_from_x, 4, sizes.size(), samples);
  const double stronger = mean(x_from_y, 4, sizes.size(), samples);
  EXPECT_GT(stronger, 0.9);
  EXPECT_LT(weaker, stronger - 0.1);

  const auto a = models::logistic(1000, 3.9, 0.3), b = models::logistic(1000, 3.8, 0.6);
  const auto none = run(a, b, 2, 1, {998}, 1, false, 0, 0, 0, 1);
  EXPECT_LT(std::fabs(none[0]), 0.1);
}

// ---- through the stand-in host ------------------------------------------------

TEST(CrossmapGateway, DefaultsShapesAndFixedLibraries) {
  std::vector<double> x, y;
  models::coupled_logistic(80, x, y);
  const call_result r = call(1, {column(x), column(y), scalar(2), scalar(1), row({5, 40, 79})});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).rows(), 3u);
  EXPECT_EQ(r.out(0).columns(), 100u);
  const auto want = run(x, y, 2, 1, {5, 40, 79}, 100, true, 0, 0, 0, 1);
  const auto got = r.out(0).values();
  for (size_t i = 0; i < want.size(); ++i) EXPECT_TRUE(same_bits(got[i], want[i])) << i;
  // An empty seed: the first L rows, once; w and Tp given.
  const call_result fixed = call(1, {row(x), row(y), scalar(2), scalar(2), row({9, 70}),
                                     scalar(5), empty(), scalar(2), scalar(1)});
  ASSERT_FALSE(fixed.failed) << fixed.error;
  EXPECT_EQ(fixed.out(0).columns(), 1u);
  const auto want_fixed = run(x, y, 2, 2, {9, 70}, 1, false, 0, 2, 1, 1);
  const auto got_fixed = fixed.out(0).values();
  for (size_t i = 0; i < 2; ++i) EXPECT_TRUE(same_bits(got_fixed[i], want_fixed[i])) << i;
  // No sizes: no rows.
  const call_result none = call(1, {column(x), column(y), scalar(2), scalar(1), empty(), scalar(3)});
  ASSERT_FALSE(none.failed) << none.error;
  EXPECT_EQ(none.out(0).rows(), 0u);
  EXPECT_EQ(none.out(0).columns(), 3u);
}

TEST(CrossmapGateway, MessagesInTheirOrder) {
  std::vector<double> xs, ys;
  models::coupled_logistic(20, xs, ys);
  const mxArray x = column(xs), y = column(ys);
  const std::vector<std::pair<std::vector<mxArray>, std::string>> cases = {
      {{x, y, scalar(2), scalar(1)}, "x, y, E, tau and L must be given"},
      {{x, y, scalar(2), scalar(1), scalar(5), scalar(1), scalar(1), scalar(0), scalar(0), scalar(0)},
       "At most nine inputs: x, y, E, tau, L, samples, seed, w and Tp"},
      {{x, y, scalar(2), scalar(1), typed(mxINT32_CLASS, {1, 1}, {5})},
       "Input 5 must be a real double array"},
      {{column({1, NAN}), y, scalar(2), scalar(1), scalar(5)}, "x must not hold NaN or Inf"},
      {{x, column({1, INFINITY}), scalar(2), scalar(1), scalar(5)}, "y must not hold NaN or Inf"},
      {{x, column({1, 2}), scalar(2), scalar(1), scalar(5)}, "x and y must have the same length"},
      {{x, y, scalar(0), scalar(1), scalar(5)}, "E must be a whole number, at least 1"},
      {{x, y, scalar(2), scalar(-1), scalar(5)}, "tau must be a whole number, at least 1"},
      {{x, y, scalar(3), scalar(10), scalar(5)},
       "x is too short for E = 3 and tau = 10: it needs more than (E - 1) tau = 20 samples"},
      {{x, y, scalar(2), scalar(1), scalar(5), scalar(0)},
       "samples must be a whole number from 1 to 2147483647"},
      {{x, y, scalar(2), scalar(1), scalar(5), scalar(3e9)},
       "samples must be a whole number from 1 to 2147483647"},
      {{x, y, scalar(2), scalar(1), scalar(5), scalar(3), scalar(-1)},
       "seed must be a whole number from 0 to 4294967295, or empty"},
      {{x, y, scalar(2), scalar(1), scalar(5), scalar(3), scalar(2.5)},
       "seed must be a whole number from 0 to 4294967295, or empty"},
      {{x, y, scalar(2), scalar(1), scalar(5), scalar(3), scalar(0), scalar(-2)},
       "w must be a whole number, at least 0"},
      {{x, y, scalar(2), scalar(1), scalar(5), scalar(3), scalar(0), scalar(0), scalar(0.5)},
       "Tp must be a whole number, at least 0"},
      {{x, y, scalar(2), scalar(1), row({5, 3})},
       "L must hold library sizes, whole numbers from k + 2w + 1 = 4 to the 19 rows with an "
       "embedding and a target; 3 is not one"},
      {{x, y, scalar(2), scalar(1), row({5, 4.5})},
       "L must hold library sizes, whole numbers from k + 2w + 1 = 4 to the 19 rows with an "
       "embedding and a target; 4.5 is not one"},
      {{x, y, scalar(2), scalar(1), row({20}), scalar(1), scalar(0), scalar(0), scalar(1)},
       "L must hold library sizes, whole numbers from k + 2w + 1 = 4 to the 18 rows with an "
       "embedding and a target; 20 is not one"},
      // A window wider than the library: no size fits.
      {{x, y, scalar(2), scalar(1), row({19}), scalar(1), scalar(0), scalar(9)},
       "L must hold library sizes, whole numbers from k + 2w + 1 = 22 to the 19 rows with an "
       "embedding and a target; 19 is not one"},
  };
  for (const auto& [inputs, message] : cases) {
    const call_result result = call(1, inputs);
    EXPECT_TRUE(result.failed) << message;
    EXPECT_EQ(result.error, message);
  }
}

TEST(CrossmapGateway, AllocationFailureEndsTheCallCleanly) {
  std::vector<double> x, y;
  models::coupled_logistic(100, x, y);
  gateway_checks::expect_allocation_failures_end_cleanly(
      1, {column(x), column(y), scalar(2), scalar(1), row({10, 50})}, 1);
}

}  // namespace
