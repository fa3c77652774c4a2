function ok = help_text(plugin_dir, name)
%HELP_TEXT  Checks that "help NAME" prints NAME's help: the name in capitals
%   and the size table (" by 3"), and none of the test blocks ("%!") that
%   follow the help in the same file.
  addpath(plugin_dir);
  s = evalc(['help ' name]);
  disp(s);
  ok = ~isempty(strfind(s, upper(name))) && ~isempty(strfind(s, ' by 3')) && ...
       isempty(strfind(s, '%!'));
end
