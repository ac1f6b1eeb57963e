// dfa: detrended fluctuation analysis of a series, multifractal when asked.
//
//   F = dfa(x, n, order, q)
//
// The profile of the N samples x is Y(k) = sum over i <= k of (x(i) - mu),
// mu = sum x / N, both summed in order. For each box size n there are
// 2 floor(N/n) windows of n samples: K = floor(N/n) from the start
// (window v = 1 ... K holds Y((v-1) n + 1 ... v n)) and as many from the
// end (window K + j holds Y(N - j n + 1 ... N - (j-1) n)). In each window a
// least-squares polynomial of degree `order` is fitted to Y over the
// abscissae 1 ... n; F2(v) is the mean of the squared residuals. Then, over
// the windows in order,
//
//   q = 2:     F(n) = sqrt(mean of F2(v));
//   q = 0:     F(n) = exp(mean of ln F2(v) / 2);
//   otherwise: F(n) = (mean of F2(v)^(q/2))^(1/q).
//
// Defaults: order = 1, q = 2. F is numel(n) x numel(q).
//
// The fit projects the window on the monic polynomials orthogonal on the
// centred abscissae s = i - (n+1)/2 (P_0 = 1, P_1 = s,
// P_{k+1} = s P_k - b_k P_{k-1}, b_k = k^2 (n^2 - k^2) / (4 (4k^2 - 1))),
// after taking the window's first value off (so that a large offset costs
// no precision), and then sums the residuals' squares explicitly in a second
// pass: a residual that is tiny beside the window's values keeps its
// precision, which subtracting the projections' squares from the sum of
// squares would lose. Windows of up to 48 samples are summed in order, eight
// windows side by side; longer ones in eight interleaved partial sums, added
// at the end in a fixed order. Results agree with an exact fit to about 1e-12
// of the spread of the profile in the window, and, since the rounding
// depends on the processor and its library (log, pow), they are not bit for
// bit the same on every machine; they are on every thread count: each
// window's F2 is computed on its own, and the means run in window order on
// the calling thread. Memory besides x and F: the profile (8 bytes per
// sample) and 8 bytes per window of the sizes computed together: as many
// windows as samples, or those of the smallest size when it has more.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/series.h"

