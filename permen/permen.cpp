// permen: permutation entropy of a series, plain or weighted.
//
//   [H, Hn, c] = permen(x, m, tau, weighted)
//
// The vectors v(t) = (x(t), x(t + tau), ..., x(t + (m-1) tau)),
// t = 1 ... T = N - (m-1) tau, each have a pattern: the permutation that
// sorts their values ascending, the earlier of two equal values first (ties
// follow time order). Patterns are numbered 1 ... m! in lexicographic order
// of the permutation. c(pattern) counts the vectors with that pattern; when
// weighted, each vector adds its weight instead, the mean of its squared
// deviations from its own mean (both means summed in order), and c holds
// the weights added in time order.
//
//   p = c / S, S = sum of c in pattern order;
//   H = -(sum over c > 0 of p ln p), summed in pattern order; Hn = H / ln(m!).
//
// Defaults: m = 3, tau = 1, weighted = false.
//
// Vectors are told apart without sorting, by comparisons alone: the code
// sum over k < l of [v_k > v_l] (m-1-k)! is the Lehmer code of the ranks of
// the vector's values (ties ranked in time order), the inverse of the
// pattern; overlapping vectors share their comparisons (rank_codes).
// Counts are kept by code and each code's total moved to its
// pattern's number at the end. Counts are whole numbers, added per thread
// over blocks of time and then together: exact for every thread count.
// Weights are computed per vector on the threads and added on the calling
// thread in time order. Memory besides x and c: a count table of m! entries
// per thread and one of m! values; weighted, 12 bytes per vector.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/series.h"

