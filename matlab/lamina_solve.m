function varargout = lamina_solve(varargin)
%LAMINA_SOLVE  Equilibrium of a thin shell under loads, or one implicit-Euler step.
%   X = LAMINA_SOLVE(X0, MU, ETA, SOURCE_FACES, SOURCE_VERTICES, EDGES)
%   [X, INFO] = LAMINA_SOLVE(..., Name, Value, ...)
%
%   Minimises, over the coordinates that are not held fixed,
%
%     W(X) = E(X) - sum(FORCES(:) .* X(:))
%                 + sum(MASS .* sum((X - TARGET).^2, 2)) / (2 * TIMESTEP^2)
%
%   from X0 (#V by 3), where E is the energy of LAMINA_WORK_DERIV (the same
%   MU, ETA, SOURCE_FACES, SOURCE_VERTICES and EDGES, with their checks and
%   errors). The last term, present when 'Mass' and 'TimeStep' are given,
%   makes one call one implicit-Euler time step: with TARGET = X + TIMESTEP
%   * V (the predicted positions), X is the next position and
%   (X - XOLD) / TIMESTEP the next velocity. Held coordinates keep their
%   starting values bit for bit.
%
%   Options (names in any case):
%     'Fixed'          #V by 3 logical, or double of 0s and 1s: true holds
%                      that coordinate at its value in X0 (default: none)
%     'Forces'         #V by 3: constant external forces (gravity: MASS * g)
%     'Mass'           #V by 1, at least 0: lumped masses, with 'TimeStep'
%     'TimeStep'       above 0: the time step of the inertia term
%     'Target'         #V by 3: the inertia term's TARGET (default: X0)
%     'Tolerance'      stop once max |grad W| over the free coordinates is
%                      at most Tolerance times its value at X0 (default 1e-8)
%     'MaxIterations'  at most this many Newton iterations (default 200)
%     'Project'        'clamp' (default) or 'abs': the Hessian's element
%                      blocks projected onto the positive semi-definite cone,
%                      as LAMINA_WORK_HESSIAN does; 'none': the exact Hessian
%                      throughout
%     'Verbose'        true: print one line per iteration as it goes
%     'Bending'        the bending model of the energy: 'cosine' (default,
%                      that of LAMINA_WORK_DERIV) or 'dihedral' (see
%                      LAMINA_WORK_HESSIAN)
%     'Threads'        a whole number N >= 0: 0 (default) for all cores
%                      (one thread on small meshes), N >= 1 at most N; every
%                      evaluation gives the same bits for every count
%
%   Outputs:
%     X     #V by 3     the positions where the solve stopped
%     INFO  struct      iterations      Newton iterations taken
%                       converged       true when the tolerance was met
%                       energy          W(X)
%                       gradient_norm   max |grad W| over the free coordinates
%                       message         why the solve stopped
%                       history         a struct of columns, one row per
%                                       iteration from the start (row 1):
%                                       iteration, energy (W), gradient_norm,
%                                       step (the line search's step length),
%                                       shift (added to the Hessian's
%                                       diagonal), projection ('none' for the
%                                       exact Hessian, 'clamp' or 'abs'),
%                                       seconds (since the solve began)
%   CONVERGED is false whenever the solve stopped for another reason (the
%   iteration limit, no step that decreases W, a W that is not finite or is
%   unbounded below); MESSAGE says which. Ask for INFO: without it, X
%   alone does not say whether it is an equilibrium.
%
%   The method is projected Newton. Each iteration takes the gradient and
%   the Hessian with every element block projected (or, once that is
%   positive definite on the free coordinates, the exact Hessian, which
%   converges quadratically near the solution), adds the masses' diagonal
%   and a shift that adapts to what the last step achieved, and solves with
%   CHOLMOD's sparse Cholesky factorisation, whose ordering and symbolic
%   analysis are done once per call. A line search accepts only steps that
%   decrease W (near convergence, where W's rounding hides a real decrease, a
%   step that lowers the gradient's norm instead). A sheet that starts flat,
%   where the bending term has no stiffness across it, goes through. The
%   result is the same on every run on one machine.
%
%   Errors (identifiers), besides those of LAMINA_WORK_DERIV:
%     MATLAB:lamina_solve     fewer than six inputs, or an option name
%                             without its value
%     lamina:badOption        an unknown option, a value of the wrong class,
%                             size or range (a non-finite force, a negative
%                             mass, ...), or 'Mass', 'TimeStep' and 'Target'
%                             given without the options they need
%     lamina:tooManyOutputs   more than two outputs requested
%     lamina:edgeMismatch     a row of EDGES that does not belong to the
%                             faces: the solver prepares the mesh once and
%                             checks its edge table as LAMINA_CHECK_EDGE_TABLE
%                             does (the energy plug-ins take any table)
%   and, as LAMINA_WORK_DERIV, the warning lamina:oneBased when no index of
%   SOURCE_FACES is 0 (faces that look 1-based: pass F - 1); the solver reads
%   such faces as every plug-in does, 0-based.
%
%   Example: a 12-by-12 sheet clamped along two columns sags under its
%   weight, from flat.
%     n = 12;  [i, j] = ndgrid(0:n-1, 0:n-1);
%     V = [i(:), j(:), 0 * i(:)] / (n - 1);
%     c = reshape((0:n-2)' + n * (0:n-2), [], 1);
%     F = [c, c + 1, c + n + 1; c, c + n + 1, c + n];
%     E = lamina_edge_table(F);
%     held = repmat(i(:) <= 1, 1, 3);
%     f = zeros(n * n, 3);  f(:, 3) = -2 / (n * n);      % a weight of 2
%     [X, info] = lamina_solve(V, 10, 10, F, V, E, 'Fixed', held, 'Forces', f);
%     assert(info.converged, info.message);              % it sags, and converged
%     Xd = lamina_solve(V, 10, 10, F, V, E, 'Fixed', held, 'Forces', f, 'Bending', 'dihedral');
%     assert(Xd(end, 3) > X(end, 3));     % stiffer out of the plane: it sags less
%
%   See also LAMINA_WORK_HESSIAN, LAMINA_WORK_DERIV, LAMINA_EDGE_TABLE,
%   LAMINA_CHECK_EDGE_TABLE.

  error('lamina:notCompiled', ...
        ['%s is not compiled for this host (%s holds only its help file): run ' ...
         'lamina_build, in lamina''s matlab folder, and add the folder it builds into ' ...
         'to the path (build/octave in Octave, build/matlab in MATLAB); or build ' ...
         'the project with CMake'], mfilename(), fileparts(mfilename('fullpath')));

%!shared n, V, F, E, held, f, free
%! n = 12;  [i, j] = ndgrid(0:n-1, 0:n-1);
%! V = [i(:), j(:), 0 * i(:)] / (n - 1);
%! c = reshape((0:n-2)' + n * (0:n-2), [], 1);
%! F = [c, c + 1, c + n + 1; c, c + n + 1, c + n];
%! E = lamina_edge_table(F);
%! held = repmat(i(:) <= 1, 1, 3);
%! f = zeros(n * n, 3);  f(:, 3) = -2 / (n * n);
%! free = ~held;

%!test  # from flat: first-order optimality by lamina_work_deriv; held coordinates kept bit for bit
%! [X, info] = lamina_solve(V, 10, 10, F, V, E, 'Fixed', held, 'Forces', f);
%! assert(info.converged && info.iterations > 1, info.message);
%! [~, G] = lamina_work_deriv(X, 10, 10, F, V, E);
%! assert(max(abs(G(free) - f(free))) <= 1e-8 * max(abs(f(:))));
%! assert(typecast(X(held), 'uint64'), typecast(V(held), 'uint64'));
%! assert(X(end, 3) < -0.5);                                   # it sags
%! h = info.history;
%! assert(numel(h.energy), info.iterations + 1);
%! assert(all(diff(h.energy) <= 1e-12 * abs(h.energy(end))));  # W only falls (to rounding)
%! assert(h.gradient_norm(end), info.gradient_norm);
%! assert(all(ismember(h.projection(2:end), {'none', 'clamp'})));

%!test  # one implicit-Euler step: grad E - f + M/h^2 (X - Y) = 0 on the free coordinates
%! m = 2 / (n * n) * ones(n * n, 1);  h = 0.05;
%! Y = V;  Y(:, 3) = -0.1 * V(:, 1);                          # predicted positions
%! [X, info] = lamina_solve(V, 10, 10, F, V, E, 'Fixed', held, 'Forces', f, ...
%!                          'Mass', m, 'TimeStep', h, 'Target', Y, 'Tolerance', 1e-10);
%! assert(info.converged, info.message);
%! [~, G] = lamina_work_deriv(X, 10, 10, F, V, E);
%! R = G - f + m .* (X - Y) / h^2;
%! R0 = -f + m .* (V - Y) / h^2;                              # at the start, where grad E = 0
%! assert(max(abs(R(free))) <= 1e-9 * max(abs(R0(free))));
%! assert(typecast(X(held), 'uint64'), typecast(V(held), 'uint64'));

%!test  # 'Bending', 'dihedral': an equilibrium of the dihedral energy; 'Threads' changes no bit
%! [X, info] = lamina_solve(V, 10, 10, F, V, E, 'Fixed', held, 'Forces', f, 'Bending', 'Dihedral');
%! assert(info.converged, info.message);
%! [~, G] = lamina_work_hessian(X, 10, 10, F, V, E, 'Bending', 'dihedral');
%! assert(max(abs(G(free) - f(free))) <= 1e-8 * max(abs(f(:))));
%! X2 = lamina_solve(V, 10, 10, F, V, E, 'Fixed', held, 'Forces', f, 'Bending', 'dihedral', 'Threads', 2);
%! assert(isequal(X2, X));

%!error <'Bending' must be 'cosine' or 'dihedral'> lamina_solve(V, 10, 10, F, V, E, 'Bending', 'flat')
%!error <'Threads' must be a whole number from 0 to 2147483647, but it is -2> lamina_solve(V, 10, 10, F, V, E, 'Threads', -2)
%!error <but it is 0.5> lamina_solve(V, 10, 10, F, V, E, 'Threads', 0.5)

%!test  # honest non-convergence, and the same bits on every call
%! [X, info] = lamina_solve(V, 10, 10, F, V, E, 'Fixed', held, 'Forces', f, 'maxiterations', 2);
%! assert(~info.converged && info.iterations == 2);
%! assert(strncmp(info.message, 'not converged: the iteration limit (2)', 38), info.message);
%! [X2, info2] = lamina_solve(V, 10, 10, F, V, E, 'Fixed', double(held), 'Forces', f, ...
%!                            'MaxIterations', int32(2), 'Verbose', false);
%! assert(typecast(X2(:), 'uint64'), typecast(X(:), 'uint64'));

%!error id=lamina:badOption lamina_solve(V, 10, 10, F, V, E, 'Fix', held)
%!error <the value of 'Fixed' must be a 144-by-3 logical matrix> lamina_solve(V, 10, 10, F, V, E, 'Fixed', held(1:3, :))
%!error <Fixed\(1,1\) is 0.5> lamina_solve(V, 10, 10, F, V, E, 'Fixed', 0.5 * held)
%!error <Forces\(2,3\) is NaN: every force must be finite> lamina_solve(V, 10, 10, F, V, E, 'Forces', [f(1, :); 0 0 NaN; f(3:end, :)])
%!error <Mass\(1\) is -1> lamina_solve(V, 10, 10, F, V, E, 'Mass', -ones(n * n, 1), 'TimeStep', 0.1)
%!error <'Mass' was given without 'TimeStep'> lamina_solve(V, 10, 10, F, V, E, 'Mass', ones(n * n, 1))
%!error <'TimeStep' must be a finite number above 0, but it is 0> lamina_solve(V, 10, 10, F, V, E, 'TimeStep', 0)
%!error <'MaxIterations' must be a whole number from 0 to 2147483647, but it is 2.5> lamina_solve(V, 10, 10, F, V, E, 'MaxIterations', 2.5)
%!error <'Project' must be 'clamp', 'abs' or 'none', but it is 'soft'> lamina_solve(V, 10, 10, F, V, E, 'Project', 'soft')
%!error id=MATLAB:lamina_solve lamina_solve(V, 10, 10, F, V, E, 'Fixed')
%!error id=lamina:tooManyOutputs [a, b, c] = lamina_solve(V, 10, 10, F, V, E)
%!error id=lamina:edgeMismatch lamina_solve(V, 10, 10, F, V, E(:, [1 2 4 3]))
