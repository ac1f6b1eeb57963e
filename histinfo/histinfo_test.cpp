#include "histinfo/histinfo.cpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace {

using namespace standin;

// The match rule written out literally: the truncated differences summed as
// doubles, the columns matching when the sum is 0.
bool literal_match(const double* a, const double* b, long n) {
  double s = 0;
  for (long i = 0; i < n; ++i) {
    double d = a[i] - b[i];
    if (std::isnan(d) || std::fabs(d) >= 2147483648.0) return false;
    s = s + std::fabs(double(int32_t(d)));
  }
  return s == 0;
}

// The entropy computed as the classes are defined, for finite data: a copy
// of the first unclassed column is compared with every unclassed column,
// itself included.
double reference_entropy(const std::vector<double>& A, long M, long N) {
  double H = 0;
  std::vector<long> left;
  for (long j = 0; j < N; ++j) left.push_back(j);
  while (!left.empty()) {
    std::vector<double> ref(A.begin() + left[0] * M, A.begin() + (left[0] + 1) * M);
    std::vector<long> rest;
    long count = 0;
    for (long j : left) {
      if (literal_match(ref.data(), A.data() + j * M, M))
        count++;
      else
        rest.push_back(j);
    }
    double p = double(count) / double(N);
    H = H - p * std::log(p);
    left = rest;
  }
  return H;
}

double entropy_of(const std::vector<double>& A, long M, long N) {
  std::vector<long> pending(size_t(std::max(N, 1L)));
  double H = -1;
  Entropy(A.data(), &H, M, N, pending.data());
  return H;
}

// -sum p ln p for the class sizes in the order given, out of n columns.
double from_sizes(const std::vector<int>& sizes, int n) {
  double H = 0;
  for (int c : sizes) H = H - double(c) / n * std::log(double(c) / n);
  return H;
}

TEST(HistinfoCore, MatchRuleAgreesWithLiteralTruncation) {
  std::mt19937 rng(5);
  const double specials[] = {0.0, 1.0, -1.0, 0.999999, 2147483647.5, 2147483648.0,
                             -2147483648.0, 4294967296.0, 1e300, NAN, INFINITY, -INFINITY};
  std::uniform_int_distribution<int> which(0, 14);
  std::uniform_real_distribution<double> near(-1.5, 1.5);
  for (int trial = 0; trial < 20000; ++trial) {
    double a[3], b[3];
    for (int i = 0; i < 3; ++i) {
      int k = which(rng);
      a[i] = k < 12 ? specials[k] : near(rng);
      k = which(rng);
      b[i] = k < 12 ? specials[k] : a[i] + near(rng);
    }
    for (long n = 0; n <= 3; ++n)
      ASSERT_EQ(confronto(a, b, n), literal_match(a, b, n))
          << a[0] << " " << b[0] << " n=" << n;
  }
}

TEST(HistinfoCore, RandomMatricesAgreeBitForBit) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 300; ++trial) {
    const long M = std::uniform_int_distribution<long>(0, 4)(rng);
    const long N = std::uniform_int_distribution<long>(0, 60)(rng);
    // Few distinct levels and small jitter, so classes are large and the
    // non-transitive cases (a ~ b ~ c, a !~ c) occur often.
    std::uniform_int_distribution<int> level(0, 3);
    std::uniform_real_distribution<double> jitter(-0.6, 0.6);
    std::vector<double> A(size_t(M * N));
    for (double& v : A) v = 0.9 * level(rng) + (trial % 2 ? jitter(rng) : 0.0);
    if (trial % 7 == 0 && !A.empty()) A[0] = 3e9;
    EXPECT_EQ(entropy_of(A, M, N), reference_entropy(A, M, N)) << "trial " << trial;
  }
}

TEST(HistinfoCore, ClassesFormAroundTheReference) {
  EXPECT_EQ(entropy_of({0, 0, 1, 1}, 1, 4), from_sizes({2, 2}, 4));
  EXPECT_NEAR(entropy_of({0, 0, 1, 1}, 1, 4), std::log(2.0), 1e-15);
  EXPECT_EQ(entropy_of({0, 0.5, 0.9, 1.4}, 1, 4), from_sizes({3, 1}, 4));
  // 0.9 and 1.8 match each other, but 1.8 does not match the reference 0.
  EXPECT_EQ(entropy_of({0, 0.9, 1.8}, 1, 3), from_sizes({2, 1}, 3));
  EXPECT_EQ(entropy_of({1.8, 0.9, 0}, 1, 3), from_sizes({2, 1}, 3));
  EXPECT_EQ(entropy_of({0.9, 0, 1.8}, 1, 3), from_sizes({3}, 3));
  EXPECT_EQ(entropy_of({5, -7, 20}, 1, 3), from_sizes({1, 1, 1}, 3));
  EXPECT_NEAR(entropy_of({5, -7, 20}, 1, 3), std::log(3.0), 1e-15);
  // Columns compare whole: equal in the first row, 1 apart in the second.
  EXPECT_EQ(entropy_of({0, 0, 0, 1}, 2, 2), from_sizes({1, 1}, 2));
  EXPECT_EQ(entropy_of({0, 0, 0.3, -0.99}, 2, 2), 0.0);
}

