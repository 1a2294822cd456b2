## -*- texinfo -*-
## @deftypefn {} {@var{opts} =} parse_options (@var{fname}, @var{method}, @var{args})
## Name-value options of the calculation function @var{fname} (method
## @var{method}: pa, ehss, tm, lj), checked and with the defaults of the
## @command{ccs} program filled in where they do not depend on the ion.
## A bad option raises @code{ccs:badOption} naming it.
## @end deftypefn

function opts = parse_options (fname, method, args)
  common = {"gas", "temperature", "pressure", "charge", "seed", "params", ...
            "polarizability", "verbose", "charges", "masses"};
  per_method.pa = {"orientations", "radii"};
  per_method.ehss = {"orientations", "trajectories", "accommodation", ...
                     "reemission", "maxwell", "tensor", "radii", "threads"};
  per_method.tm = {"orientations", "trajectories", "deltatenhance", ...
                   "multiplier", "boxdomain", "accommodation", "reemission", ...
                   "maxwell", "tensor", "fixed", "frames", "radii", "threads"};
  per_method.lj = {"orientations", "trajectories", "deltatenhance", ...
                   "boxdomain", "n2model", "tensor", "epsilon", "sigma", "threads"};
  allowed = [common, per_method.(method)];
  known = unique ([common, struct2cell(per_method){:}]);

  opts = struct ("gas", "He", "temperature", 298.15, "pressure", 101325,
                 "charge", [], "seed", [], "params", {{}}, "polarizability", [],
                 "verbose", false, "charges", [], "masses", [],
                 "orientations", [], "trajectories", [], "deltatenhance", [],
                 "multiplier", [], "boxdomain", [], "accommodation", 0,
                 "reemission", "cosine", "maxwell", false, "tensor", false,
                 "fixed", false, "frames", [], "n2model", "", "radii", [],
                 "epsilon", [], "sigma", [], "threads", [], "no_charges", false);

  if (mod (numel (args), 2) != 0)
    bad (fname, "options come in name-value pairs; the last option has no value");
  endif
  for k = 1:2:numel (args)
    name = args{k};
    if (! (ischar (name) && isrow (name)))
      bad (fname, sprintf ("option name %d is not a character string", (k + 1) / 2));
    endif
    name = lower (name);
    if (! any (strcmp (name, allowed)))
      if (any (strcmp (name, known)))
        bad (fname, sprintf ("option \"%s\" does not apply to %s", name, fname));
      endif
      bad (fname, sprintf ("unknown option \"%s\" (options of %s: %s)", name, fname,
                           strjoin (sort (allowed), ", ")));
    endif
    if (strcmp (name, "charges") && isempty (args{k + 1}))
      opts.no_charges = true;  # [] drops the atoms' partial charges
      continue;
    endif
    opts.(name) = check_value (fname, name, args{k + 1});
  endfor

  if (strcmp (opts.n2model, "three-site") && ! strcmp (opts.gas, "N2"))
    bad (fname, "option \"n2model\" \"three-site\" needs \"gas\" \"N2\"");
  endif
  if (opts.tensor && ! isempty (opts.frames))
    bad (fname, "option \"frames\" cannot be combined with \"tensor\"");
  endif
  if (opts.fixed && ! isempty (opts.frames))
    bad (fname, "option \"frames\" needs moving atoms (\"fixed\" false)");
  endif
  if (isempty (opts.seed))
    opts.seed = randi ([0, 4294967295]);  # drawn, and reported in the result
  endif
endfunction

function v = check_value (fname, name, v)
  switch (name)
    case "gas"
      choices = {"He", "N2"};
      k = find (strcmpi (v, choices));
      if (! ischar (v) || isempty (k))
        bad (fname, "option \"gas\" must be \"He\" or \"N2\"");
      endif
      v = choices{k};
    case {"reemission", "n2model"}
      if (strcmp (name, "reemission"))
        choices = {"cosine", "specular"};
      else
        choices = {"three-site", "atom"};
      endif
      if (! (ischar (v) && any (strcmpi (v, choices))))
        bad (fname, sprintf ("option \"%s\" must be \"%s\" or \"%s\"", name, choices{:}));
      endif
      v = lower (v);
    case "temperature"
      v = positive (fname, name, v, "a positive number of kelvin");
    case "pressure"
      v = positive (fname, name, v, "a positive number of pascal");
    case {"deltatenhance", "boxdomain"}
      v = positive (fname, name, v, "a positive number");
    case "charge"
      if (! real_scalar (v) || v == 0)
        bad (fname, "option \"charge\" must be a non-zero number (an ion has a charge)");
      endif
    case "polarizability"
      if (! real_scalar (v) || v < 0)
        bad (fname, "option \"polarizability\" must be a number of Å^3, not negative");
      endif
    case "accommodation"
      if (! real_scalar (v) || v < 0 || v > 1)
        bad (fname, "option \"accommodation\" must be a probability from 0 to 1");
      endif
    case "orientations"
      v = whole (fname, name, v, 1, 1e8);
    case "trajectories"
      v = positive (fname, name, v, "a number of trajectories from 1 to 1e9");
      if (v < 1 || v > 1e9)
        bad (fname, "option \"trajectories\" must be a number of trajectories from 1 to 1e9");
      endif
    case "multiplier"
      v = positive (fname, name, v, "a number of collision passes from 1 to 1e6");
      if (v < 1 || v > 1e6)
        bad (fname, "option \"multiplier\" must be a number of collision passes from 1 to 1e6");
      endif
    case "seed"
      v = whole (fname, name, v, 0, 4294967295);
    case "threads"
      v = whole (fname, name, v, 1, 4096);
    case {"verbose", "maxwell", "tensor", "fixed"}
      if (! (isscalar (v) && (islogical (v) || (isnumeric (v) && any (v == [0 1])))))
        bad (fname, sprintf ("option \"%s\" must be true or false", name));
      endif
      v = logical (v);
    case "params"
      if (ischar (v) && isrow (v))
        v = {v};
      endif
      if (! iscellstr (v))
        bad (fname, "option \"params\" must be a file name or a cell array of file names");
      endif
      v = v(:)';
    case {"charges", "masses", "radii", "epsilon", "sigma"}
      if (! (isnumeric (v) && isreal (v) && isvector (v)))
        bad (fname, sprintf ("option \"%s\" must be a numeric vector, one value per atom", name));
      endif
      v = double (v(:));
    case "frames"
      if (! (isnumeric (v) && isreal (v) && ndims (v) == 3 && columns (v) == 3
             && size (v, 3) >= 2 && all (isfinite (v(:)))))
        bad (fname, "option \"frames\" must be an N x 3 x F array of finite coordinates (Å), F >= 2 frames");
      endif
      v = double (v);
  endswitch
endfunction

function tf = real_scalar (v)
  tf = isnumeric (v) && isreal (v) && isscalar (v) && isfinite (v);
endfunction

function v = positive (fname, name, v, what)
  if (! real_scalar (v) || v <= 0)
    bad (fname, sprintf ("option \"%s\" must be %s", name, what));
  endif
  v = double (v);
endfunction

function v = whole (fname, name, v, lo, hi)
  if (! real_scalar (v) || v != fix (v) || v < lo || v > hi)
    bad (fname, sprintf ("option \"%s\" must be a whole number from %d to %d", name, lo, hi));
  endif
  v = double (v);
endfunction

function bad (fname, msg)
  error ("ccs:badOption", "%s: %s", fname, msg);
endfunction
