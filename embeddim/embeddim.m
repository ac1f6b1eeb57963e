%EMBEDDIM  Embedding dimension from false nearest neighbours and Cao's statistics.
%   F = EMBEDDIM (X, MMAX)
%   [F, E1, E2] = EMBEDDIM (X, MMAX, TAU, W, RTOL, ATOL)
%
%   The series X (N samples) is embedded with delay TAU in m = 1 ... MMAX + 1
%   dimensions: v_m(t) = [X(t), X(t+TAU), ..., X(t+(m-1)*TAU)], t = 1 ... T_m,
%   T_m = N - m*TAU. Each point's nearest neighbour n_m(t) is the s with
%   |t - s| > W nearest by the maximum norm (the lower s among equals), at
%   distance R_m(t). The next delay coordinate moves the pair apart by
%   delta_m(t) = |X(t+m*TAU) - X(n_m(t)+m*TAU)|, to R'_m(t) =
%   max (R_m(t), delta_m(t)) in m + 1 dimensions. K_m holds the t with
%   R_m(t) > 0; sigma is the standard deviation of X (divided by N).
%
%   X     vector of N real samples; NaN and Inf are refused.
%   MMAX  the largest dimension tested, a whole number >= 1.
%   TAU   the delay, a whole number >= 1 (default 1).
%   W     Theiler window, a whole number >= 0 (default 0): neighbours closer
%         in time than W + 1 samples are left out.
%   RTOL  threshold on the growth delta / R (default 10), positive.
%   ATOL  threshold on R' / sigma (default 2), positive.
%   F (Python: fnn)  MMAX x 1, the fraction of false nearest neighbours:
%         F(m) is the share, among the t in K_m, of those with
%         delta_m(t) / R_m(t) > RTOL or R'_m(t) / sigma > ATOL. It falls to
%         near 0 at the dimension the attractor needs; for noise it does not.
%   E1    MMAX x 1: E1(m) = E(m+1) / E(m), with E(m) the mean over K_m of
%         R'_m(t) / R_m(t). It stops changing (near 1) from the dimension
%         that suffices.
%   E2    MMAX x 1: E2(m) = E*(m+1) / E*(m), with E*(m) the mean of
%         delta_m(t) over all t: near 1 for every m when X is random, not so
%         for deterministic X.
%   Means and sums are taken over ascending t; F(m) and E(m) are NaN when
%   K_m is empty (a constant series). The series needs
%   (MMAX + 1) TAU + 2 W + 2 samples, so that every point of every embedding
%   has a neighbour outside the window.
%
%   The neighbours are exact, found on a k-d tree of each embedding (as
%   NEARDIST finds them with the maximum norm).
%   Threads: each tree is built, and its points searched, on the cores this
%   process may use, or on OMP_NUM_THREADS of them when that is set; small
%   calls use one. The sums run in order on one thread, while the next
%   tree is built: the results are the same, bit for bit, for every thread
%   count.
%   Memory besides X and the results: one embedding's tree at a time, about
%   8 m + 10 bytes per point, and 12 bytes per sample.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "x and mmax must be given"
%     more than 6 inputs       "At most six inputs: x, mmax, tau, w, rtol and atol"
%     not a real double array  "Input 1 must be a real double array" (or 2 ... 6)
%     X not a vector           "x must be a vector"
%     NaN or Inf in X          "x must not hold NaN or Inf"
%     an empty MMAX ... ATOL   "Input 2 must not be empty" (or 3 ... 6)
%     MMAX not whole, below 1  "mmax must be a whole number, at least 1"
%     TAU not whole, below 1   "tau must be a whole number, at least 1"
%     W not whole, below 0     "w must be a whole number, at least 0"
%     RTOL not above 0, NaN    "rtol must be positive"
%     ATOL not above 0, NaN    "atol must be positive"
%     X too short              "x is too short: mmax = 6, tau = 1 and w = 10
%                               need at least 29 samples" (with the call's values)
%
%   Example:
%     xy = foldmap (20000, [-1.4 0.3 0 0]);            % Henon orbit
%     [F, E1] = embeddim (xy(:, 1), 4, 1, 10);
%     m = find (F < 0.01, 1)                           % 2 delay coordinates
%
%   See also DELAYMATRIX, NEARDIST, LYAPCURVE.
