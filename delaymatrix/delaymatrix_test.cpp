#include "delaymatrix/delaymatrix.cpp"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace standin;

// The embedding written element by element from its definition: row r is
// time t = p - 1 + r, the column of copy m of series i holds
// X[t - m*tau_i + s_i, i].
struct reference_embedding {
  long rows = 0, columns = 0, p = 0;
  std::vector<double> values;  // column-major
};

reference_embedding reference(const std::vector<double>& X, long M, const std::vector<long>& d,
                              const std::vector<long>& tau, const std::vector<long>& s) {
  reference_embedding e;
  e.p = (d[0] - 1) * tau[0] + 1;
  for (size_t i = 0; i < d.size(); ++i) {
    e.p = std::max(e.p, (d[i] - 1) * tau[i] + 1);
    e.columns += d[i];
  }
  e.rows = M - e.p;
  e.values.assign(size_t(e.rows * e.columns), -1);
  long c = 0;
  for (size_t i = 0; i < d.size(); ++i) {
    long shift = i == 0 ? 0 : s[i - 1];
    for (long m = 0; m < d[i]; ++m, ++c)
      for (long r = 0; r < e.rows; ++r) {
        long t = e.p - 1 + r;
        long at = t - m * tau[i] + shift;
        EXPECT_TRUE(at >= 0 && at < M) << "reference reads outside the series";
        e.values[r + c * e.rows] = X[at + long(i) * M];
      }
  }
  return e;
}

std::vector<double> as_doubles(const std::vector<long>& v) { return {v.begin(), v.end()}; }

// A series whose samples tell where they came from: series i, time t holds
// 1000*i + t.
std::vector<double> labelled(long M, long N) {
  std::vector<double> X(size_t(M * N));
  for (long i = 0; i < N; ++i)
    for (long t = 0; t < M; ++t) X[t + i * M] = 1000.0 * i + t;
  return X;
}

std::vector<double> column_of(const mxArray& a, size_t c) {
  auto v = a.values();
  return {v.begin() + long(c * a.rows()), v.begin() + long((c + 1) * a.rows())};
}

std::vector<double> range(double from, double to) {
  std::vector<double> v;
  for (double x = from; x <= to; ++x) v.push_back(x);
  return v;
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(DelaymatrixCore, MaxTakesTheFirstLargest) {
  const int ties[] = {3, 5, 5};
  EXPECT_EQ(max(ties, 3), 1);
  const int falling[] = {-7, -2, -9, -2};
  EXPECT_EQ(max(falling, 4), 1);
  const int last[] = {1, 2, 3};
  EXPECT_EQ(max(last, 3), 2);
  EXPECT_EQ(max(ties, 0), 0);
  EXPECT_EQ(max(ties, -4), 0);
}

TEST(DelaymatrixCore, WindowOfSeriesWithoutCopiesIsOneMinusDelay) {
  int windows[3];
  const double d0[] = {0}, t0[] = {3};
  EXPECT_EQ(get_p_max_index(d0, t0, 1, windows), -2);
  const double d[] = {0, 2, 3}, tau[] = {9, 4, 1};
  EXPECT_EQ(get_p_max_index(d, tau, 3, windows), 5);
  EXPECT_EQ(windows[0], -8);
  EXPECT_EQ(windows[2], 3);
  EXPECT_EQ(get_p_max_index(d, tau, 0, windows), 0);
}

TEST(DelaymatrixGateway, RandomEmbeddingsMatchTheDefinition) {
  std::mt19937 rng(11);
  auto pick = [&](long lo, long hi) { return std::uniform_int_distribution<long>(lo, hi)(rng); };
  for (int trial = 0; trial < 400; ++trial) {
    const long N = pick(1, 4), M = pick(1, 40);
    std::vector<long> d(N), tau(N), s(N > 1 ? N - 1 : 0);
    for (long i = 0; i < N; ++i) {
      d[i] = pick(0, 4);
      tau[i] = pick(0, 3);
    }
    d[0] = std::max(d[0], 1L);  // keep p at least 1 so the windows decide it
    long p = 1;
    for (long i = 0; i < N; ++i) p = std::max(p, (d[i] - 1) * tau[i] + 1);
    if (p > M) continue;
    for (long i = 1; i < N; ++i) s[i - 1] = pick((d[i] - 1) * tau[i] + 1 - p, 1);
    std::vector<double> X(size_t(M * N));
    for (double& x : X) x = std::uniform_real_distribution<double>(-5, 5)(rng);

    auto want = reference(X, M, d, tau, s);
    auto r = call(2, {matrix(size_t(M), size_t(N), X), row(as_doubles(d)), row(as_doubles(tau)),
                      matrix(1, size_t(s.size()), as_doubles(s))});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.released_on_exit, 0u);
    ASSERT_EQ(long(r.out(0).rows()), want.rows);
    ASSERT_EQ(long(r.out(0).columns()), want.columns);
    EXPECT_EQ(r.out(0).values(), want.values) << "trial " << trial;
    EXPECT_EQ(r.out(1).values(), std::vector<double>{double(want.p)});
  }
}