namespace {

constexpr int max_order = 5;
constexpr int lanes = 8;

// Windows of up to this many samples are taken eight at a time, a window a
// lane; longer ones one at a time, eight samples a step.
constexpr size_t short_window = 48;

// The centred abscissae of one box size and what the fit needs of them.
struct basis {
  size_t n;
  double centre;              // (n - 1) / 2, so that s = i - centre for i = 0 ... n-1
  double b[max_order + 1];    // recurrence coefficients b_1 ... b_{order-1}
  double norm[max_order + 1]; // sum over the window of P_k^2
  double P[short_window][max_order + 1];  // P_k(s) of a short window's samples
};

basis basis_for(size_t n, int order) {
  basis B{};
  B.n = n;
  B.centre = double(n - 1) / 2;
  const double nn = double(n) * double(n);
  for (int k = 1; k <= max_order; ++k) B.b[k] = double(k * k) * (nn - k * k) / (4.0 * (4 * k * k - 1));
  double P[max_order + 1];
  for (int k = 0; k <= order; ++k) B.norm[k] = 0;
  for (size_t i = 0; i < n; ++i) {
    const double s = double(i) - B.centre;
    P[0] = 1;
    if (order >= 1) P[1] = s;
    for (int k = 1; k < order; ++k) P[k + 1] = s * P[k] - B.b[k] * P[k - 1];
    for (int k = 0; k <= order; ++k) B.norm[k] += P[k] * P[k];
    if (n <= short_window)
      for (int k = 0; k <= order; ++k) B.P[i][k] = P[k];
  }
  return B;
}

// Eight lanes of doubles, each operated on alone, as scalars would be: on
// GCC and Clang a vector type (packed instructions, several independent
// sums in flight), elsewhere a plain array. Both give the same bits.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpsabi"  // only ever inlined, never passed across a call
typedef double quad __attribute__((vector_size(lanes * sizeof(double))));
inline quad splat(double v) { return quad{v, v, v, v, v, v, v, v}; }
#else
struct quad {
  double v[lanes];
  double operator[](int l) const { return v[l]; }
  double& operator[](int l) { return v[l]; }
};
inline quad splat(double v) { return quad{{v, v, v, v, v, v, v, v}}; }
#define QUAD_OP(op)                                                          \
  inline quad operator op(quad a, quad b) {                                  \
    for (int l = 0; l < lanes; ++l) a.v[l] = a.v[l] op b.v[l];               \
    return a;                                                                \
  }                                                                          \
  inline quad& operator op##=(quad& a, quad b) { return a = a op b; }
QUAD_OP(+)
QUAD_OP(-)
QUAD_OP(*)
#undef QUAD_OP
#endif

inline quad load(const double* p) {
  quad q;
  std::memcpy(&q, p, sizeof q);
  return q;
}

// The lanes added pairwise, in a fixed order.
inline double lane_sum(const quad& q) {
  return ((q[0] + q[1]) + (q[2] + q[3])) + ((q[4] + q[5]) + (q[6] + q[7]));
}

// The basis values P_0 ... P_D at the abscissae s.
template <int D>
inline void evaluate(const quad& s, const quad* b, quad* P) {
  P[0] = splat(1);
  if (D >= 1) P[1] = s;
  for (int k = 1; k < D; ++k) P[k + 1] = s * P[k] - b[k] * P[k - 1];
}

// F2 of the window y[0 ... n-1] for a fit of degree D. The abscissae
// s = i - centre are half or whole numbers, exact as they are stepped. The
// samples past the last whole group of eight count in lanes 0 ... 6.
template <int D>
double window_f2(const double* y, const basis& B) {
  const size_t n = B.n, whole = n - n % lanes;
  quad b[max_order + 1];
  for (int k = 0; k <= max_order; ++k) b[k] = splat(B.b[k]);
  const quad y0 = splat(y[0]), step = splat(lanes);
  quad first = splat(0 - B.centre);
  for (int l = 0; l < lanes; ++l) first[l] += l;
  double tail[lanes] = {};
  for (size_t i = whole; i < n; ++i) tail[i - whole] = y[i];
  quad last_y = load(tail), last_mask = splat(0);
  for (size_t i = whole; i < n; ++i) last_mask[i - whole] = 1;

  quad S[D + 1], P[D + 1];
  for (int k = 0; k <= D; ++k) S[k] = splat(0);
  quad s = first;
  for (size_t i = 0; i < whole; i += lanes) {
    const quad d = load(y + i) - y0;
    evaluate<D>(s, b, P);
    for (int k = 0; k <= D; ++k) S[k] += d * P[k];
    s += step;
  }
  if (whole < n) {
    const quad d = (last_y - y0) * last_mask;
    evaluate<D>(s, b, P);
    for (int k = 0; k <= D; ++k) S[k] += d * P[k];
  }
  quad a[D + 1];
  for (int k = 0; k <= D; ++k)
    a[k] = splat(lane_sum(S[k]) / B.norm[k]);

  quad R = splat(0);
  s = first;
  for (size_t i = 0; i < whole; i += lanes) {
    evaluate<D>(s, b, P);
    quad r = (load(y + i) - y0) - a[0];
    for (int k = 1; k <= D; ++k) r -= a[k] * P[k];
    R += r * r;
    s += step;
  }
  if (whole < n) {
    evaluate<D>(s, b, P);
    quad r = (last_y - y0) - a[0];
    for (int k = 1; k <= D; ++k) r -= a[k] * P[k];
    r = r * last_mask;
    R += r * r;
  }
  return lane_sum(R) / double(n);
}

// F2 of eight short windows, window[0 ... 7], each n <= short_window
// samples, a window a lane: the sums run over the samples in order.
template <int D>
void short_windows_f2(const double* const* window, const basis& B, double* F2) {
  const size_t n = B.n;
  quad y0, d;
  for (int l = 0; l < lanes; ++l) y0[l] = window[l][0];
  quad S[D + 1];
  for (int k = 0; k <= D; ++k) S[k] = splat(0);
  for (size_t i = 0; i < n; ++i) {
    for (int l = 0; l < lanes; ++l) d[l] = window[l][i];
    d -= y0;
    for (int k = 0; k <= D; ++k) S[k] += d * splat(B.P[i][k]);
  }
  quad a[D + 1];
  for (int k = 0; k <= D; ++k)
    for (int l = 0; l < lanes; ++l) a[k][l] = S[k][l] / B.norm[k];
  quad R = splat(0);
  for (size_t i = 0; i < n; ++i) {
    for (int l = 0; l < lanes; ++l) d[l] = window[l][i];
    quad r = (d - y0) - a[0];
    for (int k = 1; k <= D; ++k) r -= a[k] * splat(B.P[i][k]);
    R += r * r;
  }
  for (int l = 0; l < lanes; ++l) F2[l] = R[l] / double(n);
}

void short_windows_f2(const double* const* window, const basis& B, int order, double* F2) {
  switch (order) {
    case 0: return short_windows_f2<0>(window, B, F2);
    case 1: return short_windows_f2<1>(window, B, F2);
    case 2: return short_windows_f2<2>(window, B, F2);
    case 3: return short_windows_f2<3>(window, B, F2);
    case 4: return short_windows_f2<4>(window, B, F2);
    default: return short_windows_f2<5>(window, B, F2);
  }
}

double window_f2(const double* y, const basis& B, int order) {
  switch (order) {
    case 0: return window_f2<0>(y, B);
    case 1: return window_f2<1>(y, B);
    case 2: return window_f2<2>(y, B);
    case 3: return window_f2<3>(y, B);
    case 4: return window_f2<4>(y, B);
    default: return window_f2<5>(y, B);
  }
}

// Y(k) = sum over i <= k of (x(i) - mu), in order.
void profile(const double* x, size_t N, double* Y) {
  double mu = 0;
  for (size_t t = 0; t < N; ++t) mu += x[t];
  mu = mu / double(N);
  double sum = 0;
  for (size_t t = 0; t < N; ++t) {
    sum += x[t] - mu;
    Y[t] = sum;
  }
}

// The windows of one size n of the profile Y (N values), order + 2 <= n
// <= N, shared out in tasks: F2 of its 2K windows, K = floor(N/n), go to
// F2[0 ... 2K-1] in window order. Start window v and end window 2K-1-v
// (from 0) lie N - K n samples apart, so each task takes both: the second
// finds most of its samples in cache.
struct size_windows {
  size_t n, K, shift, per_task;
  basis B;
  double* F2;
  size_windows(size_t N, size_t n_, int order, double* F2_)
      : n(n_), K(N / n_), shift(N - K * n_),
        // Pairs of windows per task: about 2^15 samples.
        per_task(std::max<size_t>(1, (size_t(1) << 15) / n_)),
        B(basis_for(n_, order)),
        F2(F2_) {}
  long tasks() const { return long((K + per_task - 1) / per_task); }

