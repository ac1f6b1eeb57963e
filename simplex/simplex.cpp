// simplex: simplex projection, the forecast of a series from the nearest
// neighbours of its own past (Sugihara & May 1990).
//
//   [P, S] = simplex(x, E, tau, Tp, w, lib, pred, k)
//
// Row t of the embedding of x is (x(t), x(t - tau), ..., x(t - (E-1) tau));
// its target is x(t + Tp). The neighbours of a prediction row t are its k
// nearest library rows s with |s - t| > w (Euclidean distance, ties to the
// lower row), and its forecast is their targets' mean weighted by
// exp(-d_i / d_1) (predict/forecast.h). P holds each prediction row's
// observed target (NaN past the end of x) and forecast; S the skill
// [rho, MAE, RMSE] over the rows with an observed target.
//
// A k-d tree over the library's rows is searched for every prediction row,
// in chunks on the threads; each row's result is its own, so the thread
// count changes nothing.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/inputs.h"
#include "neighbours/library_nearest.h"
#include "predict/forecast.h"
#include "predict/inputs.h"

namespace {

using predict::row_t;

// Fills P, nP x 2 (observed target, forecast), for the prediction rows
// pred[0 ... nP - 1] from the library lib[0 ... nL - 1] (ascending), each
// row with at least k candidates, and returns the skill.
predict::skill simplex_forecasts(const predict::embedding& e, size_t Tp, uint64_t w,
                                 const row_t* lib, size_t nL, const row_t* pred, size_t nP,
                                 size_t k, double* P, int threads) {
  const neighbours::kd_tree tree = predict::library_tree(e, lib, nL, threads);
  // The prediction rows in the tree's leaf order where they are library
  // rows (the others after them, in their order): one search then follows
  // another close by, and the tree stays in cache.
  big_buffer::vector<uint32_t> order(nP);
  {
    // Each row's place: its leaf position, or nL when it is not a library
    // row; then the rows by place, in their order within a place (a
    // counting sort).
    big_buffer::vector<uint32_t> position_of(nL);
    for (size_t i = 0; i < nL; ++i) position_of[tree.rows()[i]] = uint32_t(i);
    const bool consecutive = neighbours::one_run(lib, nL);
    big_buffer::vector<uint32_t> place(nP);
    big_buffer::vector<size_t> next(nL + 2, 0);
    for (size_t r = 0; r < nP; ++r) {
      size_t at = nL;
      if (consecutive) {
        if (pred[r] >= lib[0] && pred[r] <= lib[nL - 1]) at = pred[r] - lib[0];
      } else {
        const row_t* found = std::lower_bound(lib, lib + nL, pred[r]);
        if (found != lib + nL && *found == pred[r]) at = size_t(found - lib);
      }
      place[r] = at < nL ? position_of[at] : uint32_t(nL);
      ++next[place[r] + 1];
    }
    for (size_t i = 1; i <= nL; ++i) next[i] += next[i - 1];
    for (size_t r = 0; r < nP; ++r) order[next[place[r]]++] = uint32_t(r);
  }
  constexpr size_t chunk = 256;
  const long chunks = long((nP + chunk - 1) / chunk);
  threads = parallel::threads_for(double(nP) * double(k), 8192, chunks, threads);
  neighbours::with_dimension(e.E, [&](auto D) {
    using search_t = neighbours::library_search<decltype(D)::value>;
    std::vector<std::unique_ptr<search_t>> searches(size_t(std::max(threads, 1)));
    parallel::run(chunks, threads, [&](long task, int worker) {
      auto& search = searches[size_t(worker)];
      if (!search) search = std::make_unique<search_t>(tree, lib, k, w);
      std::vector<double> point(e.E);
      const size_t end = std::min(nP, size_t(task + 1) * chunk);
      for (size_t i = size_t(task) * chunk; i < end; ++i) {
        const size_t r = order[i], t = pred[r];
        e.point(t, point.data());
        search->search(point.data(), t);
        P[r] = t + Tp < e.N ? e.x[t + Tp] : std::numeric_limits<double>::quiet_NaN();
        P[nP + r] = predict::simplex_forecast(search->distances(), search->numbers(), k, e.x, Tp);
      }
    });
  });
  return predict::skill_of(P, P + nP, nP);
}

enum { IN_X = 0, IN_E, IN_TAU, IN_TP, IN_W, IN_LIB, IN_PRED, IN_K, IN_COUNT };
enum { OUT_P = 0, OUT_S };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_TAU) host::fail("x and E must be given");
  if (nrhs > IN_COUNT) host::fail("At most eight inputs: x, E, tau, Tp, w, lib, pred and k");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const predict::series s = predict::series_from(prhs[IN_X], "x");
  const predict::embedding e = predict::embedding_from(s, nrhs, prhs, IN_E, IN_TAU, "x");
  const size_t Tp = predict::horizon_from(nrhs, prhs, IN_TP, 1, e.N);
  const uint64_t w = neighbours::window_from(nrhs, prhs, IN_W);
  const std::vector<row_t> lib = predict::rows_from(nrhs, prhs, IN_LIB, "lib", e, Tp, true);
  const std::vector<row_t> pred = predict::rows_from(nrhs, prhs, IN_PRED, "pred", e, Tp, false);
  const size_t k = nrhs > IN_K ? neighbours::neighbour_count_from(prhs[IN_K], IN_K) : e.E + 1;
  predict::require_library_candidates(lib, pred, w, k, "k = " + std::to_string(k));

  const size_t nP = pred.size();
  plhs[OUT_P] = host::create_matrix_to_fill(nP, 2);
  mxArray* skill = mxCreateDoubleMatrix(1, 3, mxREAL);
  const predict::skill S = simplex_forecasts(e, Tp, w, lib.data(), lib.size(), pred.data(), nP, k,
                                             mxGetPr(plhs[OUT_P]), parallel::thread_budget());
  mxGetPr(skill)[0] = S.rho;
  mxGetPr(skill)[1] = S.mae;
  mxGetPr(skill)[2] = S.rmse;
  if (nlhs > OUT_S) plhs[OUT_S] = skill;
}
