// corrsum: the correlation sum of a point set, leaving out pairs close in
// time (a Theiler window).
//
//   [C, n] = corrsum(X, r)
//   [C, n] = corrsum(X, r, w, p)
//
// X is N x d, one point per row, in time order. The pairs are the rows
// i < j with j - i > w. For every radius r(m), n(m) is the number of pairs
// whose distance is below r(m), and C(m) = n(m) / (number of pairs), one
// rounded division. Distances as in neardist: the Euclidean distance (p = 2)
// is the square root of the sum, over the coordinates in order, of the
// squared differences, each operation rounded; the maximum norm (p = Inf)
// is the largest absolute difference. A radius of 0 or below counts no pair,
// an infinite one every pair. Defaults: w = 0, p = 2.
//
// The distance is compared with the radius, not its square with the square
// of the radius: each radius becomes the largest sum of squares whose root
// is below it, so that sums can be compared instead, with the same outcome.
//
// The pairs are counted on a k-d tree, two nodes at a time: when the bounds
// on the distances between two nodes' points put all their pairs on the same
// side of every radius, the pairs are counted at once; otherwise the nodes
// are split, down to pairs of leaves, whose pairs are counted one by one. The
// bounds use the same operations as the distances, so a rounded bound never
// passes a rounded distance. The tree counts every pair i < j; the pairs
// within the window (0 < j - i <= w) are then counted one by one and taken
// off, or, when they are the most of all pairs, the pairs outside it are
// counted one by one instead. Counts are whole numbers: adding the threads'
// counts gives the same for every thread count.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/inputs.h"
#include "neighbours/k_nearest.h"

namespace {

using neighbours::kd_tree;
using neighbours::norm;

// The largest sum that counts for the radius: a pair counts when its sum
// (of squares, or largest difference) is at most this. -1 when none does.
double largest_counted_sum(double r, norm p) {
  if (!(r > 0)) return -1;
  if (r == INFINITY) return INFINITY;
  if (p == norm::maximum) return std::nextafter(r, 0.0);
  // The roots of the sums near r^2 are within an ulp or two of r.
  double s = std::min(r * r, DBL_MAX);
  while (s > 0 && std::sqrt(s) >= r) s = std::nextafter(s, 0.0);
  while (s < DBL_MAX && std::sqrt(std::nextafter(s, INFINITY)) < r)
    s = std::nextafter(s, INFINITY);
  return s;
}

// The first of the ascending thresholds[lo ... hi - 1] at least s (hi when
// none is): the first radius for which a pair with the sum s counts.
size_t first_counting(const double* thresholds, size_t lo, size_t hi, double s) {
  if (hi - lo <= 16) {
    size_t below = 0;
    for (size_t m = lo; m < hi; ++m) below += thresholds[m] < s;
    return lo + below;
  }
  return size_t(std::lower_bound(thresholds + lo, thresholds + hi, s) - thresholds);
}

// Counts pairs of the tree's points, two nodes at a time, into counts[m]:
// the number of pairs for which the m-th threshold is the first that counts
// them (m = M for the pairs no radius counts).
template <size_t D, norm P>
class pair_count {
 public:
  pair_count(const kd_tree& tree, const double* thresholds)
      : tree_(tree), d_(D ? D : tree.dims()), thresholds_(thresholds) {}

  // The pair of nodes a and b (a = b for the pairs within one node), whose
  // pairs are known to be first counted at a threshold in [lo, hi].
  struct task {
    uint32_t a, b;
    uint32_t lo, hi;
  };

  // Counts what the bounds settle; returns false when the pair of nodes
  // must be split (then the range narrows to what the bounds leave open).
  bool settle(task& t, uint64_t* counts) const {
    double least, most;
    bounds(t.a, t.b, least, most);
    const size_t lo = first_counting(thresholds_, t.lo, t.hi, least);
    const size_t hi = first_counting(thresholds_, lo, t.hi, most);
    t.lo = uint32_t(lo);
    t.hi = uint32_t(hi);
    if (lo < hi) return false;
    counts[lo] += pairs_of(t);
    return true;
  }

