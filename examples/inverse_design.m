% INVERSE_DESIGN  The rest shape of a sheet that hangs exactly as designed.
%
%   A 10-by-10 sheet on the unit square (162 triangles, mu = 10, eta = 1,
%   the dihedral bending model) is clamped along its side x = 0 and loaded
%   by its weight. Which rest shape X makes it hang in the target shape
%   z = -0.15 x^2 (x and y as on the flat square)?
%   The target T is an equilibrium of the rest shape X when the internal
%   forces balance the loads on every free coordinate:
%
%     r(X) = G(T; X) - f = 0,   G = dE/dx, the gradient in the deformed shape.
%
%   lamina_work_rest_deriv gives r and its Jacobian in X, the mixed Hessian
%   M = dG/dX, so Levenberg-Marquardt on the free vertices' rest positions
%   (the clamped ones rest at their target) is a few lines: each step solves
%   (J'J + lambda I) dX = -J'r with J = M(free, free), lambda falling after
%   every step that lowers |r| and rising after one that does not. The design
%   is then checked forward: lamina_solve, from the designed rest shape,
%   must find the target. The naive design (rest = target) sags.
%
%   Two choices the mechanics makes:
%   - The clamp holds the first two columns of vertices (x = 0 and 1/9).
%     Holding one line of vertices makes a hinge: the internal forces do not
%     change when the deformed sheet turns about that line, so their moment
%     about it is zero for every rest shape, and the weight's moment could
%     never be balanced.
%   - The bending model is the dihedral one. The cosine model's hinge moment,
%     2 eta w_h (cos theta_r - cos theta_d) sin theta_d, vanishes with the
%     fold angle theta_d; the target's folds are about 0.03 rad per hinge, so
%     carrying the weight would take rest folds near +-pi, and the iteration
%     stalls. The dihedral moment, 2 eta w_h (theta_d - theta_r), carries it
%     with small rest folds.
%
%   examples/inverse_design.py is its Python twin, with the same numbers.
%
%   Run headless from the repository root (scripts/demo.sh runs it):
%     octave-cli --eval "addpath([pwd '/build/octave']); run('examples/inverse_design.m')"
%   Set inverse_design_png beforehand to choose where the picture goes (''
%   for none).

if ~exist('inverse_design_png', 'var')
  inverse_design_png = 'inverse_design.png';
end

%% The sheet: n-by-n vertices on the unit square, faces as in lamina_swing.m.
n = 10;
[ix, iy] = ndgrid(0:n-1, 0:n-1);
V = [ix(:), iy(:), zeros(n * n, 1)] / (n - 1);
[ci, cj] = ndgrid(0:n-2, 0:n-2);
c = cj(:) * n + ci(:);
F = [c, c + 1, c + n + 1; c, c + n + 1, c + n];
E = lamina_edge_table(F);
nV = n * n;
mu = 10;  eta = 1;
bending = {'Bending', 'dihedral'};

clamped = ix(:) <= 1;                       % the columns x = 0 and 1/9: a clamp, not a hinge
held = repmat(clamped, 1, 3);
free = find(~held);                         % the unknowns' places in X(:) and G(:)
f = zeros(nV, 3);
f(:, 3) = -2 / nV;                          % gravity, per vertex
T = V;
T(:, 3) = -0.15 * V(:, 1) .^ 2;             % the target; the clamped columns hold it too

%% Levenberg-Marquardt on the rest positions of the free vertices, from X = T.
X = T;
[~, G, ~, M] = lamina_work_rest_deriv(T, mu, eta, F, X, E, bending{:});
r = G(free) - f(free);
r0 = max(abs(r));
lambda = 1e-3;
fprintf('%9s %14s %10s\n', 'iteration', 'max |r|', 'lambda');
fprintf('%9d %14.6e %10s\n', 0, r0, '');
clock = tic();
for it = 1:100
  if max(abs(r)) <= max(1e-10 * r0, 1e-12)
    break;
  end
  J = M(free, free);
  A = J' * J;
  scale = mean(full(diag(A)));
  accepted = false;
  while ~accepted && lambda < 1e12
    step = -(A + lambda * scale * speye(numel(free))) \ (J' * r);
    Xn = X;
    Xn(free) = Xn(free) + step;
    [~, Gn, ~, Mn] = lamina_work_rest_deriv(T, mu, eta, F, Xn, E, bending{:});
    rn = Gn(free) - f(free);
    if all(isfinite(rn)) && norm(rn) < norm(r)
      accepted = true;
      X = Xn;  r = rn;  M = Mn;
      lambda = max(lambda / 10, 1e-15);
    else
      lambda = lambda * 10;
    end
  end
  assert(accepted, 'no step lowers the residual');
  fprintf('%9d %14.6e %10.1e\n', it, max(abs(r)), lambda);
end
design_seconds = toc(clock);
residual = max(abs(r));
fprintf('designed in %d iterations, %.2f s: max |r| = %.3e (%.1e of its start)\n', ...
        it - 1, design_seconds, residual, residual / r0);
assert(residual <= max(1e-10 * r0, 1e-12), 'the design did not converge');
assert(isequal(X(clamped, :), T(clamped, :)), 'a clamped rest position moved');

%% Forward: from the designed rest shape, the loaded sheet hangs in the target.
[x, info] = lamina_solve(X, mu, eta, F, X, E, 'Fixed', held, 'Forces', f, 'Tolerance', 1e-10, ...
                         'MaxIterations', 500, bending{:});
assert(info.converged, info.message);
designed_error = max(max(abs(x - T)));
fprintf('designed rest: lamina_solve reaches the target to %.3e (%d iterations)\n', ...
        designed_error, info.iterations);
assert(designed_error < 1e-6, 'the designed rest shape does not hang as the target');

%% Naive: rest = target; the sheet sags below it.
[naive, info] = lamina_solve(T, mu, eta, F, T, E, 'Fixed', held, 'Forces', f, 'Tolerance', 1e-10, ...
                         'MaxIterations', 500, bending{:});
assert(info.converged, info.message);
naive_error = max(max(abs(naive - T)));
fprintf('naive rest (= target): it hangs %.4f from the target (tip z %.4f, target %.4f)\n', ...
        naive_error, min(naive(:, 3)), min(T(:, 3)));
assert(naive_error > 1e-2, 'the naive design should sag visibly');

%% The picture: target, designed rest, naive result.
if ~isempty(inverse_design_png)
  fig = figure('visible', 'off', 'position', [0 0 1500 500]);
  shapes = {T, X, naive};
  titles = {'target: z = -0.15 x^2', 'designed rest shape', ...
            sprintf('naive (rest = target): off by %.3f', naive_error)};
  for k = 1:3
    subplot(1, 3, k);
    P = shapes{k};
    trisurf(F + 1, P(:, 1), P(:, 2), P(:, 3), P(:, 3));
    hold on;
    plot3(P(clamped, 1), P(clamped, 2), P(clamped, 3), 'r-', 'linewidth', 3);
    if k == 3
      plot3(T(:, 1), T(:, 2), T(:, 3), 'k.');
    end
    hold off;
    axis([-0.05 1.05 0 1 -0.4 0.25]);
    view(-15, 10);
    title(titles{k});
  end
  print(fig, inverse_design_png, '-dpng', '-r80');
  fprintf('picture: %s\n', inverse_design_png);
end
