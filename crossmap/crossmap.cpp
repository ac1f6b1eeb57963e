// crossmap: convergent cross mapping (Sugihara et al. 2012), the skill of
// forecasting one series from the past of another over libraries of growing
// size.
//
//   R = crossmap(x, y, E, tau, L, samples, seed, w, Tp)
//
// The valid rows t of x's embedding (x(t), x(t - tau), ..., x(t - (E-1) tau))
// are those whose target y(t + Tp) is observed, n of them. For each library
// size L(i) and sample j a library of L(i) valid rows is drawn: the list of
// valid rows in ascending order, partially shuffled (for a = 0 ... L(i) - 1,
// swap positions a and a + floor(u (n - a)), u the next genrand_res53 of
// one MT19937 stream from init_genrand(seed), consumed in the order i, then
// j), its first L(i) entries. Every valid row is then forecast by simplex
// projection from its E + 1 nearest library rows more than w away, and
// R(i, j) is the correlation of forecasts and targets over the valid rows.
// Without a seed the library is the first L(i) valid rows, once.
//
// The draws are made on the calling thread, a batch at a time; the batch's
// forecasts then run on the threads, one draw per task: a k-d tree over the
// draw's library, searched for every valid row in an order that keeps
// neighbouring rows together. Each R(i, j) is one task's own, so the thread
// count changes nothing.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/mersenne_twister.h"
#include "host/parallel.h"
#include "neighbours/inputs.h"
#include "neighbours/library_nearest.h"
#include "predict/forecast.h"
#include "predict/inputs.h"