namespace {

constexpr int max_order = 10;

// k! for k = 0 ... max_order.
constexpr uint32_t factorial[max_order + 1] = {1,    1,     2,      6,       24,     120,
                                               720,  5040,  40320,  362880,  3628800};

// The code of the vector v[0], v[tau], ..., v[(M-1) tau] by its ranks:
// sum over k < l of [v_k > v_l] (M-1-k)!, the Lehmer code of the ranks the
// values take when the earlier of equal values ranks lower. It names the
// pattern as uniquely as the pattern's number does, with comparisons only.
template <int M>
inline uint32_t rank_code(const double* v, size_t tau) {
  double value[M];
  for (int k = 0; k < M; ++k) value[k] = v[size_t(k) * tau];
  uint32_t code = 0;
  for (int k = 0; k < M - 1; ++k) {
    uint32_t later_below = 0;
    for (int l = k + 1; l < M; ++l) later_below += value[k] > value[l];
    code += later_below * factorial[M - 1 - k];
  }
  return code;
}

// The pattern number, from 0, of the vectors whose rank code is `code`:
// the ranks r from their Lehmer code, the pattern as their inverse, and its
// Lehmer code.
uint32_t pattern_of_code(uint32_t code, int m) {
  int rank[max_order], pattern[max_order];
  bool taken[max_order] = {};
  for (int k = 0; k < m; ++k) {
    uint32_t digit = code / factorial[m - 1 - k];
    code %= factorial[m - 1 - k];
    int r = 0;
    for (;; ++r)
      if (!taken[r] && digit-- == 0) break;
    taken[r] = true;
    rank[k] = r;
  }
  for (int k = 0; k < m; ++k) pattern[rank[k]] = k;
  uint32_t number = 0;
  for (int p = 0; p < m; ++p) {
    uint32_t smaller_after = 0;
    for (int j = p + 1; j < m; ++j) smaller_after += pattern[j] < pattern[p];
    number += smaller_after * factorial[m - 1 - p];
  }
  return number;
}

// The rank codes of the `count` vectors starting at x[0], x[1], ..., each
// from its own comparisons: on GCC and Clang four vectors at a time with
// packed comparisons, elsewhere one by one. Both give the same whole numbers.
template <int M>
void rank_codes_apart(const double* x, size_t tau, size_t count, uint32_t* code) {
  size_t t = 0;
#if defined(__GNUC__)
  typedef double values __attribute__((vector_size(4 * sizeof(double))));
  typedef long long masks __attribute__((vector_size(4 * sizeof(long long))));
  for (; t + 4 <= count; t += 4) {
    values v[M];
#pragma GCC unroll 10
    for (int k = 0; k < M; ++k) std::memcpy(&v[k], x + t + size_t(k) * tau, sizeof v[k]);
    // A true comparison is -1 (all bits set): the counts come out negated.
    masks sum = {0, 0, 0, 0};
#pragma GCC unroll 10
    for (int k = 0; k < M - 1; ++k) {
      masks later_below = {0, 0, 0, 0};
#pragma GCC unroll 10
      for (int l = k + 1; l < M; ++l) later_below += v[k] > v[l];
      sum += later_below * (long long)factorial[M - 1 - k];
    }
    for (int l = 0; l < 4; ++l) code[t + size_t(l)] = uint32_t(-sum[l]);
  }
#endif
  for (; t < count; ++t) code[t] = rank_code<M>(x + t, tau);
}

// Positions per row of the table of shared comparisons (see below).
constexpr size_t span = 2048;

// below[j-1][s], j = 1 ... levels: how many of x[s + tau], ..., x[s + j tau]
// lie below x[s], for the positions s in [from, to); as whole numbers in
// packed lanes on GCC and Clang.
template <int M>
void count_below(const double* x, size_t tau, size_t from, size_t to, int levels,
                 int (*below)[span]) {
  size_t s = from;
#if defined(__GNUC__)
  typedef double values __attribute__((vector_size(4 * sizeof(double))));
  typedef long long masks __attribute__((vector_size(4 * sizeof(long long))));
  typedef int ints __attribute__((vector_size(4 * sizeof(int))));
  for (; s + 4 <= to; s += 4) {
    values first;
    std::memcpy(&first, x + s, sizeof first);
    masks negated = {0, 0, 0, 0};  // a true comparison is -1
#pragma GCC unroll 10
    for (int j = 1; j < M; ++j) {
      if (j > levels) break;
      values later;
      std::memcpy(&later, x + s + size_t(j) * tau, sizeof later);
      negated += first > later;
      const ints counted = __builtin_convertvector(-negated, ints);
      std::memcpy(&below[j - 1][s], &counted, sizeof counted);
    }
  }
#endif
  for (; s < to; ++s) {
    int counted = 0;
    for (int j = 1; j <= levels; ++j) {
      counted += x[s] > x[s + size_t(j) * tau];
      below[j - 1][s] = counted;
    }
  }
}

// The rank codes of the `count` vectors starting at x[0], x[1], ...
//
// Overlapping vectors share their comparisons: v_k > v_l of vector t is
// x(s) > x(s + (l-k) tau) with s = t + k tau, a comparison vector s makes of
// its first value too. So each position is compared once with the M-1
// samples after it (count_below), and the code of t,
//   sum over k < M-1 of below[M-2-k][t + k tau] (M-1-k)!,
// is taken by Horner's rule, (..((b_{M-1} (M-1) + b_{M-2}) (M-2) + ..) 2 +
// b_1, in whole numbers: M-1 comparisons a vector instead of M(M-1)/2.
// A block of vectors needs its comparisons (M-2) tau positions further on,
// so vectors far apart are coded one by one instead.
template <int M>
void rank_codes(const double* x, size_t tau, size_t count, uint32_t* code) {
  const size_t reach = size_t(M - 2) * tau;
  if (reach > span / 4) return rank_codes_apart<M>(x, tau, count, code);
  int below[M - 1][span];
  const size_t step = span - reach;
  for (size_t first = 0; first < count; first += step) {
    const size_t n = std::min(step, count - first);
    // Past the block's first positions a position is only a later value of
    // its vectors, so it needs fewer comparisons, and the samples they would
    // read past the last vector are never read.
    count_below<M>(x + first, tau, 0, n, M - 1, below);
    for (int k = 1; k < M - 1; ++k)
      count_below<M>(x + first, tau, n + size_t(k - 1) * tau, n + size_t(k) * tau, M - 1 - k,
                     below);
    size_t t = 0;
#if defined(__GNUC__)
    typedef int ints __attribute__((vector_size(4 * sizeof(int))));
    for (; t + 4 <= n; t += 4) {
      ints sum;
      std::memcpy(&sum, &below[M - 2][t], sizeof sum);
#pragma GCC unroll 10
      for (int k = 1; k < M - 1; ++k) {
        ints counted;
        std::memcpy(&counted, &below[M - 2 - k][t + size_t(k) * tau], sizeof counted);
        sum = sum * (M - k) + counted;
      }
      std::memcpy(code + first + t, &sum, sizeof sum);
    }
#endif
    for (; t < n; ++t) {
      uint32_t sum = uint32_t(below[M - 2][t]);
      for (int k = 1; k < M - 1; ++k)
        sum = sum * uint32_t(M - k) + uint32_t(below[M - 2 - k][t + size_t(k) * tau]);
      code[first + t] = sum;
    }
  }
}

using codes_function = void (*)(const double*, size_t, size_t, uint32_t*);

codes_function rank_codes_for(int m) {
  switch (m) {
    case 2: return rank_codes<2>;
    case 3: return rank_codes<3>;
    case 4: return rank_codes<4>;
    case 5: return rank_codes<5>;
    case 6: return rank_codes<6>;
    case 7: return rank_codes<7>;
    case 8: return rank_codes<8>;
    case 9: return rank_codes<9>;
    default: return rank_codes<10>;
  }
}

// The weight of the vector: the mean of its squared deviations from its
// mean, each sum taken in order.
inline double weight_of(const double* v, size_t tau, int m) {
  double sum = 0;
  for (int k = 0; k < m; ++k) sum += v[size_t(k) * tau];
  const double mean = sum / m;
  double squares = 0;
  for (int k = 0; k < m; ++k) {
    const double deviation = v[size_t(k) * tau] - mean;
    squares += deviation * deviation;
  }
  return squares / m;
}

// Vectors per task: enough to pay for taking one.
constexpr size_t block = 65536;

// c (m! values) for the N samples x, N >= (m-1) tau + 1, 2 <= m <= 10; then
// H and Hn.
void permutation_entropy(const double* x, size_t N, int m, size_t tau, bool weighted, double* H,
                         double* Hn, double* c, int threads) {
  const size_t patterns = factorial[m];
  const size_t T = N - size_t(m - 1) * tau;
  const size_t blocks = (T + block - 1) / block;
  // Each thread's count table costs 8 m! bytes: a table per thread only where
  // the vectors outnumber the patterns it holds.
  const double work = double(T) * m * m;
  threads = parallel::threads_for(work, 2e6, long(blocks), threads);
  while (threads > 1 && double(patterns) * (threads - 1) > double(T)) --threads;

  // Counts and weights by rank code; each code's sum then goes to its
  // pattern's place (a one-to-one map: the sums are unchanged).
  big_buffer::vector<double> by_code(patterns);
  if (!weighted) {
    std::vector<parallel::own_vector<uint64_t>> counts(static_cast<size_t>(threads));
    for (auto& table : counts) table.assign(patterns, 0);
    const codes_function codes_of = rank_codes_for(m);
    parallel::run(long(blocks), threads, [&](long b, int worker) {
      uint64_t* table = counts[size_t(worker)].data();
      constexpr size_t step = 1024;
      uint32_t code[step];
      const size_t end = std::min(T, size_t(b + 1) * block);
      for (size_t t = size_t(b) * block; t < end; t += step) {
        const size_t here = std::min(step, end - t);
        codes_of(x + t, tau, here, code);
        for (size_t j = 0; j < here; ++j) ++table[code[j]];
      }
    });
    for (size_t p = 0; p < patterns; ++p) {
      uint64_t total = 0;
      for (const auto& table : counts) total += table[p];
      by_code[p] = double(total);
    }
  } else {
    big_buffer::vector<uint32_t> code(T);
    big_buffer::vector<double> weight(T);
    const codes_function codes_of = rank_codes_for(m);
    parallel::run(long(blocks), threads, [&](long b, int) {
      const size_t start = size_t(b) * block, end = std::min(T, start + block);
      codes_of(x + start, tau, end - start, code.data() + start);
      for (size_t t = start; t < end; ++t) weight[t] = weight_of(x + t, tau, m);
    });
    std::fill(by_code.begin(), by_code.end(), 0.0);
    for (size_t t = 0; t < T; ++t) by_code[code[t]] += weight[t];
  }
  const size_t chunks = (patterns + block - 1) / block;
  parallel::run(long(chunks), parallel::threads_for(double(patterns) * m * m, 2e6, long(chunks), threads),
                [&](long chunk, int) {
                  const size_t end = std::min(patterns, size_t(chunk + 1) * block);
                  for (size_t k = size_t(chunk) * block; k < end; ++k)
                    c[pattern_of_code(uint32_t(k), m)] = by_code[k];
                });

  double total = 0;
  for (size_t p = 0; p < patterns; ++p) total += c[p];
  double sum = 0;
  for (size_t p = 0; p < patterns; ++p)
    if (c[p] > 0) {
      const double share = c[p] / total;
      sum += share * std::log(share);
    }
  *H = 0 - sum;  // +0, not -0, for a single pattern
  *Hn = *H / std::log(double(patterns));
}

enum { IN_X = 0, IN_M, IN_TAU, IN_WEIGHTED, IN_COUNT };
enum { OUT_H = 0, OUT_HN, OUT_C, OUT_COUNT };

bool is_whole(double value) { return std::isfinite(value) && std::floor(value) == value; }

// weighted at its position, when given: true or false, as a logical or as
// the double 0 or 1.
bool weighted_from(int nrhs, const mxArray* prhs[]) {
  if (nrhs <= IN_WEIGHTED) return false;
  const mxArray* given = prhs[IN_WEIGHTED];
  if (mxGetClassID(given) == mxLOGICAL_CLASS && !mxIsSparse(given)) {
    if (host::all_elements(given) == 0) host::fail(host::empty_input_message(IN_WEIGHTED + 1));
    return static_cast<const unsigned char*>(mxGetData(given))[0] != 0;
  }
  const double value = host::first_element(given, IN_WEIGHTED + 1);
  if (value != 0 && value != 1) host::fail("weighted must be true or false (1 or 0)");
  return value == 1;
}

std::string whole_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, value < 0x1p63 ? "%.0f" : "%.17g", value);
  return text;
}

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < 1) host::fail("x must be given");
  if (nrhs > IN_COUNT) host::fail("At most four inputs: x, m, tau and weighted");
  host::require_real_double_inputs(nrhs, prhs, IN_WEIGHTED);
  if (nrhs > IN_WEIGHTED && mxGetClassID(prhs[IN_WEIGHTED]) != mxLOGICAL_CLASS)
    host::require_real_double(prhs[IN_WEIGHTED], IN_WEIGHTED + 1);

  const auto [x, N] = neighbours::series_from(prhs[IN_X]);

  double m = 3, tau = 1;
  if (nrhs > IN_M) {
    m = host::first_element(prhs[IN_M], IN_M + 1);
    if (!is_whole(m) || m < 2 || m > max_order) host::fail("m must be a whole number from 2 to 10");
  }
  if (nrhs > IN_TAU) {
    tau = host::first_element(prhs[IN_TAU], IN_TAU + 1);
    if (!is_whole(tau) || tau < 1) host::fail("tau must be a whole number, at least 1");
  }
  const bool weighted = weighted_from(nrhs, prhs);

  const double needed = (m - 1) * tau + 1;
  if (!(double(N) >= needed))
    host::fail("x is too short: m = " + whole_number(m) + " and tau = " + whole_number(tau) +
               " need at least " + whole_number(needed) + " samples");

  const int order = int(m);
  mxArray* outputs[OUT_COUNT] = {host::create_matrix_to_fill(1, 1),
                                 host::create_matrix_to_fill(1, 1),
                                 host::create_matrix_to_fill(factorial[order], 1)};
  permutation_entropy(x, N, order, size_t(tau), weighted, mxGetPr(outputs[OUT_H]),
                      mxGetPr(outputs[OUT_HN]), mxGetPr(outputs[OUT_C]), parallel::thread_budget());
  for (int k = 0; k < std::max(nlhs, 1) && k < OUT_COUNT; ++k) plhs[k] = outputs[k];
}
