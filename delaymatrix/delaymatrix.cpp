// delaymatrix: delay embedding of several simultaneously sampled series.
//
//   [E, p_max] = delaymatrix(X, dims)
//   [E, p_max] = delaymatrix(X, dims, delays)
//   [E, p_max] = delaymatrix(X, dims, delays, shifts)
//
// X is M x N, one series per column. Series i contributes dims(i) lagged
// copies, delays(i) samples apart, read shifts(i-1) samples later than the
// current time (series 0 is never shifted). Its window is
// w_i = (dims(i) - 1) * delays(i) + 1 samples; p_max is the largest window.
// Row r of E is the time t = p_max - 1 + r, for t up to M - 2, so that a
// following sample always exists; the column for copy m of series i holds
// X(t - m * delays(i) + shift_i, i). Columns go series by series, copies in
// order. Defaults: delays all 1, shifts all 0.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "host/host.h"

namespace {

// Position of the first largest of the values (a later one wins only when
// strictly greater); 0 when there are none.
int max(const int* values, int count) {
  int best = 0;
  for (int i = 1; i < count; ++i)
    if (values[i] > values[best]) best = i;
  return best;
}

// The longest embedding window over the n series. windows is room for n
// window lengths. The values must be whole, non-negative and small enough
// that every window fits an int (the gateway makes sure of it).
int get_p_max_index(const double* dims, const double* delays, int n, int* windows) {
  if (n <= 0) return 0;  // no series, no window (and no first element to take)
  for (int i = 0; i < n; ++i) windows[i] = (int(dims[i]) - 1) * int(delays[i]) + 1;
  return windows[max(windows, n)];
}

// Fills out, column-major, with the (M - p_max) x sum(dims) embedding of the
// M x n series X. shifts holds n - 1 values and is not read when n = 1. Every
// read stays inside its series when 0 <= shift_i + p_max - 1 - (d_i - 1) * tau_i
// and shift_i <= 1 for every series with d_i > 0, and p_max <= M.
void embed(const double* X, long M, int n, const double* dims, const double* delays,
           const double* shifts, int p_max, double* out) {
  // Without rows there is nothing to write, however many columns were asked for.
  if (M - p_max <= 0) return;
  long j = 0;
  for (int i = 0; i < n; ++i) {
    // A series without copies adds no column; its shift is never needed.
    if (dims[i] == 0) continue;
    const long tau = long(delays[i]);
    const long s = i == 0 ? 0 : long(shifts[i - 1]);
    const double* series = X + long(i) * M;
    for (long m = 0; double(m) < dims[i]; ++m) {
      // Samples first ... end - 1 of the series, one run in time order.
      const long first = p_max - m * tau + s - 1;
      const long end = M - m * tau - 1 + s;
      std::copy(series + first, series + end, out + j);
      j += end - first;
    }
  }
}

// Dimensions and delays are counts held in doubles: whole, not negative, and
// within the 32-bit range the window arithmetic uses.
bool is_count(double value) {
  return value >= 0 && value <= 2147483647.0 && std::floor(value) == value;
}

bool is_whole(double value) { return std::isfinite(value) && std::floor(value) == value; }

enum { IN_SERIES = 0, IN_DIMS, IN_DELAYS, IN_SHIFTS, IN_MAX };
enum { OUT_EMBEDDING = 0, OUT_WINDOW };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_DELAYS || nrhs > IN_MAX) host::fail("wrong number of input arguments");

  // Class tests, last input first. Sparse storage is refused with the class:
  // its values are not an M x N block of doubles.
  if (nrhs > IN_SHIFTS && !host::is_real_double(prhs[IN_SHIFTS]))
    host::fail("corrupt input arg 4");
  if (nrhs > IN_DELAYS && !host::is_real_double(prhs[IN_DELAYS]))
    host::fail("corrupt input arg 3");
  if (!host::is_real_double(prhs[IN_DIMS]) || !host::is_real_double(prhs[IN_SERIES]))
    host::fail("corrupt input arg 1 or 2");

  const double* X = mxGetPr(prhs[IN_SERIES]);
  const size_t M = mxGetM(prhs[IN_SERIES]);
  const size_t series_count = mxGetN(prhs[IN_SERIES]);
  const double* dims = mxGetPr(prhs[IN_DIMS]);
  // No dimension vector that long can exist in the 32-bit sizes the
  // embedding uses.
  if (series_count > size_t(INT32_MAX) || M > size_t(INT32_MAX))
    host::fail("wrong matrix dimensions");
  const int N = int(series_count);

  std::optional<host::working_memory<double>> default_shifts, default_delays;
  const double* shifts = nrhs > IN_SHIFTS ? mxGetPr(prhs[IN_SHIFTS]) : nullptr;
  const double* delays = nrhs > IN_DELAYS ? mxGetPr(prhs[IN_DELAYS]) : nullptr;
  if (nrhs <= IN_SHIFTS && N >= 2) {
    default_shifts.emplace(size_t(N - 1));
    if (!default_shifts->get()) host::fail("mexFunction(): error while allocating memory");
    for (int i = 0; i < N - 1; ++i) default_shifts->get()[i] = 0;
    shifts = default_shifts->get();
  }
  if (nrhs <= IN_DELAYS) {
    default_delays.emplace(size_t(N));
    if (!default_delays->get()) host::fail("mexFunction(): error while allocating memory");
    for (int i = 0; i < N; ++i) default_delays->get()[i] = 1;
    delays = default_delays->get();
  }

  auto is_row_of = [](const mxArray* a, size_t n) { return mxGetM(a) == 1 && mxGetN(a) == n; };
  if (nrhs > IN_DELAYS && !is_row_of(prhs[IN_DELAYS], size_t(N)))
    host::fail("wrong matrix dimensions");
  if (!is_row_of(prhs[IN_DIMS], size_t(N))) host::fail("wrong matrix dimensions");
  if (nrhs > IN_SHIFTS && N >= 2 && !is_row_of(prhs[IN_SHIFTS], size_t(N - 1)))
    host::fail("wrong matrix dimensions");

  // Values outside these ranges would make the embedding read outside the
  // series or overrun its own columns, so they are refused before any use.
  double columns = 0;
  for (int i = 0; i < N; ++i) {
    if (!is_count(dims[i])) host::fail("dimensions must be whole numbers from 0 to 2147483647");
    columns += dims[i];
  }
  if (columns > 2147483647.0) host::fail("too many columns in the embedding");
  for (int i = 0; i < N; ++i)
    if (!is_count(delays[i])) host::fail("delays must be whole numbers from 0 to 2147483647");
  for (int i = 0; i + 1 < N; ++i)
    if (!is_whole(shifts[i])) host::fail("shifts must be whole numbers");
  // Exact in doubles for windows up to the series length.
  for (int i = 0; i < N; ++i)
    if ((dims[i] - 1) * delays[i] + 1 > double(M))
      host::fail("embedding window longer than the series");

  int p_max = 0;
  {
    host::working_memory<int> windows{size_t(N)};
    if (!windows.get()) host::fail("get_p_max_index(): error while allocating memory");
    p_max = get_p_max_index(dims, delays, N, windows.get());
  }

  // A shift of more than 1 would read past the last sample; a shift below
  // the room the longest window leaves would read before the first.
  for (int i = 1; i < N; ++i) {
    if (dims[i] == 0) continue;
    const double s = shifts[i - 1];
    if (s > 1 || s < (dims[i] - 1) * delays[i] + 1 - p_max)
      host::fail("shifts reach outside the series");
  }

  // Every element is copied in below: no need to clear them first.
  plhs[OUT_EMBEDDING] = host::create_matrix_to_fill(size_t(long(M) - p_max), size_t(columns));
  if (!plhs[OUT_EMBEDDING]) host::fail("embed(): error while allocating memory");
  embed(X, long(M), N, dims, delays, shifts, p_max, mxGetPr(plhs[OUT_EMBEDDING]));

  // The host offers a second slot only when two outputs were asked for.
  if (nlhs > OUT_WINDOW) {
    plhs[OUT_WINDOW] = mxCreateDoubleMatrix(1, 1, mxREAL);
    if (!plhs[OUT_WINDOW]) host::fail("mexFunction(): error while allocating memory");
    mxGetPr(plhs[OUT_WINDOW])[0] = p_max;
  }
}
