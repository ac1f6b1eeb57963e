## Octave tests of corrsum in the real host: counts as a comparison of every
## pair gives them, on any thread count; the correlation dimension of Henon;
## messages.

%!function n = by_hand (X, r, w, p)
%!  N = rows (X);
%!  n = zeros (numel (r), 1);
%!  for i = 1:N - w - 1
%!    d = distances_by_hand (X, i, (i + w + 1:N)', p);
%!    for m = 1:numel (r)
%!      n(m) += sum (d < r(m));
%!    endfor
%!  endfor
%!endfunction

%!test
%! X = randi ([-3 3], 400, 2);
%! r = [sqrt(2) 1 2 2.5 0 -1 Inf];
%! for p = [2 Inf]
%!   [C, n] = corrsum (X, r, 3, p);
%!   assert (n, by_hand (X, r, 3, p));
%!   assert (C, n / ((400 - 3) * (400 - 4) / 2));
%! endfor

%!test
%! ## Henon: the local slopes of log C over log r near D2 = 1.22, on any
%! ## thread count.
%! xy = foldmap (20000, [-1.4 0.3 0 0]);
%! r = 2 .^ (-9:-5);
%! C1 = with_threads ("1", @() corrsum (xy, r, 10));
%! C3 = with_threads ("3", @() corrsum (xy, r, 10));
%! assert (C3, C1);
%! slopes = diff (log (C1)) ./ diff (log (r'));
%! assert (all (abs (slopes - 1.22) < 0.1));

%!error <X and r must be given> corrsum (ones (3, 1))
%!error <At most four inputs: X, r, w and p> corrsum (ones (3, 1), 1, 0, 2, 0)
%!error <Input 2 must be a real double array> corrsum (ones (3, 1), single (1))
%!error <X must not hold NaN or Inf> corrsum ([1; Inf], 1)
%!error <r must not hold NaN> corrsum (ones (3, 1), [1 NaN])
%!error <w must be a whole number, at least 0> corrsum (ones (3, 1), 1, 1.5)
%!error <p must be 2 or Inf> corrsum (ones (3, 1), 1, 0, 3)
%!error <No pairs: X needs more than w \+ 1 rows> corrsum (ones (3, 1), 1, 2)
