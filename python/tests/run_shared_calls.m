function run_shared_calls (calls_file, outcomes_file)
% Runs the calls of CALLS_FILE (written by shared_calls.py) in order and
% writes each outcome to OUTCOMES_FILE: the error message without the
% module's name, the printed text, the warnings and the outputs.
  warning ('off', 'backtrace');
  in = fopen (calls_file, 'r');
  numbers = fread (in, Inf, 'double', 0, 'ieee-le');
  fclose (in);
  out = fopen (outcomes_file, 'w');
  [calls, at] = take (numbers, 1, 1);
  put (out, calls);
  for c = 1:calls
    [name, at] = take_text (numbers, at);
    [nout, at] = take (numbers, at, 1);
    [nargs, at] = take (numbers, at, 1);
    args = cell (1, nargs);
    for k = 1:nargs
      [kind, at] = take (numbers, at, 1);
      if (kind == 1)
        [args{k}, at] = take_text (numbers, at);
      else
        [ndims, at] = take (numbers, at, 1);
        [dims, at] = take (numbers, at, ndims);
        [values, at] = take (numbers, at, prod (dims));
        if (kind == 2)
          [imaginary, at] = take (numbers, at, prod (dims));
          values = complex (values, imaginary);
        end
        args{k} = reshape (values, dims');
      end
    end
    results = cell (1, nout);
    message = '';
    failed = false;
    text = evalc ('try, [results{:}] = feval (name, args{:}); catch err, failed = true; message = err.message; end');
    prefix = [name ': '];
    if (strncmp (message, prefix, numel (prefix)))
      message = message(numel (prefix) + 1:end);
    end
    lines = strsplit (text, "\n");
    is_warning = strncmp (lines, 'warning: ', 9);
    warned = lines(is_warning);
    put (out, failed);
    put_text (out, message);
    put_text (out, strjoin (lines(! is_warning), "\n"));
    put (out, numel (warned));
    for k = 1:numel (warned)
      put_text (out, warned{k}(10:end));
    end
    if (failed)
      put (out, 0);
    else
      put (out, nout);
      for k = 1:nout
        put (out, [rows(results{k}); columns(results{k}); results{k}(:)]);
      end
    end
  end
  fclose (out);
end

function [values, at] = take (numbers, at, count)
  values = numbers(at:at + count - 1);
  at += count;
end

function [text, at] = take_text (numbers, at)
  [n, at] = take (numbers, at, 1);
  [codes, at] = take (numbers, at, n);
  text = char (codes');
end

function put (out, values)
  fwrite (out, values, 'double', 0, 'ieee-le');
end

function put_text (out, text)
  put (out, [numel(text); double(text(:))]);
end