TEST(DelaymatrixGateway, OneSeriesWithDelayTwo) {
  auto r = call(2, {column(range(0, 9)), scalar(3), scalar(2)});
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_EQ(r.out(0).rows(), 5u);
  ASSERT_EQ(r.out(0).columns(), 3u);
  EXPECT_EQ(column_of(r.out(0), 0), range(4, 8));  // the last sample, 9, is in no row
  EXPECT_EQ(column_of(r.out(0), 1), range(2, 6));
  EXPECT_EQ(column_of(r.out(0), 2), range(0, 4));
  EXPECT_EQ(r.out(1).values(), std::vector<double>{5});
}

TEST(DelaymatrixGateway, DefaultsAreUnitDelaysAndNoShifts) {
  auto X = matrix(12, 3, labelled(12, 3));
  auto defaults = call(2, {X, row({2, 4, 3})});
  auto explicit_ = call(2, {X, row({2, 4, 3}), row({1, 1, 1}), row({0, 0})});
  ASSERT_FALSE(defaults.failed) << defaults.error;
  EXPECT_EQ(defaults.out(1).values(), std::vector<double>{4});  // the largest dimension
  EXPECT_EQ(defaults.out(0).rows(), 8u);
  EXPECT_EQ(defaults.out(0).columns(), 9u);
  EXPECT_EQ(defaults.out(0).values(), explicit_.out(0).values());
  EXPECT_EQ(defaults.released_on_exit, 0u);
  auto three = call(1, {X, row({2, 4, 3}), row({1, 1, 1})});
  EXPECT_EQ(three.out(0).values(), explicit_.out(0).values());
}

TEST(DelaymatrixGateway, ShiftOneReadsTheSampleAfterTheCurrentTime) {
  const long M = 7;
  auto r = call(2, {matrix(M, 2, labelled(M, 2)), row({2, 1}), row({1, 1}), scalar(1)});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(1).values(), std::vector<double>{2});
  EXPECT_EQ(column_of(r.out(0), 0), range(1, 5));        // X[t, 0], t = 1 ... M - 2
  EXPECT_EQ(column_of(r.out(0), 1), range(0, 4));        // X[t - 1, 0]
  EXPECT_EQ(column_of(r.out(0), 2), range(1002, 1006));  // X[t + 1, 1], the last sample
}

TEST(DelaymatrixGateway, SeriesWithoutCopiesAddsNoColumn) {
  auto r = call(2, {matrix(6, 2, labelled(6, 2)), row({2, 0}), row({1, 4}), scalar(99)});
  ASSERT_FALSE(r.failed) << r.error;  // its shift is never used, so not range-tested
  EXPECT_EQ(r.out(1).values(), std::vector<double>{2});
  EXPECT_EQ(r.out(0).columns(), 2u);
  EXPECT_EQ(column_of(r.out(0), 0), range(1, 4));
  EXPECT_EQ(column_of(r.out(0), 1), range(0, 3));
  // No copies at all: the windows are 1 - tau, the rows M - p_max.
  auto none = call(2, {column(range(0, 3)), scalar(0), scalar(3)});
  ASSERT_FALSE(none.failed) << none.error;
  EXPECT_EQ(none.out(0).rows(), 6u);
  EXPECT_EQ(none.out(0).columns(), 0u);
  EXPECT_EQ(none.out(1).values(), std::vector<double>{-2});
}

