%APEN  Approximate entropy of a series.
%   AE = APEN (X)
%   AE = APEN (X, M, R, TAU)
%
%   Approximate entropy (Pincus 1991), with self-matches and a delay TAU.
%   For L = M and L = M + 1 the templates are
%   u(i) = (X(i), X(i + TAU), ..., X(i + (L-1) TAU)), i = 1 ... n,
%   n = N - (L-1) TAU, and
%     C(i) = (the number of j <= n with distance (u(i), u(j)) <= R) / n,
%     Phi(L) = (sum over i, in order, of log C(i)) / n;
%     AE = Phi(M) - Phi(M + 1).
%   Distances are in the maximum norm; a template matches itself, so every
%   C(i) is positive. Pairs count when their distance is at most R ("<= R").
%   By default R is 0.2 sigma, as SAMPEN defines it.
%
%   X  a vector of N real samples; NaN and Inf are refused.
%   M  template length, a whole number >= 1 (default 2).
%   R  tolerance, a number >= 0; omitted or []: 0.2 sigma of X.
%   TAU  delay, a whole number >= 1 (default 1). N must be at least
%      M TAU + 1.
%   AE  a scalar.
%
%   Every template's count is exact, from a k-d tree of the templates of one
%   length at a time: pairs of nodes whose bounds put all their points
%   within R of each other, or all beyond it, are counted at once; no N x N
%   matrix is formed. The counts are kept per template and the logs summed
%   afterwards in order of i.
%
%   Threads: the trees, the counts and the logs run on the cores this
%   process may use, or on OMP_NUM_THREADS of them when that is set; small
%   calls use one. The sum runs in order on one thread, so the result is the
%   same for every thread count.
%   Memory besides X: the tree, about 8 (M + 1) + 10 bytes per template, and
%   16 bytes per template for the counts and logs.
%
%   Refused, with these messages:
%     no input                 "x must be given"
%     more than 4 inputs       "At most four inputs: x, m, r and tau"
%     not a real double array  "Input 1 must be a real double array" (or 2 ... 4)
%     X not a vector           "x must be a vector"
%     NaN or Inf in X          "x must not hold NaN or Inf"
%     an empty M or TAU        "Input 2 must not be empty" (or 4)
%     M not whole, below 1     "m must be a whole number, at least 1"
%     R negative or NaN        "r must be a number, at least 0"
%     TAU not whole, below 1   "tau must be a whole number, at least 1"
%     too few samples          "x is too short: m = 2 and tau = 1 need at least 3 samples"
%     more than 2^31 - 1 samples  "x has too many samples"
%
%   Example:
%     x = foldmap (20000, [-1.4 0.3 0 0])(:, 1);      % Henon x
%     ae = apen (x)                                   % near 0.48
%
%   See also SAMPEN, EMBEDDIM.
