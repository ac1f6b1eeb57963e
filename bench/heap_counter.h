// Peak heap use for the benchmarks: a program that includes this header
// replaces the global allocator with one that counts the bytes in use. Include
// it in exactly one file of a benchmark program.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

// The replacement's free() looks mismatched to GCC; it is not.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

inline std::atomic<size_t> heap_now{0}, heap_peak{0};

void* operator new(size_t bytes) {
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) throw std::bad_alloc();
  size_t now = heap_now += malloc_usable_size(p);
  size_t peak = heap_peak.load();
  while (now > peak && !heap_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}
void operator delete(void* p) noexcept {
  heap_now -= malloc_usable_size(p);
  std::free(p);
}
void* operator new[](size_t bytes) { return operator new(bytes); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

// Aligned requests (the huge-page buffers) count too.
void* operator new(size_t bytes, std::align_val_t alignment) {
  const size_t align = size_t(alignment);
  void* p = std::aligned_alloc(align, (std::max<size_t>(bytes, 1) + align - 1) / align * align);
  if (!p) throw std::bad_alloc();
  size_t now = heap_now += malloc_usable_size(p);
  size_t peak = heap_peak.load();
  while (now > peak && !heap_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}
void operator delete(void* p, std::align_val_t) noexcept { operator delete(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { operator delete(p); }

// Starts a measurement: the peak from here on, above what is in use now.
inline size_t heap_baseline() {
  size_t now = heap_now.load();
  heap_peak = now;
  return now;
}
inline double heap_peak_megabytes(size_t baseline) {
  return double(heap_peak.load() - baseline) / 1e6;
}
