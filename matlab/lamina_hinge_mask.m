function varargout = lamina_hinge_mask(varargin)
%LAMINA_HINGE_MASK  Which edge rows carry a bending term.
%   VALID_EDGES = LAMINA_HINGE_MASK(DEFORMED_V, MU, ETA, SOURCE_FACES,
%                                   SOURCE_VERTICES, EDGES)
%
%   Returns a #E by 1 column holding 1 for every row of EDGES that the
%   bending term of LAMINA_WORK_DERIV evaluates at the positions DEFORMED_V,
%   and 0 for every other row. A row is evaluated when it is a hinge (both
%   c and d present) and both its deformed wings, (a, b, c) and (b, a, d),
%   have a normal at least 1e-10 long; collapsed or collinear wings are
%   skipped. The rest mesh plays no part.
%
%   Inputs, taken in the order of LAMINA_WORK_DERIV; only DEFORMED_V, the row
%   count of SOURCE_VERTICES and EDGES are used, and MU, ETA and SOURCE_FACES
%   may hold anything:
%     DEFORMED_V       #V by 3   deformed vertex positions, one vertex per row
%     MU, ETA          any       not used
%     SOURCE_FACES     any       not used
%     SOURCE_VERTICES  #V by 3   rest vertex positions (only #V is used)
%     EDGES            #E by 4   the edge table: one row [a b c d] per edge
%
%   Output:
%     VALID_EDGES      #E by 1   1 where the row carries a bending term, else 0
%
%   Indices are 0-based doubles, truncated toward zero. In a row [a b c d] of
%   EDGES, a and b are the end vertices of the edge, c the vertex opposite it
%   in the face where it runs from a to b, d the vertex opposite it in the
%   face where it runs from b to a. A c or d whose truncation is negative
%   (-1 or below, NaN, or beyond 2^31) marks a missing face; -0.5 truncates
%   to 0 and means vertex 0. LAMINA_EDGE_TABLE writes -1.
%
%   The 1e-10 threshold is absolute, in the units of DEFORMED_V: a wing of
%   area below 5e-11 is skipped. Scale meshes to about unit size, or a
%   finely meshed small shell silently loses its bending term.
%
%   Errors (identifiers):
%     MATLAB:lamina_hinge_mask   not exactly six inputs
%     lamina:badType    DEFORMED_V or EDGES is not a real, full double matrix
%     lamina:badSize    wrong column count of DEFORMED_V or EDGES, or DEFORMED_V
%                       without one row per row of SOURCE_VERTICES
%     lamina:tooLarge   more rows than 32-bit counts allow
%     lamina:badIndex   an index of an edge row with both c and d present that
%                       is not a vertex row 0 ... #V-1
%     lamina:notCompiled  only this help file was found, not the compiled plug-in:
%                       build it with lamina_build.m, in the matlab folder of
%                       the lamina sources (or with CMake), and add the folder
%                       it names to the path
%
%   No warning lamina:oneBased: the energy plug-ins and LAMINA_EDGE_TABLE warn
%   when the faces look 1-based, but this plug-in does not read SOURCE_FACES.
%
%   Example: the two-triangle patch has one hinge and four boundary edges.
%     V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
%     F = [0 1 2; 1 3 2];
%     E = lamina_edge_table(F)   % [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1]
%     valid = lamina_hinge_mask(V, 0, 0, F, V, E)   % [0; 1; 0; 0; 0]
%
%   See also LAMINA_WORK_DERIV, LAMINA_WORK_TOTAL, LAMINA_EDGE_TABLE.

  error('lamina:notCompiled', ...
        ['%s is not compiled for this host (%s holds only its help file): run ' ...
         'lamina_build, in lamina''s matlab folder, and add the folder it builds into ' ...
         'to the path (build/octave in Octave, build/matlab in MATLAB); or build ' ...
         'the project with CMake'], mfilename(), fileparts(mfilename('fullpath')));

%!shared V, row
%! V = [0 0 0; 1 0 0; 0.5 1 0; 0.5 -1 0];   # a flat hinge
%! row = [0 1 2 3];

%!assert(lamina_hinge_mask(V, 1, 1, [], V, [row; 1 0 3 2; 0 1 2 -1; 0 1 2 2]), [1; 1; 0; 1])

%!test  # the 1e-10 threshold on the deformed first wing is strict
%! Q = V;  Q(3, :) = [0.5 1e-10 0];
%! assert(lamina_hinge_mask(Q, 1, 1, [], V, row), 1);
%! Q(3, :) = [0.5 9.999999e-11 0];
%! assert(lamina_hinge_mask(Q, 1, 1, [], V, row), 0);

%!test  # collinear deformed wing; the rest mesh plays no part
%! Q = V;  Q(3, :) = [2 0 0];
%! assert(lamina_hinge_mask(Q, 1, 1, [], V, row), 0);
%! assert(lamina_hinge_mask(V, 1, 1, [], Q, row), 1);

%!test  # c = -0.5 truncates to vertex 0; a NaN coordinate passes
%! assert(lamina_hinge_mask(V, 1, 1, [], V, [0 1 -0.5 3; 1 2 -0.5 3]), [0; 1]);
%! Q = V;  Q(1, 1) = NaN;
%! assert(lamina_hinge_mask(Q, 1, 1, [], V, row), 1);

%!test  # no edges: a 0 by 1 column; mu, eta and faces change nothing
%! assert(size(lamina_hinge_mask(V, 1, 1, [], V, zeros(0, 4))), [0 1]);
%! assert(lamina_hinge_mask(V, NaN, -1, [9 9 9], V, row), 1);

%!test  # wrong input counts: the usage error, text after Octave's name prefix
%! t = repmat(char(9), 1, 15);
%! usage = ['6 inputs required: [valid_edges] = ' t ...
%!          'lamina_hinge_mask(deformed_v, mu, eta, source_faces, source_vertices, edges), ' t ...
%!          'where edges is an index matrix with 4 columns, first 2 columns are the indices of the ' t ...
%!          'vertices that comprise the edge, 3rd is the index of the opposite vertex in the face ' t ...
%!          'with the same orientation, 4th the opposite vertex in the face with the opposite orientation'];
%! args = {V, 1, 1, [], V, row, row};
%! for n = [0 5 7]
%!   try
%!     lamina_hinge_mask(args{1:n});
%!     error('lamina:test', 'no error raised with %d inputs', n);
%!   catch err
%!     assert(err.identifier, 'MATLAB:lamina_hinge_mask');
%!     assert(regexprep(err.message, '^lamina_hinge_mask: ', ''), usage);
%!   end
%! end

%!error id=lamina:badIndex lamina_hinge_mask(V, 1, 1, [], V, row + 1)
%!error id=lamina:badSize lamina_hinge_mask(V(1:3, :), 1, 1, [], V, row)
%!assert(lamina_hinge_mask(V, {}, [], struct(), int8(V), row), 1)

%!test  # the help's example
%! V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
%! F = [0 1 2; 1 3 2];
%! assert(lamina_hinge_mask(V, 0, 0, F, V, lamina_edge_table(F)), [0; 1; 0; 0; 0]);
