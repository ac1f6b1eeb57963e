// smap: S-map forecasts, locally weighted linear maps fitted to a series'
// own past (Sugihara 1994).
//
//   [P, S, C] = smap(x, E, tau, Tp, theta, w, lib, pred)
//
// Row t of the embedding of x is v(t) = (x(t), x(t - tau), ..., x(t - (E-1) tau)),
// its target x(t + Tp). For a prediction row t, every library row s with
// |s - t| > w takes part, with the weight W_s = exp(-theta (d(s, t) / dbar)),
// d the Euclidean distance and dbar the mean of the distances of those rows
// (summed in library order); W_s = 1 when dbar = 0. The coefficients
// c_0 ... c_E minimise sum W_s^2 (x(s + Tp) - c_0 - sum_j c_j v_j(s))^2:
// the least-squares solution of the weighted system, by a singular value
// decomposition with the singular values below 1e-12 times the largest set
// to zero (the minimum-norm solution when the system is short of rows or
// of rank). The forecast is c_0 + sum_j c_j v_j(t).
//
// A system far from singular has the same solution from its normal
// equations, which take one pass over its rows as they are made instead of
// a QR factorisation's several: Cholesky factors them, one step of
// refinement with the residual takes back the accuracy they lose, and the
// condition of the factor, computed exactly, says when they can be
// trusted. Other systems (and those with fewer rows than unknowns) go to
// the SVD: Householder QR reduces the system, the weighted targets as one
// more column, to its E + 1 square triangle R (Eigen's HouseholderQR),
// whose singular values are the system's; R's SVD (Eigen's JacobiSVD)
// then solves it. Each prediction row is fitted on its own, in chunks on
// the threads, so the thread count changes no bit; another build of the
// linear algebra may change the last bits.
// Eigen's own code warns under -Wall -Wextra where the builds without
// CMake (mex, the Octave package) include it as a user's header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <Eigen/QR>
#include <Eigen/SVD>
#pragma GCC diagnostic pop
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "host/host.h"
#include "host/parallel.h"
#include "neighbours/inputs.h"
#include "neighbours/library_nearest.h"
#include "predict/forecast.h"
#include "predict/inputs.h"

