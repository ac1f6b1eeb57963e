#include "twistgen/twistgen.cpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace standin;

// The module's seed as the program loaded it, before any test called it.
const unsigned long seed_at_load = seed;

// An independent computation of the word sequence: the recurrence written as
// an ever-growing sequence x[k + 624] = f(x[k], x[k + 1], x[k + 397]) over
// 32-bit words, with x[0 ... 623] the powers of 69069 times the odd seed, and
// every output the tempered x[624 + n].
std::vector<uint32_t> reference_words(uint64_t s, size_t count) {
  std::vector<uint32_t> x(624 + count);
  x[0] = uint32_t(s) | 1u;
  for (size_t j = 1; j < 624; ++j) x[j] = x[j - 1] * 69069u;
  for (size_t k = 0; k < count; ++k) {
    uint32_t y = (x[k] & 0x80000000u) | (x[k + 1] & 0x7FFFFFFFu);
    x[k + 624] = x[k + 397] ^ (y >> 1) ^ ((x[k + 1] & 1u) ? 0x9908B0DFu : 0u);
  }
  std::vector<uint32_t> out(count);
  for (size_t n = 0; n < count; ++n) {
    uint32_t y = x[624 + n];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    out[n] = y;
  }
  return out;
}

const double factor = 2.3283064370807974e-10;

std::vector<double> scaled(const std::vector<uint32_t>& words, size_t count) {
  std::vector<double> v;
  for (size_t i = 0; i < count; ++i) v.push_back(double(words[i]) * factor);
  return v;
}

TEST(TwistgenCore, WordsFollowTheRecurrenceOverSeveralBlocks) {
  for (uint64_t s : {667297391ull, 1ull, 0ull, 4357ull, 0xFFFFFFFFull, 0x123456789ull}) {
    auto want = reference_words(s, 3 * 624 + 5);
    RNG rng(static_cast<unsigned long>(s));
    for (size_t n = 0; n < want.size(); ++n) {
      unsigned long got = rng.lRand();
      ASSERT_EQ(got, want[n]) << "seed " << s << ", word " << n;
    }
  }
}

TEST(TwistgenCore, EvenSeedEqualsItsOddNeighbour) {
  RNG even(667297390UL), odd(667297391UL);
  for (int n = 0; n < 700; ++n) ASSERT_EQ(even.lRand(), odd.lRand());
  // Reseeding starts the stream over.
  RNG again(5UL);
  unsigned long first = again.lRand();
  again.lRand();
  again.Seed(5UL);
  EXPECT_EQ(again.lRand(), first);
}

TEST(TwistgenCore, ConversionFactorMapsTheExtremeWordsToZeroAndOne) {
  uint64_t bits;
  std::memcpy(&bits, &word_to_unit, sizeof bits);
  EXPECT_EQ(bits, 0x3DF0000000100000ull);
  EXPECT_EQ(double(0xFFFFFFFFUL) * word_to_unit, 1.0);
  EXPECT_EQ(0.0 * word_to_unit, 0.0);
  EXPECT_LT(double(0xFFFFFFFEUL) * word_to_unit, 1.0);
}

// ---- through the stand-in host -------------------------------------------

// The module's seed lives as long as this test program; every test starts as
// after a fresh load.
class TwistgenGateway : public ::testing::Test {
 protected:
  void SetUp() override { seed = 667297391UL; }
};

TEST_F(TwistgenGateway, SeedStartsAtItsLoadValue) { EXPECT_EQ(seed_at_load, 667297391UL); }

TEST_F(TwistgenGateway, CallsAreChainedThroughTheSeed) {
  auto first = reference_words(667297391, 4);
  auto r = call(1, {scalar(3)});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).rows(), 3u);
  EXPECT_EQ(r.out(0).columns(), 1u);
  EXPECT_EQ(r.out(0).values(), scaled(first, 3));
  const uint32_t next = first[3] | 1u;
  EXPECT_EQ(seed, next);

  auto second = reference_words(next, 3);
  r = call(1, {scalar(2)});
  EXPECT_EQ(r.out(0).values(), scaled(second, 2));
  EXPECT_EQ(seed, second[2] | 1u);
}

TEST_F(TwistgenGateway, LongCallCrossesRegenerations) {
  auto want = reference_words(667297391, 2001);
  auto r = call(0, {scalar(2000)});  // the answer slot is filled also for nlhs 0
  ASSERT_FALSE(r.failed);
  EXPECT_EQ(r.out(0).values(), scaled(want, 2000));
  EXPECT_EQ(seed, want[2000] | 1u);
  for (double v : r.out(0).values()) ASSERT_TRUE(v >= 0.0 && v <= 1.0);
}

TEST_F(TwistgenGateway, CountsAreTruncatedAndNonPositiveOnesStillAdvanceTheSeed) {
  auto words = reference_words(667297391, 3);
  auto r = call(1, {scalar(2.9)});
  EXPECT_EQ(r.out(0).values(), scaled(words, 2));
  EXPECT_EQ(seed, words[2] | 1u);

  for (double count : {0.0, -0.5, -1.0, -2147483648.0, double(NAN), 1e12, -double(INFINITY)}) {
    seed = 667297391UL;
    r = call(1, {scalar(count)});
    ASSERT_FALSE(r.failed) << count;
    EXPECT_EQ(r.out(0).rows(), 0u) << count;
    EXPECT_EQ(r.out(0).columns(), 1u) << count;
    EXPECT_EQ(seed, words[0] | 1u) << count;
  }
}

TEST_F(TwistgenGateway, SameCountsAfterAReloadGiveTheSameNumbers) {
  std::vector<std::vector<double>> runs[2];
  for (auto& run : runs) {
    seed = 667297391UL;
    for (double count : {5.0, 0.0, 700.0, 1.0}) run.push_back(call(1, {scalar(count)}).out(0).values());
  }
  EXPECT_EQ(runs[0], runs[1]);
  // Without the chaining every call would start with the same number.
  EXPECT_NE(runs[0][3][0], runs[0][0][0]);
}

TEST_F(TwistgenGateway, RefusedCallsLeaveTheSeedAlone) {
  auto r = call(1, {});
  EXPECT_EQ(r.error,
            "Mersenne Twister Random Number Generator : Number of random numbers [0,1) must be "
            "given");
  EXPECT_EQ(call(1, {empty(0, 3)}).error, "Input 1 must not be empty");
  EXPECT_EQ(call(1, {typed(mxINT32_CLASS, {1, 1}, {3})}).error,
            "Input 1 must be a real double array");
  EXPECT_EQ(call(1, {char_array("3")}).error, "Input 1 must be a real double array");
  EXPECT_EQ(call(1, {complex_matrix(1, 1, {3}, {1})}).error, "Input 1 must be a real double array");
  EXPECT_EQ(seed, 667297391UL);

  // A failed output allocation ends the call before the seed moves.
  fail_allocation_after(0);
  EXPECT_TRUE(call(1, {scalar(4)}).failed);
  EXPECT_EQ(seed, 667297391UL);
}

TEST_F(TwistgenGateway, FurtherInputsAreIgnoredAndTheFirstElementCounts) {
  auto words = reference_words(667297391, 4);
  auto r = call(1, {row({3, 100}), char_array("ignored")});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(r.out(0).values(), scaled(words, 3));
}

}  // namespace
