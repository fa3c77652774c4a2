% LAMINA_DEMO  Bend and stretch a sheet, then let it relax.
%
%   A 2.0-by-1.5 sheet of 2400 triangles is bent and stretched. Its energy,
%   gradient and Hessian come from lamina_work_deriv and lamina_work_hessian
%   (checked against central differences); then the shell relaxes while one
%   edge stays pinned where the deformation put it, squeezed to 80% of its
%   length, so that the sheet cannot simply return to its rest shape: once
%   with lamina_solve (projected Newton on CHOLMOD: the Hessian's element
%   blocks clamped to their positive part, the exact Hessian where that is
%   positive definite) and once with L-BFGS on the gradient alone, each
%   until max |gradient| is 1e-8 of its start. The demo prints both
%   histories side by side, checks that the mask counts the hinges, and
%   draws the rest, deformed and relaxed shapes, coloured by height, with a
%   colour bar.
%
%   Run headless from the repository root (scripts/demo.sh does all of it):
%     octave-cli --eval "run matlab/lamina_build.m; addpath([pwd '/build/octave']); ..
%                        run('examples/lamina_demo.m')"
%   Set lamina_demo_png beforehand to choose where the picture goes, and
%   lamina_demo_iterations (L-BFGS) and lamina_demo_newton_iterations to
%   shorten the run.

if ~exist('lamina_demo_png', 'var')
  lamina_demo_png = 'lamina_demo.png';
end
if ~exist('lamina_demo_iterations', 'var')
  lamina_demo_iterations = 10000;      % L-BFGS's cap
end
if ~exist('lamina_demo_newton_iterations', 'var')
  lamina_demo_newton_iterations = 100;  % projected Newton's cap
end

%% The rest mesh: an nx-by-ny grid, two triangles per cell, 0-based indices.
nx = 41;  ny = 31;
[ix, iy] = ndgrid(0:nx-1, 0:ny-1);              % vertex (i, j) is row j*nx + i + 1
V = [2.0 * ix(:) / (nx - 1), 1.5 * iy(:) / (ny - 1), zeros(nx * ny, 1)];
[ci, cj] = ndgrid(0:nx-2, 0:ny-2);
v = cj(:) * nx + ci(:);                           % lower-left corner of each cell
F = [v, v + 1, v + nx + 1; v, v + nx + 1, v + nx];
E = lamina_edge_table(F);
interior = sum(E(:, 4) >= 0);
printf('rest mesh: %d vertices, %d faces, %d edge rows (%d interior)\n', ...
       size(V, 1), size(F, 1), size(E, 1), interior);

%% Deform: stretch along x by 20%, bend into a parabola, and squeeze the
%% pinned edge x = 0 to 80% of its length about its middle.
Q = V;
Q(:, 1) = 1.2 * V(:, 1);
Q(:, 3) = 0.35 * V(:, 1) .^ 2;
pinned = find(V(:, 1) == 0);
Q(pinned, 2) = 0.75 + 0.8 * (V(pinned, 2) - 0.75);
mu = 1.0;  eta = 0.02;

[energy, gradient] = lamina_work_deriv(Q, mu, eta, F, V, E);
printf('deformed energy: %.6f (membrane + bending)\n', energy);

%% The gradient against central differences on a few coordinates.
printf('\n%-12s %14s %14s %10s\n', 'coordinate', 'gradient', 'central diff.', 'rel. error');
h = 1e-6;
large = find(abs(gradient(:)) > 0.05 * max(abs(gradient(:))));
for idx = large(round(linspace(1, numel(large), 6))).'
  Qp = Q;  Qp(idx) = Qp(idx) + h;
  Qm = Q;  Qm(idx) = Qm(idx) - h;
  fd = (lamina_work_total(Qp, mu, eta, F, V, E) - lamina_work_total(Qm, mu, eta, F, V, E)) / (2 * h);
  [row, col] = ind2sub(size(Q), idx);
  printf('%-12s %14.8f %14.8f %10.2e\n', sprintf('(%d,%d)', row, col), gradient(idx), fd, ...
         abs(fd - gradient(idx)) / abs(gradient(idx)));
