#include "smoothwin/smoothwin.cpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace standin;

// The plain definition: every window position in turn, adding only those
// inside the signal, in ascending order.
std::vector<double> reference(const std::vector<double>& x, long M, long N, long n,
                              const std::vector<double>& w, double S) {
  std::vector<double> y(x.size());
  const long h = (n - 1) / 2;
  for (long j = 0; j < N; ++j)
    for (long k = 0; k < M; ++k) {
      double s = 0.0;
      for (long m = 0; m < n; ++m) {
        const long i = k - h + m;
        if (i < 0 || i >= M) continue;
        s = s + (w.empty() ? x[j * M + i] : x[j * M + i] * w[m]);
      }
      y[j * M + k] = s / S;
    }
  return y;
}

// Today's scalar core, as it was before the outputs were summed in vector
// lanes and shared among threads: the new paths must give its bits.
namespace scalar_core {

template <bool weighted>
double term(const double* x, int64_t i, const double* w, int64_t m) {
  if constexpr (weighted) return x[i] * w[m];
  return x[i];
}

template <bool weighted>
double window_sum(const double* x, int64_t M, int64_t k, int64_t n, int64_t h, const double* w) {
  const int64_t first = h > k ? h - k : 0;
  const int64_t last = n - 1 < M - 1 - k + h ? n - 1 : M - 1 - k + h;
  double s = 0.0;
  for (int64_t m = first; m <= last; ++m) s += term<weighted>(x, k - h + m, w, m);
  return s;
}

constexpr int64_t block = 8;

template <bool weighted>
void inner_block(const double* x, int64_t k, int64_t n, int64_t h, const double* w, double S,
                 double* y) {
  double s[block] = {};
  const double* start = x + (k - h);
  for (int64_t m = 0; m < n; ++m) {
#pragma GCC unroll 8
    for (int64_t b = 0; b < block; ++b) s[b] += term<weighted>(start, b + m, w, m);
  }
  for (int64_t b = 0; b < block; ++b) y[k + b] = s[b] / S;
}

template <bool weighted>
void filter_column(const double* x, int64_t M, int64_t n, const double* w, double S, double* y) {
  const int64_t h = (n - 1) / 2;
  const int64_t inner_first = h < M ? h : M;
  const int64_t inner_end = n <= M ? M - n + h + 1 : inner_first;
  int64_t k = 0;
  for (; k < inner_first; ++k) y[k] = window_sum<weighted>(x, M, k, n, h, w) / S;
  for (; k + block <= inner_end; k += block) inner_block<weighted>(x, k, n, h, w, S, y);
  for (; k < M; ++k) y[k] = window_sum<weighted>(x, M, k, n, h, w) / S;
}

std::vector<double> filter(const std::vector<double>& x, int64_t M, int64_t N, int64_t n,
                           const std::vector<double>& w, double S) {
  std::vector<double> y(x.size());
  for (int64_t j = 0; j < N; ++j) {
    if (w.empty())
      filter_column<false>(x.data() + j * M, M, n, nullptr, S, y.data() + j * M);
    else
      filter_column<true>(x.data() + j * M, M, n, w.data(), S, y.data() + j * M);
  }
  return y;
}

}  // namespace scalar_core

std::vector<double> filtered(const std::vector<double>& x, long M, long N, long n,
                             const std::vector<double>& w, double S, int threads = 1,
                             vector_unit unit = widest_vector_unit()) {
  std::vector<double> y(x.size(), -1.0);
  smoothwin_filter(x.data(), M, N, n, w.empty() ? nullptr : w.data(), S, y.data(), threads, unit);
  return y;
}

// The first entry whose bits differ, or -1.
long first_difference(const std::vector<double>& got, const std::vector<double>& want) {
  if (got.size() != want.size()) return 0;
  for (size_t i = 0; i < got.size(); ++i)
    if (std::memcmp(&got[i], &want[i], sizeof(double)) != 0) return long(i);
  return -1;
}

std::vector<vector_unit> units_of_this_processor() {
  std::vector<vector_unit> units;
  for (vector_unit unit :
       {vector_unit::plain, vector_unit::sse2, vector_unit::avx2, vector_unit::avx512})
    if (processor_has(unit)) units.push_back(unit);
  return units;
}

