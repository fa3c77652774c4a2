function edges = lamina_edge_table(faces)
%LAMINA_EDGE_TABLE  The edge table of a triangle mesh, for the lamina plug-ins.
%   EDGES = LAMINA_EDGE_TABLE(FACES)
%
%   FACES is a #F by 3 matrix of 0-based vertex indices (pass F - 1 for
%   MATLAB's usual 1-based faces), each face listing its corners in the same
%   rotational sense as its neighbours. EDGES is a #E by 4 matrix with one row
%   [a b c d] per undirected edge:
%     a, b   the end vertices of the edge;
%     c      the vertex opposite the edge in the face where it runs from a to b;
%     d      the vertex opposite it in the face where it runs from b to a,
%            or -1 where there is no such face (a boundary edge).
%
%   Rows come in the order in which the edges are first met when the faces
%   are visited row by row, each face's edges in the order (1,2), (2,3),
%   (3,1); a and b are oriented as in that first face, so c is always
%   present. Non-integer indices are truncated toward zero, as the plug-ins
%   do. The table equals the one lamina::build_edge_table builds in C++.
%
%   Errors (identifiers):
%     lamina:badIndex       an index that is negative, NaN or not below 2^31
%     lamina:badSize        FACES does not have 3 columns
%     lamina:degenerate     a face repeats a vertex
%     lamina:nonManifold    an edge belongs to three or more faces
%     lamina:orientation    two faces run along an edge in the same direction
%   The message names the face rows (1-based) and the edge (0-based).
%
%   Example:
%     F = [0 1 2; 1 3 2];
%     E = lamina_edge_table(F)   % [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1]
%
%   See also LAMINA_WORK_DERIV, LAMINA_HINGE_MASK.

  if isempty(faces)
    edges = zeros(0, 4);
    return;
  end
  if size(faces, 2) ~= 3 || ndims(faces) ~= 2
    error('lamina:badSize', 'faces must have 3 columns, but it is %d by %d', ...
          size(faces, 1), size(faces, 2));
  end
  faces = fix(double(faces));
  bad = find(~(faces >= 0 & faces < 2^31), 1);   % NaN fails both tests
  if ~isempty(bad)
    [r, k] = ind2sub(size(faces), bad);
    error('lamina:badIndex', ...
          'faces(%d,%d) is %g, which is not a vertex index (0-based, below 2^31)', ...
          r, k, faces(r, k));
  end
  repeated = find(faces(:, 1) == faces(:, 2) | faces(:, 2) == faces(:, 3) | ...
                  faces(:, 3) == faces(:, 1), 1);
  if ~isempty(repeated)
    error('lamina:degenerate', 'face %d repeats a vertex: [%d %d %d]', ...
          repeated, faces(repeated, :));
  end

  % Half-edge h = 3 (f - 1) + k runs from corner k to corner k + 1 of face f,
  % with corner k + 2 opposite: the faces' edges in table order.
  from = reshape(faces.', [], 1);
  to = reshape(faces(:, [2 3 1]).', [], 1);
  opposite = reshape(faces(:, [3 1 2]).', [], 1);
  % Groups of half-edges on one undirected edge, numbered by first meeting
  % (unique's 'stable' order, spelt out: Octave 7 lacks its third output).
  [~, first, group] = unique([min(from, to), max(from, to)], 'rows', 'first');
  [first, order] = sort(first(:));
  rank = zeros(numel(order), 1);
  rank(order) = 1:numel(order);
  group = rank(group(:));
  count = accumarray(group, 1);
  last = accumarray(group, (1:numel(group)).', [], @max);

  crowded = find(count >= 3, 1);
  twins = find(count == 2);
  reversed = from(last(twins)) == to(first(twins));
  misoriented = twins(find(~reversed, 1));
  if ~isempty(crowded) && (isempty(misoriented) || first(crowded) < first(misoriented))
    members = find(group == crowded);
    error('lamina:nonManifold', ...
          'edge (%d, %d) belongs to %d faces (rows %s of faces); the mesh is not manifold there', ...
          from(first(crowded)), to(first(crowded)), count(crowded), ...
          strjoin(arrayfun(@(h) sprintf('%d', ceil(h / 3)), members.', 'UniformOutput', false), ', '));
  end
  if ~isempty(misoriented)
    h = first(misoriented);
    error('lamina:orientation', ...
          ['faces %d and %d both run along edge (%d, %d) from %d to %d; ' ...
           'neighbouring faces must be oriented consistently'], ...
          ceil(h / 3), ceil(last(misoriented) / 3), from(h), to(h), from(h), to(h));
  end

  d = -ones(numel(first), 1);
  d(twins) = opposite(last(twins));
  edges = [from(first), to(first), opposite(first), d];
end

%!assert(lamina_edge_table([0 1 2; 1 3 2]), [0 1 2 -1; 1 2 0 3; 2 0 1 -1; 1 3 2 -1; 3 2 1 -1])
%!assert(size(lamina_edge_table(zeros(0, 3))), [0 4])
%!assert(lamina_edge_table([0.9 1.5 2.2]), [0 1 2 -1; 1 2 0 -1; 2 0 1 -1])

%!test  # a closed mesh: every edge once, both wings present
%! F = [0 2 1; 0 3 2; 4 5 6; 4 6 7; 0 1 5; 0 5 4; 1 2 6; 1 6 5; 2 3 7; 2 7 6; 3 0 4; 3 4 7];
%! E = lamina_edge_table(F);
%! assert(size(E), [18 4]);
%! assert(all(E(:, 4) >= 0));
%! assert(size(unique(sort(E(:, 1:2), 2), 'rows'), 1), 18);

%!test  # a rigidly moved cube has no energy
%! V = [0 0 0; 1 0 0; 1 1 0; 0 1 0; 0 0 1; 1 0 1; 1 1 1; 0 1 1];
%! F = [0 2 1; 0 3 2; 4 5 6; 4 6 7; 0 1 5; 0 5 4; 1 2 6; 1 6 5; 2 3 7; 2 7 6; 3 0 4; 3 4 7];
%! R = [cos(0.9) 0 -sin(0.9); 0 1 0; sin(0.9) 0 cos(0.9)];
%! Q = V * R.' + [3 -2 0.5];
%! [e, g] = lamina_work_deriv(Q, 1.3, 2.1, F, V, lamina_edge_table(F));
%! assert(abs(e) < 1e-13);
%! assert(max(abs(g(:))) < 1e-12);

%!error id=lamina:nonManifold lamina_edge_table([0 1 2; 1 0 3; 0 1 4])
%!error id=lamina:orientation lamina_edge_table([0 1 2; 0 1 3])
%!error id=lamina:degenerate lamina_edge_table([0 1 2; 3 3 1])
%!error id=lamina:badIndex lamina_edge_table([0 1 2; 1 -1 2])
%!error id=lamina:badIndex lamina_edge_table([0 1 NaN])
%!error id=lamina:badSize lamina_edge_table([0 1 2 3])
%!error <edge \(0, 1\) belongs to 3 faces \(rows 1, 2, 3 of faces\)> lamina_edge_table([0 1 2; 1 0 3; 0 1 4])
