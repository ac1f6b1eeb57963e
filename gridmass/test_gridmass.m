## Octave tests of gridmass in the real host: loading, shapes, messages and
## the printed notice.

%!test
%! c = 0.69314718055995;
%! [h0, h1, h2] = gridmass ([0 0; 1 1], 2);
%! assert (h0, -log (2) / c * [1 1]);
%! assert (h1, h0);
%! assert (h2, h0);

%!test
%! x = rand (200, 3);
%! h0 = gridmass (x, [2 4 8.7]);
%! assert (size (h0), [3 3]);
%! [a, b, c] = gridmass (x, [2; 4; 8]);
%! assert (a, h0);
%! assert (all (b(:) <= 0) && all (c(:) <= 0));

%!test
%! printed = evalc ("h = gridmass ([3; 3; 3], 4);");
%! assert (printed, "Data values are indentical, nothing to compute\n");
%! assert (h, 0);

%!error <Data set of points \(row vectors\) and number of partitions \(per axis\) must be given> gridmass (1)
%!error <Data set must consist of at least two points \(row vectors\)> gridmass ([0.5 0.7], 2)
%!error <Maximal dimension exceeded> gridmass (rand (2, 513), 2)
%!error <At least one partition size must be given> gridmass ([0; 1], zeros (0, 5))
%!error <Number of bins should be at least greater one> gridmass ([0; 1], 1.99)
%!error <Number of bins too large> gridmass ([0; 1], 16385)
%!error <Data values seem not to be in range \[0,1\]> gridmass ([0; NaN; 1], 4)
%!error <Input 1 must be a real double array> gridmass (int32 ([1 2; 3 4]), 2)
%!error <Input 2 must be a real double array> gridmass ([0; 1], single (2))
%!error <Input 1 must be a real double array> gridmass (sparse ([0 1; 1 0]), 2)

## Resolutions are shared out among threads, as many as OMP_NUM_THREADS gives;
## the sums do not depend on it.
%!test
%! x = rand (40000, 4);
%! sizes = [2 16 128 1024 4096 16384];
%! all_sums = @() nthargout (1:3, @gridmass, x, sizes);
%! one = with_threads ("1", all_sums);
%! for threads = {"2", "3"}
%!   assert (isequal (with_threads (threads{1}, all_sums), one));
%! end