  // The pairs that a task holds, split into tasks for children; leaves are
  // counted pair by pair.
  void split(const task& t, std::vector<task>& into, uint64_t* counts) const {
    const neighbours::kd_node &a = tree_.node(t.a), &b = tree_.node(t.b);
    const bool a_leaf = a.split == neighbours::leaf_node, b_leaf = b.split == neighbours::leaf_node;
    if (t.a == t.b) {
      if (a_leaf) return count_within(a, t, counts);
      into.push_back({a.left, a.left, t.lo, t.hi});
      into.push_back({a.left, a.right, t.lo, t.hi});
      into.push_back({a.right, a.right, t.lo, t.hi});
      return;
    }
    if (a_leaf && b_leaf) return count_between(a, b, t, counts);
    // The larger node is split.
    const bool split_a = b_leaf || (!a_leaf && a.end - a.begin >= b.end - b.begin);
    if (split_a) {
      into.push_back({a.left, t.b, t.lo, t.hi});
      into.push_back({a.right, t.b, t.lo, t.hi});
    } else {
      into.push_back({t.a, b.left, t.lo, t.hi});
      into.push_back({t.a, b.right, t.lo, t.hi});
    }
  }

  // Counts everything a task holds.
  void count(task t, uint64_t* counts, std::vector<task>& stack) const {
    const size_t bottom = stack.size();
    stack.push_back(t);
    while (stack.size() > bottom) {
      task next = stack.back();
      stack.pop_back();
      if (!settle(next, counts)) split(next, stack, counts);
    }
  }

 private:
  size_t dims() const { return D ? D : d_; }

  uint64_t pairs_of(const task& t) const {
    const uint64_t na = tree_.node(t.a).end - tree_.node(t.a).begin;
    if (t.a == t.b) return na * (na - 1) / 2;
    return na * (tree_.node(t.b).end - tree_.node(t.b).begin);
  }

  // The least and most sums a pair of points of a and b can have, in the
  // operations of the sums themselves.
  void bounds(uint32_t a, uint32_t b, double& least, double& most) const {
    const double *a_low = tree_.box_low(a), *a_high = tree_.box_high(a);
    const double *b_low = tree_.box_low(b), *b_high = tree_.box_high(b);
    least = most = 0;
    for (size_t c = 0; c < dims(); ++c) {
      double gap = std::max(b_low[c] - a_high[c], a_low[c] - b_high[c]);
      if (!(gap > 0)) gap = 0;
      const double span = std::max(a_high[c] - b_low[c], b_high[c] - a_low[c]);
      if (P == norm::euclidean) {
        least = c == 0 ? gap * gap : least + gap * gap;
        most = c == 0 ? span * span : most + span * span;
      } else {
        least = std::max(least, gap);
        most = std::max(most, span);
      }
    }
  }

  // The sums of the point at position i with those at [begin, begin + n).
  void sums_with(uint32_t i, uint32_t begin, uint32_t n, double* sums) const {
    for (uint32_t j = 0; j < n; ++j) sums[j] = 0;
    for (size_t c = 0; c < dims(); ++c) {
      const double* x = tree_.coordinate(c);
      const double q = x[i];
      for (uint32_t j = 0; j < n; ++j) {
        const double t = q - x[begin + j];
        if (P == norm::euclidean)
          sums[j] = c == 0 ? t * t : sums[j] + t * t;
        else
          sums[j] = std::max(sums[j], std::fabs(t));
      }
    }
  }

  void bin(const double* sums, uint32_t n, const task& t, uint64_t* counts) const {
    for (uint32_t j = 0; j < n; ++j) ++counts[first_counting(thresholds_, t.lo, t.hi, sums[j])];
  }

  void count_within(const neighbours::kd_node& leaf, const task& t, uint64_t* counts) const {
    double sums[neighbours::leaf_size];
    for (uint32_t i = leaf.begin; i + 1 < leaf.end; ++i) {
      sums_with(i, i + 1, leaf.end - i - 1, sums);
      bin(sums, leaf.end - i - 1, t, counts);
    }
  }

