// The thread helper: every task runs once, failures come back on the calling
// thread as the lowest-numbered task's, and the count follows OMP_NUM_THREADS.
#include "host/parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/host.h"

namespace {

TEST(Parallel, EveryTaskRunsOnceOnItsWorker) {
  for (int threads : {1, 2, 3, 7}) {
    const long count = 1000;
    std::vector<std::atomic<int>> runs(count);
    std::vector<int> worker_of(count, -1);
    parallel::run(count, threads, [&](long i, int worker) {
      ++runs[size_t(i)];
      worker_of[size_t(i)] = worker;
    });
    for (long i = 0; i < count; ++i) {
      ASSERT_EQ(runs[size_t(i)], 1) << "task " << i << ", " << threads << " threads";
      ASSERT_GE(worker_of[size_t(i)], 0);
      ASSERT_LT(worker_of[size_t(i)], threads);
    }
  }
}

// Small buffers of several workers, made by each worker or all by one
// thread, whatever their sizes, never share a cache line with each other.
TEST(Parallel, WorkersBuffersHaveCacheLinesOfTheirOwn) {
  for (bool made_by_workers : {false, true}) {
    std::vector<parallel::own_vector<char>> buffers(64);
    auto make = [&](long i, int) { buffers[size_t(i)].assign(size_t(1 + i % 70), 'x'); };
    if (made_by_workers) {
      parallel::run(64, 3, make);
    } else {
      for (long i = 0; i < 64; ++i) make(i, 0);
    }
    std::vector<std::pair<uintptr_t, uintptr_t>> lines;  // first and last line of each
    for (const auto& b : buffers)
      lines.emplace_back(uintptr_t(b.data()) / 64, (uintptr_t(b.data()) + b.size() - 1) / 64);
    std::sort(lines.begin(), lines.end());
    for (size_t i = 1; i < lines.size(); ++i)
      EXPECT_LT(lines[i - 1].second, lines[i].first) << "made by workers " << made_by_workers;
  }
}

TEST(Parallel, TheLowestFailedTaskIsReportedOnTheCallingThread) {
  const std::thread::id caller = std::this_thread::get_id();
  for (int threads : {1, 2, 3}) {
    for (int trial = 0; trial < 50; ++trial) {
      std::atomic<bool> below_ran_all{true};
      std::vector<std::atomic<int>> ran(100);
      try {
        parallel::run(100, threads, [&](long i, int) {
          ++ran[size_t(i)];
          if (i == 37 || i == 38 || i == 90) throw std::runtime_error(std::to_string(i));
        });
        FAIL() << "no exception";
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        EXPECT_STREQ(e.what(), "37");
      }
      for (int i = 0; i < 37; ++i) below_ran_all = below_ran_all && ran[size_t(i)] == 1;
      EXPECT_TRUE(below_ran_all);
    }
  }
}

// Task 1 fails well after task 2 has: the order of the tasks decides which
// failure is reported, not the order in time. Tasks are taken in ascending
// order, so task 2 is taken after task 1, and by another worker, since task
// 1 holds its worker until task 2 has failed. Each waits for the other with
// a bound, so that a worker that never comes cannot hang the test.
TEST(Parallel, TheLowestFailedTaskWinsAlsoWhenItFailsLast) {
  using clock = std::chrono::steady_clock;
  auto wait_for = [](const std::atomic<bool>& flag) {
    const auto give_up = clock::now() + std::chrono::seconds(5);
    while (!flag && clock::now() < give_up) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return flag.load();
  };
  for (int threads : {2, 3}) {
    for (int trial = 0; trial < 3; ++trial) {
      std::atomic<bool> lower_began{false}, higher_failed{false}, order_kept{false};
      try {
        parallel::run(8, threads, [&](long i, int) {
          if (i == 1) {
            lower_began = true;
            wait_for(higher_failed);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            throw std::runtime_error("1");
          }
          if (i == 2) {
            order_kept = wait_for(lower_began);
            higher_failed = true;
            throw std::runtime_error("2");
          }
        });
        ADD_FAILURE() << "no exception, " << threads << " threads";
      } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "1") << threads << " threads, trial " << trial;
      }
      EXPECT_TRUE(order_kept) << threads << " threads, trial " << trial;
      EXPECT_TRUE(higher_failed) << threads << " threads, trial " << trial;
    }
  }
}

// Work that splits as it goes: a range [first, last) splits into halves
// until one value is left. Every value is reached once, whatever the thread
// count; on one thread the items are taken as `first` orders them, here the
// widest ranges first (the earlier of equals), as a model queue gives.
TEST(Parallel, GrowingWorkRunsEveryItemOnceInTheOrderAsked) {
  using range = std::pair<long, long>;
  const auto wider = [](const range& a, const range& b) {
    return a.second - a.first > b.second - b.first ||
           (a.second - a.first == b.second - b.first && a.first < b.first);
  };
  const auto split = [](const range& r, std::vector<range>& later) {
    if (r.second - r.first < 2) return;
    const long middle = r.first + (r.second - r.first) / 3 + 1;
    later.push_back({r.first, middle});
    later.push_back({middle, r.second});
  };
  const std::vector<range> start{{0, 1000}, {1000, 1013}, {2000, 2500}};
  for (int threads : {1, 2, 3, 7}) {
    std::vector<std::atomic<int>> reached(2500);
    std::atomic<long> items{0};
    std::vector<range> taken;  // on one thread
    parallel::run_growing(start, threads, wider,
                          [&](const range& r, int worker, std::vector<range>& later) {
                            EXPECT_LT(worker, threads);
                            ++items;
                            if (threads == 1) taken.push_back(r);
                            if (r.second - r.first == 1) ++reached[size_t(r.first)];
                            split(r, later);
                          });
    const long values = 1000 + 13 + 500;
    EXPECT_EQ(items, 2 * values - 3) << threads << " threads";
    for (long v = 0; v < 2500; ++v)
      ASSERT_EQ(reached[size_t(v)], (v < 1013 || v >= 2000) ? 1 : 0)
          << v << ", " << threads << " threads";
    if (threads == 1) {
      std::vector<range> ready = start, model;
      while (!ready.empty()) {
        const auto next = std::min_element(ready.begin(), ready.end(), wider);
        const range r = *next;
        ready.erase(next);
        model.push_back(r);
        split(r, ready);
      }
      EXPECT_TRUE(taken == model);
    }
  }
}

