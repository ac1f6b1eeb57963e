## MB per second of textmatrix against Octave's dlmread, load -ascii and
## fscanf (fid, "%f") on the same 100 MB file of numbers, in one session.
## The file (8 numbers per line, blank separated, "%.15g") is made under
## tempdir on the first run and kept there for later runs; delete it when
## done. Run by hand from the top folder with the built module on the path:
##   octave-cli --eval "addpath ('build/toolbox'); source ('textmatrix/bench_textmatrix.m')"
## (source, not run: run changes into this folder, whose help file would
## then shadow the module).
1;
function x = fscanf_all (file)
  fid = fopen (file, "r");
  x = fscanf (fid, "%f");
  fclose (fid);
endfunction

file = fullfile (tempdir (), "textmatrix_bench_100MB.txt");
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

names = {"textmatrix", "dlmread", "load -ascii", "fscanf %f"};
readers = {@() textmatrix(file), ...
           @() dlmread(file, " "), ...
           @() load("-ascii", file), ...
           @() fscanf_all(file)};

seconds = zeros (1, numel (readers));
values = cell (1, numel (readers));
for k = 1:numel (readers)
  t = tic ();
  values{k} = readers{k}();
  seconds(k) = toc (t);
endfor
reference = values{1};
printf ("%.1f MB, %d numbers\n", mb, numel (reference));
for k = 1:numel (readers)
  v = values{k}';   # row-wise order of the matrix readers
  same = isequal (v(:), reference);
  verdict = {"DIFFERENT numbers", "same numbers"}{same + 1};
  printf ("%-12s %7.2f s %8.1f MB/s  %5.2f x textmatrix's time  %s\n", names{k}, seconds(k), ...
          mb / seconds(k), seconds(k) / seconds(1), verdict);
endfor