  void count_between(const neighbours::kd_node& a, const neighbours::kd_node& b, const task& t,
                     uint64_t* counts) const {
    double sums[neighbours::leaf_size];
    for (uint32_t i = a.begin; i < a.end; ++i) {
      sums_with(i, b.begin, b.end - b.begin, sums);
      bin(sums, b.end - b.begin, t, counts);
    }
  }

  const kd_tree& tree_;
  const size_t d_;
  const double* thresholds_;
};

// The tree's count of all pairs i < j.
template <size_t D, norm P>
void count_on_tree(const kd_tree& tree, const double* thresholds, size_t M, uint64_t* counts,
                   int threads) {
  using counter = pair_count<D, P>;
  const counter pairs(tree, thresholds);
  // The first splits here, until there are pairs of nodes enough to share
  // out; then the threads take them as they come free.
  std::vector<typename counter::task> tasks{{kd_tree::root, kd_tree::root, 0, uint32_t(M)}};
  std::vector<typename counter::task> next;
  constexpr size_t enough = 4096;
  while (!tasks.empty() && tasks.size() < enough) {
    next.clear();
    for (auto t : tasks)
      if (!pairs.settle(t, counts)) pairs.split(t, next, counts);
    tasks.swap(next);
  }
  threads = parallel::threads_for(double(tree.size()) * 64, 1 << 16, long(tasks.size()), threads);
  std::vector<std::vector<uint64_t>> own(size_t(std::max(threads, 1)),
                                         std::vector<uint64_t>(M + 1, 0));
  std::vector<std::vector<typename counter::task>> stacks(own.size());
  parallel::run(long(tasks.size()), threads, [&](long i, int worker) {
    pairs.count(tasks[size_t(i)], own[size_t(worker)].data(), stacks[size_t(worker)]);
  });
  for (const auto& counted : own)
    for (size_t m = 0; m <= M; ++m) counts[m] += counted[m];
}

template <norm P>
void count_on_tree_in(const kd_tree& tree, const double* thresholds, size_t M, uint64_t* counts,
                      int threads) {
  switch (tree.dims()) {
    case 1: return count_on_tree<1, P>(tree, thresholds, M, counts, threads);
    case 2: return count_on_tree<2, P>(tree, thresholds, M, counts, threads);
    case 3: return count_on_tree<3, P>(tree, thresholds, M, counts, threads);
    default: return count_on_tree<0, P>(tree, thresholds, M, counts, threads);
  }
}

// Counts, one by one, the pairs (i, i + lag) of X for lag = lags_from ...
// lags_to (those with i + lag < N); into counts as pair_count does.
void count_by_lag(const double* X, size_t N, size_t d, norm p, uint64_t lags_from,
                  uint64_t lags_to, const double* thresholds, size_t M, uint64_t* counts,
                  int threads) {
  if (lags_from > lags_to || lags_from >= N) return;
  lags_to = std::min<uint64_t>(lags_to, N - 1);
  // Blocks of rows, each with every lag: the rows a block reads stay in cache.
  constexpr size_t block = 2048;
  const long blocks = long((N + block - 1) / block);
  const double pairs = double(lags_to - lags_from + 1) * double(N);
  threads = parallel::threads_for(pairs, 1 << 18, blocks, threads);
  std::vector<std::vector<uint64_t>> own(size_t(std::max(threads, 1)),
                                         std::vector<uint64_t>(M + 1, 0));
  parallel::run(blocks, threads, [&](long b, int worker) {
    uint64_t* counted = own[size_t(worker)].data();
    std::vector<double> sums(block);
    const size_t first = size_t(b) * block;
    for (uint64_t lag = lags_from; lag <= lags_to; ++lag) {
      if (first + lag >= N) break;
      const size_t n = std::min(block, size_t(N - lag - first));
      for (size_t c = 0; c < d; ++c) {
        const double* x = X + c * N + first;
        for (size_t i = 0; i < n; ++i) {
          const double t = x[i] - x[i + lag];
          if (p == norm::euclidean)
            sums[i] = c == 0 ? t * t : sums[i] + t * t;
          else
            sums[i] = c == 0 ? std::fabs(t) : std::max(sums[i], std::fabs(t));
        }
      }
      if (d == 0) std::fill_n(sums.begin(), n, 0.0);
      for (size_t i = 0; i < n; ++i) ++counted[first_counting(thresholds, 0, M, sums[i])];
    }
  });
  for (const auto& c : own)
    for (size_t m = 0; m <= M; ++m) counts[m] += c[m];
}

// n[m], for each of the M radii, the number of pairs i < j with j - i > w
// whose distance is below radii[m]. There must be at least one pair.
void pair_counts(const double* X, size_t N, size_t d, const double* radii, size_t M, uint64_t w,
                 norm p, double* n, int threads) {
  // The radii as thresholds on the sums, in ascending order.
  std::vector<size_t> order(M);
  std::iota(order.begin(), order.end(), size_t(0));
  std::vector<double> of_radius(M), thresholds(M);
  for (size_t m = 0; m < M; ++m) of_radius[m] = largest_counted_sum(radii[m], p);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return of_radius[a] < of_radius[b]; });
  for (size_t m = 0; m < M; ++m) thresholds[m] = of_radius[order[m]];

  std::vector<uint64_t> counts(M + 1, 0);
  const uint64_t lags = std::min<uint64_t>(w, N - 1);  // within the window
  const uint64_t in_window = lags * N - lags * (lags + 1) / 2;
  const uint64_t all = uint64_t(N) * (N - 1) / 2;
  if (all - in_window < in_window) {
    count_by_lag(X, N, d, p, w + 1, N - 1, thresholds.data(), M, counts.data(), threads);
  } else {
    const kd_tree tree(X, N, d, threads);
    if (p == norm::euclidean)
      count_on_tree_in<norm::euclidean>(tree, thresholds.data(), M, counts.data(), threads);
    else
      count_on_tree_in<norm::maximum>(tree, thresholds.data(), M, counts.data(), threads);
    std::vector<uint64_t> window(M + 1, 0);
    count_by_lag(X, N, d, p, 1, lags, thresholds.data(), M, window.data(), threads);
    for (size_t m = 0; m <= M; ++m) counts[m] -= window[m];
  }
  uint64_t below = 0;
  for (size_t m = 0; m < M; ++m) {
    below += counts[m];
    n[order[m]] = double(below);
  }
}

