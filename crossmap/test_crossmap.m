## Octave tests of crossmap in the real host: the fixed libraries against
## simplex, any thread count, the coupled logistic maps; messages.

%!shared x, y
%! x = zeros (1000, 1);  y = x;  x(1) = 0.4;  y(1) = 0.2;
%! for t = 1:999
%!   x(t+1) = x(t) * (3.8 - 3.8 * x(t) - 0.02 * y(t));
%!   y(t+1) = y(t) * (3.5 - 3.5 * y(t) - 0.1 * x(t));
%! endfor

%!test
%! ## Without a seed, the first L rows: with y = x and Tp = 1, simplex's rho.
%! R = crossmap (x, x, 2, 1, [50 300], 5, [], 0, 1);
%! assert (size (R), [2 1]);
%! for i = 1:2
%!   L = [50 300](i);
%!   [~, S] = simplex (x, 2, 1, 1, 0, 2:L+1, 2:999);
%!   assert (R(i), S(1));
%! endfor

%!test
%! ## Draws on one and on three threads; y from x's past lower than x from y's.
%! L = [10 100 400 998];
%! one = with_threads ("1", @() crossmap (x, y, 2, 1, L, 20));
%! three = with_threads ("3", @() crossmap (x, y, 2, 1, L, 20));
%! assert (three, one);
%! assert (all (diff (mean (one, 2)) > 0));
%! assert (mean (crossmap (y, x, 2, 1, 998, 1)) > mean (one(end, :)) + 0.1);

%!error <x, y, E, tau and L must be given> crossmap (1:10, 1:10, 2, 1)
%!error <x and y must have the same length> crossmap (1:10, 1:9, 2, 1, 5)
%!error <seed must be a whole number from 0 to 4294967295, or empty> crossmap (1:10, 1:10, 2, 1, 5, 1, -1)
%!error <L must hold library sizes, whole numbers from k \+ 2w \+ 1 = 24 to the 9 rows with an embedding and a target; 9 is not one> crossmap (1:10, 1:10, 2, 1, 9, 1, 0, 10)
