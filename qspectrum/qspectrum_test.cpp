#include "qspectrum/qspectrum.cpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using namespace standin;

// ---- moments --------------------------------------------------------------

TEST(QspectrumMoments, TwoPointsGiveArithmeticGeometricAndHarmonicMeans) {
  const double distances[4] = {1, 4, 2, 8};  // [1 2; 4 8]
  const double gammas[3] = {1, 0, -1};
  double moments[6];
  compute_moments(distances, 2, 2, 3, gammas, moments, 1);
  const double want[6] = {2.5, 5, 2, 4, 1.6, 3.2};
  for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(moments[i], want[i]) << i;
}

TEST(QspectrumMoments, RandomDistancesAgreeBitForBitWithColumnMeans) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> uniform(0.01, 3.0);
  // Large enough to be split across threads.
  const long M = 3001, N = 9;
  std::vector<double> d(M * N);
  for (double& v : d) v = uniform(rng);
  d[5] = 0;  // a zero distance: 0 for gamma < 0 (harmonic), -inf log
  const std::vector<double> gammas = {-4, -1, 0, 0.5, 1, 2, 6};
  const long G = long(gammas.size());
  for (int threads : {1, 2, 3}) {
    std::vector<double> moments(N * G, -7);
    compute_moments(d.data(), N, M, G, gammas.data(), moments.data(), threads);
    for (long g = 0; g < G; ++g)
      for (long k = 0; k < N; ++k) {
        double sum = 0;
        for (long j = 0; j < M; ++j)
          sum += gammas[g] != 0 ? std::pow(d[j + k * M], gammas[g]) : std::log(d[j + k * M]);
        const double want = gammas[g] != 0 ? std::pow(sum / double(M), 1 / gammas[g])
                                           : std::exp(sum / double(M));
        ASSERT_EQ(std::memcmp(&moments[k + N * g], &want, sizeof want), 0)
            << "k " << k << " gamma " << gammas[g] << ", " << threads << " threads";
      }
    EXPECT_EQ(moments[0 + N * 0], 0.0);  // gamma -4 of column 0 holds the zero
    EXPECT_EQ(moments[0 + N * 2], 0.0);  // and so does the geometric mean
  }
}

TEST(QspectrumMoments, NoReferencePointsGiveNotANumber) {
  const double gammas[2] = {2, 0};
  double moments[2] = {1, 1};
  compute_moments(nullptr, 1, 0, 2, gammas, moments, 1);
  EXPECT_TRUE(std::isnan(moments[0]));
  EXPECT_TRUE(std::isnan(moments[1]));
}

// ---- gammaln, log_error ------------------------------------------------------

TEST(QspectrumGammaln, AccurateAgainstTheLibraryLogGamma) {
  EXPECT_NEAR(gammaln(1), 0, 1e-13);
  EXPECT_NEAR(gammaln(0.5), std::log(std::sqrt(M_PI)), 1e-13);
  for (double x = 0.05; x < 300; x *= 1.37)
    EXPECT_NEAR(gammaln(x), std::lgamma(x), 2e-10 * std::max(1.0, std::fabs(std::lgamma(x))))
        << x;
  // The digamma stand-in at k = 1 overshoots -Euler's constant by about 4e-7.
  const double psi1 = (gammaln(1.001) - gammaln(0.999)) / 0.002;
  const double euler = 0.57721566490153286;
  EXPECT_GT(-psi1 - euler, 3e-7);
  EXPECT_LT(-psi1 - euler, 5e-7);
}

TEST(QspectrumLogError, SumsRobustDifferencesOverTheRange) {
  mvector measured(4), model(4);
  for (long i = 1; i <= 4; ++i) {
    measured[i] = i;
    model[i] = i + (i == 2 ? 2 : 0) + (i == 3 ? -1 : 0);
  }
  EXPECT_EQ(log_error(3, 2, measured, model, 1), 0);
  EXPECT_EQ(log_error(1, 1, measured, model, 1), 0);
  EXPECT_DOUBLE_EQ(log_error(1, 4, measured, model, 1), std::log(3.0) + std::log(1.5));
  EXPECT_DOUBLE_EQ(log_error(2, 2, measured, model, 2), std::log(1.5));
}

// ---- fminbr ----------------------------------------------------------------

struct counted_parabola {
  double centre;
  std::vector<double> points;
  double operator()(double x) {
    points.push_back(x);
    return (x - centre) * (x - centre) + 1;
  }
};

