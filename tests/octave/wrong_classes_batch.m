function wrong_classes_batch(plugin_dir, name, batch, log)
%WRONG_CLASSES_BATCH  One batch of WRONG_CLASSES, run in a child Octave.
%   BATCH 1 to N replaces that argument of a valid call of NAME (see
%   VALID_ARGUMENTS: the six inputs, the options of plug-ins that take them,
%   or lamina_check_edge_table's two) by a value of each wrong class in turn
%   (function handle @sin, a containers.Map,
%   struct, cell, char, logical, int32, single, sparse, complex; the numeric
%   ones keep the valid argument's values and shape, so only the class is
%   wrong; an option's text is taken as its character codes). A wrong value
%   that Octave cannot make of the valid one (a complex logical, say) is
%   left out. BATCH 0 makes the valid call with 0 to 5 outputs. Each case is
%   logged to LOG as "begin CASE" before the call and "end CASE | OUTCOME"
%   after it (OUTCOME: "returned" or "error IDENTIFIER: MESSAGE"), so that
%   the parent can tell which case killed the process; "done" closes a batch
%   that ran to its end.
  addpath(plugin_dir);
  fid = fopen(log, 'w');
  cleanup = onCleanup(@() fclose(fid));
  [valid, nout] = valid_arguments(name);
  f = str2func(name);

  if batch == 0
    for nout = 0:5
      run_case(fid, sprintf('%d outputs', nout), @() call(f, valid, nout));
    end
  else
    x = valid{batch};
    if ischar(x)
      x = double(x);   % an option's text: the numeric classes keep its codes
    end
    makers = {'function handle', @() @sin;
              'containers.Map', @() containers.Map({'a'}, {1});
              'struct', @() struct('value', x);
              'cell', @() num2cell(x);
              'char', @() char(x + 48);
              'logical', @() x ~= 0;
              'int32', @() int32(x);
              'single', @() single(x);
              'sparse', @() sparse(x);
              'complex', @() complex(x, 1)};
    for k = 1:rows(makers)
      try
        value = makers{k, 2}();
      catch
        continue;   % not a value Octave can make of x (a complex logical, say)
      end
      args = valid;
      args{batch} = value;
      run_case(fid, sprintf('%s in argument %d', makers{k, 1}, batch), @() call(f, args, nout));
    end
  end
  fprintf(fid, 'done\n');
end

% Calls f with nout outputs named one by one: Octave checks that each named
% output was set, which it does not for [c{:}] = f(...).
function call(f, args, nout)
  switch nout
    case 0
      f(args{:});
    case 1
      a = f(args{:});
    case 2
      [a, b] = f(args{:});
    case 3
      [a, b, c] = f(args{:});
    case 4
      [a, b, c, d] = f(args{:});
    case 5
      [a, b, c, d, e] = f(args{:});
  end
end

function run_case(fid, what, thunk)
  fprintf(fid, 'begin %s\n', what);
  fflush(fid);
  try
    thunk();
    outcome = 'returned';
  catch err
    id = err.identifier;
    if isempty(id)
      id = '(none)';
    end
    outcome = sprintf('error %s: %s', id, strrep(err.message, "\n", ' '));
    outcome(outcome < 32 | outcome > 126) = '?';   % the log is read back as UTF-8
  end
  fprintf(fid, 'end %s | %s\n', what, outcome);
  fflush(fid);
end
