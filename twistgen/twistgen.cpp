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
#include "host/mersenne_twister.h"

namespace {

// The double nearest to 1/(2^32 - 1): the largest word maps to exactly 1.0.
constexpr double word_to_unit = 2.3283064370807974e-10;

constexpr unsigned long first_seed = 667297391UL;

// The generator seeded by the powers of 69069 (host/mersenne_twister.h),
// under the names the module has always used.
class RNG : public mersenne_twister::generator {
 public:
  using generator::generator;
  void Seed(unsigned long s) { seed_69069(s); }
  unsigned long lRand() { return genrand_int32(); }
  void fill(double* values, long count) { generator::fill(values, count, word_to_unit); }
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