TEST(HistinfoCore, DegenerateShapesHaveNoEntropy) {
  EXPECT_EQ(entropy_of({}, 3, 0), 0.0);
  EXPECT_EQ(entropy_of({}, 0, 5), 0.0);  // columns without rows all match
  EXPECT_EQ(entropy_of({7, 7.5, 7.2}, 1, 3), 0.0);
  EXPECT_FALSE(std::signbit(entropy_of({7, 7.5, 7.2}, 1, 3)));
}

TEST(HistinfoCore, NonFiniteColumnsAreClassesOfOne) {
  EXPECT_EQ(entropy_of({NAN, NAN, 0}, 1, 3), from_sizes({1, 1, 1}, 3));
  EXPECT_EQ(entropy_of({INFINITY, INFINITY}, 1, 2), from_sizes({1, 1}, 2));
  EXPECT_EQ(entropy_of({NAN, 0, 0.5}, 1, 3), from_sizes({1, 2}, 3));
  EXPECT_EQ(entropy_of({0, NAN, 0.5}, 1, 3), from_sizes({2, 1}, 3));
  // A NaN in one row keeps its column apart although the other rows match.
  EXPECT_EQ(entropy_of({1, 2, 1, NAN, 1, 2}, 2, 3), from_sizes({2, 1}, 3));
}

// ---- through the stand-in host -------------------------------------------

TEST(HistinfoGateway, EntropyOfColumns) {
  for (int nlhs : {0, 1}) {
    auto r = call(nlhs, {matrix(2, 4, {0, 0, 0, 0, 1, 1, 1, 1.5})});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.out(0).rows(), 1u);
    EXPECT_EQ(r.out(0).columns(), 1u);
    EXPECT_EQ(r.out(0).values(), std::vector<double>{from_sizes({2, 2}, 4)});
    EXPECT_EQ(r.released_on_exit, 0u);
    EXPECT_EQ(r.printed, "");
  }
  EXPECT_EQ(call(1, {empty(0, 0)}).out(0).values(), std::vector<double>{0});
  EXPECT_EQ(call(1, {empty(0, 9)}).out(0).values(), std::vector<double>{0});
}

TEST(HistinfoGateway, MessagesInTheirOrder) {
  const std::string count = "Wrong number of input arguments.";
  const std::string kind = "A must be a real 2D full double array.";
  auto A = row({0, 1});
  EXPECT_EQ(call(1, {}).error, count);
  EXPECT_EQ(call(1, {A, A}).error, count);
  EXPECT_EQ(call(1, {typed(mxINT32_CLASS, {2, 2}), A}).error, count);
  for (const auto& bad :
       {complex_matrix(1, 2, {0, 1}, {0, 0}), typed(mxDOUBLE_CLASS, {2, 2, 2}),
        typed(mxDOUBLE_CLASS, {1, 2, 1, 3}), sparse_matrix(3, 3, {1, 2}),
        typed(mxINT32_CLASS, {1, 4}, {0, 0, 1, 1}), typed(mxSINGLE_CLASS, {2, 2}),
        typed(mxLOGICAL_CLASS, {1, 3}), typed(mxUINT8_CLASS, {0, 0}), char_array("abc")})
    EXPECT_EQ(call(1, {bad}).error, kind);
}

TEST(HistinfoGateway, AllocationFailureEndsTheCallCleanly) {
  auto A = matrix(2, 3, {0, 1, 2, 3, 4, 5});
  fail_allocation_after(0, allocation_failure::null_pointer);
  auto r = call(1, {A});
  EXPECT_EQ(r.error, "not enough memory for the result");
  fail_allocation_after(1, allocation_failure::null_pointer);
  r = call(1, {A});
  EXPECT_EQ(r.error, "not enough memory for the working storage");
  EXPECT_EQ(r.released_on_exit, 0u);
  for (int k = 0; k < 2; ++k) {
    fail_allocation_after(k);
    r = call(1, {A});
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.released_on_exit, 0u);
  }
}

}  // namespace