void expect_bits_equal(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0)
        << "entry " << i << ": " << got[i] << " vs " << want[i];
}

TEST(SmoothwinCore, AgreesBitForBitWithThePlainDefinition) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> uniform(-1e3, 1e3);
  // Lengths around the block size, odd and even, shorter and longer than
  // the signal; signals from one sample to a few hundred.
  for (long M : {1L, 2L, 7L, 8L, 9L, 31L, 300L})
    for (long n : {2L, 3L, 4L, 8L, 9L, 16L, 31L, 250L, 301L, 1000L}) {
      const long N = 3;
      std::vector<double> x(M * N);
      for (double& v : x) v = uniform(rng) * std::pow(10.0, uniform(rng) / 200);
      expect_bits_equal(filtered(x, M, N, n, {}, double(n)), reference(x, M, N, n, {}, n));
      std::vector<double> w(n);
      double S = 0.0;
      for (double& v : w) S += v = uniform(rng);
      expect_bits_equal(filtered(x, M, N, n, w, S), reference(x, M, N, n, w, S));
    }
}

TEST(SmoothwinCore, EveryVectorUnitAndThreadCountGivesTheScalarCoreBits) {
  std::mt19937 rng(29);
  std::uniform_real_distribution<double> uniform(-1e3, 1e3);
  struct shape {
    long M, N;
    std::vector<long> lengths;
  };
  // Signals shorter than, as long as and longer than a block of lanes, with
  // windows from one sample to far beyond the signal, odd and even; the
  // longest signals are split among threads in runs that end inside columns.
  const std::vector<long> around_blocks = {1, 2, 3, 4, 7, 8, 9, 16, 31, 32, 33, 63, 64, 65};
  const std::vector<long> beyond = {99,  100, 101,  198,           199,      200,
                                    201, 257, 1000, 1000000000000, INT64_MAX};
  std::vector<shape> shapes = {{1, 40, {2, 3, 1000}}, {5, 9, {}}, {31, 3, {}}, {32, 2, {}},
                               {33, 4, {}}, {100, 3, {}}, {20011, 3, {2, 3, 64, 257, 1001}}};
  for (shape& s : shapes)
    if (s.lengths.empty()) {
      s.lengths = around_blocks;
      s.lengths.insert(s.lengths.end(), beyond.begin(), beyond.end());
    }
  for (const shape& s : shapes)
    for (long n : s.lengths) {
      std::vector<double> x(s.M * s.N), w(n < 5000 ? n : 0);
      for (double& v : x) v = uniform(rng) * std::pow(10.0, uniform(rng) / 200);
      double S = 0.0;
      for (double& v : w) S += v = uniform(rng);
      const auto plain = scalar_core::filter(x, s.M, s.N, n, {}, double(n));
      const auto weighted = scalar_core::filter(x, s.M, s.N, n, w, S);
      for (vector_unit unit : units_of_this_processor())
        for (int threads : {1, 2, 3}) {
          EXPECT_EQ(first_difference(filtered(x, s.M, s.N, n, {}, double(n), threads, unit), plain),
                    -1)
              << s.M << " x " << s.N << ", length " << n << ", unit " << int(unit) << ", threads "
              << threads;
          if (w.empty()) continue;
          EXPECT_EQ(first_difference(filtered(x, s.M, s.N, n, w, S, threads, unit), weighted), -1)
              << s.M << " x " << s.N << ", " << n << " weights, unit " << int(unit)
              << ", threads " << threads;
        }
    }
}

TEST(SmoothwinCore, WindowPositionsOutsideTheSignalAreNotMultiplied) {
  // An infinite first (or last) weight, over a position outside the signal,
  // must not turn the missing sample into 0 * Inf = NaN: such outputs divide
  // a finite sum by the infinite normaliser and are 0.
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> uniform(-1, 1);
  const long M = 300, n = 41;
  std::vector<double> x(M), w(n);
  for (double& v : x) v = uniform(rng);
  for (long infinite : {0L, n - 1}) {
    for (double& v : w) v = uniform(rng);
    w[infinite] = INFINITY;
    const auto want = scalar_core::filter(x, M, 1, n, w, INFINITY);
    EXPECT_EQ(want[infinite ? M - 1 : 0], 0.0);
    for (vector_unit unit : units_of_this_processor())
      EXPECT_EQ(first_difference(filtered(x, M, 1, n, w, INFINITY, 1, unit), want), -1)
          << int(unit);
  }
}

