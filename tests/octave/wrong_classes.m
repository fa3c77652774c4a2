function ok = wrong_classes(plugin_dir, name)
%WRONG_CLASSES  No argument of any class makes plug-in NAME kill Octave.
%   OK = WRONG_CLASSES(PLUGIN_DIR, NAME) passes a value of each wrong class
%   (see WRONG_CLASSES_BATCH) in each of NAME's argument slots (as many as
%   VALID_ARGUMENTS gives it: the six inputs, the name and value of each
%   option of lamina_work_hessian, lamina_work_rest_deriv and lamina_solve,
%   the two of
%   lamina_check_edge_table), whichever kind
%   of file NAME is in PLUGIN_DIR (a MEX file, or an oct-file), and calls
%   NAME with 0 to 5 outputs, one more than any plug-in returns. Each batch
%   runs in a child Octave process, so that a plug-in that aborts or crashes
%   Octave fails this test instead of ending it: the child must exit with
%   status 0 after its last case. Every call must return or raise an error
%   whose identifier starts with "lamina:" or "MATLAB:". The outcome of
%   every case is printed.
  here = fileparts(mfilename('fullpath'));
  octave = fullfile(OCTAVE_HOME(), 'bin', 'octave-cli');
  addpath(plugin_dir);
  printf('%s is %s\n', name, which(name));
  ok = true;
  for batch = 0:numel(valid_arguments(name))   % 0: the output counts; then the slots
    log = [tempname() '.log'];
    code = sprintf('addpath(''%s''); wrong_classes_batch(''%s'', ''%s'', %d, ''%s'')', ...
                   here, plugin_dir, name, batch, log);
    [status, output] = system(sprintf('"%s" --no-gui --norc --quiet --eval "%s" 2>&1', ...
                                      octave, code));
    lines = {};
    if exist(log, 'file')
      text = fileread(log);
      text(text > 127) = '?';   % a message may quote text that is not UTF-8
      lines = strsplit(strtrim(text), "\n");
      delete(log);
    end
    if status ~= 0 || isempty(lines) || ~strcmp(lines{end}, 'done')
      ok = false;
      printf('%s, batch %d: the child Octave died (exit status %d)', name, batch, status);
      begun = lines(strncmp(lines, 'begin ', 6));
      if ~isempty(begun)
        printf(' during the case "%s"', begun{end}(7:end));
      end
      printf('; its output:\n%s\n', output);
      continue;
    end
    for k = 1:numel(lines)
      if ~strncmp(lines{k}, 'end ', 4)
        continue;
      end
      [what, outcome] = strtok(lines{k}(5:end), '|');
      outcome = strtrim(outcome(2:end));
      good = strcmp(outcome, 'returned') || strncmp(outcome, 'error lamina:', 13) || ...
             strncmp(outcome, 'error MATLAB:', 13) || unassigned_output(outcome);
      printf('%-5s %s: %-40s %s\n', ifelse(good, 'ok', 'BAD'), name, strtrim(what), outcome);
      ok = ok && good;
    end
  end
end

% Octave's own error when a call asks for more outputs than the plug-in
% stores: raised by Octave after the plug-in has returned, with no
% identifier. lamina_work_deriv, lamina_work_total and lamina_hinge_mask
% never read the number of requested outputs (they store what they return
% whatever the caller asks), so asking one of them for too many ends here,
% in the host; lamina_work_hessian checks the count itself
% (lamina:tooManyOutputs).
function yes = unassigned_output(outcome)
  yes = ~isempty(regexp(outcome, '^error \(none\): element number [0-9]+ undefined in return list$', 'once'));
end

function v = ifelse(c, a, b)
  if c, v = a; else, v = b; end
end
