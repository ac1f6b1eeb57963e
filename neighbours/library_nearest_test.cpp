// The search among a library against a comparison with every library row,
// on every kind of point set, with libraries of any size and queries in and
// outside them.
#include "neighbours/library_nearest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "neighbours/brute_force.h"
#include "neighbours/test_data.h"

namespace {

using neighbours::row_t;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(LibraryNearest, AgreesWithEveryLibraryRowCompared) {
  std::mt19937 rng(31);
  for (int trial = 0; trial < 150; ++trial) {
    const auto kind = test_data::kind(trial % int(test_data::kind::count));
    const size_t N = 2 + rng() % (trial % 10 == 0 ? 2000 : 300);
    const size_t d = 1 + rng() % 6;
    const auto X = test_data::points(kind, N, d, rng);
    // A library: each row with some chance, ascending.
    const double share = trial % 4 == 0 ? 1.0 : std::uniform_real_distribution<double>(0.05, 1)(rng);
    std::vector<row_t> lib;
    for (size_t r = 0; r < N; ++r)
      if (std::uniform_real_distribution<double>(0, 1)(rng) < share) lib.push_back(row_t(r));
    if (trial % 4 == 1) {  // one run of rows, anywhere
      const size_t from = rng() % N;
      lib.clear();
      for (size_t r = from; r < from + 1 + rng() % (N - from); ++r) lib.push_back(row_t(r));
    }
    if (lib.empty()) lib.push_back(row_t(rng() % N));
    const size_t n = lib.size();
    std::vector<double> L(n * d);
    for (size_t r = 0; r < n; ++r)
      for (size_t c = 0; c < d; ++c) L[r + c * n] = X[lib[r] + c * N];
    const neighbours::kd_tree tree(L.data(), n, d, 1);
    const uint64_t w = rng() % 3 == 0 ? 0 : rng() % (N / 3 + 1);
    const size_t k = 1 + rng() % (trial % 7 == 0 ? 60 : 8);
    neighbours::with_dimension(d, [&](auto D) {
      neighbours::library_search<decltype(D)::value> search(tree, lib.data(), k, w);
      std::vector<double> query(d);
      for (size_t t = 0; t < N; t += 1 + rng() % 3) {
        for (size_t c = 0; c < d; ++c) query[c] = X[t + c * N];
        const size_t found = search.search(query.data(), t);
        // Every pair, restricted to the library's rows.
        std::vector<std::pair<double, size_t>> want;
        for (const row_t s : lib) {
          const uint64_t apart = s > t ? s - t : t - s;
          if (apart > w) want.push_back({brute_force::distance(X.data(), N, d, t, s, false), s});
        }
        std::sort(want.begin(), want.end());
        EXPECT_EQ(neighbours::library_candidates(lib.data(), n, t, w), want.size());
        want.resize(std::min(k, want.size()));
        ASSERT_EQ(found, want.size()) << test_data::name(kind) << " trial " << trial << " row " << t;
        for (size_t m = 0; m < found; ++m)
          ASSERT_TRUE(same_bits(search.distances()[m], want[m].first) &&
                      search.numbers()[m] == want[m].second)
              << test_data::name(kind) << " trial " << trial << " row " << t << " neighbour " << m
              << ": got " << search.distances()[m] << " at " << search.numbers()[m] << ", want "
              << want[m].first << " at " << want[m].second;
      }
    });
  }
}

// Queries that are not rows of the point set at all, far outside the
// library's box and among its points.
TEST(LibraryNearest, QueriesAnywhere) {
  std::mt19937 rng(32);
  const size_t N = 500, d = 2;
  const auto X = test_data::points(test_data::kind::uniform, N, d, rng);
  std::vector<row_t> lib(N);
  for (size_t r = 0; r < N; ++r) lib[r] = row_t(r);
  const neighbours::kd_tree tree(X.data(), N, d, 1);
  neighbours::library_search<0> search(tree, lib.data(), 5, 0);
  for (int q = 0; q < 200; ++q) {
    const double scale = q % 2 ? 100 : 1;
    const double query[2] = {scale * std::uniform_real_distribution<double>(-1, 1)(rng),
                             scale * std::uniform_real_distribution<double>(-1, 1)(rng)};
    const uint64_t t = 1000000;  // no library row within any window
    ASSERT_EQ(search.search(query, t), 5u);
    std::vector<std::pair<double, size_t>> want;
    for (size_t s = 0; s < N; ++s) {
      double sum = 0;
      for (size_t c = 0; c < d; ++c) {
        const double diff = query[c] - X[s + c * N];
        sum = sum + diff * diff;
      }
      want.push_back({std::sqrt(sum), s});
    }
    std::sort(want.begin(), want.end());
    for (size_t m = 0; m < 5; ++m)
      ASSERT_TRUE(same_bits(search.distances()[m], want[m].first) &&
                  search.numbers()[m] == want[m].second);
  }
}

}  // namespace
