#include "histinfo/histinfo.cpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "host/sanitizer_builds.h"

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

// The index's storage in plain vectors, for calling the core directly. The
// host's working memory comes uncleared, so the per-column arrays start out
// holding rubbish here too.
struct vector_storage {
  explicit vector_storage(long N)
      : n(size_t(std::max(N, 1L))), cell_of(n, 0xa5a5a5a5), members(n, 0xa5a5a5a5), cells(table_size(n)), slot_marks(table_size(n)), classed(n, 0xa5),
        neighbours(neighbour_batch * max_neighbours), neighbour_count(neighbour_batch) {}
  column_index<uint32_t> index() {
    return {cell_of.data(), members.data(),    cells.data(),          slot_marks.data(),
            classed.data(), neighbours.data(), neighbour_count.data()};
  }
  size_t n;
  std::vector<uint32_t> cell_of, members;
  std::vector<column_index<uint32_t>::cell> cells;
  std::vector<unsigned char> slot_marks, classed;
  std::vector<uint32_t> neighbours;
  std::vector<unsigned char> neighbour_count;
};

double entropy_of(const std::vector<double>& A, long M, long N, int threads = 1) {
  vector_storage storage(N);
  double H = -1;
  Entropy(A.data(), &H, M, N, storage.index(), threads);
  return H;
}

// The classing as it was before the index: every round compares the
// reference with every column left, in order.
double quadratic_entropy(const std::vector<double>& A, long M, long N) {
  double H = 0;
  if (N <= 0) return H;
  std::vector<long> pending(static_cast<size_t>(N));
  for (long j = 0; j < N; ++j) pending[size_t(j)] = j;
  long n = N;
  for (;;) {
    const double* reference = A.data() + pending[0] * M;
    long count = 1;
    long kept = 0;
    for (long j = 1; j < n; ++j) {
      if (confronto(reference, A.data() + pending[size_t(j)] * M, M))
        ++count;
      else
        pending[size_t(kept++)] = pending[size_t(j)];
    }
    H = H - xlnx(double(count) / double(N));
    if (kept == 0) break;
    n = kept;
  }
  return H;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

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

// Values that put matching and non-matching columns on both sides of cell
// borders, with non-finite and huge values and -0 among them.
double hostile_value(std::mt19937& rng, double spread) {
  static const double specials[] = {NAN,     INFINITY, -INFINITY,   1e300,   -1e300,
                                    -0.0,    0.0,      9007199254740992.0, 9007199254740993.0,
                                    3e9,     -3e9,     2147483648.0,       -1.7976931348623157e308};
  static const double offsets[] = {0.0, 1e-12, -1e-12, 0.5, 0.999999999999, -0.999999999999,
                                   1.0, -1.0, 0.3, -0.7};
  static const double huge[] = {3e9,    -3e9, 2147483648.0, 4503599627370495.0, 9007199254740992.0,
                                -9007199254740992.0, 1e300};
  const int kind = std::uniform_int_distribution<int>(0, 99)(rng);
  if (kind < 2) return specials[std::uniform_int_distribution<int>(0, 12)(rng)];
  double level = std::floor(std::uniform_real_distribution<double>(0, spread)(rng));
  if (kind < 5) level = huge[std::uniform_int_distribution<int>(0, 6)(rng)];
  if (kind < 60) return level + offsets[std::uniform_int_distribution<int>(0, 9)(rng)];
  return level + std::uniform_real_distribution<double>(-1, 1)(rng);
}

TEST(HistinfoIndex, ClassesAsTheQuadraticSearchOnRandomData) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 120; ++trial) {
    const long M = std::vector<long>{0, 1, 1, 2, 3, 3, 4, 7, 40}[size_t(trial % 9)];
    const long N = std::uniform_int_distribution<long>(0, trial < 100 ? 400 : 4000)(rng);
    // From a few levels (large classes, many near misses) to many (the grid
    // splits them); some rows constant, so the grid leaves them out.
    const double spread = std::vector<double>{2, 12, 60, 2000}[size_t(trial % 4)];
    std::vector<double> A(size_t(M * N));
    for (long j = 0; j < N; ++j)
      for (long i = 0; i < M; ++i)
        A[size_t(j * M + i)] = (i == 1 && trial % 3 == 0) ? 0.25 : hostile_value(rng, spread);
    const double want = quadratic_entropy(A, M, N);
    for (int threads : {1, 2, 3})
      ASSERT_TRUE(same_bits(entropy_of(A, M, N, threads), want))
          << "trial " << trial << " M " << M << " N " << N << ", " << threads << " threads";
  }
}

