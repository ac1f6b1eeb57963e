%TEXTMATRIX  All numbers of a text file, in reading order, as one column.
%   X = TEXTMATRIX (FILENAME)
%
%   Reads the text file FILENAME and returns every number in it, line by line
%   and left to right, as one column. The file format:
%     - A line whose first character is "#" is a comment and skipped whole.
%       A "#" after a blank does not start a comment.
%     - Every other line is cut into tokens at the five separators
%       semicolon, comma, blank, line feed and carriage return; runs of them
%       count as one cut. Windows line ends add nothing. The tab character is
%       NOT a separator: "1<tab>2" is one token and gives 1.
%     - Each token gives one number: its longest numeric prefix as the C
%       library's strtod reads it (leading white space skipped; also hex,
%       inf and nan), so "12abc" gives 12 and a token without a numeric
%       prefix, like "abc", gives 0.
%     - Lines are read in pieces of at most 65535 characters; a longer line
%       is taken as several lines of that length: a token across the cut
%       becomes two numbers, and a piece that starts with "#" is skipped.
%   The shape of the rows in the file is not kept; reshape X as needed.
%
%   The file is read twice, in blocks: once to count the numbers, once to
%   convert them. Memory beside X: a read buffer of 512 KiB on one thread,
%   4 MiB per thread on several (16 MiB at most), and 4 bytes per 192 KiB of
%   file. Files of 512 KiB and more are converted on several threads: as
%   many as OMP_NUM_THREADS says, else one per core the process may use; X is
%   the same for every thread count. If the file changes while it is read, X
%   keeps the count of the first reading: surplus numbers are dropped,
%   missing ones stay 0.
%
%   FILENAME  character array, the name of the file.
%   X         K x 1 double column, K the number of tokens in the file.
%
%   A file without any token (empty, only comments, only separators): the
%   line "There seem to be no data in input file" goes to the standard error
%   stream of the Octave or MATLAB process (a terminal, or the log of a batch
%   job; not the command window, so evalc does not capture it), and no value
%   is returned. Asking for one then ends in the host's own error: in Octave,
%   X = TEXTMATRIX (FILENAME) fails with "value on right hand side of
%   assignment is undefined"; TEXTMATRIX (FILENAME) without an output works
%   and leaves ans unchanged.
%
%   Refused, with these messages:
%     no input                 "filename must be given"
%     FILENAME not char        "Input 1 must be a character array"
%     file cannot be opened    prints "Error opening argument list file NAME "
%     (also an empty FILENAME) and ends with an empty error message (Octave
%                              shows it as a single blank)
%     not a plain file (a      "Input file is not a regular file"
%     folder, a device such
%     as /dev/zero, a pipe)
%     a read fails             "Error reading input file"
%     more than 2147483647     "Too many numbers in input file"
%     numbers
%
%   Example:
%     f = [tempname() ".txt"];
%     fid = fopen (f, "w"); fprintf (fid, "# x y\n1 2\n3,4\n5;6\n"); fclose (fid);
%     xy = reshape (textmatrix (f), 2, [])'    % [1 2; 3 4; 5 6]
%     delete (f);
%
%   See also LOAD, DLMREAD, FSCANF.
