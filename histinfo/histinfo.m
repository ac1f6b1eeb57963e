%HISTINFO  Entropy, in nats, of the distribution of distinct columns of a matrix.
%   H = HISTINFO (A)
%
%   Every column of A is one observation. Two columns match when every
%   element differs by less than 1 in magnitude (their difference truncated
%   toward zero is 0); matching columns form one class, and
%     H = -sum over the classes of p * log (p),  p = class size / N,
%   in nats (natural logarithm). Round or scale the data beforehand to set
%   the width of a class.
%
%   Matching is not transitive, so the classes are formed around a
%   reference: the first column not yet in a class takes every remaining
%   column that matches it (not columns that only match each other), and the
%   next reference is the first column left over. For A = [0 0.9 1.8] the
%   classes are {0, 0.9} and {1.8}.
%
%   A column holding NaN or Inf matches no other column; it forms a class of
%   its own (a difference of 2^31 or more also counts as no match).
%
%   A   M x N real, two-dimensional, full double matrix. With no columns, or
%       with no rows (all columns then match), H is 0.
%   H   1 x 1 entropy in nats, between 0 and log (N).
%
%   Refused, with these messages:
%     not exactly one input                  "Wrong number of input arguments."
%     complex, not 2-D, sparse or not double "A must be a real 2D full double
%                                             array."
%
%   Example:
%     histinfo ([0 0 1 1])                  % two classes of two: log (2)
%     histinfo (round (randn (2, 1000)))    % entropy of 2-D integer bins
%
%   See also DELAYMATRIX, LAGINFO, GRIDMASS.