// Cells large enough to be swept on several threads: every row spans two
// floors only, too few to split anything, so all columns share one cell.
TEST(HistinfoIndex, LargeCellsSweptOnThreadsGiveTheSameClasses) {
  std::mt19937 rng(12);
  std::uniform_real_distribution<double> span(0, 2);
  const long M = 3, N = 200000;
  std::vector<double> A(size_t(M * N));
  for (long j = 0; j < N; ++j) {
    A[size_t(j * M)] = span(rng);
    A[size_t(j * M + 1)] = span(rng);
    A[size_t(j * M + 2)] = j % 1000 == 7 ? NAN : 0.5 * span(rng);
  }
  long rows[max_grid_rows];
  ASSERT_EQ(choose_grid_rows(A.data(), M, N, rows), 0);
  const double want = quadratic_entropy(A, M, N);
  for (int threads : {1, 2, 3}) EXPECT_TRUE(same_bits(entropy_of(A, M, N, threads), want));
}

// Every column has a partner 0.6 further along every row, mostly across a
// cell border, so nearly every class needs the cells next to its
// reference's; enough columns for those cells to be found on several threads.
TEST(HistinfoIndex, PartnersAcrossCellBordersFoundOnThreads) {
  std::mt19937 rng(14);
  std::uniform_real_distribution<double> place(0, 60);
  const long M = 3, N = 10000;
  std::vector<double> A(size_t(M * N));
  for (long j = 0; j < N; j += 2)
    for (long i = 0; i < M; ++i) {
      A[size_t(j * M + i)] = place(rng);
      A[size_t((j + 1) * M + i)] = A[size_t(j * M + i)] + 0.6;
    }
  const double want = quadratic_entropy(A, M, N);
  EXPECT_LT(want, std::log(double(N)) - 0.5);  // most columns in pairs
  for (int threads : {1, 2, 3}) EXPECT_TRUE(same_bits(entropy_of(A, M, N, threads), want));
}

// Many small classes that overlap (columns scattered over a 40 x 40
// square), so that the rounds are guessed ahead in batches on threads and
// some guessed references are classed by an earlier one of their batch; and,
// from column 1000 on, every second column in a blob of columns all within 1:
// a class too large for the room kept for the guesses, so that its round is
// made anew.
TEST(HistinfoIndex, RoundsGuessedAheadGiveTheSameClasses) {
  std::mt19937 rng(15);
  std::uniform_real_distribution<double> place(0, 40), blob(50.2, 50.7);
  const long M = 2, N = 200000;
  std::vector<double> A(size_t(M * N));
  for (long j = 0; j < N; ++j)
    for (long i = 0; i < M; ++i)
      A[size_t(j * M + i)] = j >= 1000 && j % 2 ? blob(rng) : place(rng);
  const double want = quadratic_entropy(A, M, N);
  for (int threads : {1, 3})
    EXPECT_TRUE(same_bits(entropy_of(A, M, N, threads), want)) << threads << " threads";
}

