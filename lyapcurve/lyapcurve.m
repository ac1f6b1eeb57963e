%LYAPCURVE  Divergence of neighbouring trajectories: its slope is the largest Lyapunov exponent.
%   S = LYAPCURVE (X, K)
%   [S, N] = LYAPCURVE (X, K, k, W, R, P)
%
%   X holds the points of a trajectory, one per row, in time order (as
%   DELAYMATRIX returns them). The rows 1 ... rows (X) - K are usable: they
%   can be followed K steps. For each reference row t of R, U_t holds its k
%   nearest usable rows s with |t - s| > W, as NEARDIST (X(1:end-K, :), k,
%   W, t, P) returns them. Each pair is then followed step by step:
%
%     d_t(D) = (sum over s in U_t, in order, of dist (X(t+D, :), X(s+D, :))) / k
%     S(D+1) = mean of log (d_t(D)) over the references with d_t(D) > 0,
%              summed in the order of R
%     N(D+1) = the number of those references
%
%   for D = 0 ... K. S is NaN where N is 0. Neighbouring trajectories part
%   like exp (lambda D): the slope of S over its linear range, before the
%   distances reach the size of the attractor, is the largest Lyapunov
%   exponent lambda, in the natural log per step. With k = 1 this is
%   Rosenstein's method; with k > 1, its form averaged over neighbours.
%
%   Distances as in NEARDIST: the Euclidean distance is the square root of
%   the sum, over the coordinates in order, of the squared differences, each
%   operation rounded; the maximum norm is the largest absolute difference.
%
%   X (Python: points)  N x d real matrix, one point per row; NaN and Inf
%      are refused.
%   K (Python: steps)  the largest step, a whole number from 0 to
%      rows (X) - 1.
%   k  neighbours per reference, a whole number >= 1 (default 1).
%   W  Theiler window, a whole number >= 0 (default 0).
%   R (Python: refs)  reference rows among the usable rows, whole numbers
%      1 ... rows (X) - K in any order, repeats allowed (default all of them
%      in order); all elements in storage order. An empty R gives S all NaN
%      and N all 0.
%   P  the norm: 2 (Euclidean, the default) or Inf (maximum norm).
%   S (Python: curve)  (K + 1) x 1: S(D+1), the mean log distance D steps
%      on, for D = 0 ... K.
%   N (Python: counts)  (K + 1) x 1: N(D+1), the number of references that
%      mean is taken over.
%   Every reference needs k candidates: one with fewer is refused.
%
%   Threads: the tree is built, the references searched and the distances
%   followed on the cores this process may use, or on OMP_NUM_THREADS of
%   them when that is set; small calls use one. The sums run in the order of
%   R: the results are the same, bit for bit, for every thread count.
%   Memory besides X and the results, O(N): the tree, about 10 d + 10 bytes
%   per usable row; 4 k + 8 bytes per reference; and 8 MB of logarithms.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "X and K must be given"
%     more than 6 inputs       "At most six inputs: X, K, k, w, R and p"
%     not a real double array  "Input 1 must be a real double array" (or 2 ... 6)
%     NaN or Inf in X          "X must not hold NaN or Inf"
%     an empty K, k, W or P    "Input 2 must not be empty" (or 3, 4, 6)
%     K not whole, outside     "K must be a whole number from 0 to N - 1 = 4"
%                               (with the call's rows (X) - 1)
%     k not whole, below 1     "k must be a whole number from 1 to 2147483647"
%     W not whole, below 0     "w must be a whole number, at least 0"
%     R not usable rows        "R must hold usable rows of X, whole numbers
%                               from 1 to N - K = 7" (with the call's value)
%     P not 2 or Inf           "p must be 2 or Inf"
%     too few candidates       "Not enough candidates: reference row i has c
%                               rows more than w = W apart, fewer than k = K"
%                               (for the first reference with the fewest)
%
%   Example:
%     xy = foldmap (20000, [-1.4 0.3 0 0]);            % Henon orbit
%     X = delaymatrix (xy(:, 1), 2, 1);
%     S = lyapcurve (X, 12, 1, 10);
%     p = polyfit ((1:8)', S(2:9), 1);
%     lambda = p(1)                                    % near 0.42 per step
%
%   See also NEARDIST, EMBEDDIM, DELAYMATRIX.
