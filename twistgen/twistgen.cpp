// twistgen: uniform pseudo-random doubles from the Mersenne Twister MT19937.
//
//   X = twistgen(N)
//
// X is an N x 1 column of words of the generator, each times
// 2.3283064370807974e-10, so that the values lie in [0, 1]. The module keeps
// one value between calls, the seed of the next call: every call seeds a fresh
// generator with it, draws its N numbers, then draws one more word and keeps
// it, made odd, as the seed of the following call. A fresh load of the module
// starts again from 667297391, so a sequence of calls is reproducible.
#include <algorithm>
#include <cstdint>

#include "host/host.h"

namespace {

// MT19937: degree 624, middle distance 397.
constexpr int degree = 624;
constexpr int middle = 397;
constexpr unsigned long twist_constant = 0x9908B0DFUL;
constexpr unsigned long upper_mask = 0x80000000UL;
constexpr unsigned long lower_mask = 0x7FFFFFFFUL;
constexpr unsigned long word_mask = 0xFFFFFFFFUL;

// The double nearest to 1/(2^32 - 1): the largest word maps to exactly 1.0.
constexpr double word_to_unit = 2.3283064370807974e-10;

constexpr unsigned long first_seed = 667297391UL;

class RNG {
 public:
  explicit RNG(unsigned long s) { Seed(s); }

  // The initialisation by the multiplier 69069 of an odd seed: s and s | 1
  // give the same generator.
  void Seed(unsigned long s) {
    unsigned long x = (s & word_mask) | 1UL;
    state_words[0] = x;
    for (int j = 1; j < degree; ++j) {
      x = (x * 69069UL) & word_mask;
      state_words[j] = x;
    }
    state_words[degree] = 0;  // spare, never read
    next_word = state_words;
    words_left = 0;
  }

  unsigned long lRand() {
    if (--words_left < 0) return reloadMT();
    return temper(*next_word++);
  }

  // The same as count calls of lRand, each word scaled into a double, but
  // taking the words of a block in one loop without the per-word test.
  void fill(double* values, long count) {
    while (count > 0) {
      if (words_left == 0) {
        *values++ = double(lRand()) * word_to_unit;
        --count;
        continue;
      }
      const long take = std::min<long>(words_left, count);
      for (long i = 0; i < take; ++i)
        values[i] = double(int64_t(temper(next_word[i]))) * word_to_unit;
      next_word += take;
      words_left -= int(take);
      values += take;
      count -= take;
    }
  }

 private:
  static unsigned long temper(unsigned long y) {
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680UL;
    y ^= (y << 15) & 0xEFC60000UL;
    y ^= y >> 18;
    return y;
  }

  static unsigned long twist(unsigned long far, unsigned long here, unsigned long next) {
    unsigned long y = (here & upper_mask) | (next & lower_mask);
    // The constant enters when the lowest bit of next is set; as a mask, so
    // that the loops below need no branch.
    return far ^ (y >> 1) ^ ((0UL - (next & 1UL)) & twist_constant);
  }

  // The recurrence in place. The loop is split where the index i + 397 wraps
  // around, so that no index needs a modulo; words already replaced in this
  // pass are read in their new values, as the recurrence requires.
  unsigned long reloadMT() {
    unsigned long* w = state_words;
    int i = 0;
    for (; i < degree - middle; ++i) w[i] = twist(w[i + middle], w[i], w[i + 1]);
    for (; i < degree - 1; ++i) w[i] = twist(w[i + middle - degree], w[i], w[i + 1]);
    w[degree - 1] = twist(w[middle - 1], w[degree - 1], w[0]);
    words_left = degree - 1;
    next_word = state_words + 1;
    return temper(w[0]);
  }

  unsigned long state_words[degree + 1];
  unsigned long* next_word;
  int words_left;
};

// The seed of the next call, for as long as the module stays loaded.
unsigned long seed = first_seed;

// Fills count doubles (none for count <= 0) from a generator seeded with
// seed, and advances seed by one more word.
void twistgen_fill(double* values, long count) {
  RNG rng(seed);
  rng.fill(values, count);
  seed = rng.lRand() | 1UL;
}

enum { IN_COUNT_ARG = 0, IN_COUNT };

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_COUNT)
    host::fail(
        "Mersenne Twister Random Number Generator : Number of random numbers [0,1) must be given");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);
  const int32_t requested = host::count_from_double(host::first_element(prhs[IN_COUNT_ARG], 1));

  // A negative count draws nothing and gives an empty column; the seed still
  // advances, as for a count of 0.
  const long count = requested > 0 ? long(requested) : 0L;
  plhs[0] = mxCreateDoubleMatrix(count, 1, mxREAL);
  twistgen_fill(mxGetPr(plhs[0]), count);
}
