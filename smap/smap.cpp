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
// The system, m rows of E + 1, is first reduced by Householder QR to its
// E + 1 square triangle R (Eigen's HouseholderQR, on the rows in place,
// with the weighted targets as one more column: the reflections that
// reduce the system carry them along), whose singular values are the
// system's; R's SVD (Eigen's JacobiSVD) then solves it. Each prediction
// row is fitted on its own, in chunks on the threads, so the thread count
// changes no bit; another build of the linear algebra may change the last
// bits.
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

// The working arrays of one thread: the weighted system of up to n rows,
// its E + 1 columns and then the targets.
// In cache lines of its own, as each thread writes its point (see
// parallel::own_lines).
struct alignas(64) smap_work {
  std::vector<double> system, distance;
  std::vector<row_t> rows;
  parallel::own_vector<double> point;
  explicit smap_work(size_t n, size_t E) : system(n * (E + 2)), distance(n), rows(n), point(E) {}
};

// Fits the map of prediction row t from the library lib[0 ... nL - 1]
// (ascending; at least one row more than w from t), writes its E + 1
// coefficients to c (stride apart) and returns the forecast.
// D is E when known at compile time, else 0.
template <size_t D>
double smap_fit(const predict::embedding& e, size_t Tp, double theta, uint64_t w,
                const row_t* lib, size_t nL, size_t t, smap_work& work, double* c,
                size_t stride) {
  const size_t E = D ? D : e.E, p = E + 1;
  e.point(t, work.point.data());
  size_t m = 0;
  double sum = 0;
  for (size_t i = 0; i < nL; ++i) {
    const size_t s = lib[i];
    if ((s > t ? s - t : t - s) <= w) continue;
    double squares = 0;
    for (size_t j = 0; j < E; ++j) {
      const double diff = e.x[s - j * e.tau] - work.point[j];
      squares = squares + diff * diff;
    }
    work.distance[m] = std::sqrt(squares);
    work.rows[m] = row_t(s);
    sum = sum + work.distance[m];
    ++m;
  }
  const double mean = sum / double(m);
  // Column j of the system at work.system + j m; column p the targets.
  double* const system = work.system.data();
  double largest = 0;
  for (size_t i = 0; i < m; ++i) {
    const size_t s = work.rows[i];
    const double W = mean > 0 ? std::exp(-theta * (work.distance[i] / mean)) : 1.0;
    system[i] = W;
    for (size_t j = 0; j < E; ++j) {
      const double value = W * e.x[s - j * e.tau];
      system[i + (j + 1) * m] = value;
      largest = std::max(largest, std::fabs(value));
    }
    system[i + p * m] = W * e.x[s + Tp];
    largest = std::max(largest, std::fabs(system[i + p * m]));
  }
  // Values near the largest doubles can overflow the distances or the
  // weighted rows; such a system has no fit (and the SVD must not see it).
  // NaN drops out of max: the mean of the distances stands for it.
  if (!(largest <= std::numeric_limits<double>::max()) || !std::isfinite(mean)) {
    for (size_t j = 0; j < p; ++j) c[j * stride] = NAN;
    return NAN;
  }
  Eigen::Map<Eigen::MatrixXd> Ab(system, Eigen::Index(m), Eigen::Index(p + 1));
  Eigen::HouseholderQR<Eigen::Ref<Eigen::MatrixXd>> qr(Ab);
  const Eigen::Index r = Eigen::Index(std::min(m, p));
  const Eigen::MatrixXd R =
      qr.matrixQR().topLeftCorner(r, Eigen::Index(p)).template triangularView<Eigen::Upper>();
  Eigen::JacobiSVD<Eigen::MatrixXd> svd(R, Eigen::ComputeFullU | Eigen::ComputeFullV);
  svd.setThreshold(1e-12);
  const Eigen::VectorXd coefficients = svd.solve(qr.matrixQR().col(Eigen::Index(p)).head(r));
  double forecast = coefficients(0);
  for (size_t j = 0; j < E; ++j)
    forecast = forecast + coefficients(Eigen::Index(j + 1)) * work.point[j];
  for (size_t j = 0; j < p; ++j) c[j * stride] = coefficients(Eigen::Index(j));
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
