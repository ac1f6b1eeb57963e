## Octave tests of termset in the real host: shapes, column order and
## messages.

%!assert (termset (1, 3), [0 1 2 3])
%!assert (termset (3, 0), zeros (3, 1))
%!assert (termset (3, 1), [0 0 0 1; 0 0 1 0; 0 1 0 0])
%!assert (termset (2, 2), [0 0 0 1 1 2; 0 1 2 0 1 0])
%!assert (termset (2.9, -0.5), [0; 0])

%!test
%! ## Every vector of the cube {0..m}^D with sum <= m, in lexicographic
%! ## order with the last variable fastest.
%! D = 4; m = 3;
%! [a, b, c, d] = ndgrid (0:m);
%! cube = [a(:) b(:) c(:) d(:)];
%! cube = sortrows (cube(sum (cube, 2) <= m, :));
%! assert (termset (D, m), cube');
%! assert (columns (termset (5, 4)), nchoosek (9, 5));

%!test
%! termset (2, 1);   # nothing asked for: the answer is still produced
%! assert (ans, [0 0 1; 0 1 0]);

%!error <monotermset : Input arguments D and maxgrad must be given> termset (3)
%!error <Wrong parameters given> termset (0, 2)
%!error <Wrong parameters given> termset (3, -1)
%!error <Wrong parameters given> termset (NaN, 1)
%!error <Input 1 must not be empty> termset ([], 1)
%!error <Input 2 must not be empty> termset (2, [])
%!error <Input 1 must be a real double array> termset (int32 (2), 1)
%!error <Input 2 must be a real double array> termset (2, true)
%!error <Too many monomials: more than 2147483647 columns> termset (2, 65535)
%!error <Too many monomials: the list does not fit into memory> termset (1e9, 1)
