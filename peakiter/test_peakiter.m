## Octave tests of peakiter in the real host: loading, shape, values and
## messages.

%!test
%! x = peakiter (3.9, [0 1 1 0.25]);
%! assert (x, [0.5; 1; 0]);
%! assert (peakiter (1, [0.3 2.5 0.8 0.5]), 0.8);
%! assert (peakiter (1, [0.3 2.5 0.8 1]), 0);
%! assert (all (isnan (peakiter (4, [0.2 0 1 0.3]))));

## The same series written as a loop in the host's own arithmetic.
%!test
%! p = [0.15 1.7 0.97 0.31];
%! got = peakiter (400, p');
%! c = 2 * p(1); x = p(4); want = zeros (400, 1);
%! for k = 1:400
%!   u = abs (2 * x - 1);
%!   x = (1 - (( c + u)^p(2) - c^p(2)) / ((c + 1)^p(2) - c^p(2))) * p(3);
%!   want(k) = x;
%! endfor
%! assert (got, want);

## h = 0, e = 2 read column by column: x -> 1 - (2x - 1)^2.
%!assert (peakiter (1, [0 1; 2 0.25]), 0.75)

%!error <Peakiter : number of samples to compute and parameter vector must be given> peakiter (3)
%!error <requested number of samples must be positive> peakiter (0.5, [0 1 1 0.2])
%!error <requested number of samples must be positive> peakiter (-Inf, [0 1 1 0.2])
%!error <Need parameter vector of length 4 \(h, e, s, x0\)> peakiter (2, [0 1 1])
%!error <Input 1 must not be empty> peakiter (zeros (1, 0), [0 1 1 0.2])
%!error <Input 1 must be a real double array> peakiter (true, [0 1 1 0.2])
%!error <Input 2 must be a real double array> peakiter (3, int8 ([0 1 1 0]))
