## Octave tests of textmatrix in the real host: loading files, the printed
## line for a missing file, and what the host makes of a file without
## numbers, for which the module leaves its output empty.

%!function name = write_file (content)
%!  name = [tempname() ".txt"];
%!  fid = fopen (name, "w");
%!  fwrite (fid, content);
%!  fclose (fid);
%!endfunction

%!test
%! f = write_file ("1 2 3\n4,5;6\n");
%! unwind_protect
%!   assert (textmatrix (f), (1:6)');
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! f = write_file (["# header 9\n # note 7\n1\t2 1e3, -2.5e-1\r\n12abc abc\n" ...
%!                  repmat(" ", 1, 65533) "12345\n"]);
%! unwind_protect
%!   assert (textmatrix (f), [0; 0; 7; 1; 1000; -0.25; 12; 0; 12; 345]);
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## No numbers: nothing on the console, no value for the caller. Asking for
%! ## one makes the host itself complain about the undefined value.
%! f = write_file ("# only a comment\n\n");
%! unwind_protect
%!   assert (evalc ("textmatrix (f);"), "");
%!   clear ans;
%!   textmatrix (f);
%!   assert (! exist ("ans", "var"));
%!   try
%!     x = textmatrix (f);
%!     error ("no error raised");
%!   catch err
%!     assert (err.message, "value on right hand side of assignment is undefined");
%!   end_try_catch
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! ## The no-data line goes to the process's standard error, seen here from a
%! ## second Octave process.
%! f = write_file ("");
%! octave = fullfile (OCTAVE_HOME (), "bin", "octave-cli");
%! here = fileparts (file_in_loadpath ("textmatrix.mex"));
%! cmd = sprintf ("\"%s\" --no-init-file --no-site-file --quiet --eval \"addpath ('%s'); textmatrix ('%s');\"",
%!                octave, here, f);
%! unwind_protect
%!   [status, both] = system ([cmd " 2>&1"]);
%!   [~, stdout_only] = system ([cmd " 2>/dev/null"]);
%!   line = "There seem to be no data in input file\n";
%!   assert (status, 0);
%!   assert (strncmp (both, line, numel (line)));
%!   assert (isempty (strfind (stdout_only, "no data")));
%! unwind_protect_cleanup
%!   delete (f);
%! end_unwind_protect

%!test
%! name = [tempname() "_missing.txt"];
%! printed = "";
%! try
%!   printed = evalc ("textmatrix (name)");
%!   error ("no error raised");
%! catch err
%!   assert (err.message, " ");   # the host's form of an empty message
%! end_try_catch
%! printed = evalc ("try, textmatrix (name); end");
%! assert (printed, ["Error opening argument list file " name " \n"]);

%!test
%! ## An empty name opens no file, like any name that names none.
%! for name = {"", char(zeros(1, 0)), char(zeros(0, 3))}
%!   printed = evalc ("try, textmatrix (name{1}); catch err, end");
%!   assert (printed, "Error opening argument list file  \n");
%!   assert (err.message, " ");
%! endfor

%!error <filename must be given> textmatrix ()
%!error <Input 1 must be a character array> textmatrix (3)
%!error <Input 1 must be a character array> textmatrix ({"a.txt"})
%!error <Input file is not a regular file> textmatrix (tempdir ())
%!error <Input file is not a regular file> textmatrix ("/dev/zero")
