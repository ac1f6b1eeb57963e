// What the modules that embed one series in delay coordinates share: the
// series and its scalar inputs read and checked once here, with their
// messages, the series' spread, and the columns of its delay vectors.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/host.h"
#include "neighbours/inputs.h"

namespace neighbours {

// sigma = sqrt(sum (x(t) - mu)^2 / N), mu = sum x(t) / N, both sums in
// ascending t. Needs nothing of the host.
inline double spread_of(const double* x, size_t N) {
  double mu = 0;
  for (size_t t = 0; t < N; ++t) mu += x[t];
  mu = mu / double(N);
  double squares = 0;
  for (size_t t = 0; t < N; ++t) {
    const double deviation = x[t] - mu;
    squares += deviation * deviation;
  }
  return std::sqrt(squares / double(N));
}

// The m coordinates of the delay vectors (x(t), x(t + tau), ...,
// x(t + (m - 1) tau)): runs of the one series. Needs nothing of the host.
inline std::vector<const double*> delay_columns(const double* x, size_t m, size_t tau) {
  std::vector<const double*> columns(m);
  for (size_t c = 0; c < m; ++c) columns[c] = x + c * tau;
  return columns;
}

struct series {
  const double* x;
  size_t N;
};

// x: a vector (any number of samples, also none) of finite values.
inline series series_from(const mxArray* array) {
  if (mxGetM(array) > 1 && mxGetN(array) > 1) host::fail("x must be a vector");
  const series s{mxGetPr(array), host::all_elements(array)};
  if (!all_finite(s.x, s.N)) host::fail("x must not hold NaN or Inf");
  return s;
}

// A whole number of at least `least` at `position` (from 0), else
// `fallback` when not given.
inline double whole_from(int nrhs, const mxArray* prhs[], int position, double fallback,
                         double least, const char* refused) {
  if (nrhs <= position) return fallback;
  const double value = host::first_element(prhs[position], position + 1);
  if (!is_whole(value) || value < least) host::fail(refused);
  return value;
}

// r at `position` (from 0): a number of at least 0 (Inf too); not given or
// empty, 0.2 times the spread of x (spread_of; Inf when it overflows, never
// NaN; 0 for no samples, which the length check refuses).
inline double radius_from(int nrhs, const mxArray* prhs[], int position, const series& s) {
  if (nrhs <= position || host::all_elements(prhs[position]) == 0)
    return s.N ? 0.2 * spread_of(s.x, s.N) : 0;
  const double r = host::first_element(prhs[position], position + 1);
  if (!(r >= 0)) host::fail("r must be a number, at least 0");
  return r;
}

// A whole number as a message shows it: in full up to 2^63, beyond that in
// the shortest form that reads back the same.
inline std::string whole_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, value < 0x1p63 ? "%.0f" : "%.17g", value);
  return text;
}

}  // namespace neighbours
