#include "gridmass/gridmass.cpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>

#include "gridmass/tree_reference.h"

namespace {

using namespace standin;

const double log2_constant = 0.69314718055995;

// An independent computation of the three sums: cells of every prefix length
// counted in a map, sums formed over the cells in order of first occupation.
struct reference_sums {
  std::vector<double> h0, h1, h2;  // P x N, column-major
};

reference_sums reference(const std::vector<double>& data, long M, long N,
                         const std::vector<int>& bins) {
  double lo = data[0], hi = data[0];
  for (double v : data) {
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  const long P = long(bins.size());
  reference_sums r{std::vector<double>(P * N), std::vector<double>(P * N),
                   std::vector<double>(P * N)};
  for (long p = 0; p < P; ++p) {
    double s = (bins[p] - 0.000001) / (hi - lo);
    double o = s * lo;
    std::vector<std::map<std::vector<int>, long>> counts(N);
    std::vector<std::vector<std::vector<int>>> order(N);
    for (long i = 0; i < M; ++i) {
      std::vector<int> cell;
      for (long k = 0; k < N; ++k) {
        double product = s * data[i + k * M];
        cell.push_back(int(std::floor(product - o)));
        if (counts[k][cell]++ == 0) order[k].push_back(cell);
      }
    }
    for (long k = 0; k < N; ++k) {
      double plogp = 0, p2 = 0;
      for (const auto& cell : order[k]) {
        double mu = double(counts[k][cell]) / double(M);
        plogp = (std::log(mu) / log2_constant) * mu + plogp;
        p2 = mu * mu + p2;
      }
      r.h0[p + k * P] = -(std::log(double(order[k].size())) / log2_constant);
      r.h1[p + k * P] = plogp;
      r.h2[p + k * P] = std::log(p2) / log2_constant;
    }
  }
  return r;
}

void expect_bits_equal(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0)
        << "entry " << i << ": " << got[i] << " vs " << want[i];
}

TEST(GridmassCore, RandomDataAgreesBitForBitWithIndependentCount) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> uniform(-3.0, 5.0);
  for (long N : {1L, 2L, 5L}) {
    const long M = 700;
    std::vector<double> data(M * N);
    for (double& v : data) v = uniform(rng);
    // Some structure too: a repeated block of points.
    for (long i = 0; i < 100; ++i)
      for (long k = 0; k < N; ++k) data[i + k * M] = data[i + 100 + k * M];
    std::vector<int> bins = {2, 3, 17, 256, 16384};
    auto want = reference(data, M, N, bins);
    std::vector<double> h0(bins.size() * N), h1(h0.size()), h2(h0.size());
    ASSERT_EQ(gridmass_partition_sums(data.data(), M, N, bins.data(), long(bins.size()),
                                      h0.data(), h1.data(), h2.data(), 1),
              gridmass_outcome::success);
    expect_bits_equal(h0, want.h0);
    expect_bits_equal(h1, want.h1);
    expect_bits_equal(h2, want.h2);
  }
}

TEST(GridmassCore, GridMappingEdgesFollowDoubleRounding) {
  std::vector<double> h(1), h1(1), h2(1);
  int two = 2;
  std::vector<double> far = {1e10, 1e10 + 1};
  EXPECT_EQ(gridmass_partition_sums(far.data(), 2, 1, &two, 1, h.data(), h1.data(), h2.data(), 1),
            gridmass_outcome::value_outside_grid);

  int most = 16384;
  for (double base : {0.0, 1e6}) {
    std::vector<double> ends = {base, base + 1};
    ASSERT_EQ(gridmass_partition_sums(ends.data(), 2, 1, &most, 1, h.data(), h1.data(),
                                      h2.data(), 1),
              gridmass_outcome::success);
    EXPECT_EQ(h[0], -1.0 * (std::log(2.0) / log2_constant));  // two distinct bins
  }
}

// The sums of earlier releases, which counted every key in a tree, for
// `threads` threads: the three arrays one after another.
std::vector<double> sums_of(const std::vector<double>& data, long M, long N,
                            const std::vector<int>& bins, int threads) {
  const size_t entries = bins.size() * size_t(N);
  std::vector<double> sums(3 * entries, -1.0);
  const long P = long(bins.size());
  if (threads == 0) {
    EXPECT_EQ(tree_reference::partition_sums(data.data(), M, N, bins.data(), P, &sums[0],
                                             &sums[entries], &sums[2 * entries]),
              tree_reference::outcome::success);
  } else {
    EXPECT_EQ(gridmass_partition_sums(data.data(), M, N, bins.data(), P, &sums[0],
                                      &sums[entries], &sums[2 * entries], threads),
              gridmass_outcome::success);
  }
  return sums;
}

