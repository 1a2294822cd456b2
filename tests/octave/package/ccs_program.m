function res = ccs_program (file, varargin)
  % Runs the ccs program (CCS_PROGRAM) on FILE with the given options and
  % --json --quiet; returns the first result row (decoded JSON).
  prog = getenv ("CCS_PROGRAM");
  assert (! isempty (prog), "CCS_PROGRAM is not set");
  args = sprintf (" '%s'", varargin{:});
  [status, out] = system (sprintf ("'%s' --json --quiet%s '%s' 2>&1", prog, args, file));
  assert (status == 0, sprintf ("ccs failed (%d): %s", status, out));
  j = jsondecode (out);
  res = j.results(1);
end
