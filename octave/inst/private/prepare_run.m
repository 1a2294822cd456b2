## -*- texinfo -*-
## @deftypefn {} {@var{run} =} prepare_run (@var{fname}, @var{method}, @var{args})
## Everything a calculation function needs before it calls its plug-in: the
## ion (@code{ion}: xyz, elements, charges, masses, mass), the options
## (@code{opts}), the gas (@code{gas}) and its derived inputs (@code{g}), the
## ion charge @code{z}, the statistics and step settings (@code{numerics})
## with the @command{ccs} program's defaults, the parameter tables
## (@code{hs}, @code{lj}) and the run's @code{notes} and @code{warnings}.
## @end deftypefn

function run = prepare_run (fname, method, args)
  [ion, rest] = ion_input (fname, args);
  opts = parse_options (fname, method, rest);
  n = rows (ion.xyz);
  if (opts.no_charges)
    ion.charges = [];
  elseif (! isempty (opts.charges))
    ion.charges = per_atom_values (fname, "charges", opts.charges, n);
  endif
  if (! isempty (opts.masses))
    ion.masses = per_atom_values (fname, "masses", opts.masses, n);
  endif
  if (isempty (ion.masses))
    error ("ccs:badInput", "%s: no masses: give the element symbols or the option \"masses\"",
           fname);
  endif
  if (any (ion.masses <= 0))
    error ("ccs:badInput", "%s: masses: atom %d has a mass that is not positive", fname,
           find (ion.masses <= 0, 1));
  endif
  if (! isempty (opts.frames) && rows (opts.frames) != n)
    error ("ccs:badOption", "%s: option \"frames\" has %d atoms per frame; the ion has %d",
           fname, rows (opts.frames), n);
  endif
  ion.mass = sum (ion.masses);

  run.fname = fname;
  run.method = method;
  run.ion = ion;
  run.opts = opts;
  run.notes = {};
  run.warnings = {};
  [run.gas, run.hs, run.lj] = load_tables (fname, opts);
  run.g = gas_inputs (run.gas, opts.temperature, opts.pressure);

  ## Ion charge: the option, else the partial charges' sum rounded, else 1.
  if (! isempty (opts.charge))
    run.z = opts.charge;
  elseif (! isempty (ion.charges))
    q = sum (ion.charges);
    run.z = round (q);
    if (run.z == 0)
      error ("ccs:badInput", ["%s: the partial charges sum to %.3f, a charge of 0; ", ...
                              "give the ion's charge with \"charge\""], fname, q);
    endif
  else
    run.z = 1;
  endif
  field = any (strcmp (method, {"tm", "lj"}));
  if (field && ! isempty (ion.charges) && abs (sum (ion.charges) - run.z) > 0.5)
    run.warnings{end+1} = sprintf (["the partial charges sum to %.3f but the ion charge ", ...
                                    "is %g; the field comes from the partial charges"],
                                   sum (ion.charges), run.z);
  endif
  run.numerics = default_numerics (method, opts);
endfunction

## Statistics and step settings: the options, else the program's defaults
## (its own definition, from its convergence study on the examples), and
## the nitrogen model of lj.
function num = default_numerics (method, opts)
  d = __ccs_readers__ ("defaults", method, opts.tensor, opts.gas);
  num = struct ("orientations", d.orientations, "trajectories", d.trajectories,
                "deltatenhance", d.deltatenhance, "multiplier", d.multiplier);
  for f = {"orientations", "trajectories", "deltatenhance", "multiplier"}
    if (! isempty (opts.(f{1})))
      num.(f{1}) = opts.(f{1});
    endif
  endfor
  if (opts.tensor)
    num.orientations = 3;
  endif
  num.boxdomain = opts.boxdomain;  # empty: the method's default, set by the caller
  num.n2model = d.n2model;
endfunction

## The gas record and the parameter tables of the gas, with the user's
## tables ("params") added to or replacing entries of the same kind.
function [gas, hs, lj] = load_tables (fname, opts)
  dir = params_dir ();
  gases = __ccs_readers__ ("gases", fullfile (dir, "gases.tsv"));
  k = find (strcmp (gases.name, opts.gas), 1);
  if (isempty (k))
    error ("ccs:badOption", "%s: gas \"%s\" is not in %s", fname, opts.gas,
           fullfile (dir, "gases.tsv"));
  endif
  gas = struct ("name", opts.gas, "mass_u", gases.mass_u(k),
                "polarizability_A3", gases.polarizability_A3(k));
  if (! isempty (opts.polarizability))
    gas.polarizability_A3 = opts.polarizability;
  endif
  prefix = lower (opts.gas);
  hs = __ccs_readers__ ("params", fullfile (dir, [prefix "_hs.tsv"]));
  lj = __ccs_readers__ ("params", fullfile (dir, [prefix "_lj.tsv"]));
  for f = opts.params
    t = __ccs_readers__ ("params", f{1});
    if (strcmp (t.kind, "hs"))
      hs = merge_table (hs, t);
    else
      lj = merge_table (lj, t);
    endif
  endfor
endfunction

function t = merge_table (t, add)
  values = setdiff (fieldnames (t), {"kind", "source", "elements"});
  [known, at] = ismember (add.elements, t.elements);
  for f = values'
    t.(f{1})(at(known)) = add.(f{1})(known);
    t.(f{1}) = [t.(f{1}); add.(f{1})(! known)];
  endfor
  t.elements = [t.elements; add.elements(! known)];
  t.source = [t.source ", " add.source];
endfunction
