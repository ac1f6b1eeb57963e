// twistgen against std::mt19937 drawing the same count of numbers: both
// generators scale their 32-bit words by the same factor into a column of
// doubles. Reported as numbers per second (items_per_second).
#include "twistgen/twistgen.cpp"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr long count = 1 << 22;

void BM_twistgen(benchmark::State& state) {
  std::vector<double> values(count);
  for (auto _ : state) {
    twistgen_fill(values.data(), count);
    benchmark::DoNotOptimize(values.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
}

void BM_std_mt19937(benchmark::State& state) {
  std::vector<double> values(count);
  unsigned long next_seed = 667297391UL;
  for (auto _ : state) {
    std::mt19937 engine(static_cast<uint32_t>(next_seed));
    for (long i = 0; i < count; ++i) values[i] = double(engine()) * word_to_unit;
    next_seed = engine() | 1UL;
    benchmark::DoNotOptimize(values.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
}

// The whole call through the stand-in host, output matrix included.
void BM_twistgen_gateway(benchmark::State& state) {
  const std::vector<mxArray> inputs = {standin::scalar(double(count))};
  for (auto _ : state) benchmark::DoNotOptimize(standin::call(1, inputs));
  state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(BM_twistgen)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_std_mt19937)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_twistgen_gateway)->Unit(benchmark::kMillisecond)->MinTime(0.3);

}  // namespace

BENCHMARK_MAIN();
