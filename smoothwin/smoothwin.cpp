// smoothwin: moving average of every column of a matrix.
//
//   Y = smoothwin(X, L)   plain average over a window of L samples
//   Y = smoothwin(X, W)   weighted average with the window vector W
//
// The window of n samples is centred on the output sample: with h = (n-1)/2
// (integer division) output k covers inputs k-h ... k-h+n-1, so an even window
// reaches one sample further forward than back. W(1) weighs the earliest of
// them; the window is not reversed. Samples beyond the ends count as zero and
// the normaliser keeps its full value (n, or the sum of the weights), so the
// ends of the output are pulled toward zero.
//
// Every output is summed afresh over its window in ascending window order,
// never by a running sum, so rounding does not build up along the signal and
// the results do not depend on how the work is arranged: outputs are summed
// side by side in the lanes of the widest vector unit the processor has, and
// large calls share them out among threads, without changing a bit.
#include <cstdint>
#include <cstring>

#include "host/host.h"
#include "host/parallel.h"

namespace {

// The larger of two doubles; the first one when they are equal.
double max(double a, double b) { return a >= b ? a : b; }

// A window length from the scalar second input: truncated toward zero; NaN
// and values outside the 64-bit range give the most negative integer, which
// is then refused as too short.
int64_t length_from_double(double value) {
  if (!(value > -9223372036854775808.0 && value < 9223372036854775808.0)) return INT64_MIN;
  return static_cast<int64_t>(value);
}

// The term of window position m for input sample i.
template <bool weighted>
double term(const double* x, int64_t i, const double* w, int64_t m) {
  if constexpr (weighted) return x[i] * w[m];
  return x[i];
}

// One output sample. Window positions outside the signal add nothing, so
// only those inside are visited: the sum is the same, and the work stays
// bounded by the signal length however long the window is.
template <bool weighted>
double window_sum(const double* x, int64_t M, int64_t k, int64_t n, int64_t h, const double* w) {
  const int64_t first = h > k ? h - k : 0;
  const int64_t last = n - 1 < M - 1 - k + h ? n - 1 : M - 1 - k + h;
  double s = 0.0;
  for (int64_t m = first; m <= last; ++m) s += term<weighted>(x, k - h + m, w, m);
  return s;
}

// What every output of one call shares: the M x N data x, the window of n
// samples reaching h = (n-1)/2 back, its weights w (null for the plain
// average), the normaliser S and the output y.
struct smoothing {
  const double* x;
  int64_t M;
  int64_t n;
  int64_t h;
  const double* w;
  double S;
  double* y;
};

// Outputs k0 ... k0+lanes-1 of one column (x, y), summed side by side: lane
// b holds output k0+b and adds that output's terms one after another in
// ascending window order, exactly as window_sum does, so the bits are the
// same; the lanes only run in step. `Pack` is a double or a vector of
// doubles the processor adds lane by lane; `packs` of them make up the
// lanes, enough independent sums to keep the adder busy. Needs
// 0 <= k0 <= M - lanes.
//
// Lane b is inside the signal for the window positions h-k0-b ... M-1+h-k0-b.
// At the ends of the signal, where only some lanes are inside, the lanes add
// one at a time (the first and last lanes-1 positions at most); in between
// every lane is inside and they add together.
template <typename Pack, int packs, bool weighted>
void block_sums(const smoothing& f, const double* x, int64_t k0, double* y) {
  constexpr int width = int(sizeof(Pack) / sizeof(double));
  constexpr int lanes = packs * width;
  const int64_t M = f.M, n = f.n, h = f.h;
  const int64_t some_first = h - k0 - (lanes - 1) > 0 ? h - k0 - (lanes - 1) : 0;
  const int64_t all_first = h - k0 > 0 ? h - k0 : 0;
  const int64_t all_last = n - 1 < M - lanes + h - k0 ? n - 1 : M - lanes + h - k0;
  const int64_t some_last = n - 1 < M - 1 + h - k0 ? n - 1 : M - 1 + h - k0;

  double s[lanes] = {};
  for (int64_t m = some_first; m < all_first; ++m)
    for (int64_t b = h - k0 - m; b < lanes; ++b) s[b] += term<weighted>(x, k0 - h + m + b, f.w, m);

  Pack sums[packs];
  std::memcpy(sums, s, sizeof sums);
  for (int64_t m = all_first; m <= all_last; ++m) {
    const double* window = x + (k0 - h + m);
    // Unrolled, the sums stay in registers.
#pragma GCC unroll 16
    for (int q = 0; q < packs; ++q) {
      Pack terms;
      // Plain doubles are read directly, which lets the compiler pair their
      // sums up in vector registers where it can.
      if constexpr (width == 1)
        terms = window[q];
      else
        std::memcpy(&terms, window + q * width, sizeof terms);
      if constexpr (weighted) terms = terms * f.w[m];
      sums[q] += terms;
    }
  }
  std::memcpy(s, sums, sizeof s);

  for (int64_t m = all_last + 1; m <= some_last; ++m)
    for (int64_t b = 0; b <= M - 1 + h - k0 - m; ++b)
      s[b] += term<weighted>(x, k0 - h + m + b, f.w, m);
  for (int b = 0; b < lanes; ++b) y[k0 + b] = s[b] / f.S;
}

// The vector units the outputs can be summed with; each gives the same
// bits, only faster.
enum class vector_unit { plain, sse2, avx2, avx512 };

// How a unit sums a block: its lanes, and the function that sums outputs
// k0 ... k0+lanes-1 of the column (x, y).
struct block_kernel {
  int64_t lanes;
  void (*sums)(const smoothing& f, const double* x, int64_t k0, double* y);
};

void plain_block_sums(const smoothing& f, const double* x, int64_t k0, double* y) {
  if (f.w)
    block_sums<double, 8, true>(f, x, k0, y);
  else
    block_sums<double, 8, false>(f, x, k0, y);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(_WIN32)
// GCC and Clang on x86: the block sums are compiled once more for each wider
// unit (the target attribute needs no build flags; flatten pulls the block's
// code into the function so that it is compiled for that unit), and the
// processor is asked at run time which units it has. Elsewhere (MSVC, other
// processors, and Windows, where GCC does not align the stack for the wider
// registers) there are only the plain block sums.
typedef double two_doubles __attribute__((vector_size(16)));
typedef double four_doubles __attribute__((vector_size(32)));
typedef double eight_doubles __attribute__((vector_size(64)));

[[gnu::target("sse2"), gnu::flatten]] void sse2_block_sums(const smoothing& f, const double* x,
                                                           int64_t k0, double* y) {
  if (f.w)
    block_sums<two_doubles, 8, true>(f, x, k0, y);
  else
    block_sums<two_doubles, 8, false>(f, x, k0, y);
}

[[gnu::target("avx2"), gnu::flatten]] void avx2_block_sums(const smoothing& f, const double* x,
                                                           int64_t k0, double* y) {
  if (f.w)
    block_sums<four_doubles, 8, true>(f, x, k0, y);
  else
    block_sums<four_doubles, 8, false>(f, x, k0, y);
}

[[gnu::target("avx512f"), gnu::flatten]] void avx512_block_sums(const smoothing& f, const double* x,
                                                                int64_t k0, double* y) {
  if (f.w)
    block_sums<eight_doubles, 4, true>(f, x, k0, y);
  else
    block_sums<eight_doubles, 4, false>(f, x, k0, y);
}

bool processor_has(vector_unit unit) {
  __builtin_cpu_init();
  switch (unit) {
    case vector_unit::avx512: return __builtin_cpu_supports("avx512f");
    case vector_unit::avx2: return __builtin_cpu_supports("avx2");
    case vector_unit::sse2: return __builtin_cpu_supports("sse2");
    default: return true;
  }
}

block_kernel kernel_of(vector_unit unit) {
  switch (unit) {
    case vector_unit::avx512: return {32, avx512_block_sums};
    case vector_unit::avx2: return {32, avx2_block_sums};
    case vector_unit::sse2: return {16, sse2_block_sums};
    default: return {8, plain_block_sums};
  }
}
#else
bool processor_has(vector_unit unit) { return unit == vector_unit::plain; }

block_kernel kernel_of(vector_unit) { return {8, plain_block_sums}; }
#endif

// Outputs first ... end-1 of column j.
void filter_rows(const smoothing& f, block_kernel kernel, int64_t j, int64_t first, int64_t end) {
  const double* x = f.x + j * f.M;
  double* y = f.y + j * f.M;
  if (end - first < kernel.lanes) {
    for (int64_t k = first; k < end; ++k)
      y[k] = (f.w ? window_sum<true>(x, f.M, k, f.n, f.h, f.w)
                  : window_sum<false>(x, f.M, k, f.n, f.h, f.w)) /
             f.S;
    return;
  }
  int64_t k = first;
  for (; k + kernel.lanes <= end; k += kernel.lanes) kernel.sums(f, x, k, y);
  // The rest as one more block ending at `end`: it writes a few outputs
  // again, with the same values, and they are this task's own.
  if (k < end) kernel.sums(f, x, end - kernel.lanes, y);
}

// Outputs first ... end-1 counted through all columns, column by column.
void filter_outputs(const smoothing& f, block_kernel kernel, int64_t first, int64_t end) {
  for (int64_t j = first / f.M; j * f.M < end; ++j) {
    const int64_t rows_first = first > j * f.M ? first - j * f.M : 0;
    const int64_t rows_end = end < (j + 1) * f.M ? end - j * f.M : f.M;
    filter_rows(f, kernel, j, rows_first, rows_end);
  }
}

// The widest unit this processor has.
vector_unit widest_vector_unit() {
  for (vector_unit unit : {vector_unit::avx512, vector_unit::avx2, vector_unit::sse2})
    if (processor_has(unit)) return unit;
  return vector_unit::plain;
}

// Additions a thread should have to be worth starting: about a quarter of a
// millisecond of vector work, since waking a thread on an idle core can take
// a good part of that (with a quarter of this share, calls of 60000 samples
// ran slower on two threads than on one).
constexpr double adds_per_thread = 1 << 22;

// Filters the M x N column-major data into y (same shape) with a window of n
// samples: the weights w, or the plain average when w is null; S is the
// normaliser. The outputs are shared out in runs among up to `threads`
// threads; every output is summed alone, so the split changes no bits.
void smoothwin_filter(const double* x, int64_t M, int64_t N, int64_t n, const double* w, double S,
                      double* y, int threads, vector_unit unit) {
  const int64_t outputs = M * N;
  if (outputs == 0) return;
  const smoothing f = {x, M, n, (n - 1) / 2, w, S, y};
  const block_kernel kernel = kernel_of(unit);
  // An output adds at most min(n, M) terms; a few more for its load and store.
  const double adds = double(outputs) * (double(n < M ? n : M) + 4);
  const long most_threads = outputs < parallel::max_threads ? long(outputs) : parallel::max_threads;
  threads = parallel::threads_for(adds, adds_per_thread, most_threads, threads);
  // Many runs per thread, so that a thread slowed by other work holds up
  // the end of the call by a short run at most.
  const int64_t runs = threads == 1 ? 1 : 16 * int64_t(threads);
  const int64_t run_length = (outputs + runs - 1) / runs;
  parallel::run(long(runs), threads, [&](long run, int) {
    const int64_t first = run * run_length;
    const int64_t end = first + run_length < outputs ? first + run_length : outputs;
    if (first < end) filter_outputs(f, kernel, first, end);
  });
}

enum { IN_X = 0, IN_WINDOW, IN_COUNT };

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT)
    host::fail("moving average filter : input data and length (or window vector) must be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const int64_t M = int64_t(mxGetM(prhs[IN_X]));
  const int64_t N = int64_t(mxGetN(prhs[IN_X]));
  const double* x = mxGetPr(prhs[IN_X]);
  const mxArray* window = prhs[IN_WINDOW];
  const double L = max(double(mxGetM(window)), double(mxGetN(window)));

  int64_t n = 0;
  const double* w = nullptr;
  double S = 0.0;
  if (L > 1) {
    // A second input like 0 x 5 asks for five weights and holds none.
    if (host::all_elements(window) == 0) host::fail(host::empty_input_message(IN_WINDOW + 1));
    n = int64_t(L);
    w = mxGetPr(window);
    for (int64_t m = 0; m < n; ++m) S += w[m];
    if (S == 0.0) host::fail("Mean of weight vector is zero");
  } else {
    n = length_from_double(host::first_element(window, IN_WINDOW + 1));
    if (n <= 1) host::fail("Average length too short");
    S = double(n);
  }

  plhs[0] = host::create_matrix_to_fill(size_t(M), size_t(N));
  smoothwin_filter(x, M, N, n, w, S, mxGetPr(plhs[0]), parallel::thread_budget(),
                   widest_vector_unit());
}
