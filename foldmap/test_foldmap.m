## Octave tests of foldmap in the real host: loading, shape, values,
## messages, and the limit warnings arriving one per limited sample.

%!test
%! y = foldmap (3, [0 0 5 7]);
%! assert (y, [1 5; 1 1; 1 1]);
%! assert (size (foldmap (2.7, [-1.4; 0.3; 0; 0])), [2 2]);

## The same orbit written as a loop in the host's own arithmetic.
%!test
%! p = [-1.4 0.3 0.1 -0.2];
%! y = foldmap (500, p);
%! x = p(3); yy = p(4); want = zeros (500, 2);
%! for k = 1:500
%!   v = p(1) * x * x + 1 + p(2) * yy;
%!   want(k, :) = [v x];
%!   yy = x; x = v;
%! endfor
%! assert (y, want);

## Column by column from a 2 x 2 parameter matrix: a = 2, b = 3, x0 = 0.5, y0 = 4.
%!assert (foldmap (1, [2 0.5; 3 4]), [13.5 0.5])

%!test
%! lastwarn ("");
%! printed = evalc ("y = foldmap (2, [1 0 2000 0]);");
%! assert (y, [1e6 2000; 1e6 1e6]);
%! warning_line = "warning: Values exceed threshold of 1000000, limiting values";
%! assert (numel (strfind (printed, warning_line)), 2);
%! assert (lastwarn (), "Values exceed threshold of 1000000, limiting values");

## Forty-eight of fifty samples run off; -(4e6 - 1) is replaced by +1e6.
%!test
%! printed = evalc ("y = foldmap (50, [1 0 10 0]);");
%! assert (numel (strfind (printed, "limiting values")), 48);
%! printed = evalc ("y = foldmap (1, [-1 0 2000 0]);");
%! assert (y, [1e6 2000]);
%! assert (numel (strfind (printed, "limiting values")), 1);

%!test
%! printed = evalc ("y = foldmap (3, [NaN 0 0.1 0]);");
%! assert (isempty (printed));
%! assert (isnan (y(:, 1)) & isnan ([NaN; y(2:3, 2)]));
%! assert (y(1, 2), 0.1);

%!error <Foldmap : number of samples to compute and parameter vector must be given> foldmap (3)
%!error <requested number of samples must be positive> foldmap (0.9, [1 2 3 4])
%!error <requested number of samples must be positive> foldmap (NaN, [1 2 3 4])
%!error <Need parameter vector of length 4 \(a,b,x0,y0\)> foldmap (2, [1 2 3])
%!error <Input 1 must not be empty> foldmap ([], [1 2 3 4])
%!error <Input 1 must be a real double array> foldmap (int32 (3), [1 2 3 4])
%!error <Input 2 must be a real double array> foldmap (3, single ([1 2 3 4]))
