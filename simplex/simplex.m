%SIMPLEX  Simplex projection: forecasts of a series from the neighbours of its own past.
%   P = SIMPLEX (X, E)
%   [P, S] = SIMPLEX (X, E, TAU, TP, W, LIB, PRED, K)
%
%   Row t of the embedding of X into the past is
%     v(t) = (X(t), X(t - TAU), ..., X(t - (E - 1) * TAU)),
%   defined for t >= t0 = 1 + (E - 1) * TAU: the latest value first, each
%   row looking back in time. (DELAYMATRIX's rows run forward instead: its
%   row for time t holds the same values with the copies in the same order,
%   but the forecasting rows here are numbered by their latest sample.) The
%   target of row t is X(t + TP), observed when t + TP <= N.
%
%   The neighbours of a prediction row t are its K nearest library rows s
%   with |s - t| > W: Euclidean distance (the square root of the sum, over
%   the coordinates in order, of the squared differences, each operation
%   rounded), equal distances to the lower row, found by the exact search of
%   NEARDIST with the window inside it; W = 0 leaves out t itself. With
%   d_1 <= ... <= d_K their distances, the weights are u_i = exp (-d_i / d_1),
%   or, when d_1 = 0, 1 for the neighbours at distance 0 and 0 for the
%   others; the forecast is sum (u_i * X(s_i + TP)) / sum (u_i), the sums in
%   neighbour order (Sugihara & May 1990).
%
%   X     series of N finite real samples (all elements in storage order).
%   E     embedding dimension, a whole number >= 1.
%   TAU   delay, a whole number >= 1 (default 1).
%   TP    forecast horizon, a whole number >= 0 (default 1).
%   W     Theiler window, a whole number >= 0 (default 0).
%   LIB   library rows, a set of row numbers from t0 to N - TP (a repeated row
%         counts once); default (also when empty) every such row.
%   PRED  prediction rows from t0 to N, in any order, repeats allowed;
%         default (also when empty) every row from t0 to N.
%   K     number of neighbours, a whole number >= 1 (default E + 1).
%   P (Python: predictions)  numel (PRED) x 2: the observed target (NaN
%         when t + TP > N) and the forecast of each prediction row.
%   S (Python: skill)  1 x 3 [rho, MAE, RMSE] (in Python a named tuple
%         rho, mae, rmse) over the n prediction rows with an observed target,
%         a the targets and b the forecasts, in PRED's order, every sum in
%         that order:
%         rho = sum ((a - mean a) .* (b - mean b)) /
%               sqrt (sum ((a - mean a).^2) * sum ((b - mean b).^2)),
%         MAE = sum (abs (a - b)) / n, RMSE = sqrt (sum ((a - b).^2) / n).
%         rho is NaN when n < 2 or either sum of squares is 0; MAE and RMSE
%         are NaN when n = 0.
%   Rows count from 1 (from 0 in Python). Every prediction row needs K
%   library rows more than W away: a row with fewer is refused, never given
%   excluded neighbours.
%
%   Threads: the prediction rows are searched in chunks on the cores this
%   process may use, or on OMP_NUM_THREADS of them; the results are the same,
%   bit for bit, for every thread count. Memory besides X and P, O(N): the
%   tree over the library, about 10 E + 10 bytes per library row.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "x and E must be given"
%     more than 8 inputs       "At most eight inputs: x, E, tau, Tp, w, lib, pred and k"
%     not a real double array  "Input 1 must be a real double array" (or 2 ... 8)
%     NaN or Inf in X          "x must not hold NaN or Inf"
%     an empty E, TAU, TP, W or K  "Input 2 must not be empty" (or 3, 4, 5, 8)
%     E not whole, below 1     "E must be a whole number, at least 1"
%     TAU not whole, below 1   "tau must be a whole number, at least 1"
%     t0 > N                   "x is too short for E = 4 and tau = 4: it needs
%                               more than (E - 1) tau = 12 samples"
%     TP not whole, below 0    "Tp must be a whole number, at least 0"
%     W not whole, below 0     "w must be a whole number, at least 0"
%     LIB not rows of X        "lib must hold row numbers of x, whole numbers
%                               from 1 to N; v is not one" (N's value, the
%                               first bad value)
%     a LIB row before t0      "lib row t has no embedding: rows start at t0
%                               for E = E and tau = TAU"
%     a LIB row after N - TP   "lib row t has no observed target: its target
%                               lies past the end of x for Tp = TP"
%     PRED not rows of X, or a row before t0: as LIB, with "pred"
%     K not whole, below 1     "k must be a whole number from 1 to 2147483647"
%     too few candidates       "Not enough candidates: prediction row t has c
%                               library rows more than w = W apart, fewer
%                               than k = K" (the first row with the fewest)
%
%   Example:
%     xy = foldmap (2000, [-1.4 0.3 0 0]);        % Henon orbit
%     x = xy(:, 1);
%     for E = 1:4                                  % skill against E: best at 2
%       [~, S] = simplex (x, E);  rho(E) = S(1);
%     end
%     rho
%     [~, S] = simplex (x, 2, 1, 5);              % five steps ahead: lower
%
%   Reference: G. Sugihara and R. M. May, Nonlinear forecasting as a way of
%   distinguishing chaos from measurement error in time series, Nature 344
%   (1990) 734-741.
%
%   See also SMAP, CROSSMAP, NEARDIST, EMBEDDIM, DELAYMATRIX.
