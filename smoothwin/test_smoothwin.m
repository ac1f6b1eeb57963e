## Octave tests of smoothwin in the real host: loading, shapes, both modes
## and the messages.

%!assert (smoothwin ([1; 2; 3; 4; 5], 3), [1; 2; 3; 4; 3])
%!assert (smoothwin ([1; 2; 3; 4], 2), [1.5; 2.5; 3.5; 2])
%!assert (smoothwin ([2; 4; 6], [1 2 1]), [2; 4; 4])
%!assert (smoothwin ([1; 2; 3], [0 0 1]), [2; 3; 0])
%!assert (smoothwin ([3 6 -9], 3), [1 2 -3])
%!assert (smoothwin ([4 8], [1 2 1]), [2 4])
%!assert (size (smoothwin (zeros (0, 3), 3)), [0 3])

%!test
%! ## Columns are separate signals; interior outputs are plain means.
%! x = rand (50, 3);
%! y = smoothwin (x, 5);
%! assert (size (y), [50 3]);
%! assert (y(3:48, :), (x(1:46, :) + x(2:47, :) + x(3:48, :) + x(4:49, :) + x(5:50, :)) / 5, 1e-15);
%! assert (smoothwin (x(:, 2), 5), y(:, 2));

%!test
%! ## A window longer than the signal, and a huge length, cover it all.
%! assert (smoothwin ([3; 6], ones (1, 7)), [9; 9] / 7);
%! assert (smoothwin ([3; 6; 9], 3e15), [18; 18; 18] / 3e15);

%!function y = by_definition (x, w)
%! ## Every output adds its window's terms in ascending order, one window
%! ## position at a time for all outputs at once, skipping those outside.
%! [M, N] = size (x);
%! n = numel (w);
%! h = floor ((n - 1) / 2);
%! s = zeros (M, N);
%! for m = 1:n
%!   k = max (1, h + 2 - m):min (M, M + h + 1 - m);
%!   s(k, :) += x(k - h - 1 + m, :) * w(m);
%! endfor
%! y = s / sum (w);
%!endfunction

%!test
%! ## Bit for bit as defined, in the real host, on whichever vector unit it
%! ## picks, and the same for every thread count.
%! randn ("seed", 5);
%! x = randn (30011, 3);
%! w = rand (1, 256);
%! both = @() {smoothwin(x, 301), smoothwin(x, w)};
%! one = with_threads ("1", both);
%! three = with_threads ("3", both);
%! assert (isequal (one{1}, three{1}, by_definition (x, ones (1, 301))));
%! assert (isequal (one{2}, three{2}, by_definition (x, w)));
%! assert (isequal (smoothwin (x(1:40, :), 101), by_definition (x(1:40, :), ones (1, 101))));

%!error <input data and length \(or window vector\) must be given> smoothwin (1)
%!error <Average length too short> smoothwin ([1; 2; 3], 1)
%!error <Average length too short> smoothwin ([1; 2; 3], 0.5)
%!error <Average length too short> smoothwin ([1; 2; 3], NaN)
%!error <Mean of weight vector is zero> smoothwin ([1; 2; 3], [1 -1])
%!error <Input 2 must not be empty> smoothwin ([1; 2; 3], [])
%!error <Input 2 must not be empty> smoothwin ([1; 2; 3], zeros (0, 5))
%!error <Input 1 must be a real double array> smoothwin (single ([1; 2; 3]), 3)
%!error <Input 2 must be a real double array> smoothwin ([1; 2; 3], int32 (3))
