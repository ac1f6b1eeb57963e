## Octave tests of histinfo in the real host: values, shape, messages and the
## class tests.

%!assert (histinfo ([0 0 1 1]), -0.5 * log (0.5) - 0.5 * log (0.5))
%!assert (histinfo ([0 0.5 0.9 1.4]), -0.75 * log (0.75) - 0.25 * log (0.25))
%!assert (histinfo ([0 0.9 1.8]), -(2/3) * log (2/3) - (1/3) * log (1/3))
%!assert (histinfo ([1 5 9]), log (3), 4 * eps)
%!assert (histinfo ([7 7.5 7.2]), 0)
%!assert (histinfo (zeros (3, 0)), 0)
%!assert (histinfo (zeros (0, 4)), 0)
%!assert (histinfo ([0 0; 0 1]), log (2))
%!assert (histinfo ([NaN NaN 0]), log (3), 4 * eps)

%!test
%! ## Integer data: classes are the distinct columns.
%! A = randi (4, 2, 500);
%! [~, ~, k] = unique (A', "rows");
%! p = accumarray (k, 1) / 500;
%! assert (histinfo (A), -sum (p .* log (p)), 1e-12);
%! printed = evalc ("h = histinfo (A);");
%! assert (printed, "");
%! assert (size (h), [1 1]);

%!error <Wrong number of input arguments\.> histinfo ()
%!error <Wrong number of input arguments\.> histinfo (1, 2)
%!error <A must be a real 2D full double array\.> histinfo ([1 2] + 1i)
%!error <A must be a real 2D full double array\.> histinfo (ones (2, 2, 2))
%!error <A must be a real 2D full double array\.> histinfo (sparse ([1 0 1]))
%!error <A must be a real 2D full double array\.> histinfo (int32 ([0 0 1 1]))
%!error <A must be a real 2D full double array\.> histinfo (single ([0 1]))
%!error <A must be a real 2D full double array\.> histinfo ("ab")