// Data sets that take every way of counting: the dense table and the hash
// (growing while a depth is counted), points that are all apart after a few
// coordinates, many coordinates, large b, and many duplicate points and
// values. Each is large enough to be split among three threads.
TEST(GridmassCore, SameBitsAsTheTreeForOneTwoAndThreeThreads) {
  std::mt19937 rng(11);
  struct data_set {
    long M, N;
    int levels;          // distinct values per coordinate, 0 for continuous
    long distinct_rows;  // rows are drawn from this many, 0 for all different
    std::vector<int> bins;
  };
  const std::vector<data_set> sets = {
      {40000, 4, 0, 0, {2, 3, 16, 100, 1024, 16384}},
      {3000, 60, 0, 0, {16384, 5000, 2, 7, 40, 300}},
      {30000, 12, 4, 0, {2, 4, 9, 64, 16384, 333}},
      {30000, 6, 0, 500, {16384, 2, 50, 1000, 37, 8}},
  };
  for (const data_set& set : sets) {
    std::vector<double> data(size_t(set.M * set.N));
    std::uniform_real_distribution<double> uniform(-2.0, 7.0);
    std::uniform_int_distribution<int> level(0, std::max(set.levels - 1, 0));
    for (double& v : data) v = set.levels ? level(rng) * 0.3 : uniform(rng);
    if (set.distinct_rows) {
      std::uniform_int_distribution<long> row(0, set.distinct_rows - 1);
      for (long i = set.distinct_rows; i < set.M; ++i) {
        const long from = row(rng);
        for (long k = 0; k < set.N; ++k) data[i + k * set.M] = data[from + k * set.M];
      }
    }
    ASSERT_GE(parallel::threads_for(double(set.M * set.N) * double(set.bins.size()),
                                    work_per_thread, long(set.bins.size()), 3),
              3);
    const auto want = sums_of(data, set.M, set.N, set.bins, 0);
    for (int threads : {1, 2, 3}) {
      SCOPED_TRACE(std::to_string(set.M) + " x " + std::to_string(set.N) + ", " +
                   std::to_string(threads) + " threads");
      expect_bits_equal(sums_of(data, set.M, set.N, set.bins, threads), want);
    }
  }
}

// Fewer resolutions than threads: the threads count depths of one
// resolution at once, each behind the depth before it, whose cell count is
// not known yet (the dense table gives way to the hash mid-depth). Points
// that end up alone and many duplicates.
TEST(GridmassCore, DepthsCountedBehindOneAnotherGiveTheSameBits) {
  std::mt19937 rng(13);
  const long M = 40000, N = 10;
  std::vector<double> data(size_t(M * N));
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::uniform_int_distribution<long> row(0, 199);
  for (double& v : data) v = uniform(rng);
  for (long i = 200; i < M; i += 2)  // every other point repeats one of the first 200
    for (long k = 0; k < N; ++k) data[i + k * M] = data[row(rng) + k * M];
  const std::vector<int> bins = {16384, 5};
  ASSERT_GE(parallel::threads_for(double(M * N) * double(bins.size()), work_per_thread,
                                  tasks_of(M, N, long(bins.size())), 3),
            3);
  const auto want = sums_of(data, M, N, bins, 0);
  for (int threads : {1, 3}) expect_bits_equal(sums_of(data, M, N, bins, threads), want);

  // Whether a depth runs behind another depends on the threads' timing; here
  // every depth is counted so, one after another, with the cell counts of
  // the depths before it hidden.
  const long P = long(bins.size());
  const size_t entries = size_t(P * N);
  std::vector<double> got(3 * entries);
  const std::atomic<bool> stop{false};
  depth_counter<uint32_t> counter(M);
  for (long p = 0; p < P; ++p) {
    resolution_run<uint32_t> run(N);
    run.p = p;
    run.b = bins[size_t(p)];
    double lo = data[0], hi = data[0];
    for (double v : data) lo = std::min(lo, v), hi = std::max(hi, v);
    run.scale = (run.b - 0.000001) / (hi - lo);
    run.offset = run.scale * lo;
    for (long k = 0; k < N; ++k) {
      ASSERT_TRUE(counter.count_depth(run, k, data.data(), P, &got[0], &got[entries],
                                      &got[2 * entries], stop));
      run.cells[k].store(0);
    }
  }
  expect_bits_equal(got, want);

  // Equal values but a NaN at the head of the second half and a larger
  // value last: one pass over the values passes over the NaN and finds the
  // larger value, so they are not all equal, and the NaN is outside the grid.
  std::fill(data.begin(), data.end(), 3.0);
  data[M * N / 2] = NAN;
  data[M * N - 1] = 4.0;
  std::vector<double> h(entries), h1(entries), h2(entries);
  for (int threads : {1, 2, 3})
    EXPECT_EQ(gridmass_partition_sums(data.data(), M, N, bins.data(), P, h.data(), h1.data(),
                                      h2.data(), threads),
              gridmass_outcome::value_outside_grid);
}

