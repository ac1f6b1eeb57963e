// Splitting the independent parts of one call across threads.
//
// A call may hand numbered tasks (lags, resolutions, columns, blocks of
// queries, ...) to `parallel::run`, which runs them on the calling thread and
// on up to threads - 1 helper threads started for the call and joined before
// it returns. Each task writes only its own part of the result, so the result
// is the same, bit for bit, for every thread count. Work that splits as it
// goes (the subtrees of a tree being built) goes to `parallel::run_growing`.
//
// The rules every module keeps:
// - Only the calling thread talks to the host. Tasks never call the host's
//   allocation, error, warning or print functions; they report through their
//   own results (an outcome per task), and the gateway turns those into host
//   calls afterwards, in the order a one-thread run would have made them.
// - No thread outlives the call: run() returns only when every thread it
//   started has been joined, also when a task throws.
// - Small calls start no threads: threads_for() gives one thread unless the
//   work pays for the start-up of more.
//
// The thread count is OMP_NUM_THREADS when it is set to a positive number
// (the convention numerical libraries share), otherwise the number of cores
// this process may run on; a host may set it for a single call instead.
//
// This header needs nothing of the host; numeric cores may include it.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sched.h>
#endif

namespace parallel {

// More threads than this are never started, whatever OMP_NUM_THREADS says.
constexpr int max_threads = 256;

// The cores this process may run on: its affinity mask where the system has
// one, otherwise what the standard library reports; at least 1.
inline int read_available_cores() {
#ifdef __linux__
  cpu_set_t mask;
  CPU_ZERO(&mask);
  if (sched_getaffinity(0, sizeof mask, &mask) == 0) {
    const int cores = CPU_COUNT(&mask);
    if (cores > 0) return cores;
  }
#endif
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? int(std::min<unsigned>(cores, max_threads)) : 1;
}

// How long a count read from the system serves. Reading the mask is a system
// call, which in a virtual machine costs a call on a few values more than
// its work (over a microsecond); a change of the process's affinity takes
// effect in the calls made this long after it at most.
constexpr std::chrono::milliseconds cores_read_again_after{20};

// available_cores() as read at most cores_read_again_after ago. Threads that
// read it again at the same moment store the same count.
inline int available_cores() {
  using clock = std::chrono::steady_clock;
  static std::atomic<int> count{0};
  static std::atomic<clock::rep> read_at{0};
  const clock::rep now = clock::now().time_since_epoch().count();
  const int cached = count.load(std::memory_order_acquire);
  if (cached > 0 && now - read_at.load(std::memory_order_relaxed) <
                        clock::duration(cores_read_again_after).count())
    return cached;
  const int cores = read_available_cores();
  read_at.store(now, std::memory_order_relaxed);
  count.store(cores, std::memory_order_release);
  return cores;
}

// A thread count from the text of OMP_NUM_THREADS: its first entry (the
// variable may list one count per nesting level, "4,2"), or 0 when that is
// not a positive whole number.
inline int parse_thread_count(const char* text) {
  if (!text) return 0;
  while (*text == ' ' || *text == '\t') ++text;
  long count = 0;
  const char* digit = text;
  for (; *digit >= '0' && *digit <= '9'; ++digit) {
    count = count * 10 + (*digit - '0');
    if (count > max_threads) count = max_threads;
  }
  if (digit == text) return 0;
  while (*digit == ' ' || *digit == '\t') ++digit;
  if (*digit != '\0' && *digit != ',') return 0;
  return int(count);
}

// The threads set for the calls made on this thread, when its host lets a
// caller choose them per call (Python's workers=); 0 leaves the rule below.
// The host sets it around one call, on the thread that makes the call.
inline thread_local int threads_for_this_call = 0;

// The threads a call may use, read anew for every call so that a change of
// OMP_NUM_THREADS between calls takes effect.
inline int thread_budget() {
  if (threads_for_this_call > 0) return std::min(threads_for_this_call, max_threads);
  const int requested = parse_thread_count(std::getenv("OMP_NUM_THREADS"));
  return requested > 0 ? requested : available_cores();
}

// The threads worth using for `work` units of work when each thread should
// have at least `grain` units to pay for its start-up (tens of microseconds),
// and at most `tasks` threads since there is no more to split.
inline int threads_for(double work, double grain, long tasks, int budget = thread_budget()) {
  if (tasks <= 1 || budget <= 1 || !(work >= 2 * grain)) return 1;
  const double useful = work / grain;
  int threads = budget;
  if (useful < threads) threads = int(useful);
  if (tasks < threads) threads = int(tasks);
  return std::max(threads, 1);
}

// Memory in cache lines of its own, for what one worker writes while the
// others write theirs (its counts, its search's buffers, its stack): the C
// library hands out small blocks side by side, whichever thread asks, and
// two workers writing one line would each wait for the other's writes.
// Without it two threads ran a tree search 1.3 times as fast as one, not 1.8.
template <typename T>
struct own_lines {
  using value_type = T;
  static constexpr size_t line = 64;
  own_lines() = default;
  template <typename U>
  own_lines(const own_lines<U>&) {}
  T* allocate(size_t n) {
    return static_cast<T*>(::operator new((n * sizeof(T) + line - 1) / line * line, std::align_val_t(line)));
  }
  void deallocate(T* p, size_t) { ::operator delete(p, std::align_val_t(line)); }
  template <typename U>
  bool operator==(const own_lines<U>&) const { return true; }
  template <typename U>
  bool operator!=(const own_lines<U>&) const { return false; }
};
template <typename T>
using own_vector = std::vector<T, own_lines<T>>;

// One worker's value, in a vector indexed by worker, in cache lines of its
// own: a vector's own size and end change as its worker pushes and pops.
template <typename T>
struct alignas(64) own_line {
  T value;
};

// Runs work(0) on the calling thread and work(1 ... threads - 1) on threads
// started for it; returns when all have ended. If the system refuses to
// start a thread, those already running (at least the caller) carry on.
template <typename Work>
void work_on_threads(int threads, Work& work) {
  // Joins every started thread when the scope ends, whichever way it ends.
  struct joiner {
    std::vector<std::thread> threads;
    ~joiner() {
      for (std::thread& t : threads) t.join();
    }
  } helpers;
  try {
    helpers.threads.reserve(size_t(threads - 1));
    for (int w = 1; w < threads; ++w) helpers.threads.emplace_back(std::ref(work), w);
  } catch (...) {
    // No further threads: the caller and those already started carry on.
  }
  work(0);
  for (std::thread& t : helpers.threads) t.join();
  helpers.threads.clear();
}

// Runs task(index, worker) for every index in [0, count): tasks are taken
// in ascending order by the calling thread (worker 0) and by up to
// threads - 1 started threads (workers 1, 2, ...), so per-worker scratch can
// be indexed by worker. Returns when all tasks have ended.
//
// When tasks throw, tasks not yet taken are skipped and the exception of the
// lowest-numbered failed task is rethrown here, on the calling thread. Every
// task below it was taken before it and ran, so which exception that is does
// not depend on the thread count. If the system refuses to start a thread,
// the threads already running (at least the caller) do all the work.
template <typename Task>
void run(long count, int threads, Task&& task) {
  if (count <= 0) return;
  threads = std::max(1, std::min<int>(threads, int(std::min<long>(count, max_threads))));
  if (threads == 1) {
    for (long i = 0; i < count; ++i) task(i, 0);
    return;
  }

  std::atomic<long> next{0};
  std::atomic<bool> stop{false};
  std::mutex failure_lock;
  long failed_index = count;
  std::exception_ptr failure;

  auto work = [&](int worker) {
    for (;;) {
      if (stop.load(std::memory_order_relaxed)) return;
      const long i = next.fetch_add(1, std::memory_order_relaxed);
      if (i >= count) return;
      try {
        task(i, worker);
      } catch (...) {
        std::lock_guard<std::mutex> hold(failure_lock);
        if (i < failed_index) {
          failed_index = i;
          failure = std::current_exception();
        }
        stop.store(true, std::memory_order_relaxed);
      }
    }
  };

  work_on_threads(threads, work);
  if (failure) std::rethrow_exception(failure);
}

// Runs task(item, worker, later) for every item of `ready` and every item a
// task puts in `later` (a vector of its own, whose items become ready when
// the task ends), for work that splits as it goes (a tree's subtrees). A
// thread that comes free takes the ready item that `first(a, b)` puts
// before all others; the results must not depend on which thread runs what,
// or when. Threads are started as for run(). When a task throws, no task
// starts afterwards, and the exception of the first to fail is rethrown on
// the calling thread once every thread has ended.
template <typename Item, typename First, typename Task>
void run_growing(std::vector<Item> ready, int threads, First first, Task&& task) {
  threads = std::max(1, std::min(threads, max_threads));
  std::mutex lock;
  std::condition_variable changed;
  long running = 0;
  bool stop = false;
  std::exception_ptr failure;

  auto work = [&](int worker) {
    std::vector<Item> later;
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      changed.wait(hold, [&] { return stop || !ready.empty() || running == 0; });
      if (stop || ready.empty()) return;
      const auto next = std::min_element(ready.begin(), ready.end(), first);
      Item item = std::move(*next);
      ready.erase(next);
      ++running;
      hold.unlock();
      later.clear();
      std::exception_ptr failed;
      try {
        task(item, worker, later);
      } catch (...) {
        failed = std::current_exception();
      }
      hold.lock();
      --running;
      try {
        if (!failed)
          for (Item& made : later) ready.push_back(std::move(made));
      } catch (...) {
        failed = std::current_exception();
      }
      if (failed) {
        if (!failure) failure = failed;
        stop = true;
      }
      changed.notify_all();
    }
  };

  if (threads == 1)
    work(0);
  else
    work_on_threads(threads, work);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace parallel
