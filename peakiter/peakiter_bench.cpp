// Samples per second of peakiter: the core with a bent tent (three calls of
// pow per sample), the core with the ordinary tent (exponent 1), and the
// whole call through the gateway.
#include "peakiter/peakiter.cpp"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const size_t samples = 1000000;

void orbit(benchmark::State& state, double h, double e, double s, double x0) {
  std::vector<double> out(samples);
  for (auto _ : state) {
    peakiter_orbit(h, e, s, x0, samples, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samples));
}

void BM_bent(benchmark::State& state) { orbit(state, 0.15, 1.7, 0.97, 0.31); }
void BM_tent(benchmark::State& state) { orbit(state, 0.0, 1.0, 0.99, 0.31); }

void BM_gateway(benchmark::State& state) {
  const std::vector<mxArray> inputs = {standin::scalar(double(samples)),
                                       standin::row({0.15, 1.7, 0.97, 0.31})};
  for (auto _ : state) {
    auto r = standin::call(1, inputs);
    if (r.failed) state.SkipWithError(r.error.c_str());
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samples));
}

BENCHMARK(BM_bent)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_tent)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_gateway)->Unit(benchmark::kMillisecond)->MinTime(0.3);

}  // namespace

BENCHMARK_MAIN();
