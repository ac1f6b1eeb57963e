#include "laginfo/laginfo.cpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>

#include "laginfo/tree_reference.h"

namespace {

using namespace standin;

const double log2_constant = 0.69314718055995;

// ---- the numeric core ----------------------------------------------------

// The old path: one counting tree per lag.
std::vector<double> reference(const std::vector<double>& x, long T, int b) {
  std::vector<double> mi(T + 1);
  EXPECT_TRUE(tree_reference::mutual_information(x.data(), long(x.size()), T, b, mi.data()));
  return mi;
}

void expect_bits_equal(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    ASSERT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0)
        << "entry " << i << ": " << got[i] << " vs " << want[i];
}

// The columns of several resolutions from one call of the core.
std::vector<double> core(const std::vector<double>& x, long T, const std::vector<int>& bins,
                         int threads = 1) {
  std::vector<double> result(size_t(T + 1) * bins.size());
  auto outcome = laginfo_mutual_information(x.data(), long(x.size()), T, bins.data(),
                                            long(bins.size()), result.data(), threads);
  EXPECT_EQ(outcome, std::vector<laginfo_outcome>(bins.size(), laginfo_outcome::success));
  return result;
}
std::vector<double> core(const std::vector<double>& x, long T, int b, int threads = 1) {
  return core(x, T, std::vector<int>{b}, threads);
}

TEST(LaginfoCore, SmallSeriesGiveTheKnownBits) {
  const double c = log2_constant;
  // Two values in two bins: the entropy of the binned series, one bit formed
  // with the rounded constant.
  EXPECT_EQ(core({0.1, 0.6}, 0, 2)[0], std::log(2.0) / c);
  EXPECT_NE(std::log(2.0) / c, 1.0);

  // n = 3 pairs per lag, marginals 1/2 from all four values.
  const double want = (std::log((2.0 / 3) / 0.25) / c) * (2.0 / 3) +
                      (std::log((1.0 / 3) / 0.25) / c) * (1.0 / 3);
  auto both = core({0.1, 0.6, 0.1, 0.6}, 1, 2);
  EXPECT_EQ(both[0], want);
  EXPECT_EQ(both[1], want);
}

TEST(LaginfoCore, ChaoticAndRandomSeriesAgreeBitForBitWithTheTree) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> random(3000);
  for (double& v : random) v = uniform(rng);
  std::vector<double> logistic(3000);
  double y = 0.3;
  for (double& v : logistic) v = y = 3.99 * y * (1 - y) * 0.999999;  // stays below 1
  std::vector<double> repeated(3000);
  for (size_t i = 0; i < repeated.size(); ++i) repeated[i] = random[i % 7];

  for (const auto* series : {&random, &logistic, &repeated})
    for (long T : {0L, 12L, 2999L})
      for (int b : {2, 3, 17, 256, 1000, 16384})
        expect_bits_equal(core(*series, T, b), reference(*series, T, b));
}

TEST(LaginfoCore, ValuesOutsideTheUnitIntervalAreRefused) {
  std::vector<double> result(2);
  const int b = 8;
  for (double bad : {1.0, -1e-300, -0.5, double(NAN), double(INFINITY), -double(INFINITY)}) {
    std::vector<double> x = {0.5, 0.25, bad, 0.75};
    EXPECT_EQ(laginfo_mutual_information(x.data(), 4, 1, &b, 1, result.data(), 1),
              std::vector<laginfo_outcome>{laginfo_outcome::value_outside_range})
        << bad;
  }
  // Just below 1 lands in the last bin; rounding of b * x decides, not x.
  for (int edge_bins : {3, 255, 257, 16383, 16384}) {
    std::vector<double> edge = {0.0, std::nextafter(1.0, 0.0), -0.0};
    EXPECT_EQ(laginfo_mutual_information(edge.data(), 3, 0, &edge_bins, 1, result.data(), 1),
              std::vector<laginfo_outcome>{laginfo_outcome::success});
    expect_bits_equal(core(edge, 0, edge_bins), reference(edge, 0, edge_bins));
  }
}

// Series long enough for every thread count to split the work: rank values
// of a chaotic orbit, uniform noise and a series confined to a few bins,
// with resolutions on both sides of the dense table's limits (1024 bins, and
// 16 cells per pair).
TEST(LaginfoCore, EveryThreadCountAndBothCountingWaysMatchTheTree) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  for (long L : {12000L, 70000L}) {
    const long T = L > 20000 ? 2 : 40;
    std::vector<double> noise(L), orbit(L), narrow(L);
    for (double& v : noise) v = uniform(rng);
    double y = 0.123;
    for (double& v : orbit) v = y = 3.9999 * y * (1 - y);
    std::vector<long> order(L);
    for (long i = 0; i < L; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](long a, long b) { return orbit[a] < orbit[b]; });
    for (long i = 0; i < L; ++i) orbit[order[i]] = double(i) / double(L);
    for (double& v : narrow) v = 0.5 + 0.01 * uniform(rng);

    const std::vector<int> bins = {5, 256, 1024, 1025, 4096, 16384, 2};
    for (const auto* series : {&noise, &orbit, &narrow}) {
      std::vector<double> want;
      for (int b : bins) {
        auto column = reference(*series, T, b);
        want.insert(want.end(), column.begin(), column.end());
      }
      for (int threads : {1, 2, 3}) expect_bits_equal(core(*series, T, bins, threads), want);
    }
  }
}

