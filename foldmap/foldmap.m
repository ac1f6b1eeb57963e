%FOLDMAP  Orbit of the quadratic two-dimensional map (x, y) -> (1 + a*x^2 + b*y, x).
%   Y = FOLDMAP (N, [A B X0 Y0])
%
%   Iterates the map
%     x(k) = 1 + A * x(k-1)^2 + B * y(k-1),   y(k) = x(k-1)
%   from the starting point (X0, Y0) and returns the N images of it, one per
%   row. Note the sign: the square enters with +A. The Hénon attractor in
%   this sign convention is A = -1.4, B = 0.3.
%
%   N       number of samples: the first element of the first input, truncated
%           toward zero; it must be at least 1.
%   P (Python: params)  parameter vector [A B X0 Y0]: any array of at least 4 elements,
%           read in storage order (column by column); further elements are
%           ignored.
%   Y       N x 2 matrix. Row k is the k-th image of (X0, Y0): Y(k, 1) is the
%           new first coordinate, Y(k, 2) the previous one, so Y(1, 2) = X0
%           and Y(k, 2) = Y(k-1, 1). The starting point itself is not a row,
%           and Y0 enters only the first value.
%
%   Diverging orbits: a new first coordinate of magnitude above 1000000
%   (also +Inf or -Inf) is replaced by +1000000, positive also when the
%   value was negative, and the warning "Values exceed threshold of 1000000,
%   limiting values" is given for that sample. A run-away orbit therefore
%   warns once for every remaining sample. A value of exactly +-1000000 is
%   kept, and NaN is kept without a warning.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "Foldmap : number of samples to compute and
%                               parameter vector must be given"
%     N < 1, NaN or beyond the 32-bit integer range
%                              "requested number of samples must be positive"
%     fewer than 4 parameters  "Need parameter vector of length 4 (a,b,x0,y0)"
%     an empty first input     "Input 1 must not be empty"
%     not a real double array  "Input 1 must be a real double array" (or 2)
%
%   Example:
%     y = foldmap (5000, [-1.4 0.3 0 0]);
%     plot (y(:, 2), y(:, 1), '.')
%
%   See also PEAKITER, BAKER, GRIDMASS.
