% LAMINA_DEMO  Bend and stretch a sheet, then let it relax.
%
%   A 2.0-by-1.5 sheet of 2400 triangles is bent and stretched. Its energy
%   and gradient come from lamina_work_deriv (checked against central
%   differences); then the shell relaxes under a small L-BFGS optimiser while
%   one edge stays pinned where the deformation put it, squeezed to 80% of its
%   length, so that the sheet cannot simply return to its rest shape. The
%   demo prints the energy as it falls, checks that the mask counts the
%   hinges, and draws the rest, deformed and relaxed shapes, coloured by
%   height, with a colour bar.
%
%   Run headless from the repository root (scripts/demo.sh does all of it):
%     octave-cli --eval "run matlab/lamina_build.m; addpath([pwd '/build/octave']); ..
%                        run('examples/lamina_demo.m')"
%   Set lamina_demo_png beforehand to choose where the picture goes, and
%   lamina_demo_iterations to shorten the run.

if ~exist('lamina_demo_png', 'var')
  lamina_demo_png = 'lamina_demo.png';
end
if ~exist('lamina_demo_iterations', 'var')
  lamina_demo_iterations = 400;
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

%% Relax with L-BFGS over the free coordinates; the pinned edge stays put.
free = true(size(Q));
free(pinned, :) = false;
x = Q(free);
shape = @(x) subsasgn(Q, struct('type', '()', 'subs', {{free}}), x);
[f, G] = lamina_work_deriv(shape(x), mu, eta, F, V, E);
g = G(free);
start_energy = f;
memory = 10;  S = zeros(numel(x), 0);  Y = zeros(numel(x), 0);
printf('\n%9s %16s %14s %10s\n', 'iteration', 'energy', '|gradient|', 'step');
printf('%9d %16.8f %14.6e %10s\n', 0, f, norm(g), '');
for it = 1:lamina_demo_iterations
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
  % Backtracking line search on the energy alone.
  t = 1;
  while lamina_work_total(shape(x + t * d), mu, eta, F, V, E) > f + 1e-4 * t * (g' * d)
    t = t / 2;
    if t < 1e-12, break; end
  end
  x_new = x + t * d;
  [f_new, G] = lamina_work_deriv(shape(x_new), mu, eta, F, V, E);
  g_new = G(free);
  s = x_new - x;  y = g_new - g;
  if s' * y > 1e-12
    S = [S, s];  Y = [Y, y];
    if size(S, 2) > memory, S(:, 1) = [];  Y(:, 1) = []; end
  end
  x = x_new;  f = f_new;  g = g_new;
  if mod(it, 50) == 0 || it == lamina_demo_iterations || norm(g) < 1e-8
    printf('%9d %16.8f %14.6e %10.3g\n', it, f, norm(g), t);
  end
  if norm(g) < 1e-8, break; end
end
R = shape(x);

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
titles = {'rest', sprintf('deformed: energy %.4f', start_energy), ...
          sprintf('relaxed, edge x = 0 pinned: energy %.4f', f)};
for k = 1:3
  % Margins on every side, so that no tick label or title is cut off, and
  % room on the right for the colour bar.
  ax = axes('position', [0.04 + (k - 1) * 0.29, 0.12, 0.26, 0.74]);
  P = shapes{k};
  trisurf(F + 1, P(:, 1), P(:, 2), P(:, 3), P(:, 3), 'edgecolor', 'none');
  hold on;
  plot3(P(pinned, 1), P(pinned, 2), P(pinned, 3), 'r-', 'linewidth', 4);
  hold off;
  caxis([0 1.4]);
  axis([-0.05 2.45 -0.05 1.55 0 1.45]);
  view(-50, 25);
  title(titles{k}, 'fontsize', 14);
  xlabel('x');  ylabel('y');  zlabel('z');
end
cb = colorbar(ax);
set(cb, 'position', [0.91 0.18 0.015 0.62]);
ylabel(cb, 'height z');
print(fig, lamina_demo_png, '-dpng', '-r80');
printf('picture: %s\n', lamina_demo_png);