TEST(QspectrumFminbr, FindsKnownMinimaInsideTheOpenInterval) {
  for (double centre : {0.3, 2.0, 4.99}) {
    counted_parabola f{centre, {}};
    const double x = fminbr(0.0, 5.0, f, 1e-6);
    EXPECT_NEAR(x, centre, 1e-5) << centre;
    EXPECT_LT(f.points.size(), 60u);  // a parabola is found in a few steps
    for (double p : f.points) {
      EXPECT_GT(p, 0.0);
      EXPECT_LT(p, 5.0);
    }
  }
  struct {
    double operator()(double x) { return std::cos(x); }
  } cosine;
  EXPECT_NEAR(fminbr(2.0, 5.0, cosine, 1e-8), M_PI, 1e-6);
  // A minimum outside the interval: the search ends close to the near end.
  counted_parabola outside{-3, {}};
  const double x = fminbr(0.05, 128.0, outside, 0.0001);
  EXPECT_GT(x, 0.05);
  EXPECT_LT(x, 0.05 + 0.001);
}

TEST(QspectrumFminbr, EndsOnFunctionsWithoutAMinimum) {
  struct {
    long calls = 0;
    double operator()(double) {
      ++calls;
      return NAN;
    }
  } nan_everywhere;
  const double x = fminbr(0.0, 1000000.0, nan_everywhere, 0.00001);
  EXPECT_GT(x, 0.0);
  EXPECT_LT(x, 1000000.0);
  EXPECT_LT(nan_everywhere.calls, 200);
  struct {
    double operator()(double) { return 1.0; }
  } flat;
  const double y = fminbr(0.05, 128.0, flat, 0.0001);
  EXPECT_GT(y, 0.05);
  EXPECT_LT(y, 128.0);
}

// ---- the fit ----------------------------------------------------------------

// Moments that follow the growth law of dimension D exactly, scaled by c.
std::vector<double> exact_moments(double D, double c, const std::vector<double>& gammas, long N) {
  std::vector<double> m(N * gammas.size());
  for (size_t g = 0; g < gammas.size(); ++g)
    for (long k = 1; k <= N; ++k) {
      const double gamma = gammas[g];
      const double law = gamma != 0
                             ? std::exp((std::lgamma(k + gamma / D) - std::lgamma(double(k))) / gamma)
                             : std::exp(((std::lgamma(k + 1e-7) - std::lgamma(k - 1e-7)) / 2e-7) / D);
      m[(k - 1) + N * g] = c * law;
    }
  return m;
}

TEST(QspectrumFit, RecoversTheDimensionOfExactMoments) {
  // gamma = -1 with kmin >= 2 searches from 0.5 up.
  const std::vector<double> gammas = {-1, 0, 1, 3};
  const long N = 16, G = 4;
  for (double D : {0.8, 2.5, 7.0}) {
    auto moments = exact_moments(D, 0.01 * D, gammas, N);
    std::vector<double> model(N * G), dims(G * 3);
    ASSERT_EQ(fit_dimensions(moments.data(), model.data(), N, gammas.data(), G, 2, 4, 16,
                             dims.data(), 1),
              qspectrum_outcome::success);
    for (double fitted : dims) EXPECT_NEAR(fitted, D, 0.01 * D) << D;
  }
}

// After a fit the model column holds the scaled law of the last D tried: the
// ratios to row kmin - 1 follow the recurrence for one D, rows before kmin_low
// stay zero.
TEST(QspectrumFit, ModelColumnsHoldTheLastScaledEvaluation) {
  const std::vector<double> gammas = {2};
  const long N = 12, kmin_low = 3, kmin_high = 5, kmax = 12;
  auto moments = exact_moments(1.7, 0.5, gammas, N);
  std::vector<double> model(N), dims(3);
  ASSERT_EQ(fit_dimensions(moments.data(), model.data(), N, gammas.data(), 1, kmin_low, kmin_high,
                           kmax, dims.data(), 1),
            qspectrum_outcome::success);
  EXPECT_EQ(model[0], 0);
  EXPECT_EQ(model[1], 0);
  const double s = model[kmin_high - 1];  // the scale, as model[kmin] was 1
  EXPECT_NEAR(s, moments[kmin_high - 1], 0.05 * s);
  // Solve the first ratio for gamma/D, then check every further row.
  const double gamma = 2, k0 = kmin_high;
  const double a = std::pow(model[kmin_high] / s, gamma) * k0 - k0;
  double p = 1;
  for (long k = kmin_high + 1; k <= kmax; ++k) {
    p *= (double(k - 1) + a) / double(k - 1);
    EXPECT_NEAR(model[k - 1], s * std::pow(p, 1 / gamma), 1e-9 * model[k - 1]) << k;
  }
  EXPECT_NEAR(gamma / a, dims[2], 0.01);
}

