// histinfo: entropy of the distribution of distinct columns of a matrix.
//
//   H = histinfo(A)
//
// Every column of the M x N matrix A is one observation. Columns that match
// (every element differs by less than 1 in magnitude) form one class, and
// H = -sum p ln p in nats over the classes, p = class size / N.
//
// Matching is not transitive, so classes are formed around a reference: the
// first column not yet classed takes every unclassed column that matches it,
// and the rest keep their order for the next round. A column holding NaN or
// an infinity matches no column, itself included; it is counted as the
// reference of its own class of one, which also guarantees that every round
// removes at least one column.
#include <cmath>
#include <cstddef>

#include "host/host.h"

namespace {

double xlnx(double x) { return x == 0 ? 0 : x * std::log(x); }

// True when a and b differ by less than 1 in every element: their difference
// truncated toward zero to a 32-bit integer is 0. A NaN difference, or one
// whose magnitude reaches 2^31 (which truncation could not represent),
// differs. The truncated differences add up to 0 exactly when each of them
// is 0, so the first element that differs decides.
bool confronto(const double* a, const double* b, long n) {
  for (long i = 0; i < n; ++i)
    if (!(std::fabs(a[i] - b[i]) < 1.0)) return false;
  return true;
}

// Writes the entropy of the columns of the M x N column-major data to
// result. pending is room for N column indices.
void Entropy(const double* data, double* result, long M, long N, long* pending) {
  double H = 0;
  if (N <= 0) {
    *result = H;
    return;
  }
  for (long j = 0; j < N; ++j) pending[j] = j;
  long n = N;
  for (;;) {
    const double* reference = data + pending[0] * M;
    // The reference counts in its own class even when it does not match
    // itself (NaN, infinities); any other column joins only on a match.
    long count = 1;
    long kept = 0;
    for (long j = 1; j < n; ++j) {
      if (confronto(reference, data + pending[j] * M, M))
        ++count;
      else
        pending[kept++] = pending[j];
    }
    H = H - xlnx(double(count) / double(N));
    if (kept == 0) break;
    n = kept;
  }
  *result = H;
}

enum { IN_A = 0, IN_COUNT };
enum { OUT_H = 0 };

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != IN_COUNT) host::fail("Wrong number of input arguments.");
  const mxArray* A = prhs[IN_A];
  if (mxIsComplex(A) || mxGetNumberOfDimensions(A) != 2 || mxIsSparse(A) || !mxIsDouble(A))
    host::fail("A must be a real 2D full double array.");

  const double* data = mxGetPr(A);
  const long M = long(mxGetM(A));
  const long N = long(mxGetN(A));
  plhs[OUT_H] = mxCreateDoubleMatrix(1, 1, mxREAL);
  if (!plhs[OUT_H]) host::fail("not enough memory for the result");

  host::working_memory<long> pending{size_t(N)};
  if (!pending.get()) host::fail("not enough memory for the working storage");
  Entropy(data, mxGetPr(plhs[OUT_H]), M, N, pending.get());
}
