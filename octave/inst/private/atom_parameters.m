## -*- texinfo -*-
## @deftypefn  {} {@var{radius} =} atom_parameters (@var{run}, "hs")
## @deftypefnx {} {[@var{epsilon_J}, @var{sigma_A}] =} atom_parameters (@var{run}, "lj")
## Per-atom hard-sphere collision radii (Å) or Lennard-Jones pair values
## (well depth in J, sigma in Å) of the run's ion: the options
## @code{radii} / @code{epsilon} (meV) and @code{sigma} when given, else the
## parameter tables. An element without parameters raises
## @code{ccs:missingParameter} naming it.
## @end deftypefn

function [a, b] = atom_parameters (run, kind)
  n = rows (run.ion.xyz);
  if (strcmp (kind, "hs"))
    given = {"radii"};
    columns = {"radius"};
  else
    given = {"epsilon", "sigma"};
    columns = {"epsilon_J", "sigma_A"};
  endif
  have = cellfun (@(f) ! isempty (run.opts.(f)), given);
  if (any (have) && ! all (have))
    error ("ccs:badOption", "%s: give both \"epsilon\" and \"sigma\", or neither",
           run.fname);
  endif
  if (all (have))
    v = cellfun (@(f) per_atom_values (run.fname, f, run.opts.(f), n), given,
                 "uniformoutput", false);
    for k = 1:numel (v)
      if (any (v{k} < 0) || (! strcmp (given{k}, "epsilon") && any (v{k} <= 0)))
        error ("ccs:badOption", "%s: option \"%s\" must hold positive values%s", run.fname,
               given{k}, ifelse (strcmp (given{k}, "epsilon"), " (or 0)", ""));
      endif
    endfor
    if (strcmp (kind, "hs"))
      a = v{1};
    else
      a = v{1} * (constants ().e * 1e-3);  # meV
      b = v{2};
    endif
    return;
  endif

  if (isempty (run.ion.elements))
    error ("ccs:badInput", "%s: no element symbols: give them, or the option%s %s",
           run.fname, ifelse (numel (given) > 1, "s", ""), strjoin (strcat ("\"", given, "\""), " and "));
  endif
  table = run.(kind);
  [found, at] = ismember (run.ion.elements, table.elements);
  if (! all (found))
    el = run.ion.elements{find (! found, 1)};
    if (strcmp (kind, "hs"))
      what = "hard-sphere radius";
      line = [el " <radius in Å>"];
    else
      what = "Lennard-Jones parameters";
      line = [el " <epsilon in meV> <sigma in Å>"];
    endif
    error ("ccs:missingParameter", ["%s: element %s has no %s for %s (method %s); supply ", ...
           "them with \"params\", a table with the line \"@type %s\" and lines \"%s\" ", ...
           "(see the tables in %s), or give %s"], run.fname, el, what, run.gas.name,
           run.method, kind, line, params_dir (),
           strjoin (strcat ("\"", given, "\""), " and "));
  endif
  a = table.(columns{1})(at);
  if (numel (columns) > 1)
    b = table.(columns{2})(at);
  endif
endfunction

function v = ifelse (c, a, b)
  if (c)
    v = a;
  else
    v = b;
  endif
endfunction