TEST(SmoothwinCore, NonFiniteDataSpreadOnlyOverTheWindowsCoveringThem) {
  std::vector<double> x(40, 1.0);
  x[5] = NAN;
  x[20] = INFINITY;
  x[30] = -0.0;
  auto y = filtered(x, 40, 1, 5, {}, 5);
  expect_bits_equal(y, reference(x, 40, 1, 5, {}, 5));
  for (long k = 0; k < 40; ++k) {
    EXPECT_EQ(std::isnan(y[k]), k >= 3 && k <= 7) << k;
    EXPECT_EQ(std::isinf(y[k]), k >= 18 && k <= 22) << k;
  }
  // A sum starts from +0, so a lone -0 sample gives +0.
  std::vector<double> zeros = {-0.0, -0.0};
  y = filtered(zeros, 2, 1, 2, {}, 2);
  EXPECT_FALSE(std::signbit(y[0]));
}

TEST(SmoothwinCore, HugeWindowCoversTheWholeSignalInBoundedTime) {
  // With h beyond the signal, every output is the sum of the whole column in
  // order, divided by the full length.
  const std::vector<double> x = {0.1, 0.7, -0.3, 1e-17, 5, 2, 3, 4};
  for (long n : {1000000000000L, INT64_MAX}) {
    auto y = filtered(x, 4, 2, n, {}, double(n));
    double first = 0.0, second = 0.0;
    for (int i = 0; i < 4; ++i) first += x[i];
    for (int i = 4; i < 8; ++i) second += x[i];
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(y[k], first / double(n));
      EXPECT_EQ(y[4 + k], second / double(n));
    }
  }
}

// ---- through the stand-in host -------------------------------------------

std::vector<double> smoothed(const mxArray& x, const mxArray& window) {
  auto r = call(1, {x, window});
  EXPECT_FALSE(r.failed) << r.error;
  return r.failed ? std::vector<double>{} : r.out(0).values();
}

TEST(SmoothwinGateway, DocumentedExamples) {
  using v = std::vector<double>;
  EXPECT_EQ(smoothed(column({1, 2, 3, 4, 5}), scalar(3)), (v{1, 2, 3, 4, 3}));
  EXPECT_EQ(smoothed(column({1, 2, 3, 4}), scalar(2)), (v{1.5, 2.5, 3.5, 2}));
  EXPECT_EQ(smoothed(column({2, 4, 6}), row({1, 2, 1})), (v{2, 4, 4}));
  EXPECT_EQ(smoothed(column({1, 2, 3}), row({0, 0, 1})), (v{2, 3, 0}));
  // A length is truncated; a window vector may be a column too.
  EXPECT_EQ(smoothed(column({1, 2, 3, 4}), scalar(2.9)), (v{1.5, 2.5, 3.5, 2}));
  EXPECT_EQ(smoothed(column({2, 4, 6}), column({1, 2, 1})), (v{2, 4, 4}));
}

TEST(SmoothwinGateway, RowIsManySignalsOfOneSample) {
  auto r = call(1, {row({3, 6, -9}), scalar(3)});
  ASSERT_FALSE(r.failed);
  EXPECT_EQ(r.out(0).rows(), 1u);
  EXPECT_EQ(r.out(0).columns(), 3u);
  EXPECT_EQ(r.out(0).values(), (std::vector<double>{1, 2, -3}));
  EXPECT_EQ(smoothed(row({4, 8}), row({1, 2, 1})), (std::vector<double>{2, 4}));
}

