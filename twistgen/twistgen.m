%TWISTGEN  Uniform pseudo-random numbers from the Mersenne Twister MT19937.
%   X = TWISTGEN (N)
%
%   Returns an N x 1 column of pseudo-random doubles, uniformly distributed
%   over [0, 1]: every value is one 32-bit word of the generator times
%   2.3283064370807974e-10 (the double nearest to 1 / (2^32 - 1)), so the word
%   0 gives 0 and the largest word gives exactly 1. Only 2^32 distinct values
%   occur.
%
%   Seeding and reproducibility: the module keeps one value between calls,
%   the seed of its next call. Each call seeds a new generator with it (the
%   initialisation by the multiplier 69069 of the odd seed), draws its N
%   numbers, then draws one more word and keeps it, made odd, as the seed of
%   the following call. The first call after the module is loaded uses the
%   seed 667297391, so the same sequence of calls after a load gives the same
%   numbers. "clear twistgen" unloads the module and starts over. There is no
%   way to set the seed; successive calls do not continue one stream, they are
%   chained only through the seed.
%
%   N       real double; its first element, truncated toward zero, is the
%           count. A count of 0 or less (also NaN or -Inf) gives an empty
%           0 x 1 column, and the seed still advances by one word. Further
%           elements and further inputs are ignored.
%   X       N x 1 column of doubles in [0, 1]. The answer is produced also
%           when no output is asked for.
%
%   Refused, with these messages:
%     no input                 "Mersenne Twister Random Number Generator :
%                               Number of random numbers [0,1) must be given"
%     N empty                  "Input 1 must not be empty"
%     N not a real double      "Input 1 must be a real double array"
%   A refused call leaves the seed unchanged. A count beyond the available
%   memory ends with the host's out-of-memory error.
%
%   Example:
%     clear twistgen
%     x = twistgen (5)'         % the same five numbers after every load
%     y = twistgen (5)'         % five others: the seed has moved on
%
%   See also RAND, TERMSET.