end

%% The Hessian against central differences of the gradient, on a few columns.
[~, ~, H] = lamina_work_hessian(Q, mu, eta, F, V, E);
printf('\n%-12s %24s\n', 'column', 'Hessian vs gradient diff.');
for idx = large(round(linspace(1, numel(large), 4))).'
  Qp = Q;  Qp(idx) = Qp(idx) + h;
  Qm = Q;  Qm(idx) = Qm(idx) - h;
  [~, Gp] = lamina_work_deriv(Qp, mu, eta, F, V, E);
  [~, Gm] = lamina_work_deriv(Qm, mu, eta, F, V, E);
  fd = (Gp(:) - Gm(:)) / (2 * h);
  [row, col] = ind2sub(size(Q), idx);
  printf('%-12s %24.2e\n', sprintf('(%d,%d)', row, col), norm(fd - H(:, idx)) / norm(H(:, idx)));
end

%% Relax the sheet, the pinned edge held where it is, twice: with
%% lamina_solve and with L-BFGS, each until max |gradient| is 1e-8 of its
%% start.
free = true(size(Q));
free(pinned, :) = false;
shape = @(x) subsasgn(Q, struct('type', '()', 'subs', {{free}}), x);
[start_energy, G] = lamina_work_deriv(Q, mu, eta, F, V, E);
tolerance = 1e-8 * max(abs(G(free)));