namespace {

using predict::row_t;

// The working arrays of one thread, for up to n library rows: their
// distances to the prediction row, then their weights; their row numbers;
// the weighted system, made (and allocated) only for fits by QR; and, for
// E beyond the sizes fixed at compile time, the normal equations.
// In cache lines of its own, as each thread writes its point (see
// parallel::own_lines).
struct alignas(64) smap_work {
  std::vector<double> weight, system;
  std::vector<row_t> rows;
  parallel::own_vector<double> point, row, gram, inverse, scratch, solution;
  explicit smap_work(size_t n, size_t E)
      : weight(n), rows(n), point(E), row(E + 2), gram((E + 2) * (E + 2)),
        inverse((E + 1) * (E + 1)), scratch(E + 1), solution(E + 1) {}
};

// The normal equations are trusted up to this condition of R (1-norm, from
// R and its inverse); beyond it the SVD fits. They lose cond^2 u; one step
// of refinement brings that to about (cond^2 u)^2 + cond u, so at 1e4 their
// fit stays well within the 1e-9 the help promises (the tests try it at
// the limit, with thousands of rows).
constexpr double normal_equations_condition_limit = 1e4;

// Solves the weighted least-squares system of m rows by its normal
// equations. make_row(i, row) writes row i of [A b] (p + 1 values); gram
// holds the upper triangle of [A b]'[A b], row-major and p + 1 wide, which
// Cholesky factors in place into [R z], R'R = A'A and R'z = A'b. Then
// c = R^-1 z, and one step of refinement: c += R^-1 R^-T A'(b - A c).
// Returns false, with c unset, when R is singular or its condition is above
// the limit. inverse (p x p), scratch (p) and row (p + 1, when D is 0) are
// working space. D is p - 1 when known at compile time, else 0.
template <size_t D, class MakeRow>
bool solve_normal_equations(const MakeRow& make_row, size_t m, size_t columns, double* gram,
                            double* inverse, double* scratch, double* row, double* c) {
  const size_t p = D ? D + 1 : columns, width = p + 1;
  for (size_t j = 0; j < p; ++j) {
    double pivot = gram[j * width + j];
    for (size_t i = 0; i < j; ++i) pivot = pivot - gram[i * width + j] * gram[i * width + j];
    if (!(pivot > 0)) return false;
    const double diagonal = std::sqrt(pivot);
    gram[j * width + j] = diagonal;
    for (size_t k = j + 1; k <= p; ++k) {
      double value = gram[j * width + k];
      for (size_t i = 0; i < j; ++i) value = value - gram[i * width + j] * gram[i * width + k];
      gram[j * width + k] = value / diagonal;
    }
  }
  // R^-1 (upper, p x p), column by column, and the 1-norms of R and R^-1.
  double norm = 0, inverse_norm = 0;
  for (size_t k = 0; k < p; ++k) {
    double column = 0, inverse_column = 0;
    for (size_t i = k + 1; i-- > 0;) {
      double value = i == k ? 1.0 : 0.0;
      for (size_t l = i + 1; l <= k; ++l) value = value - gram[i * width + l] * inverse[l * p + k];
      inverse[i * p + k] = value / gram[i * width + i];
      column = column + std::fabs(gram[i * width + k]);
      inverse_column = inverse_column + std::fabs(inverse[i * p + k]);
    }
    norm = std::max(norm, column);
    inverse_norm = std::max(inverse_norm, inverse_column);
  }
  if (!(norm * inverse_norm <= normal_equations_condition_limit)) return false;
  for (size_t i = 0; i < p; ++i) {
    double value = 0;
    for (size_t k = i; k < p; ++k) value = value + inverse[i * p + k] * gram[k * width + p];
    c[i] = value;
  }
  // A'(b - A c): in local sums when D is fixed, else in scratch ...
  double fixed_sums[D + 1] = {}, fixed_row[D + 2];
  double* const sums = D ? fixed_sums : scratch;
  if (!D) std::fill(scratch, scratch + p, 0.0);
  if (D) row = fixed_row;
  for (size_t i = 0; i < m; ++i) {
    make_row(i, row);
    double residual = row[p];
#pragma GCC unroll 6
    for (size_t j = 0; j < p; ++j) residual = residual - row[j] * c[j];
#pragma GCC unroll 6
    for (size_t j = 0; j < p; ++j) sums[j] = sums[j] + row[j] * residual;
  }
  // ... R^-T of it, in place from the last entry up, then R^-1 of that.
  for (size_t k = p; k-- > 0;) {
    double value = 0;
    for (size_t i = 0; i <= k; ++i) value = value + inverse[i * p + k] * sums[i];
    scratch[k] = value;
  }
  for (size_t i = 0; i < p; ++i) {
    double value = 0;
    for (size_t k = i; k < p; ++k) value = value + inverse[i * p + k] * scratch[k];
    c[i] = c[i] + value;
  }
  return true;
}

// Solves the weighted least-squares system of m rows, column j at
// system + j m (j < p) and the targets at system + p m, overwriting it:
// Householder QR reduces it to its p x p triangle R, whose singular values
// are the system's (the reflections carry the targets along); R's SVD,
// with the singular values below 1e-12 times the largest set to zero,
// then gives the solution, of minimum norm when the system is short of
// rows or of rank.
void solve_by_svd(double* system, size_t m, size_t p, double* c) {
  Eigen::Map<Eigen::MatrixXd> Ab(system, Eigen::Index(m), Eigen::Index(p + 1));
  Eigen::HouseholderQR<Eigen::Ref<Eigen::MatrixXd>> qr(Ab);
  const Eigen::Index r = Eigen::Index(std::min(m, p));
  const Eigen::MatrixXd R =
      qr.matrixQR().topLeftCorner(r, Eigen::Index(p)).template triangularView<Eigen::Upper>();
  Eigen::JacobiSVD<Eigen::MatrixXd> svd(R, Eigen::ComputeFullU | Eigen::ComputeFullV);
  svd.setThreshold(1e-12);
  Eigen::Map<Eigen::VectorXd>(c, Eigen::Index(p)) =
      svd.solve(qr.matrixQR().col(Eigen::Index(p)).head(r));
}

// Fits the map of prediction row t from the library lib[0 ... nL - 1]
// (ascending; at least one row more than w from t), writes its E + 1
// coefficients to c (stride apart) and returns the forecast.
// D is E when known at compile time, else 0.
template <size_t D>
double smap_fit(const predict::embedding& e, size_t Tp, double theta, uint64_t w,
                const row_t* lib, size_t nL, size_t t, smap_work& work, double* c,
                size_t stride) {
  const size_t E = D ? D : e.E, p = E + 1, width = p + 1, tau = e.tau;
  const double* const x = e.x;
  double fixed_point[D + 1];  // in registers when D is fixed
  double* const point = D ? fixed_point : work.point.data();
  double* const weight = work.weight.data();
  row_t* const rows = work.rows.data();
  e.point(t, point);
  // The library rows within the window of t are one run of lib; the
  // distances of the others, in library order.
  const neighbours::window_run inside = neighbours::rows_in_window(lib, nL, t, w);
  size_t m = 0;
  double sum = 0;
  const auto measure = [&](const row_t* from, const row_t* to) {
    for (const row_t* r = from; r < to; ++r) {
      const size_t s = *r;
      double squares = 0;
#pragma GCC unroll 6
      for (size_t j = 0; j < E; ++j) {
        const double diff = x[s - j * tau] - point[j];
        squares = squares + diff * diff;
      }
      const double distance = std::sqrt(squares);
      weight[m] = distance;
      rows[m] = row_t(s);
      sum = sum + distance;
      ++m;
    }
  };
  measure(lib, inside.first);
  measure(inside.last, lib + nL);
  const double mean = sum / double(m);
  // Row i of the weighted system [A b]: W, W v(s) and W x(s + Tp), its
  // values a stride apart.
  const auto make_row = [&](size_t i, double* row, size_t stride = 1) {
    const size_t s = rows[i];
    const double W = weight[i];
    row[0] = W;
#pragma GCC unroll 6
    for (size_t j = 0; j < E; ++j) row[(j + 1) * stride] = W * x[s - j * tau];
    row[p * stride] = W * x[s + Tp];
  };
  // Values near the largest doubles can overflow the distances, and so
  // their mean; such a system has no fit (and the SVD must not see it).
  if (!std::isfinite(mean)) {
    for (size_t j = 0; j < p; ++j) c[j * stride] = NAN;
    return NAN;
  }
  // The weights, in place of the distances; then the upper triangle of
  // [A b]'[A b].
  for (size_t i = 0; i < m; ++i)
    weight[i] = mean > 0 ? std::exp(-theta * (weight[i] / mean)) : 1.0;
  double fixed_gram[(D + 2) * (D + 2)];
  double* const gram = D ? fixed_gram : work.gram.data();
  double* const row = work.row.data();
  if constexpr (D > 0) {
    // Sums over the even rows and over the odd rows, added at the end, so
    // that each pair of rows fills both halves of a vector register; in
    // local arrays, which stay in registers in this loop without calls.
    double sums[(D + 2) * (D + 2)][2] = {}, pair[D + 2][2];
    for (size_t i = 0; i < m; i += 2) {
      make_row(i, &pair[0][0], 2);
      if (i + 1 < m)
        make_row(i + 1, &pair[0][1], 2);
      else
        for (size_t j = 0; j <= p; ++j) pair[j][1] = 0;
#pragma GCC unroll 6
      for (size_t j = 0; j < p; ++j)
#pragma GCC unroll 6
        for (size_t k = j; k <= p; ++k)
#pragma GCC unroll 2
          for (size_t h = 0; h < 2; ++h)
            sums[j * width + k][h] = sums[j * width + k][h] + pair[j][h] * pair[k][h];
    }
    for (size_t j = 0; j < p; ++j)
      for (size_t k = j; k <= p; ++k)
        gram[j * width + k] = sums[j * width + k][0] + sums[j * width + k][1];
  } else {
    std::fill(gram, gram + width * width, 0.0);
    for (size_t i = 0; i < m; ++i) {
      make_row(i, row);
      for (size_t j = 0; j < p; ++j)
        for (size_t k = j; k <= p; ++k) gram[j * width + k] = gram[j * width + k] + row[j] * row[k];
    }
  }
  // The weights are at most 1, so the weighted values are finite, but
  // their products may not be: then only the SVD is tried.
  bool finite = true;
  for (size_t j = 0; j < p; ++j)
    for (size_t k = j; k <= p; ++k) finite = finite && std::isfinite(gram[j * width + k]);
  double fixed_inverse[(D + 1) * (D + 1)], fixed_scratch[D + 1], fixed_solution[D + 1];
  double* const inverse = D ? fixed_inverse : work.inverse.data();
  double* const scratch = D ? fixed_scratch : work.scratch.data();
  double* const solution = D ? fixed_solution : work.solution.data();
  if (m < p || !finite ||
      !solve_normal_equations<D>(make_row, m, p, gram, inverse, scratch, row, solution)) {
    work.system.resize(work.weight.size() * (p + 1));
    double* const system = work.system.data();
    for (size_t i = 0; i < m; ++i) {
      make_row(i, row);
      for (size_t j = 0; j <= p; ++j) system[i + j * m] = row[j];
    }
    solve_by_svd(system, m, p, solution);
  }
  double forecast = solution[0];
  for (size_t j = 0; j < E; ++j) forecast = forecast + solution[j + 1] * point[j];
  for (size_t j = 0; j < p; ++j) c[j * stride] = solution[j];
  return forecast;
}

// Fills P (nP x 2) and C (nP x (E + 1)) for the prediction rows pred[0 ...
// nP - 1], each with a candidate in the library, and returns the skill.
predict::skill smap_forecasts(const predict::embedding& e, size_t Tp, double theta, uint64_t w,
                              const row_t* lib, size_t nL, const row_t* pred, size_t nP,
                              double* P, double* C, int threads) {
  constexpr size_t chunk = 16;
  const long chunks = long((nP + chunk - 1) / chunk);
  threads = parallel::threads_for(double(nP) * double(nL) * double(e.E + 1), 1 << 17, chunks,
                                  threads);
  std::vector<std::unique_ptr<smap_work>> works(size_t(std::max(threads, 1)));
  parallel::run(chunks, threads, [&](long task, int worker) {
    auto& work = works[size_t(worker)];
    if (!work) work = std::make_unique<smap_work>(nL, e.E);
    const size_t end = std::min(nP, size_t(task + 1) * chunk);
    for (size_t r = size_t(task) * chunk; r < end; ++r) {
      const size_t t = pred[r];
      P[r] = t + Tp < e.N ? e.x[t + Tp] : std::numeric_limits<double>::quiet_NaN();
      neighbours::with_dimension(e.E, [&](auto D) {
        P[nP + r] = smap_fit<decltype(D)::value>(e, Tp, theta, w, lib, nL, t, *work, C + r, nP);
      });
    }
  });
  return predict::skill_of(P, P + nP, nP);
}

enum { IN_X = 0, IN_E, IN_TAU, IN_TP, IN_THETA, IN_W, IN_LIB, IN_PRED, IN_COUNT };
enum { OUT_P = 0, OUT_S, OUT_C };

}  // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs < IN_TAU) host::fail("x and E must be given");
  if (nrhs > IN_COUNT) host::fail("At most eight inputs: x, E, tau, Tp, theta, w, lib and pred");
  host::require_real_double_inputs(nrhs, prhs, IN_COUNT);

  const predict::series s = predict::series_from(prhs[IN_X], "x");
  const predict::embedding e = predict::embedding_from(s, nrhs, prhs, IN_E, IN_TAU, "x");
  const size_t Tp = predict::horizon_from(nrhs, prhs, IN_TP, 1, e.N);
  double theta = 0;
  if (nrhs > IN_THETA) {
    theta = host::first_element(prhs[IN_THETA], IN_THETA + 1);
    if (!std::isfinite(theta) || theta < 0) host::fail("theta must be a finite number, at least 0");
  }
  const uint64_t w = neighbours::window_from(nrhs, prhs, IN_W);
  const std::vector<row_t> lib = predict::rows_from(nrhs, prhs, IN_LIB, "lib", e, Tp, true);
  const std::vector<row_t> pred = predict::rows_from(nrhs, prhs, IN_PRED, "pred", e, Tp, false);
  predict::require_library_candidates(lib, pred, w, 1, "1");

  const size_t nP = pred.size();
  plhs[OUT_P] = host::create_matrix_to_fill(nP, 2);
  mxArray* skill = mxCreateDoubleMatrix(1, 3, mxREAL);
  mxArray* coefficients = host::create_matrix_to_fill(nP, e.E + 1);
  const predict::skill S =
      smap_forecasts(e, Tp, theta, w, lib.data(), lib.size(), pred.data(), nP,
                     mxGetPr(plhs[OUT_P]), mxGetPr(coefficients), parallel::thread_budget());
  mxGetPr(skill)[0] = S.rho;
  mxGetPr(skill)[1] = S.mae;
  mxGetPr(skill)[2] = S.rmse;
  if (nlhs > OUT_S) plhs[OUT_S] = skill;
  if (nlhs > OUT_C) plhs[OUT_C] = coefficients;
}
