%PEAKITER  Series of the tent map with power-curve flanks.
%   X = PEAKITER (N, [H E S X0])
%
%   Iterates
%     x(k) = S * (1 - g(|2 x(k-1) - 1|, H, E))
%   from X0, where g is the power curve t^E taken on [2H, 2H + 1] and
%   rescaled to run from g(0) = 0 to g(1) = 1:
%     g(u, H, E) = ((2H + u)^E - (2H)^E) / ((2H + 1)^E - (2H)^E).
%   With E = 1 this is the ordinary tent map x -> S * (1 - |2x - 1|), whose
%   peak S lies at x = 1/2; other exponents bend both flanks alike, and H
%   chooses which stretch of the power curve shapes them.
%
%   N       number of samples: the first element of the first input, truncated
%           toward zero; it must be at least 1.
%   P (Python: params)  parameter vector [H E S X0]: any array of at least 4 elements,
%           read in storage order (column by column); further elements are
%           ignored. H is the shape offset, E the exponent, S the peak height
%           (the value at x = 1/2), X0 the starting value.
%   X       N x 1 column; X(k) is the k-th image of X0 (X0 itself is not
%           stored).
%
%   Nothing is limited or checked: E = 0 gives NaN in every sample (0/0), a
%   negative base 2H, 2H + u or 2H + 1 with a non-integer E gives NaN, and
%   such values are stored and iterated on.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "Peakiter : number of samples to compute and
%                               parameter vector must be given"
%     N < 1, NaN or beyond the 32-bit integer range
%                              "requested number of samples must be positive"
%     fewer than 4 parameters  "Need parameter vector of length 4 (h, e, s, x0)"
%     an empty first input     "Input 1 must not be empty"
%     not a real double array  "Input 1 must be a real double array" (or 2)
%
%   Example:
%     x = peakiter (2000, [0.1 1.5 0.99 0.3]);
%     plot (x(1:end-1), x(2:end), '.')      % the bent tent
%
%   See also FOLDMAP, BAKER.