// A single resolution is binned in stretches, one per thread: the histogram
// and a bad value in the last stretch come out as on one thread.
TEST(LaginfoCore, OneResolutionBinnedInStretchesMatchesTheTree) {
  std::mt19937 rng(5);
  std::vector<double> x(250000);
  for (double& v : x) v = double(rng() % 1000003) / 1000003;
  for (int b : {16, 3000}) {
    const auto want = reference(x, 1, b);
    for (int threads : {1, 2, 3}) expect_bits_equal(core(x, 1, b, threads), want);
  }
  x.back() = NAN;
  std::vector<double> result(2);
  const int b = 16;
  for (int threads : {1, 2, 3})
    EXPECT_EQ(laginfo_mutual_information(x.data(), long(x.size()), 1, &b, 1, result.data(), threads),
              std::vector<laginfo_outcome>{laginfo_outcome::value_outside_range});
}

// Positions and counts beyond 32 bits take the wide index; the arithmetic
// is the same.
TEST(LaginfoCore, WideIndexGivesTheSameBits) {
  std::mt19937 rng(3);
  std::vector<double> x(900);
  for (double& v : x) v = double(rng() % 997) / 997;
  const std::vector<int> bins = {16, 1000};
  std::vector<double> wide(2 * 31);
  mutual_information<uint64_t>(x.data(), long(x.size()), 30, bins.data(), 2, wide.data(), 2);
  expect_bits_equal(wide, core(x, 30, bins));
}

// ---- through the stand-in host -------------------------------------------

const char* const progress_2 = "Number of partitions per axis   : 2\n";

TEST(LaginfoGateway, OneResolutionPrintsItsLineAndGivesOneColumn) {
  for (int nlhs : {0, 1}) {
    auto r = call(nlhs, {row({0.1, 0.6}), scalar(0), scalar(2)});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.printed, progress_2);
    EXPECT_EQ(r.out(0).rows(), 1u);
    EXPECT_EQ(r.out(0).columns(), 1u);
    EXPECT_EQ(r.out(0).values()[0], std::log(2.0) / log2_constant);
  }
}

TEST(LaginfoGateway, ColumnsAndLinesFollowThePartitionSizes) {
  std::vector<double> x(200);
  std::mt19937 rng(5);
  for (double& v : x) v = double(rng() % 1000) / 1000;
  auto r = call(1, {column(x), scalar(2.7), row({16, 2.9})});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.printed,
            "Number of partitions per axis   : 16\nNumber of partitions per axis   : 2\n");
  ASSERT_EQ(r.out(0).rows(), 3u);  // lag 2.7 is 2
  ASSERT_EQ(r.out(0).columns(), 2u);
  auto want = reference(x, 2, 16);
  auto two = reference(x, 2, 2);
  want.insert(want.end(), two.begin(), two.end());
  expect_bits_equal(r.out(0).values(), want);

  // The series as a row, the sizes as a column, extra inputs: same result.
  auto again = call(1, {row(x), scalar(2), column({16, 2}), scalar(1)});
  EXPECT_EQ(again.out(0).values(), r.out(0).values());
  // A matrix series gives its first max(M, N) elements.
  auto m = call(1, {matrix(2, 3, {0.1, 0.2, 0.3, 0.4, 0.5, 0.6}), scalar(1), scalar(4)});
  EXPECT_EQ(m.out(0).values(), call(1, {row({0.1, 0.2, 0.3}), scalar(1), scalar(4)}).out(0).values());
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(LaginfoGateway, MessagesInTheirOrder) {
  const std::string usage =
      "laginfo : Scalar time series, maximal timelag and number of partitions per axis must be "
      "given";
  const std::string too_short = "Length of time series much to short for given timelag";
  const std::string negative = "Maximal timelag may not be negative";
  const std::string no_size = "At least one partition size must be given";
  const std::string too_few = "Number of bins should be at least greater one";
  const std::string too_many = "Number of bins too large";
  auto x = row({0.1, 0.6, 0.3});

  EXPECT_EQ(error_of({}), usage);
  EXPECT_EQ(error_of({x, scalar(1)}), usage);
  // The length test comes first, so a negative lag reaches its own message.
  EXPECT_EQ(error_of({x, scalar(3), scalar(1)}), too_short);
  EXPECT_EQ(error_of({x, scalar(50), empty()}), too_short);
  EXPECT_EQ(error_of({x, scalar(-1), empty()}), negative);
  EXPECT_FALSE(call(1, {x, scalar(-0.5), scalar(2)}).failed);  // -0.5 is lag 0
  EXPECT_EQ(error_of({x, scalar(0), empty()}), no_size);
  EXPECT_EQ(error_of({x, scalar(0), empty(0, 5)}), no_size);
  for (double bad : {1.0, 1.5, 0.0, -3.0, double(NAN), -double(INFINITY)})
    EXPECT_EQ(error_of({x, scalar(0), scalar(bad)}), too_few) << bad;
  for (double bad : {16385.0, 3e9, double(INFINITY)})
    EXPECT_EQ(error_of({x, scalar(0), scalar(bad)}), too_many) << bad;
  EXPECT_FALSE(call(1, {x, scalar(0), scalar(16384)}).failed);
  EXPECT_EQ(error_of({x, scalar(0), row({4, 20000, 1})}), too_many);
  EXPECT_EQ(error_of({x, scalar(0), row({4, 1, 20000})}), too_few);
  // Lags that no integer holds: NaN and -Inf are negative, the rest too long.
  EXPECT_EQ(error_of({x, scalar(NAN), scalar(2)}), negative);
  EXPECT_EQ(error_of({x, scalar(-INFINITY), scalar(2)}), negative);
  EXPECT_EQ(error_of({x, scalar(INFINITY), scalar(2)}), too_short);
  EXPECT_EQ(error_of({x, scalar(1e300), scalar(2)}), too_short);
  // Nothing to read: an empty lag, a series without elements.
  EXPECT_EQ(error_of({x, empty(), scalar(2)}), "Input 2 must not be empty");
  EXPECT_EQ(error_of({empty(0, 5), scalar(0), scalar(2)}), too_short);
  EXPECT_EQ(error_of({empty(0, 5), scalar(-2), scalar(2)}), negative);
}

