// For the C++ tests: results compared bit for bit, and what every gateway
// must do through the stand-in host whatever it computes: write only the
// output slots the host offers, and end a call whose allocation fails with
// the host's error, leaving nothing behind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/standin.h"

namespace gateway_checks {

using columns = std::vector<std::vector<double>>;

// Equal bits or both NaN, but never the stand-in's mark of an element left
// unset: every element must have been written.
inline bool same(double got, double want) {
  uint64_t bits;
  std::memcpy(&bits, &got, sizeof bits);
  if (bits == standin::unset_element_bits) return false;
  return std::memcmp(&got, &want, sizeof got) == 0 || (std::isnan(got) && std::isnan(want));
}

// n elements holding the unset mark, for a core to fill.
inline std::vector<double> unset_column(size_t n) {
  double mark;
  std::memcpy(&mark, &standin::unset_element_bits, sizeof mark);
  return std::vector<double>(n, mark);
}

inline void expect_same(const columns& got, const columns& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t c = 0; c < want.size(); ++c) {
    ASSERT_EQ(got[c].size(), want[c].size()) << "output " << c + 1;
    for (size_t i = 0; i < want[c].size(); ++i)
      EXPECT_TRUE(same(got[c][i], want[c][i]))
          << "output " << c + 1 << "(" << i + 1 << ") " << got[c][i] << ", want " << want[c][i];
  }
}

// The first `count` outputs of a call are the columns want[0 ... count - 1].
inline void expect_outputs(const standin::call_result& result, const columns& want, size_t count) {
  ASSERT_FALSE(result.failed) << result.error;
  columns got;
  for (size_t i = 0; i < count; ++i) {
    EXPECT_EQ(result.out(i).columns(), 1u) << "output " << i + 1;
    got.push_back(result.out(i).values());
  }
  expect_same(got, columns(want.begin(), want.begin() + long(count)));
}

namespace detail {
inline mxArray not_offered;
inline bool wrote_past_the_slots = false;

// The module's gateway, with marked slots past the max(nlhs, 1) the host
// offers: a real host may keep anything there.
inline void guarded(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  std::array<mxArray*, 8> slots;
  slots.fill(&not_offered);
  const int offered = std::max(nlhs, 1);
  std::copy_n(plhs, offered, slots.begin());
  const auto check = [&] {
    wrote_past_the_slots = std::any_of(slots.begin() + offered, slots.end(),
                                       [](mxArray* a) { return a != &not_offered; });
    std::copy_n(slots.begin(), offered, plhs);
  };
  try {
    mexFunction(nlhs, slots.data(), nrhs, prhs);
  } catch (...) {
    check();
    throw;
  }
  check();
}
}  // namespace detail

// For nlhs = 0 ... outputs: no slot past those offered is written, and those
// offered hold what a call asking for every output gives.
inline void expect_only_offered_slots_written(int outputs, const std::vector<mxArray>& inputs) {
  const standin::call_result every = standin::call(outputs, inputs);
  ASSERT_FALSE(every.failed) << every.error;
  columns want;
  for (size_t i = 0; i < size_t(outputs); ++i) want.push_back(every.out(i).values());
  for (int nlhs = 0; nlhs <= outputs; ++nlhs) {
    detail::wrote_past_the_slots = false;
    const standin::call_result result = standin::call(&detail::guarded, nlhs, inputs);
    EXPECT_FALSE(detail::wrote_past_the_slots) << "nlhs = " << nlhs;
    expect_outputs(result, want, size_t(std::max(nlhs, 1)));
  }
}

// Each of the first `allocations` allocations of the call failing in turn
// ends it with the host's error; the call after them succeeds and leaves the
// host no working memory to release.
inline void expect_allocation_failures_end_cleanly(int nlhs, const std::vector<mxArray>& inputs,
                                                   int allocations) {
  for (int k = 0; k < allocations; ++k) {
    standin::fail_allocation_after(k);
    const standin::call_result result = standin::call(nlhs, inputs);
    EXPECT_TRUE(result.failed) << "allocation " << k + 1;
    EXPECT_EQ(result.error, "Out of memory") << "allocation " << k + 1;
  }
  const standin::call_result fine = standin::call(nlhs, inputs);
  EXPECT_FALSE(fine.failed) << fine.error;
  EXPECT_EQ(fine.released_on_exit, 0u);
}

}  // namespace gateway_checks
