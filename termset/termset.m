%TERMSET  Exponent vectors of all monomials up to a total degree.
%   E = TERMSET (D, MAXGRAD)
%
%   Lists the exponent vectors of every monomial x1^e1 * ... * xD^eD of D
%   variables with total degree e1 + ... + eD at most MAXGRAD, for building
%   polynomial models. Each vector is one column of E; there are
%   nchoosek (D + MAXGRAD, D) of them.
%
%   Order: lexicographic, the first variable outermost and the last varying
%   fastest, each exponent rising from 0 to the degree still available. The
%   constant term (all zeros) comes first. For D = 2, MAXGRAD = 2:
%     E = [0 0 0 1 1 2
%          0 1 2 0 1 0]
%
%   D        number of variables: the first element of a real double array,
%            truncated toward zero; at least 1. Further elements are ignored.
%   MAXGRAD  highest total degree: the first element, truncated toward zero;
%            at least 0 (so -0.5 is taken as 0). Further elements are ignored.
%   E        D x nchoosek (D + MAXGRAD, D) double matrix of exponents. The
%            answer is produced also when no output is asked for.
%   Further inputs are ignored.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "monotermset : Input arguments D and maxgrad
%                               must be given"
%     D < 1, MAXGRAD < 0, NaN  "Wrong parameters given"
%     or beyond 2^31 - 1
%     an empty input           "Input 1 must not be empty" (or 2)
%     not a real double array  "Input 1 must be a real double array" (or 2)
%     more than 2147483647     "Too many monomials: more than 2147483647
%     columns                   columns"
%     E larger than the        "Too many monomials: the list does not fit into
%     memory free now           memory"
%     no memory from the host  "Out of memory"
%   The size checks come before anything is allocated.
%
%   Example:
%     E = termset (3, 2);               % 10 monomials of 3 variables
%     x = rand (100, 3);
%     X = ones (100, columns (E));      % model matrix, one column per term
%     for j = 1:columns (E)
%       X(:, j) = prod (x .^ (E(:, j)'), 2);
%     end
%
%   See also NCHOOSEK, TWISTGEN.
