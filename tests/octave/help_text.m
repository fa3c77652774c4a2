function ok = help_text(plugin_dir, name)
%HELP_TEXT  Checks that "help NAME" prints NAME's help: the name in capitals
%   and the size table (" by 3"), and none of the test blocks ("%!") that
%   follow the help in the same file; that it says whether NAME warns
%   lamina:oneBased; and that its "See also" names no LAMINA_BUILD, which
%   only the source tree's matlab folder holds (neither the folder the
%   plug-ins are built into nor the Octave package).
  addpath(plugin_dir);
  s = evalc(['help ' name]);
  disp(s);
  ok = ~isempty(strfind(s, upper(name))) && ~isempty(strfind(s, ' by 3')) && ...
       isempty(strfind(s, '%!')) && ~isempty(strfind(s, 'lamina:oneBased')) && ...
       isempty(regexp(s, 'See also[^.]*LAMINA_BUILD', 'once'));
end
