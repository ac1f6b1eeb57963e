## Octave tests of laginfo in the real host: loading, shapes, results,
## progress lines and messages.

%!test
%! c = 0.69314718055995;
%! printed = evalc ("I = laginfo ([0.1 0.6], 0, 2);");
%! assert (printed, "Number of partitions per axis   : 2\n");
%! assert (I, log (2) / c);

%!test
%! c = 0.69314718055995;
%! want = log ((2/3) / 0.25) / c * (2/3) + log ((1/3) / 0.25) / c * (1/3);
%! printed = evalc ("I = laginfo ([0.1 0.6 0.1 0.6], 1, 2);");
%! assert (I, [want; want], 1e-15);

%!test
%! x = mod ((1:500)' * 0.6180339887, 1);
%! printed = evalc ("I = laginfo (x, 2.7, [8 3]);");
%! assert (printed, ["Number of partitions per axis   : 8\n", ...
%!                   "Number of partitions per axis   : 3\n"]);
%! assert (size (I), [3 2]);
%! assert (I(1, 1), log2 (8), 1e-3);   # lag 0: the entropy of 8 equal bins
%! evalc ("J = laginfo (x', 2, [8; 3]);");
%! assert (J, I);

%!test
%! ## The work stops at the bad value, after that resolution's line.
%! printed = evalc ("try laginfo ([0.2 1], 0, [2 4]); catch err; disp (err.message); end");
%! assert (printed, ["Number of partitions per axis   : 2\n", ...
%!                   "laginfo: Data values must be rang values in the range [0 1)\n"]);

%!error <laginfo : Scalar time series, maximal timelag and number of partitions per axis must be given> laginfo ([0.1 0.2], 0)
%!error <Length of time series much to short for given timelag> laginfo ([0.1 0.2], 2, 4)
%!error <Maximal timelag may not be negative> laginfo ([0.1 0.2], -1, 4)
%!error <At least one partition size must be given> laginfo ([0.1 0.2], 0, zeros (0, 5))
%!error <Number of bins should be at least greater one> laginfo ([0.1 0.2], 0, 1.5)
%!error <Number of bins too large> laginfo ([0.1 0.2], 0, 16385)
%!error <Data values must be rang values in the range \[0 1\)> laginfo ([0.1 NaN], 0, 2)
%!error <Input 2 must not be empty> laginfo ([0.1 0.2], [], 2)
%!error <Input 1 must be a real double array> laginfo (single ([0.1 0.2]), 0, 2)
%!error <Input 3 must be a real double array> laginfo ([0.1 0.2], 0, int32 (2))
