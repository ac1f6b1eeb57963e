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
// - A vertical line in column j is, R being symmetric, a horizontal run in
//   row j: the vertical lines are the runs of consecutive columns in each
//   row, found from the row's columns marked as bits.
// - A diagonal line of the upper triangle starts at (i, j) when (i - 1,
//   j - 1) is no recurrence and ends at (i - 1, j - 1) when (i, j) is none:
//   the previous row's bits and the current row's tell; the first row of the
//   line open on each diagonal is kept in between. The lower triangle
//   mirrors the upper (R is symmetric), so each line is counted twice.
// The state is O(N): the first row of the line open on each diagonal, two
// rows of bits, and the current and previous rows' recurrences.
//
// Threads take blocks of consecutive rows (vertical lines, whole within a
// row, need nothing more). A block counts the diagonal lines that start and
// end inside it; those that start at its first row (which may continue a
// line of the block before) and those still open at its last row are handed
// back with their lengths, and joined afterwards, block by block in order.
// Counts are whole numbers, so M, Dl and Vl are the same for every thread
// count.
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

// A diagonal line that touches a block's first or last row: its diagonal
// k = j - i, its length within the block, and whether it spans the whole
// block.
struct edge {
  row_t k;
  uint32_t length;
  bool spans;
};

struct block_edges {
  // Lines that start at the block's first row (spans: open at its last row
  // too), and lines open at its last row that started later; by k.
  std::vector<edge> heads, tails;
};

enum { DIAGONAL = 0, VERTICAL = 1 };

// Lengths up to this are counted per thread; longer lines, rare, are
// gathered and added to the shared histogram block by block.
constexpr size_t short_lines = 4096;

// The rows of one row of R, as bits: bit j + 1 for row j, so that j - 1 and
// j + 1 can be asked of every row j.
class row_bits {
 public:
  void resize(size_t N) { words_.assign((N + 2) / 64 + 1, 0); }
  bool has(uint64_t j_plus_1) const { return words_[j_plus_1 >> 6] >> (j_plus_1 & 63) & 1; }
  void set(row_t j) { words_[(j + 1) >> 6] |= uint64_t(1) << ((j + 1) & 63); }
  void clear(row_t j) { words_[(j + 1) >> 6] &= ~(uint64_t(1) << ((j + 1) & 63)); }
  // Whether row j - 1, row j, row j + 1 is among the bits.
  bool before(row_t j) const { return has(j); }
  bool after(row_t j) const { return has(uint64_t(j) + 2); }

 private:
  std::vector<uint64_t> words_;
};

// What one thread keeps between the rows of its blocks, in cache lines of
// its own: each thread writes its counts and its lists' ends (see
// parallel::own_lines).
template <typename Search>
struct alignas(64) worker {
  Search search;
  big_buffer::vector<row_t> starts;  // [k]: the first row of the line open on diagonal k
  row_bits bits, previous_bits;       // the current row and the one before
  std::vector<row_t> row, previous_row;      // a row's columns
  std::vector<row_t> upper, previous_upper;  // those in the upper triangle
  std::vector<row_t> ended;
  std::vector<uint64_t> short_counts[2];
  std::vector<uint32_t> long_lengths[2];
  uint64_t recurrences = 0;
  bool ready = false;

  explicit worker(Search s) : search(std::move(s)) {}
};

