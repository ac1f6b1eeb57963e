// For the benchmarks: how a call scales from one thread to two on a machine
// shared with other work. A call is run alternately on one thread and on
// two; each run's wall seconds, the calling thread's CPU seconds and the
// process's are taken. The process's CPU seconds on one thread over the
// larger of the calling thread's and the helper's on two is about the
// speed-up two free cores would give (the calling thread does the serial
// parts and its share of the rest, the helper the remainder); the
// process's seconds growing from one thread to two show work that waits on
// memory. Medians over the rounds, as benchmark counters.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace thread_scaling {

inline double cpu_seconds(int who) {
  rusage usage;
  getrusage(who, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs call(threads) for threads = 1, 2 in every iteration of the state.
inline void measure(benchmark::State& state, const std::function<void(int)>& call) {
  std::vector<double> wall[2], caller[2], process[2], speedup, critical;
  for (auto _ : state) {
    for (int t = 0; t < 2; ++t) {
      const double c0 = cpu_seconds(RUSAGE_THREAD), p0 = cpu_seconds(RUSAGE_SELF);
      const auto w0 = std::chrono::steady_clock::now();
      call(t + 1);
      wall[t].push_back(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count());
      caller[t].push_back(cpu_seconds(RUSAGE_THREAD) - c0);
      process[t].push_back(cpu_seconds(RUSAGE_SELF) - p0);
    }
    speedup.push_back(wall[0].back() / wall[1].back());
    critical.push_back(process[0].back() /
                       std::max(caller[1].back(), process[1].back() - caller[1].back()));
  }
  for (int t = 0; t < 2; ++t) {
    const char* suffix = t ? "_2" : "_1";
    state.counters[std::string("wall") + suffix] = median(wall[t]);
    state.counters[std::string("caller") + suffix] = median(caller[t]);
    state.counters[std::string("cpu") + suffix] = median(process[t]);
  }
  state.counters["speedup"] = median(speedup);
  state.counters["critical_speedup"] = median(critical);
}

}  // namespace thread_scaling
