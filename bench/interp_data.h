// Data for the interpolation benchmarks: knots of a sine with irregular
// spacing, and 10^6 query points over a range a little wider than the knots,
// shuffled and sorted.
#pragma once

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace interp_bench {

const long query_count = 1000000;

struct bench_data {
  std::vector<double> x, y, sorted, shuffled;
};

const bench_data& data_for(long knots) {
  static std::vector<std::pair<long, bench_data>> cache;
  for (auto& entry : cache)
    if (entry.first == knots) return entry.second;
  bench_data d;
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> spacing(0.5, 1.5);
  double at = 0;
  for (long i = 0; i < knots; ++i) {
    d.x.push_back(at);
    d.y.push_back(std::sin(0.1 * at));
    at += spacing(rng);
  }
  std::uniform_real_distribution<double> where(d.x.front() - 1, d.x.back() + 1);
  for (long q = 0; q < query_count; ++q) d.shuffled.push_back(where(rng));
  d.sorted = d.shuffled;
  std::sort(d.sorted.begin(), d.sorted.end());
  cache.emplace_back(knots, std::move(d));
  return cache.back().second;
}

}  // namespace interp_bench
