function ok = edge_table_agreement(plugin_dir, dump_dir)
%EDGE_TABLE_AGREEMENT  lamina_edge_table against the C++ builder.
%   For each mesh edge_table_dump wrote to DUMP_DIR, lamina_edge_table (from
%   PLUGIN_DIR) must build the identical table, or, where the C++ builder
%   refused the mesh, raise the same error: the same identifier, the same
%   offending face (1-based here, 0-based there), the same corner for a bad
%   index and the same edge for an orientation or manifold fault.
  addpath(plugin_dir);
  warning('off', 'lamina:oneBased');   % some corrupted meshes lose vertex 0
  files = dir(fullfile(dump_dir, '*.faces.txt'));
  assert(numel(files) > 0, 'no meshes in %s', dump_dir);
  ok = true;
  for k = 1:numel(files)
    name = strrep(files(k).name, '.faces.txt', '');
    F = load(fullfile(dump_dir, files(k).name));
    table = fullfile(dump_dir, [name '.edges.txt']);
    if exist(table, 'file')
      expected = load(table);
      E = lamina_edge_table(F);
      same = isequal(E, expected);
      printf('%-32s %4d faces: %4d edge rows, %s\n', name, rows(F), rows(E), ...
             ifelse(same, 'identical', 'DIFFERENT'));
    else
      expected = strtrim(fileread(fullfile(dump_dir, [name '.error.txt'])));
      try
        lamina_edge_table(F);
        got = 'no error';
      catch err
        got = fields(err);
      end
      same = strcmp(got, expected);
      printf('%-32s %4d faces: C++ %s; .m %s\n', name, rows(F), expected, ...
             ifelse(same, 'the same', got));
    end
    ok = ok && same;
  end
end

% The error as edge_table_dump writes it: "IDENTIFIER FACE CORNER U V", with
% the face and corner 0-based and -1 where a field does not apply.
function s = fields(err)
  m = err.message;
  switch err.identifier
    case 'lamina:badIndex'
      t = regexp(m, '^faces\((\d+),(\d+)\) is ', 'tokens', 'once');
      v = [number(t, 1:2) - 1, -1, -1];
    case 'lamina:degenerate'
      t = regexp(m, '^face (\d+) repeats a vertex: ', 'tokens', 'once');
      v = [number(t, 1) - 1, -1, -1, -1];
    case 'lamina:orientation'
      t = regexp(m, '^faces \d+ and (\d+) both run along edge \((\d+), (\d+)\) ', 'tokens', 'once');
      v = [number(t, 1) - 1, -1, number(t, 2:3)];
    case 'lamina:nonManifold'
      t = regexp(m, ['^edge \((\d+), (\d+)\) belongs to 3 faces \(rows \d+, \d+, \d+ of faces\); ' ...
                     'row (\d+), the third, '], 'tokens', 'once');
      v = [number(t, 3) - 1, -1, number(t, 1:2)];
    otherwise
      t = {};
  end
  if isempty(t)
    s = sprintf('unexpected error %s: %s', err.identifier, m);
  else
    s = sprintf('%s %d %d %d %d', err.identifier, v);
  end
end

% Tokens k of a regexp match as a row of numbers ([] when there was no match).
function n = number(tokens, k)
  n = [];
  if ~isempty(tokens)
    n = reshape(str2double(tokens(k)), 1, []);
  end
end

function v = ifelse(c, a, b)
  if c, v = a; else, v = b; end
end