// Cells far apart on a lattice of the first two rows, none next to another,
// each holding a chain of three columns in the third row: 0 ~ 0.6 ~ 1.2,
// the ends 1.2 apart. All first members come first, then the middles, then
// the ends: guessed batches of first members class the middles, and the
// ends come later, partly in rounds made one by one, which must not see the
// middles still listed in their cells. Each cell gives a class of two, then
// one of one.
TEST(HistinfoIndex, CellsWithoutNeighboursTidiedAfterGuessedRounds) {
  const long T = 10000, M = 3, N = 3 * T;
  std::vector<double> A(size_t(M * N));
  for (long j = 0; j < N; ++j) {
    const long cell = j % T, member = j / T;
    A[size_t(j * M)] = 3.0 * double(cell % 100);
    A[size_t(j * M + 1)] = 3.0 * double(cell / 100);
    A[size_t(j * M + 2)] = 0.6 * double(member);
  }
  const double *first = &A[0], *middle = &A[size_t(T * M)], *end = &A[size_t(2 * T * M)];
  ASSERT_TRUE(literal_match(first, middle, M) && literal_match(middle, end, M));
  ASSERT_FALSE(literal_match(first, end, M));
  std::vector<int> sizes(size_t(T), 2);
  sizes.resize(size_t(2 * T), 1);
  const double one_thread = entropy_of(A, M, N, 1);
  EXPECT_NEAR(one_thread, from_sizes(sizes, int(N)), 1e-9);
  for (int threads : {2, 3}) {
    const double H = entropy_of(A, M, N, threads);
    EXPECT_TRUE(same_bits(H, one_thread)) << threads << " threads: " << H << " for " << one_thread;
  }
}

// Columns around centres 10 apart in every row, with jitter up to 0.6 so
// that the columns of one centre need not all match and straddle cell
// borders; some columns hold a NaN. The cells fall into groups apart from
// one another, classed on threads each by one.
TEST(HistinfoIndex, GroupsApartClassedOnThreadsGiveTheSameClasses) {
  std::mt19937 rng(16);
  std::uniform_int_distribution<long> centre(0, 80);
  std::uniform_real_distribution<double> jitter(-0.6, 0.6);
  const long M = 4, N = 30000;
  std::vector<double> A(size_t(M * N));
  for (long j = 0; j < N; ++j) {
    long digits = centre(rng);
    for (long i = 0; i < M; ++i, digits /= 3)
      A[size_t(j * M + i)] = 10.0 * double(digits % 3) + jitter(rng);
    if (j % 97 == 5) A[size_t(j * M + j % M)] = NAN;
  }
  const double want = quadratic_entropy(A, M, N);
  for (int threads : {1, 2, 3}) {
    vector_storage storage(N);
    column_grid<uint32_t> grid(A.data(), M, N, storage.index());
    grid.build(threads);
    double H = 0;
    ASSERT_TRUE(grid.grouped_entropy(H, threads));
    EXPECT_TRUE(same_bits(H, want)) << threads << " threads";
  }
}

// Mostly columns thinly spread, each alone in its cell, which are set apart
// before the rounds; among them pairs that match across a cell border,
// columns next to another's cell that do not match it, NaN in grid rows and
// in others, and a crowd of columns in one cell, too many to compare ahead.
TEST(HistinfoIndex, LoneColumnsSetApartGiveTheSameClasses) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> place(0, 300), jitter(-0.3, 0.3);
  const long M = 3, N = 12000;
  std::vector<double> A(size_t(M * N));
  for (long j = 0; j < N; ++j)
    for (long i = 0; i < M; ++i) {
      double& a = A[size_t(j * M + i)];
      if (j % 37 == 0)
        a = 150.5 + jitter(rng);
      else if (j % 10 == 1)
        a = A[size_t((j - 1) * M + i)] + 0.5;
      else if (j % 13 == 2)
        a = A[size_t((j - 1) * M + i)] + (i == 1 ? 1.5 : 0.2);
      else
        a = place(rng);
    }
  for (long j = 3; j < N; j += 101) A[size_t(j * M + j % M)] = NAN;
  const double want = quadratic_entropy(A, M, N);
  for (int threads : {1, 2, 3}) {
    vector_storage storage(N);
    column_grid<uint32_t> grid(A.data(), M, N, storage.index());
    grid.build(threads);
    const long cellless = long(std::count(storage.cell_of.begin(), storage.cell_of.end(), UINT32_MAX));
    EXPECT_GT(cellless, N / 2) << threads << " threads";
    EXPECT_TRUE(same_bits(entropy_of(A, M, N, threads), want)) << threads << " threads";
  }
}

