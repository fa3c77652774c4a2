function varargout = lamina_work_rest_deriv(varargin)
%LAMINA_WORK_REST_DERIV  Derivatives of a thin shell's energy with respect to its rest shape.
%   [E, G, GX, M] = LAMINA_WORK_REST_DERIV(DEFORMED_V, MU, ETA,
%                                          SOURCE_FACES, SOURCE_VERTICES, EDGES)
%   [E, G, GX, M] = LAMINA_WORK_REST_DERIV(..., Name, Value)
%
%   For inverse design: which rest shape makes the loaded shell take the
%   shape wanted? Besides the energy E and its gradient G = dE/dDEFORMED_V
%   (bit for bit those of LAMINA_WORK_DERIV), the derivatives in the rest
%   positions X = SOURCE_VERTICES. The inputs, their checks and their errors
%   are those of LAMINA_WORK_HESSIAN.
%
%   Outputs:
%     E    1 by 1        the total energy, membrane plus bending
%     G    #V by 3       dE/dDEFORMED_V
%     GX   #V by 3       dE/dSOURCE_VERTICES
%     M    3#V by 3#V    real sparse, the mixed Hessian: M(i, j) = dG(i)/dX(j),
%                        rows ordered like G(:), columns like
%                        SOURCE_VERTICES(:) (column-major: entry i + k*#V is
%                        coordinate k+1 of vertex i)
%   M has the sparsity pattern of LAMINA_WORK_HESSIAN's Hessian and is not
%   symmetric. At an equilibrium G(x, X) = f it is the Jacobian of the
%   internal forces in the rest shape: with H the Hessian, dx/dX = -H \ M.
%   Outputs not asked for are not formed (M's pattern included).
%
%   Moving the whole rest mesh rigidly changes nothing: the columns of GX
%   sum to zero. A degenerate rest face or wing makes the derivatives NaN,
%   as it makes the energy.
%
%   Options (names and words ignore case), as LAMINA_WORK_HESSIAN's:
%     'Bending'  'cosine' (default) or 'dihedral'
%     'Threads'  a whole number N >= 0: 0 (default) for all cores, one
%                thread on small meshes; every count gives the same bits
%
%   Errors (identifiers), besides those of LAMINA_WORK_DERIV:
%     MATLAB:lamina_work_rest_deriv  fewer than six inputs, or an option
%                                    name without its value
%     lamina:badOption               an option other than 'Bending' and
%                                    'Threads', or a bad value of one
%     lamina:tooManyOutputs          more than four outputs requested
%   and, as LAMINA_WORK_DERIV, the warning lamina:oneBased when no index of
%   SOURCE_FACES is 0 (faces that look 1-based: pass F - 1).
%
%   Example: the rest gradient of a stretched patch against a difference.
%     V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
%     F = [0 1 2; 1 3 2];
%     E = lamina_edge_table(F);
%     Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];
%     [e, g, gx, M] = lamina_work_rest_deriv(Q, 2, 3, F, V, E);
%     Vp = V;  Vp(4, 3) = Vp(4, 3) + 1e-6;
%     Vm = V;  Vm(4, 3) = Vm(4, 3) - 1e-6;
%     fd = (lamina_work_total(Q, 2, 3, F, Vp, E) - lamina_work_total(Q, 2, 3, F, Vm, E)) / 2e-6;
%     assert(abs(fd - gx(4, 3)) < 1e-7 * max(abs(gx(:))));
%     assert(issparse(M) && isequal(size(M), [12 12]));
%     assert(max(abs(sum(gx))) < 1e-12 * max(abs(gx(:))));   % rigid moves change nothing
%
%   See also LAMINA_WORK_HESSIAN, LAMINA_WORK_DERIV, LAMINA_SOLVE.

  error('lamina:notCompiled', ...
        ['%s is not compiled for this host (%s holds only its help file): run ' ...
         'lamina_build, in lamina''s matlab folder, and add the folder it builds into ' ...
         'to the path (build/octave in Octave, build/matlab in MATLAB); or build ' ...
         'the project with CMake'], mfilename(), fileparts(mfilename('fullpath')));

%!shared V, F, E, Q
%! V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
%! F = [0 1 2; 1 3 2];
%! E = [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1];
%! Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];

%!test  # E and G are lamina_work_deriv's bits; with 'Bending', lamina_work_hessian's
%! [e0, g0] = lamina_work_deriv(Q, 2, 3, F, V, E);
%! for n = 1:4
%!   out = cell(1, n);
%!   [out{:}] = lamina_work_rest_deriv(Q, 2, 3, F, V, E);
%!   assert(typecast(out{1}, 'uint64'), typecast(e0, 'uint64'));
%!   if n >= 2, assert(typecast(out{2}(:), 'uint64'), typecast(g0(:), 'uint64')); end
%! end
%! [e1, g1] = lamina_work_hessian(Q, 2, 3, F, V, E, 'Bending', 'dihedral');
%! [e, g] = lamina_work_rest_deriv(Q, 2, 3, F, V, E, 'Bending', 'dihedral', 'Threads', 2);
%! assert(isequal(e, e1) && isequal(g, g1));

%!test  # GX and M against central differences in the rest positions, in both models
%! h = 1e-6;
%! for model = {'cosine', 'dihedral'}
%!   [~, ~, gx, M] = lamina_work_rest_deriv(Q, 2, 3, F, V, E, 'Bending', model{1});
%!   fe = zeros(4, 3);  fm = zeros(12);
%!   for j = 1:12
%!     Vp = V;  Vp(j) = Vp(j) + h;
%!     Vm = V;  Vm(j) = Vm(j) - h;
%!     [ep, gp] = lamina_work_hessian(Q, 2, 3, F, Vp, E, 'Bending', model{1});
%!     [em, gm] = lamina_work_hessian(Q, 2, 3, F, Vm, E, 'Bending', model{1});
%!     fe(j) = (ep - em) / (2 * h);
%!     fm(:, j) = (gp(:) - gm(:)) / (2 * h);
%!   end
%!   assert(max(abs(fe(:) - gx(:))) / max(abs(gx(:))) < 1e-7);
%!   assert(max(abs(fm(:) - M(:))) / max(abs(M(:))) < 1e-7);
%!   assert(issparse(M) && isreal(M) && ~isequal(M, M.'));
%! end

%!error id=lamina:badOption lamina_work_rest_deriv(Q, 2, 3, F, V, E, 'Project', 'clamp')
%!error <'Bending' must be 'cosine' or 'dihedral', but it is 'bent'> lamina_work_rest_deriv(Q, 2, 3, F, V, E, 'Bending', 'bent')
%!error <'Threads' must be a whole number from 0 to 2147483647, but it is NaN> lamina_work_rest_deriv(Q, 2, 3, F, V, E, 'Threads', NaN)
%!error id=MATLAB:lamina_work_rest_deriv lamina_work_rest_deriv(Q, 2, 3, F, V, E, 'Threads')
%!error id=lamina:tooManyOutputs [a, b, c, d, e] = lamina_work_rest_deriv(Q, 2, 3, F, V, E)
%!error id=lamina:badIndex lamina_work_rest_deriv(Q, 2, 3, [0 1 7; 1 3 2], V, E)
