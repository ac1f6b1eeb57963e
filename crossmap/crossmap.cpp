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
// The draws run on the threads, one draw per task, a batch at a time; one
// task of each batch makes the random swaps of the next. Two searches find
// a draw's neighbours, both exact, with the same distances:
//  - the lists: every valid row's `depth` nearest candidates among all
//    valid rows, found once per call. The k nearest library rows of a row
//    are the first k of its list that are in the library, when the list
//    holds k of them. A large library holds k of the first few, so this
//    is a short walk along the list; a row whose list holds too few is
//    searched as below.
//  - a k-d tree over the draw's library, built when first needed, searched
//    in an order that keeps neighbouring rows together. Small libraries
//    use it for every row.
// Each R(i, j) is one task's own, so the thread count changes nothing.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
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

// Every valid row's `depth` nearest candidates (|s - t| > w) among all
// valid rows, by distance and then row, as row numbers: depth entries a
// row, the missing ones n (never in a library) when a row has fewer
// candidates. Rows count from 0 among the valid rows. The lists
// come in the order they are forecast (order[i] is the list of(i)), so
// that a draw reads the lists from start to end.
struct neighbour_lists {
  size_t depth = 0;
  big_buffer::vector<row_t> rows;
  const row_t* of(size_t r) const { return rows.data() + r * depth; }
};

neighbour_lists nearest_candidates(const cross_problem& p, const neighbours::kd_tree& tree,
                                   const row_t* all, const uint32_t* order, size_t depth,
                                   int threads) {
  neighbour_lists lists;
  lists.depth = depth;
  lists.rows.resize(p.n * depth);
  constexpr size_t chunk = 256;
  const long chunks = long((p.n + chunk - 1) / chunk);
  threads = parallel::threads_for(double(p.n) * double(depth), 1 << 16, chunks, threads);
  neighbours::with_dimension(p.e.E, [&](auto D) {
    using search_t = neighbours::library_search<decltype(D)::value>;
    parallel::run(chunks, threads, [&](long task, int) {
      search_t search(tree, all, depth, p.w);
      std::vector<double> v(p.e.E);
      const size_t end = std::min(p.n, size_t(task + 1) * chunk);
      for (size_t i = size_t(task) * chunk; i < end; ++i) {
        const size_t r = order[i];
        p.e.point(p.first() + r, v.data());
        const size_t found = search.search(v.data(), p.first() + r);
        row_t* list = lists.rows.data() + i * depth;
        for (size_t m = 0; m < depth; ++m)
          list[m] = row_t(m < found ? search.numbers()[m] - p.first() : p.n);
      }
    });
  });
  return lists;
}

// The distance of rows s and t, as the tree's search takes it: the root of
// the sum over the coordinates in order of the squared differences.
template <size_t D>
double distance_between(const predict::embedding& e, size_t s, const double* v) {
  const size_t dims = D ? D : e.E;
  double sum = 0;
  for (size_t c = 0; c < dims; ++c) {
    const double d = e.x[s - c * e.tau] - v[c];
    sum = c == 0 ? d * d : sum + d * d;
  }
  return std::sqrt(sum);
}

// The correlation of forecast and target over every valid row, for the
// library lib[0 ... L - 1] (ascending), whose rows are marked in `in`
// (from 0 among the valid rows). With lists, a row's neighbours are the
// first k library rows of its list where it holds k; the other rows, or
// all without lists, are searched in a tree over the library. order lists
// the valid rows (from 0 among them) in the order they are forecast;
// forecasts has room for n.
template <size_t D>
double cross_map_draw(const cross_problem& p, const row_t* lib, size_t L,
                      const unsigned char* in, const neighbour_lists* lists,
                      const uint32_t* order, double* forecasts, const double* targets) {
  const size_t k = p.e.E + 1;
  std::unique_ptr<neighbours::kd_tree> tree;
  std::unique_ptr<neighbours::library_search<D>> search;
  double point[D ? D : 64];
  std::vector<double> long_point(D ? 0 : p.e.E);
  double* v = D ? point : long_point.data();
  std::vector<double> distances(k);
  std::vector<row_t> rows(k);
  for (size_t r = 0; r < p.n; ++r) {
    const size_t t = p.first() + order[r];
    p.e.point(t, v);
    if (lists) {
      const row_t* list = lists->of(r);
      size_t found = 0;
      // Without a branch that would be mispredicted as often as a
      // candidate is left out: rows[found] is overwritten until it holds
      // a library row.
      for (size_t m = 0; m < lists->depth && found < k; ++m) {
        rows[found] = list[m];
        found += in[list[m]];
      }
      if (found == k) {
        for (size_t m = 0; m < k; ++m) {
          rows[m] = row_t(p.first() + rows[m]);
          distances[m] = distance_between<D>(p.e, rows[m], v);
        }
        forecasts[order[r]] =
            predict::simplex_forecast(distances.data(), rows.data(), k, p.y, p.Tp);
        continue;
      }
    }
    if (!search) {
      tree = std::make_unique<neighbours::kd_tree>(predict::library_tree(p.e, lib, L, 1));
      search = std::make_unique<neighbours::library_search<D>>(*tree, lib, k, p.w);
    }
    search->search(v, t);
    forecasts[order[r]] =
        predict::simplex_forecast(search->distances(), search->numbers(), k, p.y, p.Tp);
  }
  return predict::skill_of(targets, forecasts, p.n).rho;
}

