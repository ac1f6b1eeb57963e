// The host interface as the modules see it, and the argument conversions
// that every gateway shares.
//
// The modules are built against one of three hosts: Octave's and MATLAB's own
// MEX interface, or the stand-in host of this folder for the C++ tests (the
// build defines TOOLBOX_STANDIN_HOST for it). The gateways use the same calls
// in all three.
#pragma once

#ifdef TOOLBOX_STANDIN_HOST
#include "host/standin.h"
#else
#include "mex.h"
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace host {

// Where the caller's row numbers start: 1 in Octave and MATLAB. A host whose
// users count from 0 (Python) defines TOOLBOX_INDEX_BASE as 0 in its mex.h,
// and the modules that take or give row numbers follow it.
#ifndef TOOLBOX_INDEX_BASE
#define TOOLBOX_INDEX_BASE 1
#endif
constexpr int index_base = TOOLBOX_INDEX_BASE;

// Ends the call with the message. The host's error call does not return;
// the throw only tells the compiler so.
[[noreturn]] inline void fail(const char* message) {
  mexErrMsgTxt(message);
  throw std::logic_error(message);
}
[[noreturn]] inline void fail(const std::string& message) { fail(message.c_str()); }

// A count from a double: truncated toward zero; NaN and values outside the
// 32-bit range give the most negative 32-bit integer, which the positivity
// tests of the gateways then refuse with their usual message.
inline int32_t count_from_double(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// The two vector-length rules: all elements in storage order, or as many as
// the longer of the two sides.
inline size_t all_elements(const mxArray* array) { return mxGetM(array) * mxGetN(array); }
inline size_t longer_side(const mxArray* array) {
  return std::max(mxGetM(array), mxGetN(array));
}

inline bool is_real_double(const mxArray* array) {
  return mxIsDouble(array) && !mxIsComplex(array) && !mxIsSparse(array);
}

// The gateways read their numeric inputs as plain doubles. Anything else
// (another class, complex or sparse storage) would be misread, so it is
// refused, right after the count of inputs is tested and before any input is
// read. Positions count from 1, as the user sees them.
inline std::string not_real_double_message(int position) {
  return "Input " + std::to_string(position) + " must be a real double array";
}
inline void require_real_double(const mxArray* array, int position) {
  if (!is_real_double(array)) fail(not_real_double_message(position));
}
// Tests inputs 1 ... count (those that were given).
inline void require_real_double_inputs(int nrhs, const mxArray* prhs[], int count) {
  for (int i = 0; i < std::min(nrhs, count); ++i) require_real_double(prhs[i], i + 1);
}

// A real double M x N output that the module fills completely, so the host
// need not clear it first: for outputs of millions of elements the clearing
// costs about as much as a moving average, and the threads that fill it map
// its fresh pages in parallel instead of the calling thread alone.
//
// Where the system maps memory in huge pages on request, a large output asks
// for them before its first element is written: the system then maps and
// clears it 2 MiB at a time instead of 4 KiB, which for fresh memory is most
// of the cost of filling it (a 32 MB output: about 11 ms less in Octave).
// It is a hint about how to page memory that is the output's alone; nothing
// else changes.
inline mxArray* create_matrix_to_fill(size_t m, size_t n) {
  mxArray* array = mxCreateUninitNumericMatrix(m, n, mxDOUBLE_CLASS, mxREAL);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t huge_page = uintptr_t(2) << 20;
  if (array && m * n >= 2 * huge_page / sizeof(double)) {
    const uintptr_t start = uintptr_t(mxGetPr(array));
    const uintptr_t first = (start + huge_page - 1) & ~(huge_page - 1);
    const uintptr_t last = (start + m * n * sizeof(double)) & ~(huge_page - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
#endif
  return array;
}

// A scalar argument is the first element of its array; an empty array has
// none, and that is refused rather than read.
inline std::string empty_input_message(int position) {
  return "Input " + std::to_string(position) + " must not be empty";
}
inline double first_element(const mxArray* array, int position) {
  if (all_elements(array) == 0) fail(empty_input_message(position));
  return mxGetPr(array)[0];
}

// Working memory from the host's allocator, released when the scope ends
// (also when the host's error call unwinds it). A null pointer from the host
// is kept, for gateways that report it with a message of their own.
template <typename T>
class working_memory {
 public:
  explicit working_memory(size_t count) : data_(allocate(count)) {}
  ~working_memory() { mxFree(data_); }
  working_memory(const working_memory&) = delete;
  working_memory& operator=(const working_memory&) = delete;
  T* get() const { return data_; }

 private:
  static T* allocate(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(mxMalloc(count > 0 ? count * sizeof(T) : 1));
  }
  T* data_;
};

}  // namespace host
