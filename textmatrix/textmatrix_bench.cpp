// MB per second of textmatrix on a 100 MB file of numbers (8 per line,
// blank separated, "%.15g" of normal numbers scaled by 10^-2 ... 10^2, as
// bench_textmatrix.m writes it): the counting pass alone, both passes on one
// thread, the earlier line-by-line reader beside them, and the whole call
// through the gateway on 1 and 2 threads; and a small file's call against
// the earlier reader. The files are made under /tmp on the first run and kept.
//
// Run the comparisons side by side, alternating, with medians:
//   build/textmatrix_bench --benchmark_repetitions=5
//     --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
// (one line).
#include "textmatrix/textmatrix.cpp"
#include "textmatrix/line_reader.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>

namespace {

const std::string& bench_file() {
  static const std::string name = [] {
    const std::string path = "/tmp/textmatrix_bench_100MB_cpp.txt";
    if (FILE* existing = std::fopen(path.c_str(), "r")) {
      std::fclose(existing);
      return path;
    }
    std::mt19937_64 rng(1);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform;
    FILE* out = std::fopen(path.c_str(), "w");
    for (long written = 0; written < 100000000;) {
      for (int k = 0; k < 8; ++k)
        written += std::fprintf(out, k < 7 ? "%.15g " : "%.15g\n",
                                normal(rng) * std::pow(10.0, std::round(4 * uniform(rng) - 2)));
    }
    std::fclose(out);
    return path;
  }();
  return name;
}

double file_bytes() {
  struct stat status;
  stat(bench_file().c_str(), &status);
  return double(status.st_size);
}

void report(benchmark::State& state) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file_bytes()));
}

void BM_count_pass(benchmark::State& state) {
  for (auto _ : state) {
    FILE* file = std::fopen(bench_file().c_str(), "r");
    uint64_t count = 0;
    std::vector<uint32_t> piece_counts;
    count_numbers(file, count, piece_counts, 1);
    std::fclose(file);
    benchmark::DoNotOptimize(count);
  }
  report(state);
}

void BM_both_passes_one_thread(benchmark::State& state) {
  for (auto _ : state) {
    FILE* file = std::fopen(bench_file().c_str(), "r");
    uint64_t count = 0;
    std::vector<uint32_t> piece_counts;
    count_numbers(file, count, piece_counts, 1);
    std::rewind(file);
    std::vector<double> values(count);
    convert_numbers(file, values.data(), piece_counts, 1);
    std::fclose(file);
    benchmark::DoNotOptimize(values.data());
  }
  report(state);
}

void BM_line_reader(benchmark::State& state) {
  for (auto _ : state) {
    auto values = line_reader::read_file(bench_file().c_str());
    benchmark::DoNotOptimize(values.data());
  }
  report(state);
}

// The gateway with OMP_NUM_THREADS = threads.
void BM_gateway(benchmark::State& state) {
  setenv("OMP_NUM_THREADS", std::to_string(state.range(0)).c_str(), 1);
  const std::vector<mxArray> inputs = {standin::char_array(bench_file())};
  for (auto _ : state) {
    auto r = standin::call(1, inputs);
    if (r.failed) state.SkipWithError(r.error.c_str());
    benchmark::DoNotOptimize(r);
  }
  unsetenv("OMP_NUM_THREADS");
  report(state);
}

// A small file (20 lines): the call must not get slower than the earlier
// reader's, whatever the thread budget.
const std::string& small_file() {
  static const std::string name = [] {
    const std::string path = "/tmp/textmatrix_bench_small.txt";
    FILE* out = std::fopen(path.c_str(), "w");
    for (int line = 0; line < 20; ++line) std::fprintf(out, "%d 0.%d -1.5e-3 42\n", line, line * 7919);
    std::fclose(out);
    return path;
  }();
  return name;
}

void BM_small_file_gateway(benchmark::State& state) {
  const std::vector<mxArray> inputs = {standin::char_array(small_file())};
  for (auto _ : state) {
    auto r = standin::call(1, inputs);
    benchmark::DoNotOptimize(r);
  }
}

void BM_small_file_line_reader(benchmark::State& state) {
  for (auto _ : state) {
    auto values = line_reader::read_file(small_file().c_str());
    benchmark::DoNotOptimize(values.data());
  }
}

BENCHMARK(BM_small_file_gateway)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_small_file_line_reader)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_count_pass)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_both_passes_one_thread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_line_reader)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_gateway)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
