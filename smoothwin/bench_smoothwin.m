## smoothwin against Octave's own filters on one 10^6 x 4 matrix, side by
## side in one session: conv2 with a centred window ("same", the window
## flipped so that it weighs samples as smoothwin does) at 31 and 1001
## samples and with 31 weights, movmean at 31 samples, and smoothwin on two
## threads against one (OMP_NUM_THREADS is read anew by every call).
## Every round runs each pair once, alternating, so that the load of a shared
## machine falls on both alike; the medians over the rounds are compared.
## Each result is kept until the next call of its kind replaces it, as in a
## script that assigns it: a result dropped at once lets the C library hand
## its memory back to the system, and the next call then pays for fresh pages
## (about 30 ms for 32 MB here, the same for every function returning that
## much), which would hide the filters behind the memory system. Set
## fresh_pages = true before sourcing to time that way instead.
## Run from the top folder with the built modules on the path:
##   octave-cli --eval "addpath('build/toolbox'); source('smoothwin/bench_smoothwin.m')"

1;

## Seconds f takes with OMP_NUM_THREADS set to `threads` ("" leaves it), and
## its result.
function [t, y] = timed (f, threads)
  old = getenv ("OMP_NUM_THREADS");
  if (! isempty (threads))
    setenv ("OMP_NUM_THREADS", threads);
  endif
  tic;
  y = f ();
  t = toc;
  if (isempty (old))
    unsetenv ("OMP_NUM_THREADS");
  else
    setenv ("OMP_NUM_THREADS", old);
  endif
endfunction

randn ("seed", 3);
x = randn (1e6, 4);
w = 16 - abs ((0:30) - 15);
if (! exist ("rounds", "var"))
  rounds = 7;      # set rounds before sourcing for more
endif
if (! exist ("fresh_pages", "var"))
  fresh_pages = false;
endif

## Each row: what is compared, smoothwin's call and its threads, the peer's
## call and its threads.
pairs = {
  "length 31 vs conv2",    @() smoothwin (x, 31),   "", @() conv2 (x, ones (31, 1) / 31, "same"), "";
  "length 1001 vs conv2",  @() smoothwin (x, 1001), "", @() conv2 (x, ones (1001, 1) / 1001, "same"), "";
  "31 weights vs conv2",   @() smoothwin (x, w),    "", @() conv2 (x, flipud (w(:)) / sum (w), "same"), "";
  "length 31 vs movmean",  @() smoothwin (x, 31),   "", @() movmean (x, [15 15], "Endpoints", 0), "";
  "length 31, 2 threads vs 1",   @() smoothwin (x, 31),   "2", @() smoothwin (x, 31), "1";
  "length 1001, 2 threads vs 1", @() smoothwin (x, 1001), "2", @() smoothwin (x, 1001), "1";
};

if (fresh_pages)
  printf ("Results dropped at once (every call on fresh pages).\n");
else
  printf ("Results kept until the next call of their kind.\n");
endif
printf ("%-28s %12s %12s %8s\n", "", "smoothwin", "peer", "ratio");
for p = 1:rows (pairs)
  [name, own, own_threads, peer, peer_threads] = pairs{p, :};
  t_own = t_peer = zeros (rounds, 1);
  for r = 1:rounds
    [t_own(r), y_own] = timed (own, own_threads);
    if (fresh_pages)
      clear y_own;
    endif
    [t_peer(r), y_peer] = timed (peer, peer_threads);
    if (fresh_pages)
      clear y_peer;
    endif
  endfor
  clear y_own y_peer;
  printf ("%-28s %10.1fms %10.1fms %7.2fx\n", name, 1e3 * median (t_own), ...
          1e3 * median (t_peer), median (t_peer) / median (t_own));
endfor

## The peers agree with smoothwin up to rounding.
printf ("max |smoothwin - conv2|: length 31 %.2g, length 1001 %.2g, 31 weights %.2g\n",
        max (abs (smoothwin (x, 31)(:) - conv2 (x, ones (31, 1) / 31, "same")(:))),
        max (abs (smoothwin (x, 1001)(:) - conv2 (x, ones (1001, 1) / 1001, "same")(:))),
        max (abs (smoothwin (x, w)(:) - conv2 (x, flipud (w(:)) / sum (w), "same")(:))));
