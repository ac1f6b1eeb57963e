%GAINRIDER  Adaptive level control: a cascade of gain stages with a soft limiter.
%   Y = GAINRIDER (X, TAU, LIMIT, THRESHOLD)
%
%   Divides every sample by a running estimate of the recent magnitude, so
%   that loud and quiet passages come out closer together in level. There is
%   one stage per time constant in TAU, each fed by the one before. For each
%   sample, stage m in turn
%     1. divides the value by its gain g(m) (1 at the start of every column),
%     2. compresses it softly when its magnitude a exceeds 1: with
%        D = LIMIT - 1 the value becomes sign * (1 + D * tanh ((a - 1) / D)),
%        the identity on [-1, 1] and always below LIMIT in magnitude,
%     3. moves its gain toward the magnitude just produced, but not below
%        THRESHOLD: g(m) = (max (|v|, THRESHOLD) + (TAU(m) - 1) * g(m)) / TAU(m).
%   A steady magnitude A settles near A^(1/2) after one stage, A^(1/4) after
%   two, and so on. With time constants of at least 1 a stage amplifies by at
%   most max (1, 1 / THRESHOLD), so silence is not blown up.
%
%   X          M x N real double matrix; every column is a separate signal,
%              processed with fresh gains.
%   TAU        time constants in samples, one per stage, all positive; their
%              number is the larger of the row and column counts of TAU.
%              TAU = 1 makes the gain the magnitude just produced; larger
%              values follow more slowly.
%   LIMIT      upper dynamic limit, greater than 1: no output exceeds it in
%              magnitude (Inf samples come out as +-LIMIT).
%   THRESHOLD  quietness threshold, positive: the smallest magnitude a stage
%              tracks.
%   Y          M x N, the levelled signals. A NaN sample gives NaN, and the
%              gains then fall back to THRESHOLD.
%
%   Refused, with these messages:
%     fewer than 4 inputs       "adaptive level  : input samples, vector of
%                                time constants, upper dynamic limit and
%                                quietness threshold must be given"
%     no time constant in TAU   "Vector of time constants must be given"
%     a time constant <= 0      "Time constants must be positive"
%     LIMIT <= 1                "Dynamic limit must be greater 1"
%     THRESHOLD <= 0            "Threshold must be positive"
%     empty LIMIT or THRESHOLD  "Input 3 must not be empty" (or 4)
%     not a real double array   "Input N must be a real double array"
%
%   Example:
%     t = (0:3999)';
%     x = sin (t / 10) .* [0.01 * ones(2000, 1); ones(2000, 1)];
%     y = gainrider (x, [50 50], 4, 1e-3);   % 100x louder in, about 3x out
%
%   See also SMOOTHWIN.
