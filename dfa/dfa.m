%DFA  Detrended fluctuation analysis of a series, multifractal if asked.
%   F = DFA (X, N)
%   F = DFA (X, N, ORDER, Q)
%
%   The profile of the series X (L samples) is Y(k) = sum over i <= k of
%   (X(i) - mu), mu = sum (X) / L, both summed in order. For each box size
%   n = N(s) there are 2 floor (L/n) windows of n samples: K = floor (L/n)
%   from the start (window v holds Y((v-1)*n+1 ... v*n)) and as many from
%   the end (window K+j holds Y(L-j*n+1 ... L-(j-1)*n)). In each window a
%   least-squares polynomial of degree ORDER is fitted to Y over the
%   abscissae 1 ... n; F2(v) is the mean of its squared residuals. Then,
%   over the 2K windows in order (Kantelhardt et al. 2001, 2002),
%     q = 2:     F(s) = sqrt (mean (F2));
%     q = 0:     F(s) = exp (mean (log (F2)) / 2);
%     otherwise: F(s) = mean (F2 .^ (q/2)) ^ (1/q).
%   The slope of log (F) against log (N) is the DFA exponent alpha (q = 2),
%   or the generalized Hurst exponent h(q): 0.5 for white noise, 1.5 for
%   its cumulative sum (a random walk), near 1 for 1/f noise; h(q) is the
%   same for every q when the series is monofractal. A trend of degree
%   ORDER - 1 in X (ORDER in the profile) leaves F = 0 up to rounding.
%
%   X   vector of L real samples; NaN and Inf are refused.
%   N (Python: sizes)  the box sizes, whole numbers from ORDER + 2 to L, any
%       shape (all elements in storage order), repeats allowed.
%   ORDER  the degree of the detrending polynomial, a whole number from 0
%       to 5 (default 1: DFA1).
%   Q   the moments, finite real numbers, any shape (default 2).
%   F   numel (N) x numel (Q): F(s, j) is F_q(n) for n = N(s), q = Q(j).
%       A window fitted exactly (F2 = 0) makes F = 0 for q <= 0.
%
%   The fit is numerically stable: each window, less its first value, is
%   projected on polynomials orthogonal on its abscissae, and the residuals
%   are formed and squared one by one, so that a residual tiny beside the
%   window's values keeps its precision. F agrees with an exact fit to about
%   1e-12 of the spread of the profile in the window. F is not the same bit
%   for bit on every machine (the rounding of the sums, log and power may
%   differ between processors and libraries), but it is the same for every
%   thread count on one machine.
%   Threads: the windows of the sizes are shared out among the cores this
%   process may use, or OMP_NUM_THREADS of them when that is set, many sizes
%   at once; small calls use one. Each window is computed on its own, and
%   the means run in window order. Memory besides X and F: the profile, 8
%   bytes per sample, and 8 bytes per window of the sizes computed together
%   (as many windows as samples, or those of the smallest size if more).
%
%   Refused, with these messages:
%     fewer than 2 inputs      "x and n must be given"
%     more than 4 inputs       "At most four inputs: x, n, order and q"
%     not a real double array  "Input 1 must be a real double array" (or 2 ... 4)
%     X not a vector           "x must be a vector"
%     NaN or Inf in X          "x must not hold NaN or Inf"
%     an empty ORDER           "Input 3 must not be empty"
%     ORDER not whole, or outside 0 ... 5
%                              "order must be a whole number from 0 to 5"
%     a size not whole, below ORDER + 2 or above L
%                              "n must hold whole numbers from order + 2 = 3
%                               to the length of x, 1000" (the call's values)
%     NaN or Inf in Q          "q must not hold NaN or Inf"
%
%   Example:
%     n = round (logspace (1, 4, 10));
%     F = dfa (randn (1e5, 1), n);                     % white noise
%     alpha = polyfit (log (n), log (F'), 1)(1)        % near 0.5
%     F = dfa (cumsum (randn (1e5, 1)), n, 2);         % random walk, DFA2
%     alpha = polyfit (log (n), log (F'), 1)(1)        % near 1.5
%
%   See also PERMEN, EMBEDDIM, LYAPCURVE.
