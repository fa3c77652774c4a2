function varargout = lamina_work_total(varargin)
%LAMINA_WORK_TOTAL  Elastic energy of a deformed thin shell, without its gradient.
%   ENERGY = LAMINA_WORK_TOTAL(DEFORMED_V, MU, ETA, SOURCE_FACES,
%                              SOURCE_VERTICES, EDGES)
%
%   Returns the total elastic energy of LAMINA_WORK_DERIV, bit for bit the
%   same value, without forming any derivative: use it where only the energy
%   is needed, as in a line search.
%
%   Inputs, all real double matrices:
%     DEFORMED_V       #V by 3   deformed vertex positions, one vertex per row
%     MU               scalar    membrane stiffness (only the first element is used)
%     ETA              scalar    bending stiffness (only the first element is used)
%     SOURCE_FACES     #F by 3   the three corner indices of each face
%     SOURCE_VERTICES  #V by 3   rest vertex positions
%     EDGES            #E by 4   the edge table: one row [a b c d] per edge
%
%   Output:
%     ENERGY           1 by 1    the total energy, bending plus membrane
%
%   Indices are 0-based doubles (pass MATLAB's 1-based faces as F - 1),
%   truncated toward zero. In a row [a b c d] of EDGES, a and b are the end
%   vertices of the edge, c the vertex opposite it in the face where it runs
%   from a to b, d the vertex opposite it in the face where it runs from b
%   to a. A c or d whose truncation is negative (-1 or below, NaN, or beyond
%   2^31) marks a missing face (a boundary edge); LAMINA_EDGE_TABLE writes -1.
%
%   Errors (identifiers):
%     MATLAB:lamina_work_total   not exactly six inputs
%                                (the message is the usage text of lamina_work_deriv)
%     lamina:badType    an array is not a real, full double matrix (int32 faces,
%                       single vertices, sparse or complex data), or MU or ETA
%                       is not a real numeric scalar
%     lamina:badSize    wrong column count, DEFORMED_V without one row per row
%                       of SOURCE_VERTICES, or an empty MU or ETA (a table with
%                       no rows, such as [], is accepted)
%     lamina:tooLarge   more rows than 32-bit counts allow
%     lamina:badIndex   a face index, or an index of an edge row with both c and
%                       d present, that is not a row 0 ... #V-1 of the vertex
%                       matrices (the message names the entry and its value)
%     lamina:notCompiled  only this help file was found, not the compiled plug-in:
%                       build it with lamina_build.m, in the matlab folder of
%                       the lamina sources (or with CMake), and add the folder
%                       it names to the path
%
%   Warning lamina:oneBased: no index of SOURCE_FACES is 0, so the faces look
%   1-based (MATLAB's usual numbering, passed as it is). lamina's indices are
%   0-based: pass F - 1. 1-based faces that still fit (a vertex no face uses
%   comes last) would silently give the energy of another mesh.
%
%   Example:
%     V = [0 0 0; 1 0 0; 0 1 0; 1 1 0.2];
%     F = [0 1 2; 1 3 2];
%     E = lamina_edge_table(F)   % [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1]
%     Q = [0 0 0.1; 1.1 0 0; 0 1.2 0; 1 1.1 0.5];
%     energy = lamina_work_total(Q, 2, 3, F, V, E)   % 0.52999, as lamina_work_deriv
%
%   See also LAMINA_WORK_DERIV, LAMINA_HINGE_MASK, LAMINA_EDGE_TABLE.

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

%!test  # the energy of lamina_work_deriv, bit for bit
%! e = lamina_work_total(Q, 2, 3, F, V, E);
%! assert(typecast(e, 'uint64'), typecast(0.529986954049356, 'uint64'));
%! Qs = Q + 0.01 * sin(reshape(1:12, 4, 3));
%! assert(typecast(lamina_work_total(Qs, 2, 3, F, V, E), 'uint64'), ...
%!        typecast(lamina_work_deriv(Qs, 2, 3, F, V, E), 'uint64'));

%!test  # empty tables
%! assert(lamina_work_total(Q, 2, 3, zeros(0, 3), V, zeros(0, 4)), 0);
%! assert(typecast(lamina_work_total(Q, 2, 3, F, V, []), 'uint64'), ...
%!        typecast(lamina_work_deriv(Q, 2, 3, F, V, []), 'uint64'));

%!test  # wrong input counts: lamina_work_deriv's usage text under this identifier
%! t = [' ' repmat(char(9), 1, 16) ' '];
%! usage = ['6 inputs required: [energy, gradient] = lamina_work_deriv(deformed_v,' t ...
%!          'mu, eta, source_faces, source_vertices, edges), where edges is an index matrix with 4 columns,' t ...
%!          'first 2 columns are the indices of the vertices that comprise the edge,' t ...
%!          '3rd is the index of the opposite vertex in the face with the same orientation,' t ...
%!          '4th the opposite vertex in the face with the opposite orientation'];
%! args = {Q, 2, 3, F, V, E, E};
%! for n = [0 5 7]
%!   try
%!     lamina_work_total(args{1:n});
%!     error('lamina:test', 'no error raised with %d inputs', n);
%!   catch err
%!     assert(err.identifier, 'MATLAB:lamina_work_total');
%!     assert(regexprep(err.message, '^lamina_work_total: ', ''), usage);
%!   end
%! end

%!error <element number 2 undefined in return list> [e, g] = lamina_work_total(Q, 2, 3, F, V, E);
