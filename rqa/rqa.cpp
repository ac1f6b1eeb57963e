// rqa: recurrence quantification of a point set, with a Theiler window.
//
//   [M, Dl, Vl] = rqa(X, r)
//   [M, Dl, Vl] = rqa(X, r, w, lmin, vmin, p)
//
// X is N x d, one point per row, in time order. The recurrence matrix has
// R(i, j) = 1 when |i - j| > w and the distance of rows i and j is at most
// r (distances as in neardist). Dl(l) is the number of diagonal lines
// (maximal runs of ones along a diagonal j - i = const) of length l, Vl(l)
// that of vertical lines (maximal runs down a column), both over the whole
// matrix. M holds RR, DET, L, Lmax, ENTR, LAM, TT, Vmax and the number of
// recurrences n, each ratio one division of exact whole numbers made after
// all counting. Defaults: w = 1, lmin = vmin = 2, p = Inf.
//
// No N x N matrix is held, nor a list of the recurrences. The rows are
// taken in time order; the neighbour search (neighbours/within_radius.h)
// lists each row's recurrences, and the lines are followed as the rows go
// by:
// - A vertical line in column j runs down the rows. For each column the run
//   open at the last row is kept (its last row and first row); a recurrence
//   (i, j) continues it when its last row is i - 1, else starts one. After
//   row i the columns of row i - 1 whose run did not reach row i are
//   closed, so each run is counted once, when it ends.
// - A diagonal line on j - i = k is followed the same way, per k, over the
//   upper triangle (j > i); the lower triangle mirrors it (R is symmetric),
//   so each line found there is counted twice.
// The state is O(N): for every column and every diagonal its open run, and
// the previous row's recurrences.
//
// Threads take blocks of consecutive rows. A block counts the lines that
// start and end inside it; the runs that start at its first row (which may
// continue one from the block before) and those still open at its last row
// are handed back with their lengths, and joined afterwards, block by block
// in order. Counts are whole numbers, so M, Dl and Vl are the same for
// every thread count.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <vector>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/inputs.h"
#include "neighbours/within_radius.h"

namespace rqa_core {

using neighbours::kd_tree;
using neighbours::norm;
using neighbours::row_t;

// The counts from which every measure follows.
struct counts {
  uint64_t recurrences = 0;
  std::vector<uint64_t> diagonal, vertical;  // [l] lines of length l, l = 0 ... N
};

// A run that touches a block's first or last row: its column (vertical) or
// diagonal k = j - i, its length within the block, and whether it spans the
// whole block.
struct edge {
  row_t key;
  uint32_t length;
  bool spans;
};

struct block_edges {
  // Runs that start at the block's first row (spans: open at its last row
  // too), and runs open at its last row that started later.
  std::vector<edge> heads[2], tails[2];
};

enum { DIAGONAL = 0, VERTICAL = 1 };

// The run open on a column or a diagonal: its first and last rows.
struct open_run {
  row_t first, last;
};

// Lengths up to this are counted per thread; longer lines, rare, are
// gathered and added to the shared histogram block by block.
constexpr size_t short_lines = 4096;

// What one thread keeps between the rows of its blocks.
template <typename Search>
struct worker {
  Search search;
  big_buffer::vector<open_run> runs[2];  // [k] per diagonal, [j] per column
  std::vector<row_t> row, previous_row;            // the columns of a row
  std::vector<row_t> diagonals, previous_diagonals;  // its k of the upper triangle
  std::vector<uint64_t> short_counts[2];
  std::vector<uint32_t> long_lengths[2];
  uint64_t recurrences = 0;
  bool ready = false;

