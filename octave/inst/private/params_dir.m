## -*- texinfo -*-
## @deftypefn {} {@var{dir} =} params_dir ()
## Folder of the parameter tables: @env{CCS_PARAMS_DIR} when set (as for the
## @command{ccs} program), else the tables installed with the package, else
## those of the source tree the functions are run from.
## @end deftypefn

function dir = params_dir ()
  dir = getenv ("CCS_PARAMS_DIR");
  if (! isempty (dir))
    return;
  endif
  inst = fileparts (fileparts (mfilename ("fullpath")));
  dir = fullfile (inst, "params");
  if (! isfolder (dir))
    dir = fullfile (fileparts (fileparts (inst)), "data", "params");
  endif
endfunction
