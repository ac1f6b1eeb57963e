// Samples per second of baker: the core on a chaotic orbit inside the unit
// square (both strips visited at random), and the whole call through the
// gateway.
#include "baker/baker.cpp"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const size_t samples = 1000000;

void BM_orbit(benchmark::State& state) {
  std::vector<double> out(2 * samples);
  for (auto _ : state) {
    baker_orbit(0.37, 0.33, 0.45, 0.123, 0.789, samples, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samples));
}

void BM_gateway(benchmark::State& state) {
  const std::vector<mxArray> inputs = {standin::scalar(double(samples)),
                                       standin::row({0.37, 0.33, 0.45, 0.123, 0.789})};
  for (auto _ : state) {
    auto r = standin::call(1, inputs);
    if (r.failed) state.SkipWithError(r.error.c_str());
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samples));
}

BENCHMARK(BM_orbit)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_gateway)->Unit(benchmark::kMillisecond)->MinTime(0.3);

}  // namespace

BENCHMARK_MAIN();