  explicit worker(Search s) : search(std::move(s)) {}
};

// Counts the lines of the rows [first, end), into the worker's histograms
// and `edges`. X is the caller's N x d matrix.
template <typename Search>
void count_block(const double* X, size_t N, size_t d, uint64_t w, row_t first, row_t end,
                 worker<Search>& state, block_edges& edges) {
  if (!state.ready) {
    for (auto& runs : state.runs) runs.assign(N, open_run{0, UINT32_MAX});
    for (auto& c : state.short_counts) c.assign(std::min(N, short_lines) + 1, 0);
    state.ready = true;
  }
  open_run* const runs[2] = {state.runs[DIAGONAL].data(), state.runs[VERTICAL].data()};
  uint64_t* const short_counts[2] = {state.short_counts[DIAGONAL].data(),
                                     state.short_counts[VERTICAL].data()};
  // A run that ended at row `last`.
  auto close = [&](int kind, row_t key, const open_run& run) {
    const uint32_t length = run.last - run.first + 1;
    if (run.first == first)
      edges.heads[kind].push_back({key, length, false});
    else if (length <= short_lines)
      ++short_counts[kind][length];
    else
      state.long_lengths[kind].push_back(length);
  };
  std::vector<double> q(d);
  state.previous_row.clear();
  state.previous_diagonals.clear();
  for (row_t i = first; i < end; ++i) {
    for (size_t c = 0; c < d; ++c) q[c] = X[i + c * N];
    state.row.clear();
    state.diagonals.clear();
    state.search.rows_of(q.data(), i, state.row);
    state.recurrences += state.row.size();
    const bool continues = i > first;
    const uint64_t upper_from = uint64_t(i) + w;  // j above this: the upper triangle
    for (const row_t j : state.row) {
      open_run& column = runs[VERTICAL][j];
      if (!(continues && column.last == i - 1)) column.first = i;
      column.last = i;
      if (j > upper_from) {
        const row_t k = j - i;
        open_run& diagonal = runs[DIAGONAL][k];
        if (!(continues && diagonal.last == i - 1)) diagonal.first = i;
        diagonal.last = i;
        state.diagonals.push_back(k);
      }
    }
    for (const row_t j : state.previous_row)
      if (runs[VERTICAL][j].last != i) close(VERTICAL, j, runs[VERTICAL][j]);
    for (const row_t k : state.previous_diagonals)
      if (runs[DIAGONAL][k].last != i) close(DIAGONAL, k, runs[DIAGONAL][k]);
    state.row.swap(state.previous_row);
    state.diagonals.swap(state.previous_diagonals);
  }
  // The runs open at the last row.
  for (int kind : {DIAGONAL, VERTICAL})
    for (const row_t key : kind == DIAGONAL ? state.previous_diagonals : state.previous_row) {
      const open_run& run = runs[kind][key];
      const uint32_t length = run.last - run.first + 1;
      if (run.first == first)
        edges.heads[kind].push_back({key, length, true});
      else
        edges.tails[kind].push_back({key, length, false});
    }
  const auto by_key = [](const edge& a, const edge& b) { return a.key < b.key; };
  for (int kind : {DIAGONAL, VERTICAL}) {
    std::sort(edges.heads[kind].begin(), edges.heads[kind].end(), by_key);
    std::sort(edges.tails[kind].begin(), edges.tails[kind].end(), by_key);
  }
}

// Joins the blocks' edge runs, in block order, into the histograms.
inline void join_edges(std::vector<block_edges>& blocks, int kind, std::vector<uint64_t>& lines) {
  std::vector<edge> open, next;  // runs open at the end of the blocks joined so far, by key
  for (block_edges& block : blocks) {
    const std::vector<edge>& heads = block.heads[kind];
    next.clear();
    size_t a = 0, b = 0;
    while (a < open.size() || b < heads.size()) {
      if (b == heads.size() || (a < open.size() && open[a].key < heads[b].key)) {
        ++lines[open[a++].length];
        continue;
      }
      edge head = heads[b++];
      if (a < open.size() && open[a].key == head.key) head.length += open[a++].length;
      if (head.spans)
        next.push_back(head);
      else
        ++lines[head.length];
    }
    // Tails start after the block's first row: no key of theirs spans it.
    const std::vector<edge>& tails = block.tails[kind];
    const size_t spanning = next.size();
    next.insert(next.end(), tails.begin(), tails.end());
    std::inplace_merge(next.begin(), next.begin() + long(spanning), next.end(),
                       [](const edge& x, const edge& y) { return x.key < y.key; });
    open.swap(next);
    std::vector<edge>().swap(block.heads[kind]);
    std::vector<edge>().swap(block.tails[kind]);
  }
  for (const edge& e : open) ++lines[e.length];
}

template <size_t D, norm P>
void count_lines(const double* X, size_t N, size_t d, double r, uint64_t w, size_t blocks,
                 int threads, counts& result) {
  using search = neighbours::within_radius_search<D, P>;
  const kd_tree tree(X, N, d, threads);
  // Each thread holds 16 bytes per point for the open runs: a few suffice.
  constexpr int most_threads = 8;
  threads = std::min(threads, most_threads);
  std::vector<std::unique_ptr<worker<search>>> workers;
  for (int t = 0; t < std::max(threads, 1); ++t)
    workers.push_back(std::make_unique<worker<search>>(search(tree, r, w)));
  std::vector<block_edges> edges(blocks);
  std::mutex long_lines;
  const size_t rows_per_block = (N + blocks - 1) / blocks;
  parallel::run(long(blocks), threads, [&](long b, int t) {
    worker<search>& state = *workers[size_t(t)];
    const size_t first = size_t(b) * rows_per_block;
    const size_t end = std::min(N, first + rows_per_block);
    if (first >= end) return;
    count_block(X, N, d, w, row_t(first), row_t(end), state, edges[size_t(b)]);
    std::lock_guard<std::mutex> hold(long_lines);
    for (int kind : {DIAGONAL, VERTICAL}) {
      auto& lines = kind == DIAGONAL ? result.diagonal : result.vertical;
      for (const uint32_t length : state.long_lengths[kind]) ++lines[length];
      state.long_lengths[kind].clear();
    }
  });
  for (auto& state : workers) {
    result.recurrences += state->recurrences;
    if (!state->ready) continue;
    for (size_t l = 0; l < state->short_counts[DIAGONAL].size(); ++l) {
      result.diagonal[l] += state->short_counts[DIAGONAL][l];
      result.vertical[l] += state->short_counts[VERTICAL][l];
    }
  }
  join_edges(edges, DIAGONAL, result.diagonal);
  join_edges(edges, VERTICAL, result.vertical);
  // The lower triangle's diagonal lines mirror the upper's.
  for (uint64_t& lines : result.diagonal) lines *= 2;
}

template <norm P>
void count_lines_in(const double* X, size_t N, size_t d, double r, uint64_t w, size_t blocks,
                    int threads, counts& result) {
  switch (d) {
    case 1: return count_lines<1, P>(X, N, d, r, w, blocks, threads, result);
    case 2: return count_lines<2, P>(X, N, d, r, w, blocks, threads, result);
    case 3: return count_lines<3, P>(X, N, d, r, w, blocks, threads, result);
    default: return count_lines<0, P>(X, N, d, r, w, blocks, threads, result);
  }
}

// The number of pairs (i, j), i != j, with |i - j| > w among N rows.
inline uint64_t pairs_taking_part(uint64_t N, uint64_t w) {
  if (N < 2 || w >= N - 1) return 0;
  const uint64_t apart = N - w - 1;  // lags w + 1 ... N - 1
  return apart * (apart + 1);        // 2 * sum of (N - lag) over those lags
}

// Counts the recurrences and lines of X (N x d, column-major) at radius r
// with window w. blocks: how many blocks of rows to split the rows into (0:
// as many as suit the threads).
inline counts count(const double* X, size_t N, size_t d, double r, uint64_t w, norm p,
                    int threads, size_t blocks = 0) {
  counts result;
  result.diagonal.assign(N + 1, 0);
  result.vertical.assign(N + 1, 0);
  if (pairs_taking_part(N, w) == 0) return result;
  threads = parallel::threads_for(double(N) * 64, 1 << 16, long(N), threads);
  if (blocks == 0) blocks = threads == 1 ? 1 : size_t(4 * threads);
  blocks = std::min(blocks, N);
  if (p == norm::euclidean)
    count_lines_in<norm::euclidean>(X, N, d, r, w, blocks, threads, result);
  else
    count_lines_in<norm::maximum>(X, N, d, r, w, blocks, threads, result);
  return result;
}

// The measures, in the order of M: RR, DET, L, Lmax, ENTR, LAM, TT, Vmax, n.
constexpr size_t measure_count = 9;
inline void measures(const counts& c, uint64_t N, uint64_t w, double lmin, double vmin,
                     double* M) {
  const double n = double(c.recurrences);
  auto sums = [](const std::vector<uint64_t>& lines, double least, uint64_t& points,
                 uint64_t& count, uint64_t& longest) {
    points = count = longest = 0;
    for (size_t l = 1; l < lines.size(); ++l) {
      if (lines[l] > 0) longest = l;
      if (double(l) >= least) points += l * lines[l], count += lines[l];
    }
  };
  uint64_t d_points, d_count, d_longest, v_points, v_count, v_longest;
  sums(c.diagonal, lmin, d_points, d_count, d_longest);
  sums(c.vertical, vmin, v_points, v_count, v_longest);
  const auto ratio = [](double a, double b) { return b == 0 ? NAN : a / b; };
  double entropy = 0;
  for (size_t l = 1; l < c.diagonal.size(); ++l)
    if (double(l) >= lmin && c.diagonal[l] > 0) {
      const double share = double(c.diagonal[l]) / double(d_count);
      entropy = entropy + share * std::log(share);
    }
  M[0] = ratio(n, double(pairs_taking_part(N, w)));
  M[1] = ratio(double(d_points), n);
  M[2] = ratio(double(d_points), double(d_count));
  M[3] = double(d_longest);
  M[4] = d_count == 0 ? NAN : -entropy;
  M[5] = ratio(double(v_points), n);
  M[6] = ratio(double(v_points), double(v_count));
  M[7] = double(v_longest);
  M[8] = n;
}

}  // namespace rqa_core