// Cell numbers and counts of 64 bits, for 2^32 points or more.
TEST(GridmassCore, WideCountsGiveTheSameBits) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> level(0, 9);
  const long M = 5000, N = 5;
  std::vector<double> data(M * N);
  for (double& v : data) v = level(rng);
  const std::vector<int> bins = {2, 7, 30, 16384};
  const auto want = sums_of(data, M, N, bins, 0);
  const size_t entries = bins.size() * N;
  std::vector<double> got(3 * entries);
  ASSERT_TRUE(all_resolutions<uint64_t>(data.data(), M, N, bins.data(), long(bins.size()), 0.0,
                                        9.0, &got[0], &got[entries], &got[2 * entries], 2));
  expect_bits_equal(got, want);
}

TEST(GridmassCore, ValueOutsideTheGridEndsEveryThreadCount) {
  const long M = 30000, N = 6;
  std::vector<double> data(M * N);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  for (double& v : data) v = uniform(rng);
  data[M * N - 7] = NAN;  // in the last coordinate, seen only at the last depth
  const std::vector<int> bins = {2, 16384, 64, 1000, 3, 5};
  std::vector<double> h(bins.size() * N), h1(h.size()), h2(h.size());
  for (int threads : {1, 2, 3})
    EXPECT_EQ(gridmass_partition_sums(data.data(), M, N, bins.data(), long(bins.size()),
                                      h.data(), h1.data(), h2.data(), threads),
              gridmass_outcome::value_outside_grid);
}

// ---- through the stand-in host -------------------------------------------

TEST(GridmassGateway, TwoDiagonalPointsGiveMinusOneBitEverywhere) {
  auto r = call(3, {matrix(2, 2, {0, 1, 0, 1}), scalar(2)});
  ASSERT_FALSE(r.failed) << r.error;
  const double expected = -std::log(2.0) / log2_constant;
  for (int o = 0; o < 3; ++o) {
    EXPECT_EQ(r.out(o).rows(), 1u);
    EXPECT_EQ(r.out(o).columns(), 2u);
    for (double v : r.out(o).values()) EXPECT_EQ(v, expected);
  }
  EXPECT_NE(expected, -1.0);  // the rounded constant shows in the last bits
}

TEST(GridmassGateway, OutputsForEachRequestedCount) {
  auto points = matrix(3, 2, {0, 0.5, 1, 1, 0.2, 0});
  for (int nlhs : {0, 1, 2, 3}) {
    auto r = call(nlhs, {points, row({2, 4, 8})});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(r.released_on_exit, 0u);  // working sums were freed by the gateway
    for (int o = 0; o < std::max(nlhs, 1); ++o) {
      EXPECT_EQ(r.out(o).rows(), 3u);
      EXPECT_EQ(r.out(o).columns(), 2u);
    }
    for (size_t o = size_t(std::max(nlhs, 1)); o < r.outputs.size(); ++o)
      EXPECT_FALSE(r.outputs[o].has_value());
  }
}

TEST(GridmassGateway, EqualValuesPrintNoticeAndGiveZeros) {
  auto r = call(3, {column({4, 4, 4}), scalar(8)});
  ASSERT_FALSE(r.failed);
  EXPECT_EQ(r.printed, "Data values are indentical, nothing to compute\n");
  for (int o = 0; o < 3; ++o) EXPECT_EQ(r.out(o).values(), std::vector<double>{0});
  r = call(1, {column({INFINITY, INFINITY}), scalar(8)});
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.printed, "Data values are indentical, nothing to compute\n");
}

TEST(GridmassGateway, PartitionSizesAreTruncatedAndTakenByLongerSide) {
  auto points = column({0.1, 0.7, 0.3});
  auto a = call(1, {points, scalar(2.9)});
  auto b = call(1, {points, scalar(2)});
  EXPECT_EQ(a.out(0).values(), b.out(0).values());
  auto m = call(1, {points, matrix(2, 3, {2, 3, 4, 5, 6, 7})});
  ASSERT_FALSE(m.failed);
  EXPECT_EQ(m.out(0).rows(), 3u);  // P = 3, from the first three elements
  auto first3 = call(1, {points, row({2, 3, 4})});
  EXPECT_EQ(m.out(0).values(), first3.out(0).values());
}

