// qspectrum's two stages timed apart: the moments (one pass over the distance
// matrix with a pow per distance and order) and the fits (a search over D
// whose every evaluation is itself a search over the scale).
//
// Data: 10^5 reference points x 64 neighbour orders of a two-dimensional
// Poisson process, whose k-th neighbour distance is sqrt(E_1 + ... + E_k)
// for exponential E (the area to the k-th neighbour is a sum of k unit
// exponentials); 11 orders gamma = -4 ... 6; kmin 1 ... 8, kmax 64. The
// fitted dimensions should come out near 2.
//
// Reported per fit: the evaluations of the error function (the outer search)
// and, for the D each fit returns, the evaluations of the scale search that
// one error-function evaluation makes.
//
// The moments and the fits use every core, or OMP_NUM_THREADS of them: run
// once with OMP_NUM_THREADS=1 and once without to see what the threads add.
#include "qspectrum/qspectrum.cpp"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

const long points = 100000;
const long orders = 64;
const long kmin_low = 1, kmin_high = 8, kmax = 64;

const std::vector<double>& gammas() {
  static const std::vector<double> g = {-4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6};
  return g;
}

const std::vector<double>& poisson_distances() {
  static std::vector<double> d = [] {
    std::vector<double> m(points * orders);
    std::mt19937_64 rng(11);
    std::exponential_distribution<double> e(1.0);
    for (long j = 0; j < points; ++j) {
      double area = 0;
      for (long k = 0; k < orders; ++k) {
        area += e(rng);
        m[j + points * k] = 0.01 * std::sqrt(area);
      }
    }
    return m;
  }();
  return d;
}

std::vector<double> moments_of_data() {
  const auto& g = gammas();
  std::vector<double> moments(orders * g.size());
  compute_moments(poisson_distances().data(), orders, points, long(g.size()), g.data(),
                  moments.data(), 1);
  return moments;
}

void BM_moments(benchmark::State& state) {
  const auto& d = poisson_distances();
  const auto& g = gammas();
  std::vector<double> moments(orders * g.size());
  for (auto _ : state) {
    compute_moments(d.data(), orders, points, long(g.size()), g.data(), moments.data(),
                    parallel::thread_budget());
    benchmark::DoNotOptimize(moments.data());
  }
}

void BM_fits(benchmark::State& state) {
  const auto& g = gammas();
  const long G = long(g.size());
  auto moments = moments_of_data();
  std::vector<double> model(orders * G), dims(G * (kmin_high - kmin_low + 1));
  for (auto _ : state) {
    if (fit_dimensions(moments.data(), model.data(), orders, g.data(), G, kmin_low, kmin_high,
                       kmax, dims.data(), parallel::thread_budget()) != qspectrum_outcome::success)
      state.SkipWithError("fit failed");
    benchmark::DoNotOptimize(dims.data());
  }
  double lo = dims[0], hi = dims[0];
  for (double D : dims) {
    lo = std::min(lo, D);
    hi = std::max(hi, D);
  }
  state.counters["fits"] = double(dims.size());
  state.counters["D_min"] = lo;
  state.counters["D_max"] = hi;
}

// The same fits through counting wrappers (not timed for speed).
template <typename F>
struct counted {
  F& f;
  long& calls;
  double operator()(double x) {
    ++calls;
    return f(x);
  }
};

void BM_evaluations_per_fit(benchmark::State& state) {
  const auto& g = gammas();
  const long G = long(g.size());
  auto moments = moments_of_data();
  std::vector<double> model(orders * G);
  long fits = 0, outer = 0, outer_max = 0, inner = 0, inner_max = 0;
  for (auto _ : state) {
    for (long kmin = kmin_low; kmin <= kmin_high; ++kmin)
      for (long k = 0; k < G; ++k) {
        const double lower = std::max(0.05, -g[k] / double(kmin));
        mvector data(moments.data() + orders * k, orders);
        mvector model_column(model.data() + orders * k, orders);
        Error_Function error(data, kmin, kmax, g[k], model_column);
        long calls = 0;
        counted<Error_Function> counting{error, calls};
        const double D = fminbr(lower, 128.0, counting, 0.0001);
        // One evaluation at the fitted D, then its scale search, counted.
        error(D);
        Error_Function::Scale_Function scale(error);
        long scale_calls = 0;
        counted<Error_Function::Scale_Function> counting_scale{scale, scale_calls};
        fminbr(0.0, 1000000.0, counting_scale, 0.00001);
        ++fits;
        outer += calls;
        outer_max = std::max(outer_max, calls);
        inner += scale_calls;
        inner_max = std::max(inner_max, scale_calls);
      }
  }
  state.counters["error_evals_per_fit"] = double(outer) / double(fits);
  state.counters["error_evals_max"] = double(outer_max);
  state.counters["scale_evals_per_error_eval"] = double(inner) / double(fits);
  state.counters["scale_evals_max"] = double(inner_max);
}

BENCHMARK(BM_moments)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_fits)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_evaluations_per_fit)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