  void run_task(const double* Y, long task, int order) const {
    const size_t first = size_t(task) * per_task, end = std::min(K, first + per_task);
    if (n > short_window) {
      for (size_t v = first; v < end; ++v) {
        F2[v] = window_f2(Y + v * n, B, order);
        F2[2 * K - 1 - v] = window_f2(Y + v * n + shift, B, order);
      }
      return;
    }
    // Short windows eight at a time, pairs in order; the last group filled
    // up with its first window, whose repeats are dropped.
    const double* window[lanes];
    size_t place[lanes];
    int filled = 0;
    const auto flush = [&] {
      double out[lanes];
      for (int l = filled; l < lanes; ++l) window[l] = window[0];
      short_windows_f2(window, B, order, out);
      for (int l = 0; l < filled; ++l) F2[place[l]] = out[l];
      filled = 0;
    };
    for (size_t v = first; v < end; ++v) {
      window[filled] = Y + v * n, place[filled++] = v;
      window[filled] = Y + v * n + shift, place[filled++] = 2 * K - 1 - v;
      if (filled == lanes) flush();
    }
    if (filled) flush();
  }
};

// F2 of the windows of the sizes `batch`, in one run of the threads: the
// tasks of the first size, then of the next, and so on.
void window_fluctuations(const double* Y, const std::vector<size_windows>& batch, int order,
                         int threads) {
  std::vector<long> first_task(batch.size() + 1, 0);
  double work = 0;
  for (size_t b = 0; b < batch.size(); ++b) {
    first_task[b + 1] = first_task[b] + batch[b].tasks();
    work += 2 * double(batch[b].K) * double(batch[b].n) * (order + 2);
  }
  const long tasks = first_task.back();
  threads = parallel::threads_for(work, 2e5, tasks, threads);
  parallel::run(tasks, threads, [&](long task, int) {
    const size_t b = size_t(std::upper_bound(first_task.begin(), first_task.end(), task) -
                            first_task.begin()) - 1;
    batch[b].run_task(Y, task - first_task[b], order);
  });
}

// The moment q of the window fluctuations F2[0 ... windows-1], in order.
double moment(const double* F2, size_t windows, double q) {
  double sum = 0;
  if (q == 2) {
    for (size_t v = 0; v < windows; ++v) sum += F2[v];
    return std::sqrt(sum / double(windows));
  }
  if (q == 0) {
    for (size_t v = 0; v < windows; ++v) sum += std::log(F2[v]);
    return std::exp(sum / double(windows) / 2);
  }
  for (size_t v = 0; v < windows; ++v) sum += std::pow(F2[v], q / 2);
  return std::pow(sum / double(windows), 1 / q);
}

// F (sizes x moments, column-major) for the N samples x. The sizes run a
// batch at a time, each batch's windows in one run of the threads (one
// start and one wait for many sizes), the largest windows first so that
// the last tasks are short; a batch holds as many sizes as fit in room for
// max(N, the most windows of a size) values of F2.
void fluctuation_function(const double* x, size_t N, const double* n, size_t sizes, int order,
                          const double* q, size_t moments, double* F, int threads) {
  big_buffer::vector<double> Y(N);
  profile(x, N, Y.data());
  std::vector<size_t> largest_first(sizes);
  std::iota(largest_first.begin(), largest_first.end(), size_t(0));
  std::stable_sort(largest_first.begin(), largest_first.end(),
                   [&](size_t a, size_t b) { return n[a] > n[b]; });
  size_t room = N;
  for (size_t s = 0; s < sizes; ++s) room = std::max(room, 2 * (N / size_t(n[s])));
  big_buffer::vector<double> F2(room);
  for (size_t next = 0; next < sizes;) {
    std::vector<size_windows> batch;
    std::vector<size_t> members;
    for (size_t used = 0; next < sizes; ++next) {
      const size_t s = largest_first[next], windows = 2 * (N / size_t(n[s]));
      if (!batch.empty() && used + windows > room) break;
      batch.emplace_back(N, size_t(n[s]), order, F2.data() + used);
      members.push_back(s);
      used += windows;
    }
    window_fluctuations(Y.data(), batch, order, threads);
    for (size_t b = 0; b < batch.size(); ++b)
      for (size_t j = 0; j < moments; ++j)
        F[members[b] + j * sizes] = moment(batch[b].F2, 2 * batch[b].K, q[j]);
  }
}

bool is_whole(double value) { return std::isfinite(value) && std::floor(value) == value; }

std::string whole_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

enum { IN_X = 0, IN_N, IN_ORDER, IN_Q, IN_COUNT };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  (void)nlhs;
  if (nrhs < IN_ORDER) host::fail("x and n must be given");
  if (nrhs > IN_COUNT) host::fail("At most four inputs: x, n, order and q");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const auto [x, N] = neighbours::series_from(prhs[IN_X]);

