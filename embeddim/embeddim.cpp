// embeddim: how many delay coordinates a series needs, from its false
// nearest neighbours and from how neighbour distances grow with the
// dimension.
//
//   [F, E1, E2] = embeddim(x, mmax)
//   [F, E1, E2] = embeddim(x, mmax, tau, w, rtol, atol)
//
// For m = 1 ... mmax + 1 the series x (N samples) is embedded in m delay
// coordinates: v_m(t) = (x(t), x(t + tau), ..., x(t + (m-1) tau)) for
// t = 1 ... T_m, T_m = N - m tau. Each point's nearest neighbour n_m(t) is
// the s in 1 ... T_m with |t - s| > w nearest by the maximum norm, the lower
// s among equals; R_m(t) is its distance. The next coordinate adds
// delta_m(t) = |x(t + m tau) - x(n_m(t) + m tau)|, so the same pair lies
// R'_m(t) = max(R_m(t), delta_m(t)) apart in m + 1 dimensions. K_m holds the
// t with R_m(t) > 0.
//
//   sigma = sqrt(sum (x(t) - mu)^2 / N), mu = sum x(t) / N;
//   F(m)  = #{t in K_m : delta_m(t) / R_m(t) > rtol or R'_m(t) / sigma > atol} / #K_m,
//           the fraction of false nearest neighbours;
//   E(m)  = sum over t in K_m of R'_m(t) / R_m(t), divided by #K_m;
//   E*(m) = sum over t = 1 ... T_m of delta_m(t), divided by T_m;
//   E1(m) = E(m + 1) / E(m), E2(m) = E*(m + 1) / E*(m), for m = 1 ... mmax.
//
// Sums run in ascending t. When K_m is empty, F(m) and E(m) are NaN.
// Defaults: tau = 1, w = 0, rtol = 10, atol = 2.
//
// Each embedding's neighbours come from a k-d tree search (neighbours/),
// which is exact: n_m(t) and R_m(t) are what comparing every candidate
// gives. The trees are built, and the points searched, on threads; the sums
// of an embedding run in order on one thread, alongside the next
// embedding's build, so the results are the same for every thread count.
// One embedding is held at a time: its tree holds a copy of its m
// coordinates.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/inputs.h"
#include "neighbours/k_nearest.h"
#include "neighbours/series.h"

