% orbitkit: nonlinear and chaotic time-series analysis
% Version 0.1.0
%
% Dimensions and information
%   gridmass     - Box-counting partition sums of a point set (bits)
%   qspectrum    - Generalized dimensions fitted to neighbour-distance moments
%   laginfo      - Auto mutual information of a series over time lags (bits)
%   histinfo     - Entropy of the distinct columns of a matrix (nats)
%
% Neighbours
%   neardist     - Distances to the k nearest neighbours, with a Theiler window
%   corrsum      - Correlation sum: the fraction of pairs closer than each radius
%   lyapcurve    - Divergence of neighbouring trajectories: the largest Lyapunov exponent
%   rqa          - Recurrence quantification: recurrence rate, determinism, laminarity
%
% Complexity
%   sampen       - Sample entropy, over coarse-grained scales too (multiscale entropy)
%   apen         - Approximate entropy
%   permen       - Permutation entropy of a series, plain or weighted (nats)
%   dfa          - Detrended fluctuation analysis, multifractal if asked
%
% Prediction and causality
%   simplex      - Simplex projection: forecasts from the neighbours of a series' past
%   smap         - S-map: forecasts from locally weighted linear maps
%   crossmap     - Convergent cross mapping: skill against library size
%
% Embedding
%   delaymatrix  - Delay-embedding matrix of several series
%   embeddim     - Embedding dimension: false nearest neighbours and Cao's statistics
%
% Interpolation
%   knotinterp   - Cubic spline interpolation and extrapolation
%   slopeinterp  - Akima interpolation, without overshoot at steps
%
% Filters
%   smoothwin    - Moving average with a plain or weighted centred window
%   gainrider    - Adaptive level control with soft limiting
%
% Test data
%   foldmap      - Orbit of a quadratic two-dimensional map (Henon-type)
%   peakiter     - Orbit of a tent-shaped one-dimensional map
%   baker        - Orbit of a generalized baker map
%   twistgen     - Mersenne Twister uniform random numbers
%
% Utilities
%   termset      - Exponent vectors of all monomials up to a degree
%   textmatrix   - All numbers of a text file as one column
