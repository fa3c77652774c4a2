% LAMINA_SWING  A sheet pinned at two corners falls and swings under gravity.
%
%   A 1-by-1 sheet of 800 triangles, held flat and horizontal, is let go with
%   two corners of one side pinned. Implicit Euler moves it through 48 time
%   steps of 1/40 s: each step is one call of lamina_solve, which minimises
%
%     W(x) = E(x) - sum(m g . x) + sum(m |x - y|^2) / (2 h^2),  y = x_n + h v_n,
%
%   over the free coordinates (E the shell's energy, m the lumped masses, g
%   gravity, h the time step); its minimiser is x_{n+1}, and the velocity
%   v_{n+1} = (x_{n+1} - x_n) / h. The sheet starts flat, where the bending
%   term has no stiffness across it: the inertia term makes every step's
%   problem well posed. The demo prints each step (Newton iterations, height
%   of the free corners, kinetic energy) and draws eight frames of the swing,
%   coloured by speed, the pinned corners in red.
%
%   examples/lamina_swing.py is its Python twin (Shell.solve).
%
%   Run headless from the repository root (scripts/demo.sh runs it):
%     octave-cli --eval "addpath([pwd '/build/octave']); run('examples/lamina_swing.m')"
%   Set lamina_swing_png beforehand to choose where the picture goes, and
%   lamina_swing_steps to shorten the run.

if ~exist('lamina_swing_png', 'var')
  lamina_swing_png = 'lamina_swing.png';
end
if ~exist('lamina_swing_steps', 'var')
  lamina_swing_steps = 48;
end

%% The sheet: 21-by-21 vertices on the unit square, horizontal, two corners
%% of the side y = 0 pinned.
n = 21;
[ix, iy] = ndgrid(0:n-1, 0:n-1);
V = [ix(:), iy(:), zeros(n * n, 1)] / (n - 1);
[ci, cj] = ndgrid(0:n-2, 0:n-2);
c = cj(:) * n + ci(:);
F = [c, c + 1, c + n + 1; c, c + n + 1, c + n];
E = lamina_edge_table(F);
pinned = find(iy(:) == 0 & (ix(:) == 0 | ix(:) == n - 1));
held = false(n * n, 3);
held(pinned, :) = true;

% A membrane stiff enough to stretch by a few percent under the sheet's own
% weight, a little bending stiffness; a total mass of 1, lumped by area.
mu = 200;  eta = 0.05;
area = 0.5 * sqrt(sum(cross(V(F(:, 2) + 1, :) - V(F(:, 1) + 1, :), ...
                            V(F(:, 3) + 1, :) - V(F(:, 1) + 1, :), 2) .^ 2, 2));
m = accumarray(F(:) + 1, repmat(area / 3, 3, 1), [n * n, 1]);
m = m / sum(m);
g = [0, 0, -9.81];
f = m * g;                                  % gravity, per vertex
h = 1 / 40;

%% Implicit Euler.
x = V;
v = zeros(size(V));
frames = {x};
times = 0;
keep = unique(round(linspace(0, lamina_swing_steps, 8)));
printf('%5s %7s %10s %16s %12s\n', 'step', 'time', 'iterations', 'free corners z', 'kinetic');
clock = tic();
for step = 1:lamina_swing_steps
  y = x + h * v;                            % where the sheet would go unforced
  [xn, info] = lamina_solve(x, mu, eta, F, V, E, 'Fixed', held, 'Forces', f, ...
                            'Mass', m, 'TimeStep', h, 'Target', y);
  assert(info.converged, info.message);
  v = (xn - x) / h;
  x = xn;
  corners = x(iy(:) == n - 1 & (ix(:) == 0 | ix(:) == n - 1), 3);
  printf('%5d %7.3f %10d %16.4f %12.5f\n', step, step * h, info.iterations, mean(corners), ...
         0.5 * sum(m .* sum(v .^ 2, 2)));
  if any(keep == step)
    frames{end + 1} = x;
    times(end + 1) = step * h;
  end
end
printf('%d implicit-Euler steps in %.2f s\n', lamina_swing_steps, toc(clock));
assert(all(all(x(pinned, :) == V(pinned, :))), 'a pinned corner moved');
assert(x(end, 3) < -0.3, 'the sheet did not fall');

%% The picture: the frames side by side, coloured by speed.
warning('off', 'Octave:gnuplot-graphics');  % headless: gnuplot is the toolkit that needs no display
graphics_toolkit('gnuplot');
count = numel(frames);
fig = figure('visible', 'off', 'position', [0 0 240 * count, 360]);
colormap(jet(64));
speeds = cellfun(@(P) 0, frames, 'UniformOutput', false);
for k = 2:count
  dt = times(k) - times(k - 1);
  speeds{k} = sqrt(sum((frames{k} - frames{k - 1}) .^ 2, 2)) / dt;
end
top = max(cellfun(@(s) max(s(:)), speeds));
for k = 1:count
  ax = axes('position', [0.01 + (k - 1) * 0.98 / count, 0.05, 0.98 / count, 0.8]);
  P = frames{k};
  trisurf(F + 1, P(:, 1), P(:, 2), P(:, 3), speeds{k} .* ones(n * n, 1), 'edgecolor', 'none');
  hold on;
  plot3(P(pinned, 1), P(pinned, 2), P(pinned, 3), 'r.', 'markersize', 25);
  hold off;
  caxis([0 max(top, eps)]);
  axis([-0.1 1.1 -1.1 1.1 -1.1 0.1]);
  axis off;
  view(-60, 12);
  title(sprintf('t = %.2f s', times(k)), 'fontsize', 12);
end
print(fig, lamina_swing_png, '-dpng', '-r80');
printf('picture: %s\n', lamina_swing_png);