% lamina_solve: projected Newton (each face's and hinge's Hessian block
% clamped to its positive part, so that every step goes downhill even
% where the sheet buckles; the exact Hessian wherever it is positive
% definite on the free coordinates, which converges quadratically near the
% relaxed shape), a shift that adapts to each step (turning the sheet about
% the pinned edge's line costs nothing), a line search on the energy, and
% CHOLMOD's factorisation, its ordering computed once.
clock = tic();
[R, info] = lamina_solve(Q, mu, eta, F, V, E, 'Fixed', ~free, ...
                         'MaxIterations', lamina_demo_newton_iterations);
seconds = toc(clock);
h = info.history;
newton = [h.iteration, h.seconds, h.energy, h.gradient_norm];
f = info.energy;

% L-BFGS (memory 10) with the same line search.
x = Q(free);
lbfgs = zeros(0, 4);
clock = tic();
[fl, G] = lamina_work_deriv(shape(x), mu, eta, F, V, E);
g = G(free);
memory = 10;  S = zeros(numel(x), 0);  Y = zeros(numel(x), 0);
for it = 0:lamina_demo_iterations
  lbfgs(end + 1, :) = [it, toc(clock), fl, max(abs(g))];
  if max(abs(g)) <= tolerance || it == lamina_demo_iterations, break; end
  % Two-loop recursion for the search direction.
  q = g;  alpha = zeros(1, size(S, 2));
  for k = size(S, 2):-1:1
    alpha(k) = (S(:, k)' * q) / (Y(:, k)' * S(:, k));
    q = q - alpha(k) * Y(:, k);
  end
  if isempty(S)
    q = q / max(norm(g), 1);
  else
    q = q * (S(:, end)' * Y(:, end)) / (Y(:, end)' * Y(:, end));
  end
  for k = 1:size(S, 2)
    beta = (Y(:, k)' * q) / (Y(:, k)' * S(:, k));
    q = q + S(:, k) * (alpha(k) - beta);
  end
  d = -q;
  if g' * d >= 0, d = -g; end
  t = 1;
  while lamina_work_total(shape(x + t * d), mu, eta, F, V, E) > fl + 1e-4 * t * (g' * d)
    t = t / 2;
    if t < 1e-12, break; end
  end
  x_new = x + t * d;
  [fl, G] = lamina_work_deriv(shape(x_new), mu, eta, F, V, E);
  g_new = G(free);
  s = x_new - x;  y = g_new - g;
  if s' * y > 1e-12
    S = [S, s];  Y = [Y, y];
    if size(S, 2) > memory, S(:, 1) = [];  Y(:, 1) = []; end
  end
  x = x_new;  g = g_new;
end

% Both histories side by side: the first ten iterations, then every tenth
% to a hundred, then every thousandth, and each method's last.
printf('\nrelaxation, until max |gradient| <= 1e-8 of its start (%.3e):\n', tolerance);
printf('%9s | %8s %14s %11s | %8s %14s %11s\n', 'iteration', 'seconds', 'Newton energy', ...
       'max|grad|', 'seconds', 'L-BFGS energy', 'max|grad|');
shown = unique([(0:10).'; 10 * (2:10).'; 1000 * (1:100).'; newton(end, 1); lbfgs(end, 1)]);
for it = shown.'
  row = sprintf('%9d |', it);
  for history = {newton, lbfgs}
    hist = history{1};
    k = find(hist(:, 1) == it, 1);
    if isempty(k)
      row = [row, sprintf(' %8s %14s %11s |', '', '', '')];
    else
      row = [row, sprintf(' %8.3f %14.10f %11.3e |', hist(k, 2), hist(k, 3), hist(k, 4))];
    end
  end
  if any(newton(:, 1) == it) || any(lbfgs(:, 1) == it), printf('%s\n', row(1:end - 2)); end
end
converged = @(hist) hist(end, 4) <= tolerance;
say = {'stopped at its cap', 'converged'};
printf('lamina_solve: %d iterations, %.2f s, %s; L-BFGS: %d iterations, %.2f s, %s\n', ...
       info.iterations, seconds, say{info.converged + 1}, lbfgs(end, 1), lbfgs(end, 2), ...
       say{converged(lbfgs) + 1});
printf('lamina_solve says: %s\n', info.message);
assert(info.converged || lamina_demo_newton_iterations < 100, 'lamina_solve did not converge');

%% The outcome.
printf('\nenergy fell from %.6f to %.6f (%.1f%% of the deformed energy remains)\n', ...
       start_energy, f, 100 * f / start_energy);
assert(f < start_energy, 'the energy did not fall');
mask = lamina_hinge_mask(R, mu, eta, F, V, E);
printf('lamina_hinge_mask: %d of %d edge rows carry a bending term; %d are interior edges\n', ...
       sum(mask), numel(mask), interior);
assert(sum(mask) == interior, 'the mask does not count the hinges');

%% The picture: rest, deformed and relaxed shapes, coloured by height, the
%% pinned edge in red, one colour bar for all three.
warning('off', 'Octave:gnuplot-graphics');   % headless: gnuplot is the toolkit that needs no display
graphics_toolkit('gnuplot');
fig = figure('visible', 'off', 'position', [0 0 1500 560]);
colormap(jet(64));
shapes = {V, Q, R};
% One box and one colour scale for all three shapes (the relaxed sheet may
% dip below z = 0).
points = [V; Q; R];
low = min(points) - 0.05;
high = max(points) + 0.05;
titles = {'rest', sprintf('deformed: energy %.4f', start_energy), ...
          sprintf('relaxed (lamina_solve), edge x = 0 pinned: energy %.4f', f)};
for k = 1:3
  % Margins on every side, so that no tick label or title is cut off, and
  % room on the right for the colour bar.
  ax = axes('position', [0.04 + (k - 1) * 0.29, 0.12, 0.26, 0.74]);
  P = shapes{k};
  trisurf(F + 1, P(:, 1), P(:, 2), P(:, 3), P(:, 3), 'edgecolor', 'none');
  hold on;
  plot3(P(pinned, 1), P(pinned, 2), P(pinned, 3), 'r-', 'linewidth', 4);
  hold off;
  caxis([low(3) high(3)]);
  axis([low(1) high(1) low(2) high(2) low(3) high(3)]);
  view(-50, 25);
  title(titles{k}, 'fontsize', 14, 'interpreter', 'none');
  xlabel('x');  ylabel('y');  zlabel('z');
end
cb = colorbar(ax);
set(cb, 'position', [0.91 0.18 0.015 0.62]);
ylabel(cb, 'height z');
print(fig, lamina_demo_png, '-dpng', '-r80');
printf('picture: %s\n', lamina_demo_png);