// A failing item stops the work: the failure comes back on the calling
// thread, no item starts after it, and no thread is left waiting.
TEST(Parallel, GrowingWorkReportsAFailureOnTheCallingThread) {
  const std::thread::id caller = std::this_thread::get_id();
  for (int threads : {1, 2, 3}) {
    std::atomic<bool> failed{false}, started_after{false};
    try {
      parallel::run_growing(std::vector<int>{1}, threads, std::less<int>(),
                            [&](int item, int, std::vector<int>& later) {
                              if (failed) started_after = true;
                              if (item == 40) {
                                failed = true;
                                throw std::runtime_error("40");
                              }
                              if (item < 60) later.insert(later.end(), {2 * item, 2 * item + 1});
                            });
      ADD_FAILURE() << "no exception, " << threads << " threads";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::this_thread::get_id(), caller);
      EXPECT_STREQ(e.what(), "40");
    }
    if (threads == 1) {
      EXPECT_FALSE(started_after);
    }
  }
}

TEST(Parallel, ThreadCountFollowsOmpNumThreads) {
  EXPECT_EQ(parallel::parse_thread_count("3"), 3);
  EXPECT_EQ(parallel::parse_thread_count(" 4,2"), 4);
  EXPECT_EQ(parallel::parse_thread_count("100000"), parallel::max_threads);
  for (const char* ignored : std::vector<const char*>{"", "0", "-2", "two", "3x", nullptr})
    EXPECT_EQ(parallel::parse_thread_count(ignored), 0) << (ignored ? ignored : "unset");

  setenv("OMP_NUM_THREADS", "5", 1);
  EXPECT_EQ(parallel::thread_budget(), 5);
  setenv("OMP_NUM_THREADS", "nonsense", 1);
  EXPECT_EQ(parallel::thread_budget(), parallel::available_cores());
  unsetenv("OMP_NUM_THREADS");
  EXPECT_EQ(parallel::thread_budget(), parallel::available_cores());
  // A count set for the calls of one thread wins over the variable there,
  // and only there.
  setenv("OMP_NUM_THREADS", "5", 1);
  parallel::threads_for_this_call = 3;
  int elsewhere = 0;
  std::thread([&] { elsewhere = parallel::thread_budget(); }).join();
  EXPECT_EQ(parallel::thread_budget(), 3);
  EXPECT_EQ(elsewhere, 5);
  parallel::threads_for_this_call = 0;
  EXPECT_EQ(parallel::thread_budget(), 5);
  unsetenv("OMP_NUM_THREADS");
}

#ifdef __linux__
// The core count is kept for a moment between calls, and follows a change of
// the process's affinity once that moment has passed.
TEST(Parallel, CoreCountFollowsTheAffinity) {
  cpu_set_t all;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  EXPECT_EQ(parallel::available_cores(), CPU_COUNT(&all));
  if (CPU_COUNT(&all) < 2) GTEST_SKIP() << "one core only";
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &all)) {
      CPU_SET(cpu, &one);
      break;
    }
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  std::this_thread::sleep_for(parallel::cores_read_again_after * 2);
  const int narrowed = parallel::available_cores();
  ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
  EXPECT_EQ(narrowed, 1);
  std::this_thread::sleep_for(parallel::cores_read_again_after * 2);
  EXPECT_EQ(parallel::available_cores(), CPU_COUNT(&all));
}
#endif

TEST(Parallel, SmallWorkStaysOnOneThread) {
  EXPECT_EQ(parallel::threads_for(1e3, 1e5, 100, 8), 1);
  EXPECT_EQ(parallel::threads_for(1e9, 1e5, 1, 8), 1);
  EXPECT_EQ(parallel::threads_for(1e9, 1e5, 100, 1), 1);
  EXPECT_EQ(parallel::threads_for(3e5, 1e5, 100, 8), 3);
  EXPECT_EQ(parallel::threads_for(1e9, 1e5, 5, 8), 5);
  EXPECT_EQ(parallel::threads_for(1e9, 1e5, 100, 8), 8);
}

// A gateway whose worker thread calls the host, which no module may do.
void host_call_from_a_worker(int, mxArray* plhs[], int, const mxArray*[]) {
  std::thread worker([] { mexPrintf("from a worker\n"); });
  worker.join();
  plhs[0] = mxCreateDoubleMatrix(1, 1, mxREAL);
}

TEST(ParallelDeathTest, TheStandinHostStopsAHostCallFromAWorkerThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(standin::call(&host_call_from_a_worker, 1, {}), "host call from a worker thread");
}

}  // namespace

// The stand-in host links the module's gateway; this test has none of its own.
void mexFunction(int, mxArray*[], int, const mxArray*[]) {}
