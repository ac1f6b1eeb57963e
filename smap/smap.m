%SMAP  S-map: forecasts of a series from locally weighted linear maps of its own past.
%   P = SMAP (X, E)
%   [P, S, C] = SMAP (X, E, TAU, TP, THETA, W, LIB, PRED)
%
%   Rows, targets, library and prediction rows as in SIMPLEX: row t of the
%   embedding of X into the past is v(t) = (X(t), X(t - TAU), ...,
%   X(t - (E - 1) * TAU)), for t >= t0 = 1 + (E - 1) * TAU (DELAYMATRIX's rows
%   run forward instead), and its target is X(t + TP).
%
%   For a prediction row t, every library row s with |s - t| > W takes part.
%   With d(s, t) the Euclidean distance of the rows and dbar the mean of
%   those distances (summed in library order), the weights are
%     W_s = exp (-THETA * (d(s, t) / dbar)),   or 1 when dbar = 0.
%   The coefficients c_0 ... c_E minimise
%     sum over s of W_s^2 * (X(s + TP) - c_0 - sum_j c_j * v_j(s))^2,
%   solved by a singular value decomposition of the weighted system (Eigen's
%   Householder QR, then its JacobiSVD of the triangle) with the singular
%   values below 1e-12 times the largest set to zero; with fewer than E + 1
%   rows taking part, or a system short of rank, that is the minimum-norm
%   solution. A system far from singular (condition of its normal equations'
%   Cholesky factor at most 1e4) has the same solution, to the accuracy below,
%   from its normal equations with one step of refinement, which is faster.
%   The forecast is c_0 + sum_j c_j * v_j(t) (Sugihara 1994).
%   THETA = 0 gives a global linear autoregression; for a chaotic series the
%   skill rises with THETA, for a linear stochastic one it does not. The
%   mean of the coefficients over a trajectory is the interaction strength
%   of the S-map literature.
%
%   Accuracy: results agree with the same fit in extended precision to about
%   1e-9, relative to the largest coefficient, on systems far from singular.
%   An SVD differs in the last bits between builds of the linear algebra, so
%   they are not promised bit for bit across builds; on one build they are
%   the same, bit for bit, for every thread count.
%
%   X     series of N finite real samples.
%   E     embedding dimension, a whole number >= 1.
%   TAU   delay, a whole number >= 1 (default 1).
%   TP    forecast horizon, a whole number >= 0 (default 1).
%   THETA  nonlinearity, a finite number >= 0 (default 0).
%   W     Theiler window, a whole number >= 0 (default 0).
%   LIB   library rows, a set of row numbers from t0 to N - TP; default (also
%         when empty) every such row.
%   PRED  prediction rows from t0 to N, in any order, repeats allowed;
%         default (also when empty) every row from t0 to N.
%   P (Python: predictions)  numel (PRED) x 2: observed target (NaN past the
%         end of X) and forecast, as SIMPLEX.
%   S (Python: skill)  1 x 3 [rho, MAE, RMSE] as SIMPLEX (in Python a named
%         tuple rho, mae, rmse).
%   C (Python: coefficients)  numel (PRED) x (E + 1): c_0 ... c_E of each
%         prediction row.
%   Rows count from 1 (from 0 in Python). A prediction row with no library
%   row more than W away is refused.
%
%   Threads: the prediction rows are fitted in chunks on the cores this
%   process may use, or on OMP_NUM_THREADS of them. Memory besides X, P and
%   C: per thread 12 bytes per library row, and 8 (E + 2) more in a thread
%   that meets a system to solve by the SVD.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "x and E must be given"
%     more than 8 inputs       "At most eight inputs: x, E, tau, Tp, theta, w, lib and pred"
%     not a real double array  "Input 1 must be a real double array" (or 2 ... 8)
%     an empty E, TAU, TP, THETA or W  "Input 2 must not be empty" (or 3 ... 6)
%     X, E, TAU, TP            as SIMPLEX
%     THETA NaN, Inf or below 0  "theta must be a finite number, at least 0"
%     W, LIB, PRED             as SIMPLEX
%     no candidate             "Not enough candidates: prediction row t has 0
%                               library rows more than w = W apart, fewer
%                               than 1"
%
%   Example:
%     x = zeros (1000, 1);  x(1) = 0.4;
%     for t = 1:999, x(t+1) = 4 * x(t) * (1 - x(t)); end   % logistic map
%     for k = 1:5                                  % skill against theta
%       [~, S] = smap (x, 2, 1, 1, [0 0.5 1 2 4](k));  rho(k) = S(1);
%     end
%     rho                                          % best above theta = 0
%
%   Reference: G. Sugihara, Nonlinear forecasting for the classification of
%   natural time series, Phil. Trans. R. Soc. Lond. A 348 (1994) 477-495.
%
%   See also SIMPLEX, CROSSMAP, DELAYMATRIX.
