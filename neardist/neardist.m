%NEARDIST  Distances to the k nearest neighbours, leaving out points close in time.
%   D = NEARDIST (X, K)
%   [D, I] = NEARDIST (X, K, W, R, P)
%
%   For every reference row R(r) of the point set X, the K nearest of its
%   candidate neighbours: the rows j with |R(r) - j| > W. D(r, m) is the
%   distance to the m-th nearest, I(r, m) its row; along each row of D the
%   distances ascend, and equal distances go by row, the lower first. The
%   window W (the Theiler window) leaves out points close in time, whose
%   nearness says nothing about the attractor; W = 0 leaves out only the
%   point itself.
%
%   Distances are exact: the Euclidean distance is the square root of the
%   sum, over the coordinates in order, of the squared differences, each
%   operation rounded (no fused multiply-add); the maximum norm is the
%   largest absolute difference. Equal means equal after the square root.
%   The search prunes a k-d tree with bounds that never exceed a distance,
%   so it returns what comparing every candidate returns, bit for bit.
%
%   X (Python: points)  N x d real matrix, one point per row, in time order
%      (as DELAYMATRIX returns it); NaN and Inf are refused.
%   K  number of neighbours, a whole number >= 1.
%   W  Theiler window, a whole number >= 0 (default 0).
%   R (Python: refs)  reference rows, whole numbers 1 ... N in any order,
%      repeats allowed (default 1:N, all of them in order); all elements in
%      storage order. An empty R gives 0 x K results.
%   P  the norm: 2 (Euclidean, the default) or Inf (maximum norm).
%   D (Python: distances)  numel (R) x K distances: the distance input of
%      QSPECTRUM as it is.
%   I (Python: indices)  numel (R) x K rows of the neighbours, from 1.
%   Every reference needs K candidates: a reference with fewer (N small
%   against K and W) is refused, not padded.
%
%   Threads: the tree is built, and the references searched in chunks, on
%   the cores this process may use, or on OMP_NUM_THREADS of them when that
%   is set; each thread takes the next chunk as it comes free. Small calls
%   use one. The results are the same, bit for bit, for every thread count.
%   Memory besides X and the results, O(N): the tree, about 10 d + 10 bytes
%   per point (its copy of the points, their rows, its nodes and their
%   boxes); 12 bytes per point or reference for the orders of rows and
%   references (4 more per point when R is given); and a column of the
%   results (8 bytes per reference) for each thread that puts them in the
%   order of R. With 10^6 points in 3 dimensions: about 75 MB on two
%   threads, beside the 256 MB of D and I for K = 16.
%
%   Refused, with these messages:
%     fewer than 2 inputs      "X and k must be given"
%     more than 5 inputs       "At most five inputs: X, k, w, R and p"
%     not a real double array  "Input 1 must be a real double array" (or 2 ... 5)
%     NaN or Inf in X          "X must not hold NaN or Inf"
%     an empty K, W or P       "Input 2 must not be empty" (or 3, 5)
%     K not whole, below 1     "k must be a whole number from 1 to 2147483647"
%     W not whole, below 0     "w must be a whole number, at least 0"
%     R not rows of X          "R must hold row numbers of X, whole numbers
%                               from 1 to N" (with N's value)
%     P not 2 or Inf           "p must be 2 or Inf"
%     too few candidates       "Not enough candidates: reference row i has c
%                               rows more than w = W apart, fewer than k = K"
%                               (for the reference with the fewest)
%
%   Example:
%     xy = foldmap (20000, [-1.4 0.3 0 0]);            % Henon orbit
%     X = delaymatrix (xy(:, 1), 2, 1);                % delay-embedded in 2-D
%     [D, I] = neardist (X, 8, 10);                    % 8 neighbours, window 10
%     dims = qspectrum (D, [-1 0 1], 1, 2, 8)          % near 1.2
%
%   See also CORRSUM, QSPECTRUM, DELAYMATRIX.
