#include "termset/termset.cpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using namespace standin;

// Every vector of {0 ... m}^D in lexicographic order (last index fastest),
// keeping those whose sum is at most m: the list written out by brute force.
std::vector<double> brute_force(long D, long m) {
  std::vector<long> v(size_t(D), 0);
  std::vector<double> list;
  for (;;) {
    long sum = 0;
    for (long e : v) sum += e;
    if (sum <= m) list.insert(list.end(), v.begin(), v.end());
    long i = D - 1;
    while (i >= 0 && v[size_t(i)] == m) v[size_t(i--)] = 0;
    if (i < 0) return list;
    ++v[size_t(i)];
  }
}

// Pascal's triangle, row n, entry k.
uint64_t pascal(long n, long k) {
  std::vector<uint64_t> row(1, 1);
  for (long r = 1; r <= n; ++r) {
    std::vector<uint64_t> next(size_t(r + 1), 1);
    for (long j = 1; j < r; ++j) next[size_t(j)] = row[size_t(j - 1)] + row[size_t(j)];
    row = next;
  }
  return row[size_t(k)];
}

// The two passes as the gateway runs them, into a plain array.
std::vector<double> enumerate(long D, long m) {
  std::vector<long> work(static_cast<size_t>(D));
  maxlen = D;
  a = work.data();
  count_flag = 1;
  counter = 0;
  g(0, m);
  std::vector<double> list(size_t(counter * D), -1.0);
  count_flag = 0;
  out = list.data();
  g(0, m);
  EXPECT_EQ(out, list.data() + list.size());
  return list;
}

TEST(TermsetCore, EnumerationMatchesTheFilteredCube) {
  for (long D = 1; D <= 5; ++D)
    for (long m = 0; m <= 5; ++m) {
      auto list = enumerate(D, m);
      EXPECT_EQ(list, brute_force(D, m)) << "D " << D << ", maxgrad " << m;
      EXPECT_EQ(uint64_t(counter), pascal(D + m, D));
    }
}

TEST(TermsetCore, ColumnCountIsTheBinomialAndSaturates) {
  for (long D = 1; D <= 12; ++D)
    for (long m = 0; m <= 12; ++m) EXPECT_EQ(column_count(D, m), pascal(D + m, D)) << D << " " << m;
  EXPECT_EQ(column_count(2, 65534), 2147450880u);  // C(65536, 2): still fits
  EXPECT_EQ(column_count(2, 65535), max_columns + 1);
  EXPECT_EQ(column_count(65535, 2), max_columns + 1);
  EXPECT_EQ(column_count(1, 2147483646), 2147483647u);
  EXPECT_EQ(column_count(1, 2147483647), max_columns + 1);
  EXPECT_EQ(column_count(2147483647, 0), 1u);
  EXPECT_EQ(column_count(2147483647, 2147483647), max_columns + 1);
  EXPECT_EQ(column_count(34, 34), max_columns + 1);
}

TEST(TermsetCore, SizeCheckCountsOutputAndWorkingVector) {
  // D = 3, maxgrad = 1: 4 columns of 3 doubles, and 3 longs of working space.
  const uint64_t needed = 12 * sizeof(double) + 3 * sizeof(long);
  EXPECT_EQ(check_size(3, 1, needed), termset_size::fits);
  EXPECT_EQ(check_size(3, 1, needed - 1), termset_size::too_large_for_memory);
  EXPECT_EQ(check_size(3, 1, 5), termset_size::too_large_for_memory);
  EXPECT_EQ(check_size(2, 65535, UINT64_MAX), termset_size::too_many_columns);
  EXPECT_EQ(check_size(2147483647, 2147483646, UINT64_MAX), termset_size::too_many_columns);
}

// ---- through the stand-in host -------------------------------------------

void expect_matrix(const call_result& r, size_t rows, const std::vector<double>& values) {
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).rows(), rows);
  EXPECT_EQ(r.out(0).columns(), values.size() / rows);
  EXPECT_EQ(r.out(0).values(), values);
}

