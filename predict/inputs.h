// The inputs the forecasting modules share, read and checked once here with
// their messages: the series, E, tau, Tp, the library and prediction rows,
// and the candidates every prediction row needs.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/host.h"
#include "neighbours/inputs.h"
#include "neighbours/library_nearest.h"
#include "predict/forecast.h"

namespace predict {

// A number as a message shows it: whole numbers in full, others in short.
inline std::string number_text(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// A series: its values in storage order, finite.
struct series {
  const double* x;
  size_t N;
};
inline series series_from(const mxArray* array, const char* name) {
  const series s{mxGetPr(array), host::all_elements(array)};
  if (s.N > neighbours::max_rows) host::fail(std::string(name) + " has too many samples");
  if (!neighbours::all_finite(s.x, s.N)) host::fail(std::string(name) + " must not hold NaN or Inf");
  return s;
}

// A whole number of at least `least` at `position` (from 0), or `fallback`
// when not given. Values past 2^40 are 2^40: no series is that long.
inline size_t whole_from(int nrhs, const mxArray* prhs[], int position, size_t fallback,
                         double least, const std::string& refused) {
  if (nrhs <= position) return fallback;
  const double v = host::first_element(prhs[position], position + 1);
  if (!neighbours::is_whole(v) || v < least) host::fail(refused);
  return v > 0x1p40 ? size_t(1) << 40 : size_t(v);
}

// E and tau, and a series long enough for one row of their embedding.
inline embedding embedding_from(const series& s, int nrhs, const mxArray* prhs[], int e_at,
                                int tau_at, const char* name) {
  const size_t E = whole_from(nrhs, prhs, e_at, 1, 1, "E must be a whole number, at least 1");
  const size_t tau = whole_from(nrhs, prhs, tau_at, 1, 1, "tau must be a whole number, at least 1");
  if (double(E - 1) * double(tau) >= double(s.N))
    host::fail(std::string(name) + " is too short for E = " + std::to_string(E) + " and tau = " +
               std::to_string(tau) + ": it needs more than (E - 1) tau = " +
               number_text(double(E - 1) * double(tau)) + " samples");
  return embedding{s.x, s.N, E, tau};
}

// Tp: a whole number, at least 0; values past N act as N (no target).
inline size_t horizon_from(int nrhs, const mxArray* prhs[], int position, size_t fallback,
                           size_t N) {
  return std::min(whole_from(nrhs, prhs, position, fallback, 0, "Tp must be a whole number, at least 0"), N);
}

// A row number as the caller counts rows.
inline std::string row_text(uint64_t row) { return std::to_string(row + uint64_t(host::index_base)); }

// The library (name "lib", a set: sorted, each row once) or the prediction
// rows ("pred", in the caller's order) at `position`: row numbers of x with
// an embedding, and for the library with an observed target. Not given or
// empty, the default: every row with an embedding (and target).
inline std::vector<row_t> rows_from(int nrhs, const mxArray* prhs[], int position,
                                    const char* name, const embedding& e, size_t Tp,
                                    bool library) {
  const size_t last = library ? (Tp < e.N ? e.N - 1 - Tp : 0) : e.N - 1;
  const bool any = !library || Tp < e.N;
  std::vector<row_t> rows;
  if (nrhs <= position || host::all_elements(prhs[position]) == 0) {
    if (any && last >= e.first())
      for (size_t t = e.first(); t <= last; ++t) rows.push_back(row_t(t));
    return rows;
  }
  const double* v = mxGetPr(prhs[position]);
  const size_t count = host::all_elements(prhs[position]);
  if (count > neighbours::max_rows) host::fail(std::string(name) + " has too many rows");
  rows.resize(count);
  const double low = host::index_base, high = double(e.N) - 1 + host::index_base;
  for (size_t r = 0; r < count; ++r) {
    if (!neighbours::is_whole(v[r]) || v[r] < low || v[r] > high)
      host::fail(std::string(name) + " must hold row numbers of x, whole numbers from " +
                 row_text(0) + " to " + row_text(e.N - 1) + "; " + number_text(v[r]) +
                 " is not one");
    const size_t t = size_t(v[r] - host::index_base);
    if (t < e.first())
      host::fail(std::string(name) + " row " + row_text(t) + " has no embedding: rows start at " +
                 row_text(e.first()) + " for E = " + std::to_string(e.E) + " and tau = " +
                 std::to_string(e.tau));
    if (library && (!any || t > last))
      host::fail(std::string(name) + " row " + row_text(t) +
                 " has no observed target: its target lies past the end of x for Tp = " +
                 std::to_string(Tp));
    rows[r] = row_t(t);
  }
  if (library) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  }
  return rows;
}

// Every prediction row needs `least` candidates in the library (more than w
// apart); the first with the fewest is named. `fewer` says what it has too
// few of, as "k = 4".
inline void require_library_candidates(const std::vector<row_t>& lib,
                                       const std::vector<row_t>& pred, uint64_t w, size_t least,
                                       const std::string& fewer) {
  uint64_t fewest = UINT64_MAX;
  row_t fewest_at = 0;
  for (const row_t t : pred) {
    const uint64_t c = neighbours::library_candidates(lib.data(), lib.size(), t, w);
    if (c < fewest) fewest = c, fewest_at = t;
  }
  if (!pred.empty() && fewest < least)
    host::fail("Not enough candidates: prediction row " + row_text(fewest_at) + " has " +
               std::to_string(fewest) + " library rows more than w = " + std::to_string(w) +
               " apart, fewer than " + fewer);
}

}  // namespace predict