namespace {

using neighbours::norm;

// A whole number of at least 1 at `position` (from 0), else 2 when not given.
double least_length_from(int nrhs, const mxArray* prhs[], int position, const char* refused) {
  if (nrhs <= position) return 2;
  const double value = host::first_element(prhs[position], position + 1);
  if (!neighbours::is_whole(value) || value < 1) host::fail(refused);
  return value;
}

enum { IN_X = 0, IN_R, IN_W, IN_LMIN, IN_VMIN, IN_P, IN_COUNT };
enum { OUT_M = 0, OUT_DL, OUT_VL, OUT_COUNT };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_W) host::fail("X and r must be given");
  if (nrhs > IN_COUNT) host::fail("At most six inputs: X, r, w, lmin, vmin and p");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const auto [X, N, d] = neighbours::points_from(prhs[IN_X]);
  const double r = host::first_element(prhs[IN_R], IN_R + 1);
  if (!(r >= 0)) host::fail("r must be a number, at least 0");
  const uint64_t w = nrhs > IN_W ? neighbours::window_from(nrhs, prhs, IN_W) : 1;
  const double lmin = least_length_from(nrhs, prhs, IN_LMIN, "lmin must be a whole number, at least 1");
  const double vmin = least_length_from(nrhs, prhs, IN_VMIN, "vmin must be a whole number, at least 1");
  const norm p = nrhs > IN_P ? neighbours::norm_from(nrhs, prhs, IN_P) : norm::maximum;

  // All three are made; those not asked for the host releases.
  mxArray* outputs[OUT_COUNT] = {host::create_matrix_to_fill(1, rqa_core::measure_count),
                                 host::create_matrix_to_fill(N, 1),
                                 host::create_matrix_to_fill(N, 1)};
  const rqa_core::counts counted = rqa_core::count(X, N, d, r, w, p, parallel::thread_budget());
  rqa_core::measures(counted, N, w, lmin, vmin, mxGetPr(outputs[OUT_M]));
  double* Dl = mxGetPr(outputs[OUT_DL]);
  double* Vl = mxGetPr(outputs[OUT_VL]);
  for (size_t l = 1; l <= N; ++l) {
    Dl[l - 1] = double(counted.diagonal[l]);
    Vl[l - 1] = double(counted.vertical[l]);
  }
  for (int k = 0; k < std::max(nlhs, 1) && k < OUT_COUNT; ++k) plhs[k] = outputs[k];
}
