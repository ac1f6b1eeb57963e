%SURROGATES  The surrogate-data test for nonlinearity, in one process or several.
%   SURROGATES ()
%   [C0, C, FOURIER] = SURROGATES (X, COUNT, R, NPROC)
%   CK = SURROGATES ("one", K, X, COUNT, R)
%
%   With no inputs, the test on the Henon x-series (100000 values) with 200
%   surrogates on 2 processes: prints the statistic of the series, the range
%   of each kind of surrogate's and the verdict of the rank test.
%
%   Two kinds of surrogate of the series X: the first floor (COUNT / 2) are
%   random shuffles, which keep its values and nothing else (the null
%   hypothesis: independent noise); the others are phase-randomised Fourier
%   surrogates, which keep its amplitude spectrum (a linear Gaussian
%   process). The statistic is the correlation sum at the radius R of the
%   2-D delay embedding, leaving out pairs less than 11 steps apart
%   (CORRSUM (DELAYMATRIX (X, 2, 1), R, 10)).
%
%   Surrogate k draws its random numbers from the Mersenne Twister of RAND
%   seeded with 20240611 + k, and the caller's RAND state is given back
%   afterwards; so whichever process computes it, and in whatever order, its
%   statistic is the same bit for bit.
%
%   X       the series, a real vector.
%   COUNT   the number of surrogates, at least 2.
%   R       the radius.
%   NPROC   the number of processes for parcellfun (package parallel), each
%           running the modules on one thread; 0 for a plain loop (cellfun)
%           in this process. The processes compute C(k) as the "one" form
%           does: CK, the statistic of surrogate K of COUNT alone.
%   C0      the statistic of X.
%   C       COUNT x 1: the statistic of each surrogate, in order.
%   FOURIER COUNT x 1 logical: true for the Fourier surrogates.
%
%   Example:
%     x = foldmap (3000, [-1.4 0.3 0 0])(1001:end, 1);
%     [c0, c] = surrogates (x, 8, 0.05 * std (x, 1), 2);
%     c0 > max (c)        % the Henon map is not a linear process
%
%   See also CORRSUM, DELAYMATRIX, FOLDMAP.
function varargout = surrogates (varargin)
  if (nargin == 0)
    demonstrate ();
  elseif (ischar (varargin{1}))
    varargout{1} = on_one_thread (@() surrogate_statistic (varargin{2:5}));
  else
    [varargout{1:max (nargout, 1)}] = test_series (varargin{:});
  end
end

function [original, values, fourier] = test_series (x, count, radius, nproc)
  x = x(:);
  original = statistic (x, radius);
  surrogate = num2cell ((1:count)');
  if (nproc == 0)
    values = cellfun (@(k) surrogate_statistic (k, x, count, radius), surrogate);
  else
    pkg load parallel
    % parcellfun's processes are Octave sessions of their own, with this
    % file on their path but not its subfunctions.
    values = parcellfun (nproc, @(k) surrogates ("one", k, x, count, radius), surrogate);
  end
  fourier = (1:count)' > floor (count / 2);
end

% The modules on one thread while f runs, so that NPROC processes keep
% NPROC cores busy, no more.
function value = on_one_thread (f)
  threads = getenv ("OMP_NUM_THREADS");
  unwind_protect
    setenv ("OMP_NUM_THREADS", "1");
    value = f ();
  unwind_protect_cleanup
    if (isempty (threads))
      unsetenv ("OMP_NUM_THREADS");
    else
      setenv ("OMP_NUM_THREADS", threads);
    end
  end_unwind_protect
end

function C = statistic (x, radius)
  C = corrsum (delaymatrix (x, 2, 1), radius, 10);
end

function C = surrogate_statistic (k, x, count, radius)
  state = rand ("twister");
  rand ("twister", 20240611 + k);
  if (k <= floor (count / 2))
    s = x(randperm (numel (x)));
  else
    s = phase_randomised (x);
  end
  rand ("twister", state);
  C = statistic (s, radius);
end

% Every Fourier term below the Nyquist frequency turned by a random angle,
% its mirror image by the opposite one, so that the series stays real; the
% mean and the Nyquist term are left as they are.
function s = phase_randomised (x)
  n = numel (x);
  X = fft (x);
  turned = (2:ceil (n / 2))';
  X(turned) .*= exp (2i * pi * rand (numel (turned), 1));
  X(n + 2 - turned) = conj (X(turned));
  s = real (ifft (X));
end

function demonstrate ()
  x = foldmap (101000, [-1.4 0.3 0 0])(1001:end, 1);
  radius = 0.1 * std (x, 1);
  tic;
  [original, values, fourier] = surrogates (x, 200, radius, 2);
  seconds = toc;
  printf ("Henon x, %d values: correlation sum %.4e at r = %.4g\n", numel (x), original, radius);
  kinds = {"shuffle", "Fourier"};
  for kind = 0:1
    c = values(fourier == kind);
    % Under the null hypothesis the rank of the original is uniform: it lies
    % beyond every surrogate, on either side, with probability 2 / (M + 1).
    rejected = original > max (c) || original < min (c);
    verdicts = {"not rejected", "rejected"};
    printf ("%4d %-8s surrogates: %.4e ... %.4e; %s at level %.3f\n", numel (c), ...
            kinds{kind + 1}, min (c), max (c), verdicts{rejected + 1}, 2 / (numel (c) + 1));
  end
  printf ("%d surrogates on 2 processes in %.1f s\n", numel (values), seconds);
end