TEST(TermsetGateway, SmallListsInTheirOrder) {
  expect_matrix(call(1, {scalar(1), scalar(3)}), 1, {0, 1, 2, 3});
  expect_matrix(call(1, {scalar(3), scalar(0)}), 3, {0, 0, 0});
  expect_matrix(call(1, {scalar(3), scalar(1)}), 3, {0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 0});
  expect_matrix(call(0, {scalar(2), scalar(2)}), 2, {0, 0, 0, 1, 0, 2, 1, 0, 1, 1, 2, 0});
  // Truncation toward zero; further elements and inputs are ignored.
  expect_matrix(call(1, {scalar(2.9), scalar(-0.5)}), 2, {0, 0});
  expect_matrix(call(1, {row({1, 7}), column({2.99, 9}), scalar(4)}), 1, {0, 1, 2});
}

TEST(TermsetGateway, LongVectorsNeedNoDeepRecursion) {
  auto r = call(1, {scalar(1000000), scalar(0)});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).rows(), 1000000u);
  EXPECT_EQ(r.out(0).columns(), 1u);

  // maxgrad 1: the zero vector, then a single 1 moving from the last row up.
  const long D = 2000;
  r = call(1, {scalar(D), scalar(1)});
  ASSERT_FALSE(r.failed) << r.error;
  ASSERT_EQ(r.out(0).columns(), size_t(D + 1));
  auto v = r.out(0).values();
  for (long j = 0; j <= D; ++j)
    for (long i = 0; i < D; ++i)
      ASSERT_EQ(v[size_t(i + j * D)], (j > 0 && i == D - j) ? 1.0 : 0.0) << i << " " << j;
}

TEST(TermsetGateway, MessagesInTheirOrder) {
  const std::string usage = "monotermset : Input arguments D and maxgrad must be given";
  const std::string wrong = "Wrong parameters given";
  EXPECT_EQ(call(1, {}).error, usage);
  EXPECT_EQ(call(1, {scalar(3)}).error, usage);
  EXPECT_EQ(call(1, {typed(mxINT32_CLASS, {1, 1}, {3})}).error, usage);
  EXPECT_EQ(call(1, {typed(mxINT32_CLASS, {1, 1}, {3}), scalar(2)}).error,
            "Input 1 must be a real double array");
  EXPECT_EQ(call(1, {scalar(3), typed(mxLOGICAL_CLASS, {1, 1}, {1})}).error,
            "Input 2 must be a real double array");
  EXPECT_EQ(call(1, {empty(), scalar(2)}).error, "Input 1 must not be empty");
  EXPECT_EQ(call(1, {scalar(3), empty(1, 0)}).error, "Input 2 must not be empty");
  EXPECT_EQ(call(1, {empty(), empty()}).error, "Input 1 must not be empty");
  for (double d : {0.0, 0.99, -1.0, double(NAN), 3e9, -3e9})
    EXPECT_EQ(call(1, {scalar(d), scalar(2)}).error, wrong) << d;
  for (double m : {-1.0, double(NAN), double(INFINITY), -double(INFINITY)})
    EXPECT_EQ(call(1, {scalar(2), scalar(m)}).error, wrong) << m;
  // Both are read before either is tested.
  EXPECT_EQ(call(1, {scalar(0), empty()}).error, "Input 2 must not be empty");

  EXPECT_EQ(call(1, {scalar(2), scalar(65535)}).error,
            "Too many monomials: more than 2147483647 columns");
  EXPECT_EQ(call(1, {scalar(2147483647), scalar(2147483647)}).error,
            "Too many monomials: more than 2147483647 columns");
  EXPECT_EQ(call(1, {scalar(1e9), scalar(1)}).error,
            "Too many monomials: the list does not fit into memory");
}

TEST(TermsetGateway, FailedAllocationsEndTheCallCleanly) {
  for (int k : {0, 1}) {  // the working vector, then the output
    fail_allocation_after(k);
    auto r = call(1, {scalar(3), scalar(2)});
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.released_on_exit, 0u);
  }
  fail_allocation_after(0, allocation_failure::null_pointer);
  EXPECT_EQ(call(1, {scalar(3), scalar(2)}).error, "Out of memory");
  expect_matrix(call(1, {scalar(1), scalar(1)}), 1, {0, 1});
}

}  // namespace
