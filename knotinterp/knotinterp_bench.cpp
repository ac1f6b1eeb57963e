// knotinterp: building the spline and evaluating it at 10^6 queries, sorted
// and shuffled, over 10^3 and 10^5 knots. The evaluation with the remembered
// interval is set against the plain alternative, a binary search
// (std::upper_bound) for every query over the same coefficients.
#include "knotinterp/knotinterp.cpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

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

void BM_construct(benchmark::State& state) {
  const auto& d = data_for(state.range(0));
  for (auto _ : state) {
    cubic_spline<double const*> s(long(d.x.size()), 0, 0, d.x.data(), d.y.data(), 0.0, 0.0);
    benchmark::DoNotOptimize(s.b.get());
  }
}

void BM_eval(benchmark::State& state) {
  const auto& d = data_for(state.range(0));
  const auto& queries = state.range(1) ? d.sorted : d.shuffled;
  cubic_spline<double const*> s(long(d.x.size()), 0, 0, d.x.data(), d.y.data(), 0.0, 0.0);
  std::vector<double> out(queries.size());
  for (auto _ : state) {
    for (size_t q = 0; q < queries.size(); ++q) out[q] = s.eval(queries[q]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * query_count);
}

void BM_eval_upper_bound(benchmark::State& state) {
  const auto& d = data_for(state.range(0));
  const auto& queries = state.range(1) ? d.sorted : d.shuffled;
  cubic_spline<double const*> s(long(d.x.size()), 0, 0, d.x.data(), d.y.data(), 0.0, 0.0);
  const double* x = s.x.get();
  const long n = s.n;
  std::vector<double> out(queries.size());
  for (auto _ : state) {
    for (size_t q = 0; q < queries.size(); ++q) {
      const double t = queries[q];
      long k = long(std::upper_bound(x, x + n, t) - x) - 1;
      k = std::max(k, 0L);
      const double u = t - x[k];
      out[q] = s.y[k] + u * (s.b[k] + u * (s.c[k] + u * s.d[k]));
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * query_count);
}

// The whole call through the stand-in host, as a user makes it.
void BM_gateway(benchmark::State& state) {
  const auto& d = data_for(state.range(0));
  const auto& queries = state.range(1) ? d.sorted : d.shuffled;
  auto x = standin::row(d.x), y = standin::row(d.y), xx = standin::row(queries);
  for (auto _ : state) {
    auto r = standin::call(1, {x, y, xx});
    if (r.failed) state.SkipWithError(r.error.c_str());
  }
}

// Arguments: knots, sorted (1) or shuffled (0) queries.
BENCHMARK(BM_construct)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_eval)->ArgsProduct({{1000, 100000}, {1, 0}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_eval_upper_bound)->ArgsProduct({{1000, 100000}, {1, 0}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gateway)->ArgsProduct({{1000, 100000}, {1, 0}})->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
