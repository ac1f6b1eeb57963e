## d = distances_by_hand (X, i, j, p)
## The distances from row i of X to its rows j (a column), as the neighbour
## modules define them: for p = 2 the root of the squared differences added
## coordinate by coordinate in order, for p = Inf the largest absolute
## difference. Their Octave tests compare with it.
function d = distances_by_hand (X, i, j, p)
  differences = X(j, :) - X(i, :);
  if (p == 2)
    s = zeros (numel (j), 1);
    for c = 1:columns (X)
      s = s + differences(:, c) .^ 2;
    endfor
    d = sqrt (s);
  else
    d = max (abs (differences), [], 2);
  endif
endfunction