TEST(QspectrumFit, SearchFloorFollowsNegativeOrdersAndKmin) {
  // gamma = -10 with kmin = 100 searches [0.1, 128]. A growth of 1.5 from
  // order 100 to 101 is met exactly by D = 0.1 / (1 - 1.5^-10), just above
  // that floor; below it the model has no real value.
  const std::vector<double> gammas = {-10, -12800};
  const long N = 101;
  std::vector<double> moments(N * 2, 1.0), model(N * 2), dims(2);
  moments[100] = 1.5;
  EXPECT_EQ(fit_dimensions(moments.data(), model.data(), N, gammas.data(), 1, 100, 100, 101,
                           dims.data(), 1),
            qspectrum_outcome::success);
  EXPECT_NEAR(dims[0], 0.1 / (1 - std::pow(1.5, -10)), 1e-4);
  EXPECT_GT(dims[0], 0.1);
  // -gamma / kmin = 128 exactly: no search interval is left.
  EXPECT_EQ(fit_dimensions(moments.data(), model.data(), N, gammas.data(), 2, 100, 100, 101,
                           dims.data(), 1),
            qspectrum_outcome::kmin_too_small);
}

// The fits one after another, each evaluating straight into the shared model
// column, as they ran before they were split across threads.
qspectrum_outcome sequential_fits(double* moments, double* model, long N, const double* gammas,
                                  long G, long kmin_low, long kmin_high, long kmax, double* dims) {
  for (long kmin = kmin_low; kmin <= kmin_high; ++kmin) {
    const long c = kmin - kmin_low;
    for (long g = 0; g < G; ++g) {
      double lower = -gammas[g] / double(kmin);
      if (lower <= 0.05)
        lower = 0.05;
      else if (lower >= 128)
        return qspectrum_outcome::kmin_too_small;
      if (std::isnan(lower)) {
        dims[g + G * c] = NAN;
        continue;
      }
      mvector data(moments + N * g, N);
      mvector model_column(model + N * g, N);
      Error_Function error(data, kmin, kmax, gammas[g], model_column);
      dims[g + G * c] = fminbr(lower, 128.0, error, 0.0001);
    }
  }
  return qspectrum_outcome::success;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(QspectrumFit, ThreadsGiveTheSequentialDimensionsAndModelsBitForBit) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> noise(0.9, 1.1);
  for (int trial = 0; trial < 6; ++trial) {
    const long N = 10 + 7 * trial;
    const long kmin_low = 1 + trial % 3, kmin_high = kmin_low + 2 + trial, kmax = N - trial % 2;
    std::vector<double> gammas = {-3, -1, 0, 0.5, 2, 5};
    if (trial == 4) gammas.push_back(NAN);
    const long G = long(gammas.size()), K = kmin_high - kmin_low + 1;
    auto moments = exact_moments(1 + 0.7 * trial, 0.3, gammas, N);
    for (double& m : moments) m *= noise(rng);
    std::vector<double> want_model(N * G), want_dims(G * K);
    ASSERT_EQ(sequential_fits(moments.data(), want_model.data(), N, gammas.data(), G, kmin_low,
                              kmin_high, kmax, want_dims.data()),
              qspectrum_outcome::success);
    for (int threads : {1, 2, 3}) {
      std::vector<double> model(N * G), dims(G * K);
      ASSERT_EQ(fit_dimensions(moments.data(), model.data(), N, gammas.data(), G, kmin_low,
                               kmin_high, kmax, dims.data(), threads),
                qspectrum_outcome::success);
      EXPECT_TRUE(same_bits(dims, want_dims)) << "trial " << trial << ", " << threads;
      EXPECT_TRUE(same_bits(model, want_model)) << "trial " << trial << ", " << threads;
    }
  }
}

