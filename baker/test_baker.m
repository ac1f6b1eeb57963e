## Octave tests of baker in the real host: loading, shape, values and
## messages.

%!test
%! y = baker (2, [0.5 0.25 0.4 0.2 0.1]);
%! assert (size (y), [2 2]);
%! assert (y, [0.05 0.2; 0.0125 0.4], eps);
%! assert (baker (1.5, [0.5; 0.25; 0.4; 0.2; 0.75]), [0.58 0.5], eps);
%! assert (baker (1, [0.5 0.25 0.4 0.2 0.5]), [0.58 0], eps);

## The same orbit written as a loop in the host's own arithmetic.
%!test
%! p = [0.37 0.33 0.45 0.123 0.789];
%! got = baker (1000, p);
%! x = p(4); y = p(5); want = zeros (1000, 2);
%! for k = 1:1000
%!   if (y < p(1))
%!     x = p(2) * x; y = y / p(1);
%!   else
%!     x = p(3) * x + 0.5; y = (y - p(1)) / (1 - p(1));
%!   endif
%!   want(k, :) = [x y];
%! endfor
%! assert (got, want);

## Degenerate cut: 0/0 in the upper strip is stored and fed back.
%!test
%! y = baker (2, [1 0.3 0.3 0.1 1]);
%! assert (isnan (y(:, 2)));

%!error <baker : number of samples to compute and parameter vector must be given> baker (3)
%!error <requested number of samples must be positive> baker (0, [0.5 0.25 0.4 0.2 0.1])
%!error <Need parameter vector of length 5 \(eta,l1,l2,x0,y0\)> baker (2, [0.5 0.25 0.4 0.2])
%!error <Input 1 must not be empty> baker ([], [0.5 0.25 0.4 0.2 0.1])
%!error <Input 1 must be a real double array> baker (int32 (2), [0.5 0.25 0.4 0.2 0.1])
%!error <Input 2 must be a real double array> baker (2, single ([0.5 0.25 0.4 0.2 0.1]))
