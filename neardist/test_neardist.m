## Octave tests of neardist in the real host: results as a comparison with
## every candidate gives them, on any thread count; messages.

## The k nearest candidates of row i, by distance, then row.
%!function [d, j] = by_hand (X, i, k, w, p)
%!  j = find (abs ((1:rows (X))' - i) > w);
%!  d = distances_by_hand (X, i, j, p);
%!  [~, order] = sortrows ([d j]);
%!  d = d(order(1:k))';
%!  j = j(order(1:k))';
%!endfunction

%!test
%! ## Integer points: many equal distances, which go by row.
%! X = randi ([-2 2], 300, 3);
%! for p = [2 Inf]
%!   R = [7 1 300 7 150];
%!   [D, I] = neardist (X, 6, 4, R, p);
%!   assert (size (D), [5 6]);
%!   for r = 1:numel (R)
%!     [d, j] = by_hand (X, R(r), 6, 4, p);
%!     assert (D(r, :), d);
%!     assert (I(r, :), j);
%!   endfor
%! endfor

%!test
%! ## A Henon orbit, all rows, on one and on three threads.
%! xy = foldmap (3000, [-1.4 0.3 0 0]);
%! one = with_threads ("1", @() nthargout (1:2, @neardist, xy, 5, 2));
%! three = with_threads ("3", @() nthargout (1:2, @neardist, xy, 5, 2));
%! assert (three, one);
%! [D1, I1] = one{:};
%! for i = [1 1500 3000]
%!   [d, j] = by_hand (xy, i, 5, 2, 2);
%!   assert (D1(i, :), d);
%!   assert (I1(i, :), j);
%! endfor

%!test
%! ## The distances are qspectrum's input as they are.
%! X = delaymatrix (foldmap (20000, [-1.4 0.3 0 0])(:, 1), 2, 1);
%! D = neardist (X, 16, 10, 1:4:rows (X));
%! dims = qspectrum (D, [0 1], 2, 4, 16);
%! assert (all (abs (dims(:) - 1.22) < 0.2));

%!test
%! [D, I] = neardist (rand (10, 2), 3, 0, zeros (1, 0));
%! assert (size (D), [0 3]);
%! assert (size (I), [0 3]);

%!error <X and k must be given> neardist (ones (3, 1))
%!error <At most five inputs: X, k, w, R and p> neardist (ones (3, 1), 1, 0, 1, 2, 0)
%!error <Input 2 must be a real double array> neardist (ones (3, 1), int32 (1))
%!error <X must not hold NaN or Inf> neardist ([1; NaN; 2], 1)
%!error <k must be a whole number from 1 to 2147483647> neardist (ones (3, 1), 0.5)
%!error <w must be a whole number, at least 0> neardist (ones (3, 1), 1, -1)
%!error <R must hold row numbers of X, whole numbers from 1 to 3> neardist (ones (3, 1), 1, 0, 4)
%!error <p must be 2 or Inf> neardist (ones (3, 1), 1, 0, 1, 1)
%!error <Not enough candidates: reference row 2 has 0 rows more than w = 1 apart, fewer than k = 1> neardist (ones (3, 1), 1, 1)
