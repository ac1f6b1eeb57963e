%SLOPEINTERP  Akima interpolation.
%   YY = SLOPEINTERP (X, Y, XX)
%
%   Interpolates the data points (X, Y) by Akima's method and returns the
%   interpolant's values at the query abscissae XX. The interpolant is a
%   piecewise cubic with continuous first derivative; its slope at each knot
%   is a mean of the slopes of the neighbouring intervals, weighted towards
%   the side where the data change less, so it follows an isolated step
%   without the overshoot of a cubic spline. The data are extended by two
%   points beyond each end so that the end knots get slopes by the same rule.
%   Queries outside [X(1), X(n)] are extrapolated with the cubic of the
%   nearest end interval. Two points give the straight line through them.
%
%   X   real double array of n >= 2 abscissae, strictly ascending; its shape
%       is ignored and its elements are taken in storage order (X(:)).
%   Y   real double array of at least n ordinates; its first n elements in
%       storage order are used, further ones are ignored.
%   XX  real double array of K query abscissae; its shape is ignored.
%   YY  K x 1 column of the interpolant's values at XX(:), whatever the shape
%       of XX. A NaN query gives NaN; NaN or Inf in Y propagates.
%
%   The interval found for one query is remembered (also from one call to the
%   next) as the starting guess for the next, so sorted queries are cheap.
%   The results do not depend on it, except that a query exactly at a knot
%   that ends the remembered interval is evaluated with that interval's cubic
%   rather than the next one's, which agrees up to rounding. Unsorted queries
%   find their interval through a table of the knots by value.
%
%   Large calls split the queries among threads: OMP_NUM_THREADS of them when
%   that is set to a positive number, otherwise one per core available; the
%   results, and the interval remembered, are the same for any count. Working
%   memory is about 48 bytes per data point, besides the output.
%
%   Refused, with these messages:
%     fewer than 3 inputs       "Akima interpolation : YY = AKIMA(X,Y,XX)"
%     n < 2                     "There should be at least two data points."
%     Y shorter than X          "Abscissa and ordinate vector should be of the
%                                same length."
%     X not strictly ascending  "Data point must be given with ascending x
%     (repeated, decreasing      values"
%     or NaN abscissae)
%     not a real double array   "Input 1 must be a real double array" (or 2, 3)
%
%   Example:
%     x = 0:5;
%     yy = slopeinterp (x, [0 0 0 1 1 1], 0:0.25:5)   % no overshoot at the step
%
%   See also KNOTINTERP, SMOOTHWIN.
