// The Mersenne Twister MT19937 (Matsumoto & Nishimura 1998): degree 624,
// middle distance 397, the usual twist and tempering, over 32-bit words.
//
// Two ways to fill the first state: seed_69069, the powers of 69069 times
// the odd seed (twistgen's generator, where s and s | 1 are the same), and
// init_genrand, the reference initialisation by 1812433253 (crossmap's
// draws). genrand_res53 is the reference's double in [0, 1) with 53 random
// bits, from two words.
//
// This header needs nothing of the host.
#pragma once

#include <algorithm>
#include <cstdint>

namespace mersenne_twister {

class generator {
 public:
  static constexpr int degree = 624;
  static constexpr int middle = 397;

  // The state of seed_69069(s).
  explicit generator(unsigned long s) { seed_69069(s); }

  void seed_69069(unsigned long s) {
    unsigned long x = (s & word_mask) | 1UL;
    state_words[0] = x;
    for (int j = 1; j < degree; ++j) {
      x = (x * 69069UL) & word_mask;
      state_words[j] = x;
    }
    restart();
  }

  void init_genrand(unsigned long s) {
    state_words[0] = s & word_mask;
    for (int j = 1; j < degree; ++j) {
      const unsigned long p = state_words[j - 1];
      state_words[j] = (1812433253UL * (p ^ (p >> 30)) + static_cast<unsigned long>(j)) & word_mask;
    }
    restart();
  }

  // The next word, from 0 to 2^32 - 1.
  unsigned long genrand_int32() {
    if (--words_left < 0) return reload();
    return temper(*next_word++);
  }

  // (a * 2^26 + b) / 2^53 from the top 27 bits of one word and the top 26
  // of the next.
  double genrand_res53() {
    const unsigned long a = genrand_int32() >> 5, b = genrand_int32() >> 6;
    return (double(a) * 67108864.0 + double(b)) * (1.0 / 9007199254740992.0);
  }

  // The same as count calls of genrand_int32, each word times scale, but
  // taking the words of a block in one loop without the per-word test.
  void fill(double* values, long count, double scale) {
    while (count > 0) {
      if (words_left == 0) {
        *values++ = double(genrand_int32()) * scale;
        --count;
        continue;
      }
      const long take = std::min<long>(words_left, count);
      for (long i = 0; i < take; ++i)
        values[i] = double(int64_t(temper(next_word[i]))) * scale;
      next_word += take;
      words_left -= int(take);
      values += take;
      count -= take;
    }
  }

 private:
  static constexpr unsigned long twist_constant = 0x9908B0DFUL;
  static constexpr unsigned long upper_mask = 0x80000000UL;
  static constexpr unsigned long lower_mask = 0x7FFFFFFFUL;
  static constexpr unsigned long word_mask = 0xFFFFFFFFUL;

  void restart() {
    state_words[degree] = 0;  // spare, never read
    next_word = state_words;
    words_left = 0;
  }

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
  unsigned long reload() {
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

}  // namespace mersenne_twister
