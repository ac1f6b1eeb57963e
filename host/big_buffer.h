// Working arrays of many megabytes, which a module fills itself.
//
// Fresh memory costs a page fault per 4 KiB page the first time it is
// written, microseconds each on a virtual machine, and threads that fault at
// once wait on each other. An array of 2 MiB or more is therefore asked for
// in huge pages where the system gives them on request (2 MiB a fault), and
// its elements are left as they come instead of being cleared first: the
// code that owns it writes every element before reading it.
//
// An array of 256 KiB or more is also kept when it is freed, for the next
// call: a script calls a module in a loop with other work in between, which
// makes the C library hand its freed memory back to the system, and every
// call would otherwise fault all of its pages in afresh. Kept blocks are
// bounded in number and in bytes, the oldest going first; a block is handed
// out again only for a request of its own size (in huge pages, or in 64 KiB
// below one huge page), which a call repeated on data of the same size makes.
//
// This header needs nothing of the host; numeric cores may include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Each shared object (an Octave module, the Python extension) keeps blocks of
// its own: modules loaded side by side do not depend on each other's build,
// and one unloaded hands its blocks back.
#if defined(__GNUC__)
#define BIG_BUFFER_PER_LIBRARY __attribute__((visibility("hidden")))
#else
#define BIG_BUFFER_PER_LIBRARY
#endif

namespace big_buffer {

constexpr size_t huge_page = size_t(2) << 20;
// Smaller arrays come from the heap, which keeps enough of its memory for
// them.
constexpr size_t smallest_kept = size_t(256) << 10;

// The bytes of the block for `bytes`: whole huge pages from one huge page
// on, else whole 64 KiB.
inline size_t block_bytes(size_t bytes) {
  const size_t unit = bytes < huge_page ? size_t(64) << 10 : huge_page;
  if (bytes > SIZE_MAX - (unit - 1)) throw std::bad_alloc();
  return (bytes + unit - 1) / unit * unit;
}

// Freed blocks kept for later requests of the same size; a block of a huge
// page or more starts on a huge page. Safe to use from any number of threads
// at once.
class block_cache {
 public:
  static constexpr size_t most_blocks = 32;

  // Keeps at most `block_limit` (up to most_blocks) blocks of `byte_limit`
  // bytes in all.
  block_cache(size_t byte_limit, size_t block_limit) noexcept
      : byte_limit_(byte_limit), block_limit_(block_limit < most_blocks ? block_limit : most_blocks) {}
  ~block_cache() { release(); }
  block_cache(const block_cache&) = delete;
  block_cache& operator=(const block_cache&) = delete;

  // A block of `bytes` (a size block_bytes gives): the one of that size kept
  // last, whose pages are the likeliest still to be in cache, else a fresh
  // one. A fresh one that the system refuses is asked for again after the
  // kept blocks are released.
  void* take(size_t bytes) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      for (size_t i = count_; i-- > 0;) {
        if (kept_[i].bytes == bytes) {
          void* block = kept_[i].block;
          remove(i);
          return block;
        }
      }
    }
    try {
      return fresh(bytes);
    } catch (const std::bad_alloc&) {
      release();
      return fresh(bytes);
    }
  }

  // Takes back a block that take() gave for `bytes`. It is kept unless it
  // alone passes the byte limit; blocks kept longest go to make room.
  void give_back(void* block, size_t bytes) noexcept {
    kept dropped[most_blocks];
    size_t dropped_count = 0;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (block_limit_ > 0 && bytes <= byte_limit_) {
        while (count_ == block_limit_ || kept_bytes_ + bytes > byte_limit_) {
          dropped[dropped_count++] = kept_[0];
          remove(0);
        }
        kept_[count_++] = {block, bytes};
        kept_bytes_ += bytes;
        block = nullptr;
      }
    }
    // The system's unmapping takes a while; other threads need not wait.
    if (block) free_block({block, bytes});
    for (size_t i = 0; i < dropped_count; ++i) free_block(dropped[i]);
  }

  // Frees every kept block.
  void release() noexcept {
    kept all[most_blocks];
    size_t all_count;
    {
      std::lock_guard<std::mutex> hold(lock_);
      all_count = count_;
      for (size_t i = 0; i < count_; ++i) all[i] = kept_[i];
      count_ = 0;
      kept_bytes_ = 0;
    }
    for (size_t i = 0; i < all_count; ++i) free_block(all[i]);
  }

  size_t kept_blocks() const {
    std::lock_guard<std::mutex> hold(lock_);
    return count_;
  }
  size_t kept_bytes() const {
    std::lock_guard<std::mutex> hold(lock_);
    return kept_bytes_;
  }

 private:
  struct kept {
    void* block;
    size_t bytes;
  };

  static void* fresh(size_t bytes) {
    if (bytes < huge_page) return ::operator new(bytes);
    void* block = ::operator new(bytes, std::align_val_t(huge_page));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
  }
  static void free_block(const kept& block) noexcept {
    if (block.bytes < huge_page)
      ::operator delete(block.block);
    else
      ::operator delete(block.block, std::align_val_t(huge_page));
  }

  // Keeps the order of the rest: oldest first.
  void remove(size_t i) {
    kept_bytes_ -= kept_[i].bytes;
    for (; i + 1 < count_; ++i) kept_[i] = kept_[i + 1];
    --count_;
  }

  const size_t byte_limit_, block_limit_;
  mutable std::mutex lock_;
  kept kept_[most_blocks] = {};
  size_t count_ = 0;
  size_t kept_bytes_ = 0;
};

// The blocks this library keeps: up to 32 blocks, 128 MiB in all (each
// Octave module is a library of its own, so a session that has used many
// keeps a few times that). neardist on 10^6 points in 3-D with k = 16, for
// one, works in nine blocks of 65 MiB in all, on two threads.
//
// The cache is never destroyed, since a call on another thread may still be
// running while the process exits; its blocks are freed then, or when the
// library is unloaded.
BIG_BUFFER_PER_LIBRARY inline block_cache& shared_cache() {
  static block_cache* const cache = new block_cache(size_t(128) << 20, 32);
  static const struct releaser {
    ~releaser() { cache->release(); }
  } release_at_exit;
  (void)release_at_exit;
  return *cache;
}

template <typename T>
struct allocator {
  using value_type = T;
  allocator() = default;
  template <typename U>
  allocator(const allocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = n * sizeof(T);
    if (bytes < smallest_kept) return static_cast<T*>(::operator new(bytes));
    return static_cast<T*>(shared_cache().take(block_bytes(bytes)));
  }
  void deallocate(T* p, size_t n) noexcept {
    const size_t bytes = n * sizeof(T);
    if (bytes < smallest_kept)
      ::operator delete(p);
    else
      shared_cache().give_back(p, block_bytes(bytes));
  }

  // Made without a value, an element is left as it comes.
  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

template <typename T, typename U>
bool operator==(const allocator<T>&, const allocator<U>&) noexcept {
  return true;
}
template <typename T, typename U>
bool operator!=(const allocator<T>&, const allocator<U>&) noexcept {
  return false;
}

// A vector whose large storage is kept for the next call (in huge pages from
// 2 MiB on), its elements not cleared when made without a value.
template <typename T>
using vector = std::vector<T, allocator<T>>;

}  // namespace big_buffer
