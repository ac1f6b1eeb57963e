## Octave tests of gainrider in the real host: loading, shapes, the
## documented sequences and the messages.

%!assert (gainrider ([0.5; 0.5; 0.5], 1, 3, 0.1), [0.5; 1; 0.5])
%!assert (gainrider ([0.5; 0.5; 0.5], 2, 3, 0.1), [1/2; 2/3; 12/17], 1e-15)
%!assert (gainrider ([0.25; 0.25; 0.25], 1, 3, 0.5), [0.25; 0.5; 0.5])
%!assert (gainrider ([3 -3 1 -1], 1, 3, 0.1), [1+2*tanh(1), -1-2*tanh(1), 1, -1], 1e-15)
%!assert (gainrider ([0.5; 0.5; 0.5], [1 1], 3, 0.1), [0.5; 1+2*tanh(0.5); 0.5/(1+2*tanh(0.5))], 1e-15)
%!assert (size (gainrider (zeros (0, 3), 1, 3, 0.1)), [0 3])

%!test
%! ## Each column starts afresh; steady levels settle at their roots.
%! y = gainrider (0.01 * ones (3000, 2), [10 10], 100, 1e-12);
%! assert (size (y), [3000 2]);
%! assert (y(:, 1), y(:, 2));
%! assert (y(end, 1), 0.01 ^ 0.25, 1e-12);
%! x = randn (200, 2);
%! y = gainrider (x, [2 5], 4, 0.05);
%! assert (y(:, 2), gainrider (x(:, 2), [2 5], 4, 0.05));
%! assert (all (abs (y(:)) <= 4));

%!error <adaptive level  : input samples, vector of time constants, upper dynamic limit and quietness threshold must be given> gainrider (1, 1, 3)
%!error <Vector of time constants must be given> gainrider (1, [], 3, 0.1)
%!error <Vector of time constants must be given> gainrider (1, zeros (0, 3), 3, 0.1)
%!error <Time constants must be positive> gainrider (1, [2 0], 3, 0.1)
%!error <Time constants must be positive> gainrider (1, [2 -1], 3, 0.1)
%!error <Dynamic limit must be greater 1> gainrider (1, 1, 1, 0.1)
%!error <Threshold must be positive> gainrider (1, 1, 3, 0)
%!error <Input 3 must not be empty> gainrider (1, 1, [], 0.1)
%!error <Input 4 must not be empty> gainrider (1, 1, 3, [])
%!error <Input 1 must be a real double array> gainrider (single (1), 1, 3, 0.1)
%!error <Input 2 must be a real double array> gainrider (1, int32 (1), 3, 0.1)
