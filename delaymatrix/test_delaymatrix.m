## Octave tests of delaymatrix in the real host: results against indexing,
## shapes, both outputs, messages and the class tests.

%!test
%! x = (0:9)';
%! [E, p] = delaymatrix (x, 3, 2);
%! assert (p, 5);
%! assert (E, [x(5:9), x(3:7), x(1:5)]);

%!test
%! ## Three series, mixed dimensions, delays and shifts, against indexing.
%! X = rand (50, 3);
%! d = [3 2 2]; tau = [2 3 1]; s = [-1 1];
%! [E, p] = delaymatrix (X, d, tau, s);
%! assert (p, 5);
%! t = (p:49)';   # current times, counted from 1
%! want = [X(t, 1), X(t-2, 1), X(t-4, 1), X(t-1, 2), X(t-4, 2), X(t+1, 3), X(t, 3)];
%! assert (E, want);

%!test
%! E = delaymatrix ([1:6; 11:16]', [2 2]);
%! assert (size (E), [4 4]);
%! assert (E(1, :), [2 1 12 11]);
%! E0 = delaymatrix ((1:5)', 5);
%! assert (size (E0), [0 5]);

%!test
%! ## An N-D series array is taken as its columns.
%! X = reshape (1:12, 4, 1, 3);
%! assert (delaymatrix (X, [1 1 1]), delaymatrix (reshape (X, 4, 3), [1 1 1]));

%!error <wrong number of input arguments> delaymatrix (1)
%!error <wrong number of input arguments> delaymatrix (1, 1, 1, 1, 1)
%!error <corrupt input arg 4> delaymatrix ([1 2; 3 4; 5 6], [1 1], [1 1], int32 (0))
%!error <corrupt input arg 4> delaymatrix ((1:9)', 2, 1, sparse (1))
%!error <corrupt input arg 3> delaymatrix ((1:9)', 2, 1i)
%!error <corrupt input arg 3> delaymatrix (int32 ((1:9)'), int32 (2), single (1))
%!error <corrupt input arg 1 or 2> delaymatrix (int32 ((1:9)'), 2)
%!error <corrupt input arg 1 or 2> delaymatrix ((1:9)', sparse (2))
%!error <corrupt input arg 1 or 2> delaymatrix (complex ((1:9)', 0), 2)
%!error <corrupt input arg 1 or 2> delaymatrix ((1:9)' > 3, 2)
%!error <wrong matrix dimensions> delaymatrix ([1 2; 3 4; 5 6], [1 1 1])
%!error <wrong matrix dimensions> delaymatrix ([1 2; 3 4; 5 6], [1; 1])
%!error <wrong matrix dimensions> delaymatrix ([1 2; 3 4; 5 6], [1 1], [1 1], [0 0])
%!error <wrong matrix dimensions> delaymatrix ((1:9)', ones (1, 1, 2))
%!error <dimensions must be whole numbers from 0 to 2147483647> delaymatrix ((1:9)', 2.5)
%!error <delays must be whole numbers from 0 to 2147483647> delaymatrix ((1:9)', 2, -1)
%!error <shifts must be whole numbers> delaymatrix ([1 2; 3 4; 5 6], [1 1], [1 1], NaN)
%!error <embedding window longer than the series> delaymatrix ((1:4)', 5)
%!error <shifts reach outside the series> delaymatrix ([1 2; 3 4; 5 6], [1 1], [1 1], 2)
%!error <shifts reach outside the series> delaymatrix ([1 2; 3 4; 5 6], [2 1], [1 1], -2)
