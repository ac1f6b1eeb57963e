## Octave tests of twistgen in the real host: the numbers of a fresh load,
## the seed carried from call to call while the module stays loaded, and the
## messages.

## The reference words, computed here from the recurrence with doubles
## holding 32-bit words (every product and shift stays below 2^53).
%!function w = words (s, count)
%!  x = zeros (1, 624 + count);
%!  x(1) = bitor (mod (s, 2^32), 1);
%!  for j = 2:624
%!    x(j) = mod (x(j - 1) * 69069, 2^32);
%!  endfor
%!  for k = 1:count
%!    y = bitor (bitand (x(k), 2^31), bitand (x(k + 1), 2^31 - 1));
%!    x(k + 624) = bitxor (x(k + 397), floor (y / 2));
%!    if (bitand (x(k + 1), 1))
%!      x(k + 624) = bitxor (x(k + 624), hex2dec ("9908B0DF"));
%!    endif
%!  endfor
%!  w = x(625:end)';
%!  w = bitxor (w, floor (w / 2^11));
%!  w = bitxor (w, bitand (mod (w * 2^7, 2^32), hex2dec ("9D2C5680")));
%!  w = bitxor (w, bitand (mod (w * 2^15, 2^32), hex2dec ("EFC60000")));
%!  w = bitxor (w, floor (w / 2^18));
%!endfunction

%!test
%! clear twistgen;  # a fresh load starts from the seed 667297391
%! f = 2.3283064370807974e-10;
%! w = words (667297391, 4);
%! assert (twistgen (3), w(1:3) * f);
%! next = bitor (w(4), 1);
%! v = words (next, 2);
%! assert (twistgen (2), v * f);

%!test
%! clear twistgen;
%! w = words (667297391, 1);
%! z = twistgen (0);
%! assert (size (z), [0 1]);
%! assert (twistgen (1), words (bitor (w(1), 1), 1) * 2.3283064370807974e-10);

%!test
%! clear twistgen;
%! a = {twistgen(2.9), twistgen(-0.5), twistgen(-7), twistgen(700)};
%! clear twistgen;
%! b = {twistgen(2.9), twistgen(-0.5), twistgen(-7), twistgen(700)};
%! assert (a, b);
%! assert (size (a{1}), [2 1]);
%! assert (size (a{2}), [0 1]);
%! assert (size (a{3}), [0 1]);
%! assert (all (a{4} >= 0 & a{4} <= 1));
%! clear twistgen;
%! c = twistgen (3);
%! assert (c(1:2), a{1});   # a fresh load: the same seed, the same stream
%! assert (a{4}(1) != c(1));  # the empty calls before it moved the seed

%!test
%! ## Refused calls leave the seed where it was.
%! clear twistgen;
%! try, twistgen (); end
%! try, twistgen ([]); end
%! try, twistgen (int32 (3)); end
%! assert (twistgen (1), words (667297391, 1) * 2.3283064370807974e-10);

%!test
%! clear twistgen;
%! twistgen (4);   # nothing asked for: the answer is still produced
%! assert (size (ans), [4 1]);

%!error <Mersenne Twister Random Number Generator : Number of random numbers \[0,1\) must be given> twistgen ()
%!error <Input 1 must not be empty> twistgen (zeros (0, 1))
%!error <Input 1 must be a real double array> twistgen (single (3))
%!error <Input 1 must be a real double array> twistgen ("3")
