function ok = doc_run(scripts, places)
%DOC_RUN  Runs each documentation example SCRIPTS{k} (written by
%   doc_examples.py, line for line the example's code with its claims
%   checked), each in a workspace of its own, and reports each as ok or FAIL
%   under PLACES{k}, "FILE:LINE" of its first line. An example fails when it
%   raises an error (a claim that does not hold raises one) or issues a
%   warning. True when every example passed.
  ok = true;
  for k = 1:numel(scripts)
    printf('\n== %s\n', places{k});
    lastwarn('');
    [passed, message, line] = run_one(scripts{k});
    if line > 0   % where an error arose, in the documentation's lines
      place = regexp(places{k}, '^(.*):(\d+)$', 'tokens', 'once');
      message = sprintf('%s (at %s:%d)', message, place{1}, str2double(place{2}) + line - 1);
    end
    [warning_text, warning_id] = lastwarn();
    if passed && ~isempty(warning_text)
      passed = false;
      message = sprintf('it issued the warning %s: %s', warning_id, warning_text);
    end
    close all;
    if passed
      printf('ok   %s\n', places{k});
    else
      printf('FAIL %s: %s\n', places{k}, message);
      ok = false;
    end
  end
  printf('\n%d examples, %s\n', numel(scripts), ifelse(ok, 'all passed', 'some FAILED'));
end

% The script runs in this function's workspace, which ends with the call.
% LINE is the script's line where an error other than a failed claim (which
% names its place itself) arose, or 0.
function [passed, message, line] = run_one(doc_run_script)
  passed = true;
  message = '';
  line = 0;
  try
    source(doc_run_script);
  catch err
    passed = false;
    message = regexprep(strtrim(err.message), '\s*\n\s*', '; ');
    at = err.stack(strcmp({err.stack.file}, doc_run_script));
    parse = regexp(message, 'near line (\d+) of file', 'tokens', 'once');
    if ~strcmp(err.identifier, 'lamina:docClaim') && ~isempty(at)
      line = at(1).line;
    elseif ~isempty(parse)
      line = str2double(parse{1});
    end
  end
end

function v = ifelse(c, a, b)
  if c, v = a; else, v = b; end
end