// Counts the lines of the rows [first, end), into the worker's histograms
// and `edges`. X is the caller's N x d matrix.
//
// A vertical line in column j is, R being symmetric, a horizontal run in
// row j: the vertical lines are counted as the runs of consecutive columns
// in each row, from the row's bits, whole within the row.
//
// A diagonal line of the upper triangle starts at (i, j) when (i - 1, j - 1)
// is not a recurrence, and ends at (i - 1, j - 1) when (i, j) is not one;
// the previous row's bits tell the one, the current row's the other, and
// the line's first row is kept per diagonal in between.
template <typename Search>
void count_block(const double* X, size_t N, size_t d, uint64_t w, row_t first, row_t end,
                 worker<Search>& state, block_edges& edges) {
  if (!state.ready) {
    state.starts.resize(N);
    state.bits.resize(N);
    state.previous_bits.resize(N);
    for (auto& c : state.short_counts) c.assign(std::min(N, short_lines) + 1, 0);
    state.ready = true;
  }
  row_t* const starts = state.starts.data();
  uint64_t* const diagonal_counts = state.short_counts[DIAGONAL].data();
  uint64_t* const vertical_counts = state.short_counts[VERTICAL].data();
  std::vector<uint32_t>& long_diagonals = state.long_lengths[DIAGONAL];
  std::vector<uint32_t>& long_verticals = state.long_lengths[VERTICAL];
  std::vector<double> q(d);
  state.previous_row.clear();
  state.previous_upper.clear();
  for (row_t i = first; i < end; ++i) {
    for (size_t c = 0; c < d; ++c) q[c] = X[i + c * N];
    std::vector<row_t>& row = state.row;
    row.clear();
    state.search.rows_of(q.data(), i, row);
    state.recurrences += row.size();
    row_bits& bits = state.bits;
    for (const row_t j : row) bits.set(j);
    // Vertical lines: the runs along the row, each from its first column.
    for (const row_t j : row) {
      if (bits.before(j)) continue;
      uint32_t length = 1;
      while (bits.after(j + length - 1)) ++length;
      if (length <= short_lines)
        ++vertical_counts[length];
      else
        long_verticals.push_back(length);
    }
    // The row's columns in the upper triangle, without branches on them.
    const uint64_t upper = uint64_t(i) + w;
    std::vector<row_t>& diagonal = state.upper;
    diagonal.resize(row.size());
    size_t count = 0;
    for (const row_t j : row) {
      diagonal[count] = j;
      count += j > upper;
    }
    diagonal.resize(count);
    // Diagonal lines that ended at the row before: (i - 1, j) but not (i, j + 1).
    std::vector<row_t>& ended = state.ended;
    ended.resize(state.previous_upper.size());
    count = 0;
    for (const row_t j : state.previous_upper) {
      ended[count] = j;
      count += !bits.after(j);
    }
    for (size_t e = 0; e < count; ++e) {
      const row_t k = ended[e] - (i - 1);
      const uint32_t length = i - starts[k];
      if (starts[k] == first)
        edges.heads.push_back({k, length, false});
      else if (length <= short_lines)
        ++diagonal_counts[length];
      else
        long_diagonals.push_back(length);
    }
    // Diagonal lines that start at this row: (i, j) but not (i - 1, j - 1).
    // The bits of the row before a block's first are clear.
    const row_bits& previous_bits = state.previous_bits;
    for (const row_t j : diagonal) {
      const row_t k = j - i;
      starts[k] = previous_bits.before(j) ? starts[k] : i;
    }
    for (const row_t j : state.previous_row) state.previous_bits.clear(j);
    std::swap(state.bits, state.previous_bits);
    state.row.swap(state.previous_row);
    state.upper.swap(state.previous_upper);
  }
  // The diagonal lines open at the last row.
  const row_t last = end - 1;
  for (const row_t j : state.previous_row) state.previous_bits.clear(j);
  for (const row_t j : state.previous_upper) {
    const row_t k = j - last;
    const uint32_t length = end - starts[k];
    if (starts[k] == first)
      edges.heads.push_back({k, length, true});
    else
      edges.tails.push_back({k, length, false});
  }
  state.previous_row.clear();
  state.previous_upper.clear();
  const auto by_k = [](const edge& a, const edge& b) { return a.k < b.k; };
  std::sort(edges.heads.begin(), edges.heads.end(), by_k);
  std::sort(edges.tails.begin(), edges.tails.end(), by_k);
}

// Joins the blocks' edge lines, in block order, into the histogram.
inline void join_edges(std::vector<block_edges>& blocks, std::vector<uint64_t>& lines) {
  std::vector<edge> open, next;  // lines open at the end of the blocks joined so far, by k
  for (block_edges& block : blocks) {
    const std::vector<edge>& heads = block.heads;
    next.clear();
    size_t a = 0, b = 0;
    while (a < open.size() || b < heads.size()) {
      if (b == heads.size() || (a < open.size() && open[a].k < heads[b].k)) {
        ++lines[open[a++].length];
        continue;
      }
      edge head = heads[b++];
      if (a < open.size() && open[a].k == head.k) head.length += open[a++].length;
      if (head.spans)
        next.push_back(head);
      else
        ++lines[head.length];
    }
    // Tails start after the block's first row: no k of theirs spans it.
    const size_t spanning = next.size();
    next.insert(next.end(), block.tails.begin(), block.tails.end());
    std::inplace_merge(next.begin(), next.begin() + long(spanning), next.end(),
                       [](const edge& x, const edge& y) { return x.k < y.k; });
    open.swap(next);
    std::vector<edge>().swap(block.heads);
    std::vector<edge>().swap(block.tails);
  }
  for (const edge& e : open) ++lines[e.length];
}

template <size_t D, norm P>
void count_lines(const double* X, size_t N, size_t d, double r, uint64_t w, size_t blocks,
                 int threads, counts& result) {
  using search = neighbours::within_radius_search<D, P>;
  const kd_tree tree(X, N, d, threads);
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
  join_edges(edges, result.diagonal);
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