namespace {

using neighbours::row_t;
using neighbours::whole_from;
using neighbours::whole_number;

// The samples a call needs: (mmax + 1) tau + 2 w + 2, so that every point of
// the last embedding has a candidate; saturates rather than wraps.
double samples_needed(double mmax, double tau, double w) { return (mmax + 1) * tau + 2 * w + 2; }

// Seconds spent in each phase of a call, added up over the embeddings, for
// the benchmark's profile: on the wall clock, on the calling thread's clock
// and on the process's (all threads), so that a machine shared with other
// work still shows what runs serially (calling thread close to process) and
// what waits on memory (the process's seconds growing with the threads).
struct phase_times {
  enum { build, order, search, sums, phases };
  enum { wall, caller, process, clocks };
  double seconds[phases][clocks] = {};
};

inline void read_clocks(double* now) {
  timespec t;
  now[phase_times::wall] = std::chrono::duration<double>(
      std::chrono::steady_clock::now().time_since_epoch()).count();
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  now[phase_times::caller] = double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  now[phase_times::process] = double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// F, E1 and E2 (mmax values each) for the N samples x, which are at least
// samples_needed(mmax, tau, w).
void embedding_statistics(const double* x, size_t N, size_t mmax, size_t tau, uint64_t w,
                          double rtol, double atol, double* F, double* E1, double* E2,
                          int threads, phase_times* times = nullptr) {
  double mark[phase_times::clocks];
  if (times) read_clocks(mark);
  const auto lap = [&](int phase) {
    if (!times) return;
    double now[phase_times::clocks];
    read_clocks(now);
    for (int c = 0; c < phase_times::clocks; ++c) {
      times->seconds[phase][c] += now[c] - mark[c];
      mark[c] = now[c];
    }
  };
  const double sigma = neighbours::spread_of(x, N);

  std::vector<double> E(mmax + 1), E_star(mmax + 1);
  // Each point's neighbour and distance are stored at its place in leaf
  // order, the order it is searched in: each thread then writes one run of
  // entries, not entries scattered over the whole array next to those of the
  // other threads. The sums read them back in the order of t.
  big_buffer::vector<double> R(N);
  big_buffer::vector<row_t> nearest(N);
  // The sums of an embedding, in order of t, from its search's results.
  // They run alongside the next embedding's build, on one of its threads.
  const auto sums_of = [&](size_t m, const uint32_t* searched_at) {
    const size_t T = N - m * tau;
    const double* next = x + m * tau;  // the coordinate embedding m + 1 adds
    size_t in_K = 0, false_neighbours = 0;
    double ratios = 0, deltas = 0;
    for (size_t t = 0; t < T; ++t) {
      const size_t at = searched_at[t];
      const double delta = std::fabs(next[t] - next[nearest[at]]);
      deltas += delta;
      if (!(R[at] > 0)) continue;
      ++in_K;
      const double R_next = std::max(R[at], delta);
      ratios += R_next / R[at];
      false_neighbours += delta / R[at] > rtol || R_next / sigma > atol;
    }
    if (m <= mmax) F[m - 1] = in_K ? double(false_neighbours) / double(in_K) : NAN;
    E[m - 1] = in_K ? ratios / double(in_K) : NAN;
    E_star[m - 1] = deltas / double(T);
  };
  big_buffer::vector<uint32_t> searched_at;  // of the embedding searched last
  for (size_t m = 1; m <= mmax + 1; ++m) {
    const size_t T = N - m * tau;
    std::function<void()> sums_before;
    if (m > 1) sums_before = [&, m] { sums_of(m - 1, searched_at.data()); };
    lap(phase_times::sums);
    const neighbours::kd_tree tree(neighbours::delay_columns(x, m, tau), T, threads, sums_before);
    lap(phase_times::build);
    neighbours::leaf_ordered points = neighbours::in_leaf_order(tree, nullptr, T);
    lap(phase_times::order);
    neighbours::k_nearest(tree, neighbours::norm::maximum, 1, w, points.positions.data(), T,
                          threads, [&](size_t at, const double* distance, const row_t* found) {
                            R[at] = distance[0];
                            nearest[at] = found[0];
                          });
    lap(phase_times::search);
    searched_at = std::move(points.searched_at);
  }
  sums_of(mmax + 1, searched_at.data());
  lap(phase_times::sums);
  for (size_t m = 0; m < mmax; ++m) {
    E1[m] = E[m + 1] / E[m];
    E2[m] = E_star[m + 1] / E_star[m];
  }
}

double positive_from(int nrhs, const mxArray* prhs[], int position, double fallback,
                     const char* refused) {
  if (nrhs <= position) return fallback;
  const double value = host::first_element(prhs[position], position + 1);
  if (!(value > 0)) host::fail(refused);
  return value;
}

enum { IN_X = 0, IN_MMAX, IN_TAU, IN_W, IN_RTOL, IN_ATOL, IN_COUNT };
enum { OUT_F = 0, OUT_E1, OUT_E2, OUT_COUNT };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_TAU) host::fail("x and mmax must be given");
  if (nrhs > IN_COUNT) host::fail("At most six inputs: x, mmax, tau, w, rtol and atol");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const auto [x, N] = neighbours::series_from(prhs[IN_X]);

  const double mmax = whole_from(nrhs, prhs, IN_MMAX, 1, 1, "mmax must be a whole number, at least 1");
  const double tau = whole_from(nrhs, prhs, IN_TAU, 1, 1, "tau must be a whole number, at least 1");
  const uint64_t w = neighbours::window_from(nrhs, prhs, IN_W);
  const double rtol = positive_from(nrhs, prhs, IN_RTOL, 10, "rtol must be positive");
  const double atol = positive_from(nrhs, prhs, IN_ATOL, 2, "atol must be positive");

  const double needed = samples_needed(mmax, tau, double(w));
  if (!(double(N) >= needed))
    host::fail("x is too short: mmax = " + whole_number(mmax) + ", tau = " + whole_number(tau) +
               " and w = " + std::to_string(w) + " need at least " + whole_number(needed) +
               " samples");
  if (N > neighbours::max_rows) host::fail("x has too many samples");

  const size_t count = size_t(mmax);
  // All three are made; those not asked for the host releases.
  mxArray* outputs[OUT_COUNT];
  for (mxArray*& output : outputs) output = host::create_matrix_to_fill(count, 1);
  embedding_statistics(x, N, count, size_t(tau), w, rtol, atol, mxGetPr(outputs[OUT_F]),
                       mxGetPr(outputs[OUT_E1]), mxGetPr(outputs[OUT_E2]),
                       parallel::thread_budget());
  for (int k = 0; k < std::max(nlhs, 1) && k < OUT_COUNT; ++k) plhs[k] = outputs[k];
}
