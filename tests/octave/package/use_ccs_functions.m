function root = use_ccs_functions ()
  % Puts the package's functions (octave/inst) on the path; returns the
  % repository's root folder.
  root = fileparts (fileparts (fileparts (fileparts (mfilename ("fullpath")))));
  addpath (fullfile (root, "octave", "inst"));
end
