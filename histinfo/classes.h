// histinfo's match rule and the term a class adds to the entropy: what every
// strategy in histinfo/ shares. A strategy only decides which columns a
// reference is compared with and on which thread; whether two columns match,
// and what a class of a given size adds to H, are decided here once. So
// every strategy that hands the same columns to confronto in the same
// rounds forms the same classes, and adds the same terms in the same order.
//
// Part of histinfo.cpp's one translation unit (every build compiles that
// file alone), hence the unnamed namespace.
#pragma once

#include <algorithm>
#include <cmath>

namespace {

double xlnx(double x) { return x == 0 ? 0 : x * std::log(x); }

// The term p ln p of a class of `count` of the N columns, p = count / N.
// Most classes are small (every class holds one column when all columns
// differ), so the terms of small counts are kept once formed: the same
// operands, the same bits, without a logarithm per class.
class class_term {
 public:
  explicit class_term(long N) : N(N) { std::fill(kept, kept + small, 1.0); }
  double operator()(long count) {
    if (count >= small) return xlnx(double(count) / double(N));
    double& term = kept[count];
    if (term > 0) term = xlnx(double(count) / double(N));  // positive: not formed yet
    return term;
  }

 private:
  static constexpr long small = 64;
  long N;
  double kept[small];
};

// True when a and b differ by less than 1 in every element: their difference
// truncated toward zero to a 32-bit integer is 0. A NaN difference, or one
// whose magnitude reaches 2^31 (which truncation could not represent),
// differs. The truncated differences add up to 0 exactly when each of them
// is 0, so the first element that differs decides.
bool confronto(const double* a, const double* b, long n) {
  for (long i = 0; i < n; ++i)
    if (!(std::fabs(a[i] - b[i]) < 1.0)) return false;
  return true;
}

}  // namespace
