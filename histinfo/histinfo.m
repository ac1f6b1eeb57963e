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
%   Cost: the columns are indexed by the floors of up to three of their rows
%   (those that spread them most), and a reference compares only the columns
%   whose floors lie within 1 of its own, so the time grows about linearly
%   with N for columns spread over many distinct values (10^6 distinct
%   3-row columns take about a second). Columns that no row spreads (every
%   row within a span of a few units) are compared one by one, which for N
%   distinct columns costs up to N^2/2 comparisons. Memory besides A: 28.5 to
%   48 bytes per column and up to 0.4 MB, and with several threads (from
%   1024 columns on) up to 0.7 MB and 4 bytes per column more, at most about
%   5 MB. The work is shared out over the cores this process may use, or
%   over OMP_NUM_THREADS of them when that is set: from 65536 columns on the
%   index is built on the threads (with many cells, each thread fills its
%   own share of its table); when most columns have few close ones, the
%   columns that match no other are found first, all at once on the threads
%   (each is a class of its own); when the columns fall into groups far
%   apart from one another, each group is classed by one thread; otherwise
%   the next columns not yet in a class are tried as references in batches,
%   their matches found on the threads and the classes then formed in
%   order; the comparisons of a very large group of close columns are split
%   among the threads instead. The result is the same for every thread
%   count.
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
