// Working arrays of many megabytes, which a module fills itself.
//
// Fresh memory costs a page fault per 4 KiB page the first time it is
// written, microseconds each on a virtual machine, and threads that fault at
// once wait on each other. An array of 2 MiB or more is therefore asked for
// in huge pages where the system gives them on request (2 MiB a fault), and
// its elements are left as they come instead of being cleared first: the
// code that owns it writes every element before reading it.
//
// This header needs nothing of the host; numeric cores may include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace big_buffer {

constexpr size_t huge_page = size_t(2) << 20;

template <typename T>
struct allocator {
  using value_type = T;
  allocator() = default;
  template <typename U>
  allocator(const allocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = n * sizeof(T);
    if (bytes < huge_page) return static_cast<T*>(::operator new(bytes));
    const size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
    void* p = ::operator new(rounded, std::align_val_t(huge_page));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(p, rounded, MADV_HUGEPAGE);
#endif
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) noexcept {
    if (n * sizeof(T) < huge_page)
      ::operator delete(p);
    else
      ::operator delete(p, std::align_val_t(huge_page));
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

// A vector whose large storage comes in huge pages, its elements not
// cleared when made without a value.
template <typename T>
using vector = std::vector<T, allocator<T>>;

}  // namespace big_buffer