std::string error_of(const std::vector<mxArray>& inputs) { return call(1, inputs).error; }

TEST(GridmassGateway, MessagesInTheirOrder) {
  const std::string too_few = "Number of bins should be at least greater one";
  const std::string too_many = "Number of bins too large";
  auto pts = column({0, 1});
  EXPECT_EQ(error_of({pts}),
            "Gridmass : Data set of points (row vectors) and number of partitions (per axis) "
            "must be given");
  EXPECT_EQ(error_of({row({0.5, 0.7}), scalar(2)}),
            "Data set must consist of at least two points (row vectors)");
  EXPECT_EQ(error_of({empty(3, 0), empty()}), "Data points must be at least of dimension one");
  EXPECT_EQ(error_of({matrix(2, 513), scalar(2)}), "Maximal dimension exceeded");
  EXPECT_EQ(error_of({matrix(2, 512), empty()}), "At least one partition size must be given");
  EXPECT_EQ(error_of({pts, empty(0, 5)}), "At least one partition size must be given");
  for (double bad : {-0.5, 1.0, 1.99, double(NAN), -double(INFINITY)})
    EXPECT_EQ(error_of({pts, scalar(bad)}), too_few) << bad;
  for (double bad : {16385.0, 1e10, double(INFINITY)}) EXPECT_EQ(error_of({pts, scalar(bad)}), too_many);
  EXPECT_FALSE(call(1, {pts, scalar(16384)}).failed);
  // Element by element: the first bad one decides.
  EXPECT_EQ(error_of({pts, row({4, 20000, 1})}), too_many);
  EXPECT_EQ(error_of({pts, row({4, 1, 20000})}), too_few);
  // Core outcomes come after all argument checks.
  EXPECT_EQ(error_of({column({0, NAN, 1}), scalar(4)}), "Data values seem not to be in range [0,1]");
  EXPECT_EQ(error_of({column({0, INFINITY}), scalar(4)}),
            "Data values seem not to be in range [0,1]");
  EXPECT_EQ(error_of({column({1e10, 1e10 + 1}), scalar(2)}),
            "Data values seem not to be in range [0,1]");
}

TEST(GridmassGateway, NonDoubleInputsAreRefusedBeforeReading) {
  auto pts = column({0, 1});
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {4, 2}), scalar(2)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({typed(mxSINGLE_CLASS, {4, 2}), scalar(2)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({pts, typed(mxLOGICAL_CLASS, {1, 1}, {1})}),
            "Input 2 must be a real double array");
  EXPECT_EQ(error_of({pts, char_array("abc")}), "Input 2 must be a real double array");
  EXPECT_EQ(error_of({sparse_matrix(10, 2, {1}), scalar(2)}),
            "Input 1 must be a real double array");
  EXPECT_EQ(error_of({complex_matrix(2, 1, {0, 1}, {1, 1}), scalar(2)}),
            "Input 1 must be a real double array");
  // The usage message still comes first.
  EXPECT_EQ(error_of({typed(mxINT32_CLASS, {4, 2})}).substr(0, 10), "Gridmass :");
}

// The thread count comes from OMP_NUM_THREADS; workers never call the host
// (the stand-in host would stop the test).
TEST(GridmassGateway, SameOutputsForOneAndThreeThreads) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> values(40000 * 5);
  for (double& v : values) v = uniform(rng);
  auto points = matrix(40000, 5, values);
  auto sizes = row({2, 8, 64, 512, 4096, 16384});
  std::vector<call_result> results;
  for (const char* threads : {"1", "3"}) {
    setenv("OMP_NUM_THREADS", threads, 1);
    results.push_back(call(3, {points, sizes}));
    ASSERT_FALSE(results.back().failed) << results.back().error;
  }
  unsetenv("OMP_NUM_THREADS");
  for (int o = 0; o < 3; ++o) EXPECT_EQ(results[0].out(o).values(), results[1].out(o).values());
}

TEST(GridmassGateway, AllocationFailureEndsTheCallCleanly) {
  for (int k = 0; k < 3; ++k) {
    fail_allocation_after(k);
    auto r = call(1, {column({0, 1, 0.5}), scalar(4)});
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.released_on_exit, 0u);
  }
}

}  // namespace