// ---- through the stand-in host ----------------------------------------------

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(QspectrumGateway, MessagesInTheirOrder) {
  auto d = matrix(3, 4, std::vector<double>(12, 1.0));
  auto g = scalar(1);
  EXPECT_EQ(error_of({d, g, scalar(1), scalar(2)}),
            "qspectrum : distances, gammas, kmin_low, kmin_high and kmax must be given");
  EXPECT_EQ(error_of({d, g, scalar(0), scalar(2), scalar(4)}), "kmin must be positive");
  EXPECT_EQ(error_of({d, g, scalar(-0.5), scalar(2), scalar(4)}), "kmin must be positive");
  EXPECT_EQ(error_of({d, g, scalar(NAN), scalar(2), scalar(4)}), "kmin must be positive");
  // kmin_high against kmax comes before the order of the two kmins.
  EXPECT_EQ(error_of({d, g, scalar(3), scalar(4), scalar(4)}), "kmax must be greater kmin_upper");
  EXPECT_EQ(error_of({d, g, scalar(3), scalar(2), scalar(4)}),
            "kmin_upper must be greater or equal to kmin_lower");
  EXPECT_EQ(error_of({d, g, scalar(1), scalar(2), scalar(5)}), "kmax may not exceed length of v");
  EXPECT_EQ(error_of({d, g, scalar(1), scalar(2), scalar(NAN)}), "kmax must be greater kmin_upper");
  EXPECT_EQ(error_of({d, row({1, -1e6}), scalar(1), scalar(2), scalar(4)}), "kmin to small");
  // Empty scalar inputs hold nothing to read.
  EXPECT_EQ(error_of({d, g, empty(), scalar(2), scalar(4)}), "Input 3 must not be empty");
  EXPECT_EQ(error_of({d, g, scalar(1), empty(0, 3), scalar(4)}), "Input 4 must not be empty");
  EXPECT_EQ(error_of({d, g, scalar(1), scalar(2), empty(2, 0)}), "Input 5 must not be empty");
  // Non-double inputs, after the count and before anything else.
  EXPECT_EQ(error_of({typed(mxSINGLE_CLASS, {3, 4}), g, scalar(1), scalar(2), scalar(4)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({d, typed(mxINT32_CLASS, {1, 1}, {1}), scalar(0), scalar(2), scalar(4)}),
            "Input 2 must be a real double array");
  EXPECT_EQ(error_of({d, g, scalar(1), scalar(2), typed(mxLOGICAL_CLASS, {1, 1}, {1})}),
            "Input 5 must be a real double array");
}

TEST(QspectrumGateway, KminAndKmaxLimitsAndTruncation) {
  std::vector<double> values(20);
  for (size_t i = 0; i < values.size(); ++i) values[i] = 1 + double(i % 5) + 0.1 * double(i);
  auto d = matrix(4, 5, values);
  // kmin_high = kmax - 1 and kmax = N are allowed.
  auto r = call(1, {d, row({1, 2}), scalar(1), scalar(4), scalar(5)});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).rows(), 2u);
  EXPECT_EQ(r.out(0).columns(), 4u);
  // 1.9, 2.9 and 4.99 are 1, 2 and 4.
  auto a = call(1, {d, scalar(1), scalar(1.9), scalar(2.9), scalar(4.99)});
  auto b = call(1, {d, scalar(1), scalar(1), scalar(2), scalar(4)});
  ASSERT_FALSE(a.failed) << a.error;
  EXPECT_EQ(a.out(0).values(), b.out(0).values());
  EXPECT_EQ(a.printed, "");
}

TEST(QspectrumGateway, OutputsForEachRequestedCount) {
  auto d = matrix(2, 3, {1, 4, 2, 8, 3, 9});
  for (int nlhs : {0, 1, 2, 3}) {
    auto r = call(nlhs, {d, row({1, 0, -1}), scalar(1), scalar(2), scalar(3), scalar(99)});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.out(0).rows(), 3u);
    EXPECT_EQ(r.out(0).columns(), 2u);
    if (nlhs >= 2) {
      EXPECT_EQ(r.out(1).rows(), 3u);
      EXPECT_EQ(r.out(1).columns(), 3u);
      EXPECT_DOUBLE_EQ(r.out(1).values()[0], 2.5);
      EXPECT_DOUBLE_EQ(r.out(1).values()[6], 1.6);
    }
    if (nlhs >= 3) {
      const auto model = r.out(2).values();
      EXPECT_EQ(model.size(), 9u);
      for (long g = 0; g < 3; ++g) EXPECT_GT(model[0 + 3 * g], 0);  // kmin_low = 1: row 0 used
    }
    for (size_t o = size_t(std::max(nlhs, 1)); o < r.outputs.size(); ++o)
      EXPECT_FALSE(r.outputs[o].has_value());
  }
}

TEST(QspectrumGateway, EmptyGammasAndNotANumberOrder) {
  auto d = matrix(2, 3, {1, 4, 2, 8, 3, 9});
  auto r = call(3, {d, empty(), scalar(1), scalar(1), scalar(3)});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).rows(), 0u);
  EXPECT_EQ(r.out(0).columns(), 1u);
  EXPECT_EQ(r.out(1).rows(), 3u);
  EXPECT_EQ(r.out(1).columns(), 0u);
  EXPECT_EQ(r.out(2).columns(), 0u);
  // A NaN order has no search interval: NaN, beside a normal fit.
  // An infinite order searches from the floor and ends too; minus infinity
  // leaves no interval.
  r = call(1, {d, row({NAN, 1, INFINITY}), scalar(1), scalar(1), scalar(3)});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_TRUE(std::isnan(r.out(0).values()[0]));
  EXPECT_FALSE(std::isnan(r.out(0).values()[1]));
  EXPECT_GT(r.out(0).values()[2], 0.05);
  EXPECT_EQ(error_of({d, scalar(-INFINITY), scalar(1), scalar(1), scalar(3)}), "kmin to small");
  // No reference points: not-a-number moments, the fits still end.
  r = call(1, {empty(0, 3), scalar(2), scalar(1), scalar(1), scalar(3)});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).values().size(), 1u);
}

}  // namespace
