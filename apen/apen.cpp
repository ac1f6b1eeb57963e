// apen: approximate entropy of a series, with self-matches.
//
//   AE = apen(x)
//   AE = apen(x, m, r, tau)
//
// For L = m and L = m + 1 the templates are u_L(i) = (x(i), x(i + tau), ...,
// x(i + (L-1) tau)), i = 1 ... n_L = N - (L-1) tau. C_i = #{j <= n_L :
// dist(u_L(i), u_L(j)) <= r} / n_L, the distance in the maximum norm (i
// itself counts), and Phi_L = (sum over i in order of log C_i) / n_L.
// AE = Phi_m - Phi_{m+1}. Defaults: m = 2, r = 0.2 sigma (sigma of x, as
// embeddim defines it), tau = 1.
//
// Every template's count comes from the shared k-d tree, on pairs of nodes
// (neighbours/range_count.h), over the delay vectors where they lie in the
// series: the tree holds the only copy, of one length at a time. The counts
// are kept by template; the logs are taken on threads, each into its own
// place, and summed afterwards in order of i, so the result is the same for
// every thread count.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "host/big_buffer.h"
#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/inputs.h"
#include "neighbours/range_count.h"
#include "neighbours/series.h"

namespace {

using neighbours::whole_from;
using neighbours::whole_number;

// Phi_L for the n templates of length L of x.
double phi(const double* x, size_t n, size_t L, size_t tau, double r, int threads) {
  big_buffer::vector<double> logs(n);
  {
    const neighbours::kd_tree tree(neighbours::delay_columns(x, L, tau), n, threads);
    big_buffer::vector<uint32_t> counts(n);
    neighbours::count_within(tree, neighbours::norm::maximum, r, counts.data(), threads);
    const neighbours::row_t* rows = tree.rows();
    constexpr size_t block = 1 << 14;
    const long blocks = long((n + block - 1) / block);
    parallel::run(blocks, parallel::threads_for(double(n) * 16, 1 << 16, blocks, threads),
                  [&](long b, int) {
                    const size_t end = std::min(n, size_t(b + 1) * block);
                    for (size_t i = size_t(b) * block; i < end; ++i)
                      logs[rows[i]] = std::log(double(counts[i]) / double(n));
                  });
  }
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += logs[i];
  return sum / double(n);
}

// AE of the N samples x, which are at least m tau + 1.
double approximate_entropy(const double* x, size_t N, size_t m, double r, size_t tau,
                           int threads) {
  const double phi_m = phi(x, N - (m - 1) * tau, m, tau, r, threads);
  return phi_m - phi(x, N - m * tau, m + 1, tau, r, threads);
}

enum { IN_X = 0, IN_M, IN_R, IN_TAU, IN_COUNT };

}  // namespace

void mexFunction(int, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_M) host::fail("x must be given");
  if (nrhs > IN_COUNT) host::fail("At most four inputs: x, m, r and tau");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const neighbours::series series = neighbours::series_from(prhs[IN_X]);
  const double m = whole_from(nrhs, prhs, IN_M, 2, 1, "m must be a whole number, at least 1");
  const double r = neighbours::radius_from(nrhs, prhs, IN_R, series);
  const double tau = whole_from(nrhs, prhs, IN_TAU, 1, 1, "tau must be a whole number, at least 1");

  if (series.N > neighbours::max_rows) host::fail("x has too many samples");
  const double needed = m * tau + 1;  // one template of length m + 1
  if (!(double(series.N) >= needed))
    host::fail("x is too short: m = " + whole_number(m) + " and tau = " + whole_number(tau) +
               " need at least " + whole_number(needed) + " samples");

  plhs[0] = host::create_matrix_to_fill(1, 1);
  *mxGetPr(plhs[0]) = approximate_entropy(series.x, series.N, size_t(m), r, size_t(tau),
                                          parallel::thread_budget());
}
