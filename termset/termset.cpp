// termset: exponent vectors of all monomials of D variables with total degree
// at most maxgrad, for building polynomial models.
//
//   E = termset(D, maxgrad)
//
// E has D rows and one column per monomial, (D + maxgrad choose D) columns in
// all; element (i, j) is the exponent of variable i in monomial j. The order
// is lexicographic, the first variable outermost and the last varying
// fastest, each exponent rising from 0 to the degree still available; the
// constant term comes first. For D = 2, maxgrad = 2 the columns are
// (0,0) (0,1) (0,2) (1,0) (1,1) (2,0).
//
// The list is enumerated twice: once to count the vectors, so that the output
// can be created at its final size, and once to write them.
#include <cstdint>
#include <unistd.h>

#include "host/host.h"

namespace {

// The state of one enumeration, set up by each call and stale afterwards.
long maxlen;      // D: the length of every exponent vector
long* a;          // the vector under construction
int count_flag;   // 1 while counting, 0 while writing
long counter;     // vectors found by the counting pass
double* out;      // next element to be written

void emit() {
  if (count_flag) {
    ++counter;
    return;
  }
  for (long i = 0; i < maxlen; ++i) out[i] = double(a[i]);
  out += maxlen;
}

// Emits every vector that keeps a[0 ... depth-1] and completes it with
// exponents of total at most rest, in the order described above.
//
// The walk is a loop, not a recursion of depth D: D comes from the caller
// and a deep recursion could exhaust the stack. From one vector to the next:
// while degree is left, the last exponent rises; otherwise the last non-zero
// exponent p is cleared and the one before it rises, which is where the
// recursive order would go next.
void g(long depth, long rest) {
  if (depth == maxlen) {
    emit();
    return;
  }
  if (rest < 0) return;
  for (long k = depth; k < maxlen; ++k) a[k] = 0;
  long left = rest;
  for (;;) {
    emit();
    if (left > 0) {
      ++a[maxlen - 1];
      --left;
      continue;
    }
    long p = maxlen - 1;
    while (p > depth && a[p] == 0) --p;
    if (p == depth) return;  // a[depth] holds all the degree: the last vector
    left += a[p] - 1;
    a[p] = 0;
    ++a[p - 1];
  }
}

constexpr uint64_t max_columns = 2147483647;  // the host's 32-bit column count

// (D + maxgrad choose D), or max_columns + 1 for anything larger. Each step
// r = C(n - k + i, i) is exact, and r grows with i, so the loop can stop as
// soon as the limit is passed; it then runs at most about 32 times.
uint64_t column_count(long D, long maxgrad) {
  const uint64_t k = uint64_t(std::min(D, maxgrad));
  const uint64_t base = uint64_t(std::max(D, maxgrad));  // n - k
  uint64_t r = 1;
  for (uint64_t i = 1; i <= k; ++i) {
    r = r * (base + i) / i;  // r <= 2^31 and base + i < 2^33: no overflow
    if (r > max_columns) return max_columns + 1;
  }
  return r;
}

enum class termset_size { fits, too_many_columns, too_large_for_memory };

// Whether the output and the working vector can be made at all, decided
// before anything is allocated.
termset_size check_size(long D, long maxgrad, uint64_t memory_bytes) {
  const uint64_t columns = column_count(D, maxgrad);
  if (columns > max_columns) return termset_size::too_many_columns;
  const uint64_t elements = uint64_t(D) * columns;  // < 2^62
  const uint64_t working = uint64_t(D) * sizeof(long);
  if (elements > (memory_bytes - std::min(memory_bytes, working)) / sizeof(double))
    return termset_size::too_large_for_memory;
  return termset_size::fits;
}

// The memory free now. The system would promise more and only fail when the
// list is written, by ending the whole session; a clear error first is
// kinder.
uint64_t free_memory_bytes() {
#ifdef _SC_AVPHYS_PAGES
  const long pages = sysconf(_SC_AVPHYS_PAGES);
#else
  const long pages = sysconf(_SC_PHYS_PAGES);
#endif
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return UINT64_MAX;  // unknown: the host decides
  return uint64_t(pages) * uint64_t(page_size);
}

enum { IN_D = 0, IN_MAXGRAD, IN_COUNT };

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT) host::fail("monotermset : Input arguments D and maxgrad must be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);
  const long D = host::count_from_double(host::first_element(prhs[IN_D], 1));
  const long maxgrad = host::count_from_double(host::first_element(prhs[IN_MAXGRAD], 2));
  if (D < 1 || maxgrad < 0) host::fail("Wrong parameters given");

  switch (check_size(D, maxgrad, free_memory_bytes())) {
    case termset_size::fits:
      break;
    case termset_size::too_many_columns:
      host::fail("Too many monomials: more than 2147483647 columns");
    case termset_size::too_large_for_memory:
      host::fail("Too many monomials: the list does not fit into memory");
  }

  // From the host: a request beyond what it can give ends the call with its
  // error, as for the output.
  const host::working_memory<long> exponents(static_cast<size_t>(D));
  if (!exponents.get()) host::fail("Out of memory");
  maxlen = D;
  a = exponents.get();
  count_flag = 1;
  counter = 0;
  g(0, maxgrad);

  count_flag = 0;
  plhs[0] = mxCreateDoubleMatrix(D, counter, mxREAL);
  out = mxGetPr(plhs[0]);
  g(0, maxgrad);
  a = nullptr;
}