  double order = 1;
  if (nrhs > IN_ORDER) {
    order = host::first_element(prhs[IN_ORDER], IN_ORDER + 1);
    if (!is_whole(order) || order < 0 || order > max_order)
      host::fail("order must be a whole number from 0 to 5");
  }
  const double* n = mxGetPr(prhs[IN_N]);
  const size_t sizes = host::all_elements(prhs[IN_N]);
  for (size_t s = 0; s < sizes; ++s)
    if (!is_whole(n[s]) || n[s] < order + 2 || n[s] > double(N))
      host::fail("n must hold whole numbers from order + 2 = " + whole_number(order + 2) +
                 " to the length of x, " + whole_number(double(N)));

  static const double default_q = 2;
  const double* q = &default_q;
  size_t moments = 1;
  if (nrhs > IN_Q) {
    q = mxGetPr(prhs[IN_Q]);
    moments = host::all_elements(prhs[IN_Q]);
    for (size_t j = 0; j < moments; ++j)
      if (!std::isfinite(q[j])) host::fail("q must not hold NaN or Inf");
  }

  plhs[0] = host::create_matrix_to_fill(sizes, moments);
  fluctuation_function(x, N, n, sizes, int(order), q, moments, mxGetPr(plhs[0]),
                       parallel::thread_budget());
}