// Which draws walk lists, and how deep the lists go. By default 64
// candidates a row, fewer where that would take more than 2^24 entries, and
// a draw walks them when its library holds, on average, at least 2k of
// them; below that, its tree is faster.
struct list_plan {
  size_t depth;      // 0: no lists
  double walk_from;  // the least mean count of library rows in a list
  bool walks(size_t L, size_t n) const {
    return depth > 0 && double(L) * double(depth) >= walk_from * double(n);
  }
};
list_plan default_plan(size_t n, size_t k) {
  return {std::min<size_t>(64, (size_t(1) << 24) / std::max<size_t>(n, 1)), 2.0 * double(k)};
}

// Fills R (nL x samples, column-major) for the sizes L[0 ... nL - 1], each
// from E + 2w + 2 to n. Without `seeded`, one sample of the first L(i)
// valid rows.
void cross_map(const cross_problem& p, const size_t* sizes, size_t nL, size_t samples,
               bool seeded, uint32_t seed, double* R, int threads, const list_plan& plan) {
  const size_t n = p.n, draws = nL * samples;
  if (draws == 0) return;
  // The targets, and the valid rows in the leaf order of a tree over all of
  // them: rows searched one after another then lie close.
  big_buffer::vector<double> targets(n);
  for (size_t r = 0; r < n; ++r) targets[r] = p.y[p.first() + r + p.Tp];
  big_buffer::vector<uint32_t> order(n);
  neighbour_lists lists;
  bool any_walks = false;
  for (size_t i = 0; i < nL; ++i) any_walks = any_walks || plan.walks(sizes[i], n);
  {
    std::vector<row_t> all(n);
    std::iota(all.begin(), all.end(), row_t(p.first()));
    const neighbours::kd_tree tree = predict::library_tree(p.e, all.data(), n, threads);
    std::copy(tree.rows(), tree.rows() + n, order.begin());
    if (any_walks)
      lists = nearest_candidates(p, tree, all.data(), order.data(), plan.depth, threads);
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
  // The draws' picks, made in the generator's order: draw b of a batch
  // swaps positions a and picks[b][a] of the list. One task makes the next
  // batch's picks while the others shuffle, sort and search this batch's.
  std::vector<big_buffer::vector<uint32_t>> picks[2] = {
      std::vector<big_buffer::vector<uint32_t>>(per_batch),
      std::vector<big_buffer::vector<uint32_t>>(per_batch)};
  mersenne_twister::generator twister(0);
  twister.init_genrand(seed);
  const auto make_picks = [&](size_t start, std::vector<big_buffer::vector<uint32_t>>& into) {
    for (size_t b = 0; b < std::min(per_batch, draws - start); ++b) {
      // Draw start + b is size i, sample j: the order i, then j.
      const size_t L = sizes[(start + b) / samples];
      into[b].resize(L);
      for (size_t a = 0; a < L; ++a) {
        const size_t pick = a + size_t(std::floor(twister.genrand_res53() * double(n - a)));
        into[b][a] = uint32_t(std::min(pick, n - 1));
      }
    }
  };
  struct worker_space {
    big_buffer::vector<double> forecasts;
    big_buffer::vector<row_t> shuffled, lib;
    std::vector<unsigned char> in;
  };
  std::vector<worker_space> spaces(static_cast<size_t>(threads));

  if (seeded) make_picks(0, picks[0]);
  for (size_t start = 0, turn = 0; start < draws; start += per_batch, turn ^= 1) {
    const size_t count = std::min(per_batch, draws - start);
    const long ahead = seeded && start + per_batch < draws ? 1 : 0;
    parallel::run(long(count) + ahead, threads, [&](long task, int worker) {
      if (task < ahead) return make_picks(start + per_batch, picks[turn ^ 1]);
      const long b = task - ahead;
      worker_space& space = spaces[size_t(worker)];
      if (space.forecasts.size() != n) {
        space.forecasts.resize(n);
        space.shuffled.resize(n);
        space.lib.resize(n);
      }
      const size_t draw = start + size_t(b), i = draw / samples, j = draw % samples;
      const size_t L = sizes[i];
      // The library: the first L of the shuffled list (from 0 among the
      // valid rows), marked, then collected in ascending order.
      row_t* list = space.shuffled.data();
      std::iota(list, list + n, row_t(0));
      if (seeded)
        for (size_t a = 0; a < L; ++a) std::swap(list[a], list[picks[turn][size_t(b)][a]]);
      space.in.assign(n + 1, 0);  // in[n] for the lists' missing entries
      for (size_t a = 0; a < L; ++a) space.in[list[a]] = 1;
      size_t at = 0;
      for (size_t r = 0; r < n; ++r)
        if (space.in[r]) space.lib[at++] = row_t(p.first() + r);
      const neighbour_lists* walk = plan.walks(L, n) ? &lists : nullptr;
      neighbours::with_dimension(p.e.E, [&](auto D) {
        R[i + j * nL] = cross_map_draw<decltype(D)::value>(p, space.lib.data(), L, space.in.data(),
                                                           walk, order.data(),
                                                           space.forecasts.data(), targets.data());
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
  cross_map(p, sizes.data(), nL, samples, seeded, seed, mxGetPr(plhs[0]), parallel::thread_budget(),
            default_plan(n, k));
}