TEST(LaginfoGateway, BadValueEndsTheCallAfterItsProgressLine) {
  auto r = call(1, {row({0.1, 1.0}), scalar(0), row({2, 3})});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.error, "Data values must be rang values in the range [0 1)");
  EXPECT_EQ(r.printed, progress_2);
  r = call(1, {row({0.1, NAN}), scalar(0), scalar(2)});
  EXPECT_EQ(r.error, "Data values must be rang values in the range [0 1)");
}

// With threads, resolutions are computed a batch at a time; the lines and
// the first failure still come in the order of a one-thread run.
TEST(LaginfoGateway, ThreadedBatchesKeepLinesColumnsAndFailureInOrder) {
  std::mt19937 rng(11);
  std::vector<double> x(8000);
  for (double& v : x) v = double(rng() % 8000) / 8000;
  const std::vector<double> sizes = {4, 300, 16, 2, 32};
  std::string lines;
  std::vector<double> want;
  for (double b : sizes) {
    lines += "Number of partitions per axis   : " + std::to_string(int(b)) + "\n";
    auto column = reference(x, 30, int(b));
    want.insert(want.end(), column.begin(), column.end());
  }
  const char* saved = std::getenv("OMP_NUM_THREADS");
  const std::string kept = saved ? saved : "";
  for (const char* threads : {"1", "2", "3"}) {
    setenv("OMP_NUM_THREADS", threads, 1);
    auto r = call(1, {column(x), scalar(30), row(sizes)});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.printed, lines) << threads << " threads";
    expect_bits_equal(r.out(0).values(), want);

    auto bad = x;
    bad.back() = 1.0;
    r = call(1, {column(bad), scalar(30), row(sizes)});
    EXPECT_EQ(r.error, "Data values must be rang values in the range [0 1)");
    EXPECT_EQ(r.printed, "Number of partitions per axis   : 4\n") << threads << " threads";
  }
  if (saved)
    setenv("OMP_NUM_THREADS", kept.c_str(), 1);
  else
    unsetenv("OMP_NUM_THREADS");
}

TEST(LaginfoGateway, NonDoubleInputsAreRefusedBeforeReading) {
  auto x = row({0.1, 0.6});
  EXPECT_EQ(error_of({typed(mxSINGLE_CLASS, {1, 2}, {0.1f, 0.6f}), scalar(0), scalar(2)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({x, typed(mxINT32_CLASS, {1, 1}, {0}), scalar(2)}),
            "Input 2 must be a real double array");
  EXPECT_EQ(error_of({x, scalar(0), char_array("ab")}), "Input 3 must be a real double array");
  EXPECT_EQ(error_of({sparse_matrix(1, 2, {0.5}), scalar(0), scalar(2)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({x, scalar(0), complex_matrix(1, 1, {2}, {1})}),
            "Input 3 must be a real double array");
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {1, 2})}).substr(0, 9), "laginfo :");
}

TEST(LaginfoGateway, AllocationFailureEndsTheCallCleanly) {
  fail_allocation_after(0);
  auto r = call(1, {row({0.1, 0.6}), scalar(0), scalar(2)});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.printed, "");
  EXPECT_EQ(r.released_on_exit, 0u);
}

}  // namespace
