%RQA  Recurrence quantification: recurrence rate, determinism, laminarity and their line lengths.
%   M = RQA (X, R)
%   [M, DL, VL] = RQA (X, R, W, LMIN, VMIN, P)
%
%   The recurrence matrix of the point set X has R(i, j) = 1 when
%   |i - j| > W and the distance of rows i and j is at most R (<=, as the
%   literature counts it); it is symmetric, and every count is over the
%   whole matrix, both triangles. W = 0 leaves out only the main diagonal.
%   A diagonal line is a maximal run of ones along a diagonal j - i = const
%   (|const| > W); a vertical line a maximal run of ones down a column,
%   where the band |i - j| <= W splits each column in two parts that no line
%   crosses. Lines touching the border of the matrix count as they are.
%
%   Distances as in NEARDIST: the Euclidean distance is the square root of
%   the sum, over the coordinates in order, of the squared differences, each
%   operation rounded; the maximum norm is the largest absolute difference.
%   The distance itself is compared with R. The recurrences are those
%   CORRSUM counts (strictly below the radius) at R nudged up one ulp,
%   twice: M(9) = 2 * n of [~, n] = corrsum (X, R', W, P) with
%   R' = R + eps (R) the next double above R.
%
%   X (Python: points)  N x d real matrix, one point per row, in time
%      order (as DELAYMATRIX returns it); NaN and Inf are refused.
%   R  the radius, a number >= 0.
%   W  Theiler window, a whole number >= 0 (default 1).
%   LMIN, VMIN  the shortest diagonal and vertical lines that count in the
%      measures, whole numbers >= 1 (default 2 each).
%   P  the norm: Inf (maximum norm, the default) or 2 (Euclidean).
%   M (Python: measures)  1 x 9 (in Python a named tuple of floats):
%      M(1) RR = n / P, n the recurrences, P = N^2 - N - 2 sum_{k=1}^{min(W,
%           N-1)} (N - k) the pairs taking part;
%      M(2) DET = sum_{l>=LMIN} l DL(l) / n;
%      M(3) L = sum_{l>=LMIN} l DL(l) / sum_{l>=LMIN} DL(l);
%      M(4) Lmax, the longest diagonal line (0 when there is none);
%      M(5) ENTR = -sum_{l>=LMIN, DL(l)>0} p(l) ln p(l), p(l) = DL(l) /
%           sum_{l'>=LMIN} DL(l'), summed in ascending l (nats);
%      M(6) LAM = sum_{l>=VMIN} l VL(l) / n;
%      M(7) TT = sum_{l>=VMIN} l VL(l) / sum_{l>=VMIN} VL(l);
%      M(8) Vmax, the longest vertical line (0 when there is none);
%      M(9) n, as a double.
%      Every ratio is one division of exact whole numbers, made after all
%      counting; a zero denominator gives NaN (RR when no pair takes part,
%      W >= N - 1; ENTR when no line reaches LMIN).
%   DL (Python: diagonal)  N x 1: DL(l) diagonal lines of length l.
%   VL (Python: vertical)  N x 1: VL(l) vertical lines of length l.
%   With DL and VL the measures can be redone for other LMIN and VMIN
%   without counting again.
%
%   No N x N matrix is held. The rows are taken in time order; a k-d tree
%   lists each row's recurrences (nodes wholly within R are listed without
%   a distance), and the lines are followed as the rows go by. Time grows
%   with the number of recurrences, not with N^2, as long as R is small; a
%   radius at which nearly every pair recurs takes time like N^2, but no
%   more memory.
%
%   Threads: the tree is built, and blocks of rows are searched, on the
%   cores this process may use, or on OMP_NUM_THREADS of them when that is
%   set; small calls use one. Lines that cross a block's border are joined
%   exactly, so the results are the same, bit for bit, for every thread
%   count.
%   Memory besides X and the results, O(N): the tree, about 10 d + 10 bytes
%   per point; 16 bytes per point for the histograms; per thread, 4.25 bytes
%   per point and a few rows' recurrences; per block of rows (four per
%   thread), the diagonal lines open at its first and last rows, up to 24
%   bytes per point when nearly every pair recurs. About 60 bytes per point
%   in all for 10^6 Henon points at RR = 0.001 on 2 threads.
%
%   Refused, with these messages:
%     fewer than 2 inputs        "X and r must be given"
%     more than 6 inputs         "At most six inputs: X, r, w, lmin, vmin and p"
%     not a real double array    "Input 1 must be a real double array" (or 2 ... 6)
%     NaN or Inf in X            "X must not hold NaN or Inf"
%     an empty input 2 ... 6     "Input 2 must not be empty" (or 3 ... 6)
%     R negative or NaN          "r must be a number, at least 0"
%     W not whole, below 0       "w must be a whole number, at least 0"
%     LMIN not whole, below 1    "lmin must be a whole number, at least 1"
%     VMIN not whole, below 1    "vmin must be a whole number, at least 1"
%     P not 2 or Inf             "p must be 2 or Inf"
%
%   References: J.-P. Eckmann, S. Oliffson Kamphorst, D. Ruelle, Recurrence
%   plots of dynamical systems, Europhys. Lett. 4 (1987) 973; J. P. Zbilut,
%   C. L. Webber, Embeddings and delays as derived from quantification of
%   recurrence plots, Phys. Lett. A 171 (1992) 199; N. Marwan, M. C. Romano,
%   M. Thiel, J. Kurths, Recurrence plots for the analysis of complex
%   systems, Phys. Rep. 438 (2007) 237 (lines, LAM, TT; the diagonal line
%   lengths fall like exp (-K2 l)).
%
%   Example:
%     xy = foldmap (5000, [-1.4 0.3 0 0]);             % Henon orbit
%     [M, Dl] = rqa (xy, 0.02);                        % maximum norm, w = 1
%     printf ("RR %.4f  DET %.3f  LAM %.3f\n", M(1), M(2), M(6))
%     l = (3:12)';  slope = polyfit (l, log (Dl(l)), 1)(1)   % about -0.4
%
%   See also CORRSUM, NEARDIST, DELAYMATRIX.