enum { IN_X = 0, IN_R, IN_W, IN_P, IN_COUNT };
enum { OUT_C = 0, OUT_N };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_W) host::fail("X and r must be given");
  if (nrhs > IN_COUNT) host::fail("At most four inputs: X, r, w and p");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const auto [X, N, d] = neighbours::points_from(prhs[IN_X]);

  const double* radii = mxGetPr(prhs[IN_R]);
  const size_t M = host::all_elements(prhs[IN_R]);
  for (size_t m = 0; m < M; ++m)
    if (std::isnan(radii[m])) host::fail("r must not hold NaN");

  const uint64_t w = neighbours::window_from(nrhs, prhs, IN_W);
  const norm p = neighbours::norm_from(nrhs, prhs, IN_P);

  if (N < 2 || w >= N - 1) host::fail("No pairs: X needs more than w + 1 rows");
  const uint64_t pairs = (N - w) * (N - w - 1) / 2;

  plhs[OUT_C] = host::create_matrix_to_fill(M, 1);
  mxArray* counts = host::create_matrix_to_fill(M, 1);
  double* n = mxGetPr(counts);
  pair_counts(X, N, d, radii, M, w, p, n, parallel::thread_budget());
  double* C = mxGetPr(plhs[OUT_C]);
  for (size_t m = 0; m < M; ++m) C[m] = n[m] / double(pairs);
  if (nlhs > OUT_N) plhs[OUT_N] = counts;
}
