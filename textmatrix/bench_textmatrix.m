## MB per second of textmatrix against Octave's textscan (fid, "%f"),
## dlmread, load -ascii and fscanf (fid, "%f") on the same 100 MB file of
## numbers, in one session: every reader runs once per round, the rounds
## alternate the readers, and the median of each is compared. Numbers that
## differ from textmatrix's (correctly rounded, as strtod) are counted.
## textmatrix runs twice per round: with the threads it may use, and with
## OMP_NUM_THREADS=1. The file (8 numbers per line, blank separated, "%.15g")
## is made under tempdir on the first run and kept there for later runs;
## delete it when done. Run by hand from the top folder with the built module
## on the path:
##   octave-cli --eval "addpath ('build/toolbox'); source ('textmatrix/bench_textmatrix.m')"
## (source, not run: run changes into this folder, whose help file would
## then shadow the module). Set rounds (default 3) or file (another file of
## numbers) before sourcing to change them.
1;
function x = fscanf_all (file)
  fid = fopen (file, "r");
  x = fscanf (fid, "%f");
  fclose (fid);
endfunction

function x = textscan_all (file)
  fid = fopen (file, "r");
  c = textscan (fid, "%f");
  fclose (fid);
  x = c{1};
endfunction

function x = textmatrix_one_thread (file)
  saved = getenv ("OMP_NUM_THREADS");
  setenv ("OMP_NUM_THREADS", "1");
  unwind_protect
    x = textmatrix (file);
  unwind_protect_cleanup
    if (isempty (saved))
      unsetenv ("OMP_NUM_THREADS");
    else
      setenv ("OMP_NUM_THREADS", saved);
    endif
  end_unwind_protect
endfunction

if (! exist ("rounds", "var"))
  rounds = 3;
endif
if (! exist ("file", "var"))
  file = fullfile (tempdir (), "textmatrix_bench_100MB.txt");
endif
if (! exist (file, "file"))
  rand ("seed", 1); randn ("seed", 1);
  fid = fopen (file, "w");
  while (ftell (fid) < 100e6)
    x = randn (8, 1e5) .* 10 .^ round (4 * rand (8, 1e5) - 2);
    fprintf (fid, "%.15g %.15g %.15g %.15g %.15g %.15g %.15g %.15g\n", x);
  endwhile
  fclose (fid);
endif
info = dir (file);
mb = info.bytes / 1e6;
fid = fopen (file, "r"); fread (fid, Inf, "uint8=>uint8"); fclose (fid);  # into the page cache

names = {"textmatrix", "textmatrix 1T", "textscan %f", "dlmread", "load -ascii", "fscanf %f"};
readers = {@() textmatrix(file), ...
           @() textmatrix_one_thread(file), ...
           @() textscan_all(file), ...
           @() dlmread(file, " "), ...
           @() load("-ascii", file), ...
           @() fscanf_all(file)};

seconds = zeros (rounds, numel (readers));
differing = zeros (1, numel (readers));   # numbers unlike textmatrix's
worst = zeros (1, numel (readers));       # their largest relative difference
reference = [];
for r = 1:rounds
  for k = 1:numel (readers)
    t = tic ();
    v = readers{k}();
    seconds(r, k) = toc (t);
    v = v'(:);   # row-wise order of the matrix readers
    if (isempty (reference))
      reference = v;
    endif
    if (numel (v) != numel (reference))
      differing(k) = Inf;
    else
      differ = v != reference & ! (isnan (v) & isnan (reference));
      differing(k) = max (differing(k), nnz (differ));
      worst(k) = max ([worst(k); abs(v(differ) - reference(differ)) ./ abs(reference(differ))]);
    endif
    clear v;
  endfor
endfor
typical = median (seconds, 1);
[~, load_text] = system ("cat /proc/loadavg");
printf ("%.1f MB, %d numbers, %d rounds, load %s", mb, numel (reference), rounds, load_text);
for k = 1:numel (readers)
  if (differing(k) == 0)
    verdict = "same numbers";
  elseif (isinf (differing(k)))
    verdict = "a DIFFERENT count of numbers";
  else
    verdict = sprintf ("%d numbers differ, by up to %.1g relative", differing(k), worst(k));
  endif
  printf ("%-14s %7.2f s %8.1f MB/s  %6.2f x textmatrix's time  %s\n", names{k}, typical(k), ...
          mb / typical(k), typical(k) / typical(1), verdict);
endfor