TEST(DelaymatrixGateway, EmptyShapes) {
  auto full_window = call(2, {column(range(0, 4)), scalar(5)});
  ASSERT_FALSE(full_window.failed) << full_window.error;
  EXPECT_EQ(full_window.out(0).rows(), 0u);
  EXPECT_EQ(full_window.out(0).columns(), 5u);
  EXPECT_EQ(full_window.out(1).values(), std::vector<double>{5});
  auto no_series = call(2, {empty(4, 0), empty(1, 0)});
  ASSERT_FALSE(no_series.failed) << no_series.error;
  EXPECT_EQ(no_series.out(0).rows(), 4u);
  EXPECT_EQ(no_series.out(0).columns(), 0u);
  EXPECT_EQ(no_series.out(1).values(), std::vector<double>{0});
}

TEST(DelaymatrixGateway, SecondOutputOnlyWhenAskedFor) {
  for (int nlhs : {0, 1}) {
    auto r = call(nlhs, {column(range(0, 9)), scalar(2)});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.outputs.size(), 1u);
    EXPECT_EQ(r.out(0).rows(), 8u);
  }
}

TEST(DelaymatrixGateway, CountAndClassMessagesInTheirOrder) {
  auto X = column(range(0, 9));
  auto one = scalar(1);
  auto i32 = typed(mxINT32_CLASS, {1, 1}, {1});
  auto cplx = complex_matrix(1, 1, {1}, {1});
  auto sparse = sparse_matrix(1, 1, {1});
  const std::string count = "wrong number of input arguments";
  EXPECT_EQ(error_of({X}), count);
  EXPECT_EQ(error_of({}), count);
  EXPECT_EQ(error_of({X, one, one, one, one}), count);
  for (const auto& bad : {i32, cplx, sparse, typed(mxSINGLE_CLASS, {1, 1}, {1}),
                          typed(mxLOGICAL_CLASS, {1, 1}, {1}), char_array("a")}) {
    // Later positions are tested first.
    EXPECT_EQ(error_of({i32, i32, bad, bad}), "corrupt input arg 4");
    EXPECT_EQ(error_of({i32, i32, bad, one}), "corrupt input arg 3");
    EXPECT_EQ(error_of({i32, i32, bad}), "corrupt input arg 3");
    EXPECT_EQ(error_of({X, bad, one, one}), "corrupt input arg 1 or 2");
    EXPECT_EQ(error_of({bad, one}), "corrupt input arg 1 or 2");
  }
  // One series: a fourth input is type-tested only.
  EXPECT_EQ(error_of({X, one, one, i32}), "corrupt input arg 4");
  auto plain = call(2, {X, scalar(3), scalar(2)});
  auto ignored = call(2, {X, scalar(3), scalar(2), row({7, 7, 7, 7, 7})});
  ASSERT_FALSE(ignored.failed) << ignored.error;
  EXPECT_EQ(ignored.out(0).values(), plain.out(0).values());
  // Class tests come before shape tests.
  EXPECT_EQ(error_of({matrix(5, 2), row({1, 1, 1}), i32}), "corrupt input arg 3");
}

TEST(DelaymatrixGateway, ShapeMessagesInTheirOrder) {
  auto X = matrix(10, 2, labelled(10, 2));
  const std::string shape = "wrong matrix dimensions";
  EXPECT_EQ(error_of({X, row({1, 1, 1})}), shape);
  EXPECT_EQ(error_of({X, column({1, 1})}), shape);
  EXPECT_EQ(error_of({X, row({1, 1}), column({1, 1})}), shape);
  EXPECT_EQ(error_of({X, row({1, 1}), row({1, 1}), row({0, 0})}), shape);
  EXPECT_EQ(error_of({X, row({1, 1}), row({1, 1}), empty()}), shape);
  // Values are tested only after all shapes.
  EXPECT_EQ(error_of({X, row({-1, 1}), row({-1, 1, 1})}), shape);
  EXPECT_EQ(error_of({X, row({-1, 1}), row({1, 1}), row({5, 5})}), shape);
}

