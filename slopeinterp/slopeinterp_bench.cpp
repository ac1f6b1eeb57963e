// slopeinterp: building the Akima interpolant and evaluating it at 10^6
// queries, sorted and shuffled, over 10^3 and 10^5 knots. Side by side: one
// query at a time with the remembered interval and a bisection (BM_eval), all
// queries at once through the search table on one and on two threads
// (BM_eval_all, what the gateway does), and a binary search (std::upper_bound)
// for every query over the same coefficients.
#include "slopeinterp/slopeinterp.cpp"

#include <benchmark/benchmark.h>

#include "bench/interp_data.h"

#include <algorithm>
#include <vector>

namespace {

using interp_bench::data_for;
using interp_bench::query_count;

void BM_construct(benchmark::State& state) {
  const auto& d = data_for(state.range(0));
  for (auto _ : state) {
    akima_interpolator<double const*> s(long(d.x.size()), d.x.data(), d.y.data());
    benchmark::DoNotOptimize(s.b.data());
  }
}

void BM_eval(benchmark::State& state) {
  const auto& d = data_for(state.range(0));
  const auto& queries = state.range(1) ? d.sorted : d.shuffled;
  akima_interpolator<double const*> s(long(d.x.size()), d.x.data(), d.y.data());
  std::vector<double> out(queries.size());
  for (auto _ : state) {
    for (size_t q = 0; q < queries.size(); ++q) out[q] = s.eval(queries[q]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * query_count);
}

// All queries at once as the gateway evaluates them, on 1 or 2 threads
// (third argument); the results are those of BM_eval.
void BM_eval_all(benchmark::State& state) {
  const auto& d = data_for(state.range(0));
  const auto& queries = state.range(1) ? d.sorted : d.shuffled;
  akima_interpolator<double const*> s(long(d.x.size()), d.x.data(), d.y.data());
  std::vector<double> out(queries.size());
  for (auto _ : state) {
    s.eval_all(queries.data(), queries.size(), out.data(), int(state.range(2)));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * query_count);
}

void BM_eval_upper_bound(benchmark::State& state) {
  const auto& d = data_for(state.range(0));
  const auto& queries = state.range(1) ? d.sorted : d.shuffled;
  akima_interpolator<double const*> s(long(d.x.size()), d.x.data(), d.y.data());
  const double* x = s.x;
  const long n = s.n;
  std::vector<double> out(queries.size());
  for (auto _ : state) {
    for (size_t q = 0; q < queries.size(); ++q) {
      const double t = queries[q];
      long k = long(std::upper_bound(x, x + n, t) - x) - 1;
      k = std::min(std::max(k, 0L), n - 2);  // the last interval continues
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
BENCHMARK(BM_eval_all)->ArgsProduct({{1000, 100000}, {1, 0}, {1, 2}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_eval_upper_bound)->ArgsProduct({{1000, 100000}, {1, 0}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gateway)->ArgsProduct({{1000, 100000}, {1, 0}})->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
