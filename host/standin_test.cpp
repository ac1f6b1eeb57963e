// The stand-in host behaves like the real ones where the gateways rely on it.
#include "host/host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

// A gateway for these tests only. Input 1 selects what it does.
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  (void)nlhs;
  const int action = nrhs > 0 ? int(mxGetPr(prhs[0])[0]) : 0;
  host::working_memory<double> scratch(10);  // released on every way out
  void* kept = mxMalloc(16);                 // left for the host to release
  (void)kept;
  plhs[0] = mxCreateDoubleMatrix(2, 3, mxREAL);
  mexPrintf("action %d\n", action);
  if (action == 1) host::fail("first failure");
  if (action == 2) mexWarnMsgTxt("careful");
  if (action == 3) {
    char buffer[4];
    mexPrintf("%d:", mxGetString(prhs[1], buffer, sizeof buffer));
    mexPrintf("%s", buffer);
  }
  mxGetPr(plhs[0])[5] = 7;
}

namespace {

using namespace standin;

TEST(StandinHost, OutputsPrintedTextAndWarningsReachTheCaller) {
  auto r = call(0, {scalar(2)});
  ASSERT_FALSE(r.failed);
  ASSERT_EQ(r.outputs.size(), 1u);  // one slot even when nothing is requested
  EXPECT_EQ(r.out(0).rows(), 2u);
  EXPECT_EQ(r.out(0).columns(), 3u);
  EXPECT_EQ(r.out(0).values(), (std::vector<double>{0, 0, 0, 0, 0, 7}));
  EXPECT_EQ(r.printed, "action 2\n");
  EXPECT_EQ(r.warnings, std::vector<std::string>{"careful"});
  EXPECT_EQ(r.released_on_exit, 1u);
}

TEST(StandinHost, ErrorEndsTheCallAndDiscardsOutputs) {
  auto r = call(1, {scalar(1)});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.error, "first failure");
  EXPECT_FALSE(r.outputs[0].has_value());
  EXPECT_EQ(r.printed, "action 1\n");
  EXPECT_EQ(r.released_on_exit, 1u);  // the scoped block was freed by the gateway
}

TEST(StandinHost, GetStringTruncatesAndTerminates) {
  auto r = call(1, {scalar(3), char_array("abcdef")});
  EXPECT_EQ(r.printed, "action 3\n1:abc");
  r = call(1, {scalar(3), char_array("ab")});
  EXPECT_EQ(r.printed, "action 3\n0:ab");
  r = call(1, {scalar(3), scalar(5)});
  EXPECT_EQ(r.printed, "action 3\n1:");
}

TEST(StandinHost, AllocationFailsOnDemand) {
  fail_allocation_after(1);  // the second allocation: mxMalloc(16)
  auto r = call(1, {scalar(0)});
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.error, "Out of memory");
  r = call(1, {scalar(0)});  // only the next call fails
  EXPECT_FALSE(r.failed);
}

TEST(StandinHost, ArraysKeepTheirClassElementSize) {
  EXPECT_EQ(typed(mxINT32_CLASS, {2, 2}).real_part.size(), 16u);
  EXPECT_EQ(typed(mxSINGLE_CLASS, {3, 1}).real_part.size(), 12u);
  EXPECT_EQ(char_array("xyz").real_part.size(), 6u);
  EXPECT_EQ(sparse_matrix(100, 100, {1, 2}).real_part.size(), 16u);
  mxArray cube = typed(mxDOUBLE_CLASS, {2, 3, 4});
  EXPECT_EQ(mxGetN(&cube), 12u);
  EXPECT_EQ(mxGetNumberOfDimensions(&cube), 3);
}

TEST(HostConversions, CountFromDouble) {
  EXPECT_EQ(host::count_from_double(2.9), 2);
  EXPECT_EQ(host::count_from_double(-0.5), 0);
  EXPECT_EQ(host::count_from_double(-2.9), -2);
  EXPECT_EQ(host::count_from_double(2147483647.9), 2147483647);
  EXPECT_EQ(host::count_from_double(2147483648.0), INT32_MIN);
  EXPECT_EQ(host::count_from_double(-2147483648.5), -2147483647 - 1);
  EXPECT_EQ(host::count_from_double(-2147483649.0), INT32_MIN);
  EXPECT_EQ(host::count_from_double(std::nan("")), INT32_MIN);
  EXPECT_EQ(host::count_from_double(INFINITY), INT32_MIN);
}

}  // namespace
