%PERMEN  Permutation entropy of a series, plain or weighted.
%   H = PERMEN (X)
%   [H, HN, C] = PERMEN (X, M, TAU, WEIGHTED)
%
%   The vectors are v(t) = [X(t), X(t+TAU), ..., X(t+(M-1)*TAU)] for
%   t = 1 ... T, T = N - (M-1)*TAU. The pattern of a vector is the
%   permutation that sorts its values ascending; of two equal values the
%   earlier comes first (ties follow time order, as a stable sort leaves
%   them; a sort that is not stable can give another pattern). The patterns
%   are numbered 1 ... M! in lexicographic order of the permutation:
%   [1 2 3] is 1, [1 3 2] is 2, ..., [3 2 1] is 6.
%
%   C(k) is the number of vectors with pattern k. With WEIGHTED, each vector
%   adds its weight instead (Fadlallah et al. 2013): the mean of its squared
%   deviations from its own mean, sum ((v - sum (v) / M) .^ 2) / M with both
%   sums in order, and C(k) holds the weights added in time order. Then
%   p = C / sum (C), sum (C) taken in pattern order, and
%   H = -sum (p(k) * log (p(k))) over the k with C(k) > 0, in pattern
%   order (Bandt & Pompe 2002); HN = H / log (M!).
%
%   X   vector of N real samples; NaN and Inf are refused.
%   M   the order (vector length), a whole number from 2 to 10 (default 3).
%   TAU  the delay, a whole number >= 1 (default 1).
%   WEIGHTED  true or false (default false): logical, or the double 1 or 0.
%   H (Python: entropy)  the entropy in nats: 0 for a single pattern (a monotone series),
%       log (M!) when all patterns are equally frequent.
%   HN (Python: normalized)  H / log (M!), from 0 to 1; near 1 for white noise.
%   C (Python: counts)  M! x 1, the counts (or weights) per pattern, as doubles.
%   A series whose vectors all weigh 0 (a constant one, weighted) has no
%   term: H = HN = 0. The series needs (M-1)*TAU + 1 samples.
%
%   No vector is sorted or copied: each pattern follows from the
%   comparisons of the vector's values, which overlapping vectors share
%   (M-1 comparisons a vector). Counts are exact whole numbers.
%   Threads: blocks of time are counted on the cores this process may use,
%   or on OMP_NUM_THREADS of them when that is set, each into a table of
%   its own, then added; weights are computed on the threads and added in
%   time order on one: the results are the same, bit for bit, for every
%   thread count. Memory besides X and C: a table of M! counts per thread
%   (at M = 10, 29 MB each; fewer threads when the vectors are fewer than
%   the patterns) and one of M! values; weighted, 12 bytes per vector.
%
%   Refused, with these messages:
%     no input                 "x must be given"
%     more than 4 inputs       "At most four inputs: x, m, tau and weighted"
%     not a real double array  "Input 1 must be a real double array" (or 2, 3;
%                               input 4 may also be logical)
%     X not a vector           "x must be a vector"
%     NaN or Inf in X          "x must not hold NaN or Inf"
%     an empty M ... WEIGHTED  "Input 2 must not be empty" (or 3, 4)
%     M not whole, or outside 2 ... 10
%                              "m must be a whole number from 2 to 10"
%     TAU not whole, below 1   "tau must be a whole number, at least 1"
%     WEIGHTED not 0, 1, true or false
%                              "weighted must be true or false (1 or 0)"
%     X too short              "x is too short: m = 10 and tau = 3 need at
%                               least 28 samples" (with the call's values)
%
%   Example:
%     x = foldmap (20000, [-1.4 0.3 0 0])(:, 1);       % Henon orbit
%     [H, Hn, c] = permen (x, 4);
%     Hn                                               % well below 1
%     Hw = permen (randn (1e5, 1), 4, 1, true) / log (24)  % noise: near 1
%
%   See also DFA, HISTINFO, EMBEDDIM.
