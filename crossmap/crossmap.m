%CROSSMAP  Convergent cross mapping: skill of forecasting Y from the past of X against library size.
%   R = CROSSMAP (X, Y, E, TAU, L)
%   R = CROSSMAP (X, Y, E, TAU, L, SAMPLES, SEED, W, TP)
%
%   Cross-maps Y from the shadow manifold of X: if Y drives X, X's past
%   holds Y, and the skill grows with the library towards a plateau
%   (Sugihara et al. 2012). Row t of X's embedding into the past is
%     v(t) = (X(t), X(t - TAU), ..., X(t - (E - 1) * TAU)),
%   for t >= t0 = 1 + (E - 1) * TAU (SIMPLEX's rows; DELAYMATRIX's run
%   forward). The valid rows are those with t + TP <= N, n of them.
%
%   The library for size L(i) and sample j: the list of the valid rows in
%   ascending order, partially shuffled by one Mersenne Twister stream
%   (MT19937 from init_genrand (SEED)), consumed in the order i, then j (the
%   list is reset to ascending before each draw): for a = 0 ... L(i) - 1,
%   b = a + floor (genrand_res53 () * (n - a)) and positions a and b (from 0)
%   are swapped; the library is the first L(i) entries. The draws are exact,
%   so every thread count draws the same libraries. An empty SEED takes the
%   first L(i) valid rows instead, once (one column).
%
%   Every valid row t, in ascending order, is forecast as SIMPLEX forecasts,
%   with K = E + 1 neighbours from the library more than W away from t
%   (Euclidean distance, ties to the lower row, weights exp (-d_i / d_1)) and
%   the target Y(t + TP). R(i, j) is the correlation rho of SIMPLEX's skill
%   between the targets and the forecasts over all valid rows, sums in row
%   order.
%
%   X, Y     series of N finite real samples each.
%   E        embedding dimension, a whole number >= 1.
%   TAU      delay, a whole number >= 1.
%   L (Python: sizes)  library sizes, whole numbers from K + 2 W + 1 (so that
%            every row has K candidates whatever the draw) to n; any order.
%   SAMPLES  draws per size, a whole number >= 1 (default 100).
%   SEED     whole number from 0 to 4294967295 (default 0), or empty
%            (Python: None) for the fixed libraries.
%   W        Theiler window, a whole number >= 0 (default 0).
%   TP       horizon, a whole number >= 0 (default 0).
%   R        numel (L) x SAMPLES correlations (numel (L) x 1 without a seed).
%
%   Search: the K nearest library rows of a row are the first K library
%   rows in the list of its nearest candidates among all valid rows. These
%   lists (64 candidates a row) are found once per call, and a draw whose
%   library holds, on average, 2 K rows of a list walks them; a smaller
%   library, or a row whose list holds fewer than K library rows, is
%   searched in a k-d tree over the draw's library. Both give the same
%   neighbours.
%
%   Threads: the draws' random swaps are made a batch at a time, the next
%   batch's while the cores this process may use (or OMP_NUM_THREADS of
%   them) forecast this batch's draws. The results are the same, bit for
%   bit, for every thread count. Memory besides X, Y and R: the lists, 256
%   bytes per row (fewer candidates a row beyond 2^18 rows: at most 64 MB),
%   and O(N) per thread: the tree over a library (about 10 E + 10 bytes per
%   row), the forecasts, and the swaps of a few draws per thread (4 bytes
%   per library row each).
%
%   Refused, with these messages:
%     fewer than 5 inputs      "x, y, E, tau and L must be given"
%     more than 9 inputs       "At most nine inputs: x, y, E, tau, L, samples, seed, w and Tp"
%     not a real double array  "Input 1 must be a real double array" (or 2 ... 9)
%     NaN or Inf in X or Y     "x must not hold NaN or Inf" (or "y ...")
%     X, Y of other lengths    "x and y must have the same length"
%     an empty E, TAU, SAMPLES, W or TP  "Input 3 must not be empty" (or 4, 6, 8, 9)
%     E, TAU                   as SIMPLEX ("E must be a whole number, at least
%                               1", "tau must be ...", "x is too short ...")
%     SAMPLES not whole, out of range  "samples must be a whole number from 1
%                               to 2147483647"
%     SEED not whole, out of range  "seed must be a whole number from 0 to
%                               4294967295, or empty"
%     W, TP                    as SIMPLEX
%     a size out of range      "L must hold library sizes, whole numbers from
%                               k + 2w + 1 = m to the n rows with an embedding
%                               and a target; v is not one" (also when the
%                               window leaves no size possible)
%
%   Example:
%     x = zeros (2000, 1);  y = x;  x(1) = 0.4;  y(1) = 0.2;
%     for t = 1:1999                                % coupled logistic maps
%       x(t+1) = x(t) * (3.8 - 3.8 * x(t) - 0.02 * y(t));
%       y(t+1) = y(t) * (3.5 - 3.5 * y(t) - 0.1 * x(t));
%     end
%     L = [20 100 500 1900];
%     mean (crossmap (y, x, 2, 1, L, 20), 2)'     % x from y's past: high
%     mean (crossmap (x, y, 2, 1, L, 20), 2)'     % y from x's past: lower
%
%   Reference: G. Sugihara, R. May, H. Ye, C. Hsieh, E. Deyle, M. Fogarty
%   and S. Munch, Detecting causality in complex ecosystems, Science 338
%   (2012) 496-500.
%
%   See also SIMPLEX, SMAP, NEARDIST.
