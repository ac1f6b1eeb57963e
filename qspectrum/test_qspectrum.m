## Octave tests of qspectrum in the real host: loading, outputs by count,
## messages.

%!test
%! [D, m, model] = qspectrum ([1 2; 4 8], [1 0 -1], 1, 1, 2);
%! assert (m, [2.5 2 1.6; 5 4 3.2], 1e-14);
%! assert (size (D), [3 1]);
%! assert (size (model), [2 3]);
%! assert (all (D > 0.05 & D < 128));

%!test
%! ## Distances of a uniform measure on a line: k-th neighbour distances grow
%! ## like k, which is D = 1.
%! d = repmat (0.001 * (1:30), 200, 1);
%! D = qspectrum (d, [-1 0 1 2], 2, 5, 30);
%! assert (size (D), [4 4]);
%! assert (D, ones (4, 4), 0.1);

%!test
%! [D, m, model] = qspectrum (rand (5, 4) + 1, [], 1, 2, 4);
%! assert (size (D), [0 2]);
%! assert (size (m), [4 0]);
%! assert (size (model), [4 0]);

%!error <qspectrum : distances, gammas, kmin_low, kmin_high and kmax must be given> qspectrum (1, 2, 3, 4)
%!error <kmin must be positive> qspectrum (ones (3, 4), 1, -0.5, 2, 4)
%!error <kmax must be greater kmin_upper> qspectrum (ones (3, 4), 1, 3, 4, 4)
%!error <kmin_upper must be greater or equal to kmin_lower> qspectrum (ones (3, 4), 1, 3, 2, 4)
%!error <kmax may not exceed length of v> qspectrum (ones (3, 4), 1, 1, 2, 5)
%!error <kmin to small> qspectrum (ones (3, 102), -12800, 100, 100, 102)
%!error <Input 3 must not be empty> qspectrum (ones (3, 4), 1, [], 2, 4)
%!error <Input 2 must be a real double array> qspectrum (ones (3, 4), single (1), 1, 2, 4)
