// Samples per second of foldmap: the core on a bounded orbit (the chaotic
// attractor, no limiting), the core on an orbit that runs off at once (a
// warning for every sample), and the whole call through the gateway.
#include "foldmap/foldmap.cpp"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const size_t samples = 1000000;

void BM_attractor(benchmark::State& state) {
  std::vector<double> out(2 * samples);
  size_t warnings = 0;
  for (auto _ : state) {
    foldmap_orbit(-1.4, 0.3, 0.0, 0.0, samples, out.data(), [&](const char*) { ++warnings; });
    benchmark::DoNotOptimize(out.data());
  }
  if (warnings) state.SkipWithError("the attractor orbit was limited");
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samples));
}

void BM_run_away(benchmark::State& state) {
  std::vector<double> out(2 * samples);
  size_t warnings = 0;
  for (auto _ : state) {
    foldmap_orbit(1.0, 0.0, 2000.0, 0.0, samples, out.data(), [&](const char*) { ++warnings; });
    benchmark::DoNotOptimize(out.data());
  }
  benchmark::DoNotOptimize(warnings);
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samples));
}

void BM_gateway(benchmark::State& state) {
  const std::vector<mxArray> inputs = {standin::scalar(double(samples)),
                                       standin::row({-1.4, 0.3, 0.0, 0.0})};
  for (auto _ : state) {
    auto r = standin::call(1, inputs);
    if (r.failed) state.SkipWithError(r.error.c_str());
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(samples));
}

BENCHMARK(BM_attractor)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_run_away)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_gateway)->Unit(benchmark::kMillisecond)->MinTime(0.3);

}  // namespace

BENCHMARK_MAIN();