TEST(SmoothwinGateway, ColumnsAreFilteredApart) {
  auto r = call(1, {matrix(4, 2, {1, 2, 3, 4, 100, 200, 300, 400}), scalar(3)});
  ASSERT_FALSE(r.failed);
  EXPECT_EQ(r.out(0).rows(), 4u);
  EXPECT_EQ(r.out(0).columns(), 2u);
  EXPECT_EQ(r.out(0).values(),
            (std::vector<double>{1, 2, 3, 7.0 / 3, 100, 200, 300, 700.0 / 3}));
}

TEST(SmoothwinGateway, SecondInputShapeDecidesTheMode) {
  auto x = column({1, 2, 3, 4, 5, 6});
  // One element is always a length: 5 means five samples, not one weight.
  EXPECT_EQ(smoothed(x, scalar(5)), smoothed(x, row({1, 1, 1, 1, 1})));
  // A 2 x 3 window uses its first three stored elements.
  EXPECT_EQ(smoothed(x, matrix(2, 3, {1, 2, 3, 40, 50, 60})), smoothed(x, row({1, 2, 3})));
  // Window longer than the signal: what it covers, over the full sum.
  EXPECT_EQ(smoothed(column({3, 6}), row({1, 1, 1, 1, 1, 1, 1})),
            (std::vector<double>{9.0 / 7, 9.0 / 7}));
}

TEST(SmoothwinGateway, EmptyDataGivesEmptyOutputOfItsShape) {
  for (auto shape : {std::pair<size_t, size_t>{0, 0}, {0, 3}, {4, 0}}) {
    auto r = call(1, {empty(shape.first, shape.second), scalar(3)});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.out(0).rows(), shape.first);
    EXPECT_EQ(r.out(0).columns(), shape.second);
  }
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(SmoothwinGateway, MessagesInTheirOrder) {
  auto x = column({1, 2, 3});
  EXPECT_EQ(error_of({x}),
            "moving average filter : input data and length (or window vector) must be given");
  for (double bad : {1.0, 1.9, 0.5, 0.0, -5.0, double(NAN), -double(INFINITY), 1e19})
    EXPECT_EQ(error_of({x, scalar(bad)}), "Average length too short") << bad;
  EXPECT_EQ(error_of({x, row({1, -1})}), "Mean of weight vector is zero");
  EXPECT_EQ(error_of({x, row({0, 0, 0})}), "Mean of weight vector is zero");
  // Only the stored elements up to the longer side count toward the sum.
  EXPECT_EQ(error_of({x, matrix(2, 2, {1, -1, 5, 5})}), "Mean of weight vector is zero");
  // Tiny or NaN sums are accepted.
  EXPECT_FALSE(call(1, {x, row({1, -1 + 1e-15})}).failed);
  EXPECT_FALSE(call(1, {x, row({1, NAN})}).failed);
  // The data are not checked: the second input decides even for empty data.
  EXPECT_EQ(error_of({empty(), scalar(1)}), "Average length too short");
  // Further inputs are ignored.
  EXPECT_FALSE(call(1, {x, scalar(2), char_array("ignored")}).failed);
}

TEST(SmoothwinGateway, EmptySecondInputIsRefused) {
  auto x = column({1, 2, 3});
  for (auto shape : {std::pair<size_t, size_t>{0, 0}, {0, 1}, {1, 0}, {0, 5}, {7, 0}})
    EXPECT_EQ(error_of({x, empty(shape.first, shape.second)}), "Input 2 must not be empty");
}

TEST(SmoothwinGateway, NonDoubleInputsAreRefusedBeforeReading) {
  auto x = column({1, 2, 3});
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {3, 1}, {1, 2, 3}), scalar(3)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({typed(mxSINGLE_CLASS, {3, 1}), scalar(3)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({x, typed(mxLOGICAL_CLASS, {1, 3}, {1, 1, 1})}),
            "Input 2 must be a real double array");
  EXPECT_EQ(error_of({x, char_array("abc")}), "Input 2 must be a real double array");
  EXPECT_EQ(error_of({sparse_matrix(3, 1, {1}), scalar(3)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({x, complex_matrix(1, 3, {1, 2, 1}, {0, 1, 0})}),
            "Input 2 must be a real double array");
  // The usage message still comes first.
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {3, 1})}).substr(0, 23), "moving average filter :");
}

}  // namespace
