// For the tests: point sets (N x d, column-major) of the kinds that stress a
// neighbour search: spread evenly, on a lattice (many equal distances), a few
// points repeated many times, an attractor (the Henon map's x, delay-embedded),
// values over many scales, and huge values whose differences overflow.
#pragma once

#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

namespace test_data {

enum class kind { uniform, lattice, repeated, henon, scales, huge, count };

inline const char* name(kind k) {
  static const char* const names[] = {"uniform", "lattice", "repeated", "henon", "scales", "huge"};
  return names[int(k)];
}

// The x-coordinate of the Henon map (a = 1.4, b = 0.3) after a transient.
inline std::vector<double> henon_x(size_t n, double x0 = 0.1) {
  std::vector<double> x(n);
  double a = x0, b = 0;
  for (int i = 0; i < 1000; ++i) {
    const double t = 1 - 1.4 * a * a + b;
    b = 0.3 * a;
    a = t;
  }
  for (size_t i = 0; i < n; ++i) {
    const double t = 1 - 1.4 * a * a + b;
    b = 0.3 * a;
    a = t;
    x[i] = a;
  }
  return x;
}

// n points of d coordinates (column-major).
inline std::vector<double> points(kind k, size_t n, size_t d, std::mt19937& rng) {
  std::vector<double> X(n * d);
  std::uniform_real_distribution<double> unit(0, 1);
  std::uniform_int_distribution<int> small(-3, 3);
  switch (k) {
    case kind::uniform:
      for (double& v : X) v = unit(rng);
      break;
    case kind::lattice:
      for (double& v : X) v = small(rng);
      break;
    case kind::repeated: {
      const size_t distinct = 1 + rng() % 5;
      std::vector<double> pool(distinct * d);
      for (double& v : pool) v = unit(rng);
      for (size_t i = 0; i < n; ++i) {
        const size_t from = rng() % distinct;
        for (size_t c = 0; c < d; ++c) X[i + c * n] = pool[from + c * distinct];
      }
      break;
    }
    case kind::henon: {
      const std::vector<double> x = henon_x(n + d, 0.1 + 0.01 * unit(rng));
      for (size_t i = 0; i < n; ++i)
        for (size_t c = 0; c < d; ++c) X[i + c * n] = x[i + d - 1 - c];
      break;
    }
    case kind::scales:
      for (double& v : X) v = std::ldexp(unit(rng) < 0.5 ? -1.0 : 1.0, -int(rng() % 200));
      break;
    case kind::huge:
      for (double& v : X) v = (unit(rng) - 0.5) * 1e308;
      break;
    case kind::count:
      break;
  }
  return X;
}

}  // namespace test_data