namespace {

using predict::row_t;

// The valid rows: first ... first + n - 1.
struct cross_problem {
  predict::embedding e;  // of x
  const double* y;
  size_t Tp;
  uint64_t w;
  size_t n;
  size_t first() const { return e.first(); }
};

// The correlation of forecast and target over every valid row, for the
// library lib[0 ... L - 1] (ascending). order lists the valid rows (from 0
// among them) in the order they are searched; forecasts has room for n.
template <size_t D>
double cross_map_draw(const cross_problem& p, const row_t* lib, size_t L, const uint32_t* order,
                      double* forecasts, double* targets) {
  const size_t k = p.e.E + 1;
  const neighbours::kd_tree tree = predict::library_tree(p.e, lib, L, 1);
  neighbours::library_search<D> search(tree, lib, k, p.w);
  double point[D ? D : 64];
  std::vector<double> long_point(D ? 0 : p.e.E);
  double* v = D ? point : long_point.data();
  for (size_t r = 0; r < p.n; ++r) {
    const size_t t = p.first() + order[r];
    p.e.point(t, v);
    search.search(v, t);
    forecasts[order[r]] = predict::simplex_forecast(search.distances(), search.numbers(), k, p.y, p.Tp);
  }
  return predict::skill_of(targets, forecasts, p.n).rho;
}

// Fills R (nL x samples, column-major) for the sizes L[0 ... nL - 1], each
// from E + 2w + 2 to n. Without `seeded`, one sample of the first L(i)
// valid rows.
void cross_map(const cross_problem& p, const size_t* sizes, size_t nL, size_t samples,
               bool seeded, uint32_t seed, double* R, int threads) {
  const size_t n = p.n, draws = nL * samples;
  if (draws == 0) return;
  // The targets, and the valid rows in the leaf order of a tree over all of
  // them: rows searched one after another then lie close.
  big_buffer::vector<double> targets(n);
  for (size_t r = 0; r < n; ++r) targets[r] = p.y[p.first() + r + p.Tp];
  big_buffer::vector<uint32_t> order(n);
  {
    std::vector<row_t> all(n);
    std::iota(all.begin(), all.end(), row_t(p.first()));
    const neighbours::kd_tree tree = predict::library_tree(p.e, all.data(), n, threads);
    std::copy(tree.rows(), tree.rows() + n, order.begin());
  }

  double mean_size = 0;
  for (size_t i = 0; i < nL; ++i) mean_size += double(sizes[i]);
  mean_size /= double(nL);
  // A draw costs a search per valid row; a batch holds a few draws per
  // thread, and its libraries n rows or fewer each.
  threads = parallel::threads_for(double(draws) * double(n) * std::log2(mean_size + 2), 1 << 16,
                                  long(draws), threads);
  // About 2^20 library rows a thread per batch: few batches, so that many
  // small draws do not start threads for each handful.
  const size_t per_batch = std::min(
      draws, size_t(threads) * std::max<size_t>(2, (size_t(1) << 20) / (n + 1)));
  std::vector<big_buffer::vector<row_t>> libraries(per_batch);
  std::vector<size_t> batch_sizes(per_batch);
  std::vector<big_buffer::vector<double>> forecasts(static_cast<size_t>(threads));
  std::vector<std::vector<unsigned char>> marks(static_cast<size_t>(threads));

  mersenne_twister::generator twister(0);
  twister.init_genrand(seed);
  std::vector<row_t> list(n);
  for (size_t start = 0; start < draws; start += per_batch) {
    const size_t count = std::min(per_batch, draws - start);
    for (size_t b = 0; b < count; ++b) {
      // Draw start + b is size i, sample j: the order i, then j.
      const size_t i = (start + b) / samples;
      const size_t L = sizes[i];
      std::iota(list.begin(), list.end(), row_t(p.first()));
      if (seeded)
        for (size_t a = 0; a < L; ++a) {
          const size_t pick = a + size_t(std::floor(twister.genrand_res53() * double(n - a)));
          std::swap(list[a], list[std::min(pick, n - 1)]);
        }
      libraries[b].assign(list.begin(), list.begin() + long(L));
      batch_sizes[b] = L;
    }
    parallel::run(long(count), threads, [&](long b, int worker) {
      big_buffer::vector<double>& f = forecasts[size_t(worker)];
      if (f.size() != n) f.resize(n);
      // The library in ascending order: its rows marked, then collected.
      std::vector<unsigned char>& in = marks[size_t(worker)];
      in.assign(n, 0);
      big_buffer::vector<row_t>& lib = libraries[size_t(b)];
      for (const row_t t : lib) in[t - p.first()] = 1;
      size_t at = 0;
      for (size_t r = 0; r < n; ++r)
        if (in[r]) lib[at++] = row_t(p.first() + r);
      const size_t draw = start + size_t(b), i = draw / samples, j = draw % samples;
      neighbours::with_dimension(p.e.E, [&](auto D) {
        R[i + j * nL] = cross_map_draw<decltype(D)::value>(
            p, libraries[size_t(b)].data(), batch_sizes[size_t(b)], order.data(), f.data(),
            targets.data());
      });
    });
  }
}

enum { IN_X = 0, IN_Y, IN_E, IN_TAU, IN_L, IN_SAMPLES, IN_SEED, IN_W, IN_TP, IN_COUNT };

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_SAMPLES) host::fail("x, y, E, tau and L must be given");
  if (nrhs > IN_COUNT)
    host::fail("At most nine inputs: x, y, E, tau, L, samples, seed, w and Tp");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const predict::series x = predict::series_from(prhs[IN_X], "x");
  const predict::series y = predict::series_from(prhs[IN_Y], "y");
  if (x.N != y.N) host::fail("x and y must have the same length");
  const predict::embedding e = predict::embedding_from(x, nrhs, prhs, IN_E, IN_TAU, "x");
  const size_t samples_given = predict::whole_from(nrhs, prhs, IN_SAMPLES, 100, 1,
                                                   "samples must be a whole number from 1 to 2147483647");
  if (samples_given > 2147483647) host::fail("samples must be a whole number from 1 to 2147483647");
  const bool seeded = nrhs <= IN_SEED || host::all_elements(prhs[IN_SEED]) > 0;
  uint32_t seed = 0;
  if (nrhs > IN_SEED && seeded) {
    const double s = mxGetPr(prhs[IN_SEED])[0];
    if (!neighbours::is_whole(s) || s < 0 || s > 4294967295.0)
      host::fail("seed must be a whole number from 0 to 4294967295, or empty");
    seed = uint32_t(s);
  }
  const uint64_t w = neighbours::window_from(nrhs, prhs, IN_W);
  const size_t Tp = predict::horizon_from(nrhs, prhs, IN_TP, 0, e.N);

  const size_t n = e.N - e.first() > Tp ? e.N - e.first() - Tp : 0;
  const size_t k = e.E + 1;
  // The smallest library that leaves every row k candidates, and the most
  // rows there are.
  const double least = double(k) + 2 * double(w) + 1;
  const size_t nL = host::all_elements(prhs[IN_L]);
  std::vector<size_t> sizes(nL);
  for (size_t i = 0; i < nL; ++i) {
    const double L = mxGetPr(prhs[IN_L])[i];
    if (!neighbours::is_whole(L) || L < least || L > double(n))
      host::fail("L must hold library sizes, whole numbers from k + 2w + 1 = " +
                 predict::number_text(least) + " to the " + std::to_string(n) +
                 " rows with an embedding and a target; " + predict::number_text(L) +
                 " is not one");
    sizes[i] = size_t(L);
  }

  const size_t samples = seeded ? samples_given : 1;
  plhs[0] = host::create_matrix_to_fill(nL, samples);
  const cross_problem p{e, y.x, Tp, w, n};
  cross_map(p, sizes.data(), nL, samples, seeded, seed, mxGetPr(plhs[0]), parallel::thread_budget());
}