// Enough columns for a table whose shares are filled by several threads:
// columns spread thinly over two grid rows, some sharing a cell with the one
// before (matching it or not), some with a NaN in a grid row. Then distinct
// columns whose cells all hash into the first half of the table, which
// fills the first share: the count falls back to one thread.
TEST(HistinfoIndex, CellsCountedInSharesOnThreadsGiveTheSameClasses) {
  std::mt19937 rng(18);
  std::uniform_real_distribution<double> place(0, 3000), jitter(0, 1.6);
  const long N = 70000;
  std::vector<double> A(size_t(2 * N));
  for (long j = 0; j < N; ++j)
    for (long i = 0; i < 2; ++i)
      A[size_t(2 * j + i)] = j % 7 == 3 ? std::floor(A[size_t(2 * j + i - 2)]) + jitter(rng)
                             : j % 101 == 5 && i == 1 ? NAN
                                                      : place(rng);
  const double one_thread = entropy_of(A, 2, N, 1);
  EXPECT_LT(one_thread, std::log(double(N)) - 0.01);  // some columns matched
  // Under ThreadSanitizer, many times slower, one count of threads.
  const std::vector<int> counts =
      sanitizer_builds::under_thread_sanitizer ? std::vector<int>{3} : std::vector<int>{2, 3, 4};
  for (int threads : counts)
    EXPECT_TRUE(same_bits(entropy_of(A, 2, N, threads), one_thread)) << threads << " threads";

  // Every sixth of them a pair that matches across a cell border.
  const uint64_t second_half = table_size(size_t(N)) / 2;
  auto in_first_half = [&](double x) { return !(cell_hash(&x, 1) & second_half); };
  std::vector<double> crowded;
  std::vector<int> sizes;
  for (double x = 0; long(crowded.size()) < N - 1; x += 3) {
    if (!in_first_half(x)) continue;
    if (sizes.size() % 6 == 0 && in_first_half(x + 1)) {
      crowded.insert(crowded.end(), {x + 0.9, x + 1.3});
      sizes.push_back(2);
    } else {
      crowded.push_back(x + 0.5);
      sizes.push_back(1);
    }
  }
  const long n = long(crowded.size());
  for (int threads : sanitizer_builds::under_thread_sanitizer ? std::vector<int>{3}
                                                               : std::vector<int>{1, 2, 3})
    EXPECT_NEAR(entropy_of(crowded, 1, n, threads), from_sizes(sizes, int(n)), 1e-9)
        << threads << " threads";
}

TEST(HistinfoIndex, GridRowsAreTheMostSpreadOnes) {
  // Row 0 constant, row 1 over 10 floors, row 2 over 300, row 3 over 50,
  // row 4 over 5.
  std::mt19937 rng(13);
  const long M = 5, N = 200000;
  const double width[M] = {0, 10, 300, 50, 5};
  std::vector<double> A(size_t(M * N));
  for (long j = 0; j < N; ++j)
    for (long i = 0; i < M; ++i)
      A[size_t(j * M + i)] = 4.5 + std::uniform_real_distribution<double>(0, width[i])(rng);
  long rows[max_grid_rows];
  ASSERT_GE(choose_grid_rows(A.data(), M, N, rows), 2);
  EXPECT_EQ(rows[0], 2);
  EXPECT_EQ(rows[1], 3);
  const std::vector<double> flat(N, 3.7);
  EXPECT_EQ(choose_grid_rows(flat.data(), 1, N, rows), 0);
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
  // The result, then the index's seven working arrays.
  for (int k = 1; k <= 7; ++k) {
    fail_allocation_after(k, allocation_failure::null_pointer);
    r = call(1, {A});
    EXPECT_EQ(r.error, "not enough memory for the working storage") << k;
    EXPECT_EQ(r.released_on_exit, 0u);
  }
  fail_allocation_after(8, allocation_failure::null_pointer);
  EXPECT_FALSE(call(1, {A}).failed);
  for (int k = 0; k <= 7; ++k) {
    fail_allocation_after(k);
    r = call(1, {A});
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.released_on_exit, 0u);
  }
}

}  // namespace
