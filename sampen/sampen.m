%SAMPEN  Sample entropy of a series, optionally over coarse-grained scales.
%   SE = SAMPEN (X)
%   [SE, A, B] = SAMPEN (X, M, R, TAU, W, SCALES)
%
%   Sample entropy (Richman & Moorman 2000), with a delay TAU and a Theiler
%   window W; over several scales it is the multiscale entropy of Costa et
%   al. (2002). For each scale s, the series is coarse-grained into
%   y(j) = (X((j-1) s + 1) + ... + X(j s)) / s, j = 1 ... floor (N / s), the
%   sum taken in order (at s = 1, y is X). Its templates of length M are
%   u(t) = (y(t), y(t + TAU), ..., y(t + (M-1) TAU)), for t = 1 ... T,
%   T = floor (N / s) - M TAU: those that have an (M+1)-th point.
%     B = the number of pairs i < j of templates with j - i > W whose
%         distance (maximum norm) is <= R;
%     A = the number of those pairs whose templates of length M + 1 are
%         <= R apart;
%     SE = -log (A / B); Inf when A = 0 < B, NaN when B = 0.
%   Pairs count when their distance is at most R ("<= R", as in the
%   original paper), so on quantised data (e.g. intervals in whole
%   milliseconds) differences of exactly R count. R is the same at every
%   scale, as in Costa et al.; by default it is 0.2 sigma, where
%   sigma = sqrt (sum ((X - mu) .^ 2) / N), mu = sum (X) / N (both sums in
%   order, as EMBEDDIM defines them).
%
%   X  a vector of N real samples; NaN and Inf are refused.
%   M  template length, a whole number >= 1 (default 2).
%   R  tolerance, a number >= 0 (Inf counts every pair); omitted or []:
%      0.2 sigma of X (Inf when sigma overflows).
%   TAU  delay, a whole number >= 1 (default 1).
%   W  Theiler window, a whole number >= 0 (default 0): pairs with
%      j - i <= W are left out. A window as long as the series leaves no
%      pair, and SE is NaN.
%   SCALES  the scales s, whole numbers >= 1, any shape (all elements in
%      storage order; default 1). Each must leave at least M TAU + 2
%      samples (two templates).
%   SE, A, B (Python: entropy, a, b)  numel (SCALES) x 1; A and B as doubles
%      (exact below 2^53).
%
%   The pairs are counted exactly on a k-d tree of the templates (one per
%   length, built one at a time), two nodes at a time, as CORRSUM counts
%   them: pairs of nodes whose bounds put all their pairs within R, or all
%   beyond it, are counted at once. The time grows with the pairs near R,
%   not with N^2; no N x N matrix is formed.
%
%   Threads: the coarse-graining, the trees and the pair counts run on the
%   cores this process may use, or on OMP_NUM_THREADS of them when that is
%   set; small calls use one. Counts are whole numbers, so the results are
%   the same for every thread count.
%   Memory besides X and the results: the tree, about 8 (M + 1) + 10 bytes
%   per template, and 8 bytes per sample of a coarse-grained series.
%
%   Refused, with these messages:
%     no input                 "x must be given"
%     more than 6 inputs       "At most six inputs: x, m, r, tau, w and scales"
%     not a real double array  "Input 1 must be a real double array" (or 2 ... 6)
%     X not a vector           "x must be a vector"
%     NaN or Inf in X          "x must not hold NaN or Inf"
%     an empty M, TAU or W     "Input 2 must not be empty" (or 4, 5)
%     M not whole, below 1     "m must be a whole number, at least 1"
%     R negative or NaN        "r must be a number, at least 0"
%     TAU not whole, below 1   "tau must be a whole number, at least 1"
%     W not whole, below 0     "w must be a whole number, at least 0"
%     a scale not whole, < 1   "scales must hold whole numbers, at least 1"
%     too few samples at a scale
%       "x is too short at scale 3: m = 2 and tau = 1 need at least 4 samples there, it has 3"
%     more than 2^31 - 1 samples  "x has too many samples"
%     a coarse-grained sum that overflows
%       "x overflows at scale 2: a sum of that many samples is infinite"
%
%   Example:
%     x = foldmap (20000, [-1.4 0.3 0 0])(:, 1);      % Henon x
%     se = sampen (x)                                 % near 0.46
%     se = sampen (randn (20000, 1))                  % white noise: near 2.18
%     mse = sampen (randn (30000, 1), 2, 0.15, 1, 0, 1:20);  % falls with scale
%
%   See also APEN, CORRSUM, EMBEDDIM.
