% Demo tour: box-counting partition sums of the Henon attractor.
%
% The orbit (a = 1.4, b = 0.3, the classic parameters) fills a fractal set;
% its partition sums at growing resolutions give the generalized dimensions
% D0 (box counting), D1 (information) and D2 (correlation) as the slopes of
% the sums over log2 of the bins per axis.

n = 100000;
xy = zeros (n + 1000, 2);
x = 0; y = 0;
for k = 1:rows (xy)
  [x, y] = deal (1 - 1.4 * x^2 + y, 0.3 * x);
  xy(k, :) = [x, y];
end
xy = xy(1001:end, :);   % drop the transient

bins = 2 .^ (2:9);
[h0, h1, h2] = gridmass (xy, bins);

printf ("Henon attractor, %d points: partition sums (bits) over both coordinates\n\n", n);
printf ("%8s %12s %12s %12s\n", "bins", "-log2 B", "sum mu log2 mu", "log2 sum mu^2");
printf ("%8d %12.4f %12.4f %12.4f\n", [bins; h0(:, 2)'; h1(:, 2)'; h2(:, 2)']);

% Slopes over the finer resolutions, where the scaling holds.
fine = 4:numel (bins);
slope = @(h) -polyfit (log2 (bins(fine)), h(fine, 2)', 1)(1);
printf ("\n%-28s %8s %12s\n", "generalized dimension", "estimate", "published");
printf ("%-28s %8.3f %12s\n", "D0 (box counting)", slope (h0), "about 1.26");
printf ("%-28s %8.3f %12s\n", "D1 (information)", slope (h1), "about 1.23");
printf ("%-28s %8.3f %12s\n", "D2 (correlation)", slope (h2), "about 1.22");