TEST(DelaymatrixGateway, ValuesThatWouldReadOutsideAreRefused) {
  auto X = matrix(10, 2, labelled(10, 2));
  const std::string dims = "dimensions must be whole numbers from 0 to 2147483647";
  const std::string delays = "delays must be whole numbers from 0 to 2147483647";
  for (double bad : {-1.0, 2.5, double(NAN), double(INFINITY), 2147483648.0})
    EXPECT_EQ(error_of({X, row({1, bad})}), dims) << bad;
  for (double bad : {-1.0, 0.5, double(NAN), -double(INFINITY), 3e9})
    EXPECT_EQ(error_of({X, row({1, 1}), row({bad, 1})}), delays) << bad;
  EXPECT_EQ(error_of({X, row({2147483647, 1}), row({0, 0})}),
            "too many columns in the embedding");
  for (double bad : {0.5, double(NAN), double(INFINITY)})
    EXPECT_EQ(error_of({X, row({1, 1}), row({1, 1}), scalar(bad)}),
              "shifts must be whole numbers");
  // Dimensions are tested before delays, delays before shifts.
  EXPECT_EQ(error_of({X, row({0.5, 1}), row({-1, 1}), scalar(0.5)}), dims);
  EXPECT_EQ(error_of({X, row({1, 1}), row({-1, 1}), scalar(0.5)}), delays);

  const std::string window = "embedding window longer than the series";
  EXPECT_EQ(error_of({column(range(0, 4)), scalar(6)}), window);
  EXPECT_EQ(error_of({X, row({1, 4}), row({1, 4})}), window);
  EXPECT_EQ(error_of({X, row({1, 65536}), row({1, 65536})}), window);  // int overflow
  EXPECT_EQ(error_of({empty(0, 1), scalar(0), scalar(0)}), window);
  EXPECT_FALSE(call(1, {X, row({1, 4}), row({1, 3})}).failed);

  // p_max = 4 with d = [4 2], tau = [1 1]: series 1 may move from -2 to 1.
  const std::string outside = "shifts reach outside the series";
  for (double ok : {-2.0, 0.0, 1.0})
    EXPECT_FALSE(call(1, {X, row({4, 2}), row({1, 1}), scalar(ok)}).failed) << ok;
  for (double bad : {-3.0, 2.0, 1e12, -1e300})
    EXPECT_EQ(error_of({X, row({4, 2}), row({1, 1}), scalar(bad)}), outside) << bad;
}

TEST(DelaymatrixGateway, AllocationFailuresNameTheStep) {
  auto X = matrix(10, 2, labelled(10, 2));
  const char* expected[] = {
      "mexFunction(): error while allocating memory",      // default shifts
      "mexFunction(): error while allocating memory",      // default delays
      "get_p_max_index(): error while allocating memory",  // windows
      "embed(): error while allocating memory",            // output 1
      "mexFunction(): error while allocating memory",      // output 2
  };
  for (int k = 0; k < 5; ++k) {
    fail_allocation_after(k, allocation_failure::null_pointer);
    auto r = call(2, {X, row({2, 3})});
    EXPECT_EQ(r.error, expected[k]) << k;
    EXPECT_EQ(r.released_on_exit, 0u);
  }
  fail_allocation_after(5, allocation_failure::null_pointer);
  EXPECT_FALSE(call(2, {X, row({2, 3})}).failed);

  // Three inputs and one series: no defaults are made, so the first
  // allocation is the window buffer.
  fail_allocation_after(0, allocation_failure::null_pointer);
  EXPECT_EQ(call(1, {column(range(0, 9)), scalar(2), scalar(1)}).error,
            "get_p_max_index(): error while allocating memory");
  // With four inputs and two series, no defaults either.
  fail_allocation_after(0, allocation_failure::null_pointer);
  EXPECT_EQ(call(1, {X, row({2, 3}), row({1, 1}), scalar(0)}).error,
            "get_p_max_index(): error while allocating memory");
}

}  // namespace
