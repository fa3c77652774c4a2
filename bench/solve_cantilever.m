% SOLVE_CANTILEVER  lamina_solve against the projected-Newton loop users write
% in Octave, in the same run.
%
%   octave-cli --eval "addpath(fullfile(pwd, 'build/release/octave')); run('bench/solve_cantilever.m')"
%
% (an absolute path: run changes to the script's folder while it runs).
%
% The problem: an n-by-n sheet on the unit square (n = 40: 1600 vertices,
% 4800 coordinates), two triangles per cell, mu = 10, eta = 10, its columns
% x = 0 and x = 1/39 held, under a weight of 2 shared by the vertices in
% proportion to their areas, from a slight sag (z = -0.05 x^2).
%
% The plain loop is projected Newton as users write it: lamina_work_hessian
% with 'Project', 'clamp'; H(free, free); [R, p, Q] = chol, with a shift
% added (and grown tenfold) when p > 0; Armijo backtracking on W, halving the
% step. It aims at the same tolerance as lamina_solve (max |grad W| at most
% 1e-8 of its start), but stalls short of it where W's rounding hides the
% decrease its line search looks for; it is stopped once W has not fallen
% by more than 1e-13 of itself over 5 iterations (or after 300), and timed
% up to the iteration where max |grad W| reached its least value, to its
% advantage. The demo's
% loop (the exact Hessian wherever chol accepts it with a tiny shift, else
% the projected one) is timed the same way. Each runs `rounds` times,
% alternating; the figures are medians. The equilibria are compared: the
% largest distance of a vertex from lamina_solve's.
%
% Set n and rounds beforehand to change them.

1;  % a script with functions

function [x, it, g, why, seconds] = plain_loop(Q, mu, eta, F, V, E, f, free, exact_first)
  clock = tic();
  free_index = find(free(:));
  shape = @(x) subsasgn(Q, struct('type', '()', 'subs', {{free}}), x);
  W = @(P) lamina_work_total(P, mu, eta, F, V, E) - f(:)' * P(:);
  x = Q(free);
  g0 = -1;
  why = 'the iteration limit (300)';
  best = Inf;
  energies = [];
  for it = 0:300
    if exact_first
      [e, G, H] = lamina_work_hessian(shape(x), mu, eta, F, V, E);
    else
      [e, G, H] = lamina_work_hessian(shape(x), mu, eta, F, V, E, 'Project', 'clamp');
    end
    g = G(free) - f(free);
    if g0 < 0, g0 = max(abs(g)); end
    if max(abs(g)) < best
      best = max(abs(g));  best_x = x;  best_it = it;  seconds = toc(clock);
    end
    energies(end + 1) = e - f(:)' * shape(x)(:);
    if max(abs(g)) <= 1e-8 * g0, why = 'converged'; break; end
    if it >= 5 && energies(end - 5) - energies(end) <= 1e-13 * abs(energies(end))
      why = sprintf('stalled at %.1e of its start', best / g0);
      break;
    end
    A = H(free_index, free_index);
    n = numel(x);
    if exact_first
      [R, p, P] = chol(A + 1e-9 * mean(abs(diag(A))) * speye(n));
      if p > 0
        [~, ~, H] = lamina_work_hessian(shape(x), mu, eta, F, V, E, 'Project', 'clamp');
        A = H(free_index, free_index);
        [R, p, P] = chol(A + 1e-9 * mean(abs(diag(A))) * speye(n));
      end
    else
      [R, p, P] = chol(A);
      shift = 0;
      while p > 0
        shift = max(10 * shift, 1e-8 * mean(abs(diag(A))));
        [R, p, P] = chol(A + shift * speye(n));
      end
    end
    d = -(P * (R \ (R' \ (P' * g))));
    w = e - f(:)' * shape(x)(:);
    t = 1;
    while W(shape(x + t * d)) > w + 1e-4 * t * (g' * d)
      t = t / 2;
      if t < 1e-12, break; end
    end
    x = x + t * d;
  end
  x = shape(best_x);
  it = best_it;
  g = best;
end

if ~exist('n', 'var'), n = 40; end
if ~exist('rounds', 'var'), rounds = 3; end
mu = 10;  eta = 10;  weight = 2;
[ix, iy] = ndgrid(0:n-1, 0:n-1);
V = [ix(:), iy(:), zeros(n * n, 1)] / (n - 1);
[ci, cj] = ndgrid(0:n-2, 0:n-2);
c = cj(:) * n + ci(:);
F = [c, c + 1, c + n + 1; c, c + n + 1, c + n];
E = lamina_edge_table(F);
area = 0.5 * sqrt(sum(cross(V(F(:, 2) + 1, :) - V(F(:, 1) + 1, :), ...
                            V(F(:, 3) + 1, :) - V(F(:, 1) + 1, :), 2) .^ 2, 2));
lumped = accumarray(F(:) + 1, repmat(area / 3, 3, 1), [n * n, 1]);
f = zeros(n * n, 3);
f(:, 3) = -weight * lumped / sum(lumped);
held = repmat(ix(:) <= 1, 1, 3);
Q = V;
Q(:, 3) = -0.05 * V(:, 1) .^ 2;

names = {'lamina_solve', 'plain loop (clamp)', 'demo loop (exact when definite)'};
seconds = zeros(rounds, 3);
for r = 1:rounds
  clock = tic();
  [X, info] = lamina_solve(Q, mu, eta, F, V, E, 'Fixed', held, 'Forces', f);
  seconds(r, 1) = toc(clock);
  [Xp, itp, gp, whyp, seconds(r, 2)] = plain_loop(Q, mu, eta, F, V, E, f, ~held, false);
  [Xd, itd, gd, whyd, seconds(r, 3)] = plain_loop(Q, mu, eta, F, V, E, f, ~held, true);
end
assert(info.converged, info.message);
t = median(seconds, 1);
printf('%d-by-%d cantilever (%d free coordinates), from a slight sag; medians of %d rounds\n', ...
       n, n, nnz(~held), rounds);
printf('%-34s %9s %11s %14s %22s %9s\n', 'method', 'seconds', 'iterations', 'max|grad W|', ...
       'max |x - x_solve|', 'ratio');
printf('%-34s %9.3f %11d %14.3e %22s %9s\n', names{1}, t(1), info.iterations, ...
       info.gradient_norm, '', '1');
printf('%-34s %9.3f %11d %14.3e %22.3e %9.2f   (%s)\n', names{2}, t(2), itp, gp, ...
       max(sqrt(sum((Xp - X) .^ 2, 2))), t(2) / t(1), whyp);
printf('%-34s %9.3f %11d %14.3e %22.3e %9.2f   (%s)\n', names{3}, t(3), itd, gd, ...
       max(sqrt(sum((Xd - X) .^ 2, 2))), t(3) / t(1), whyd);
printf('lamina_solve: %s\n', info.message);
