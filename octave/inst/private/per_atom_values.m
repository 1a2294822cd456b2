## -*- texinfo -*-
## @deftypefn {} {@var{v} =} per_atom_values (@var{fname}, @var{name}, @var{v}, @var{n})
## Per-atom values named @var{name}: empty (none given, or all NaN), or
## @var{n} finite values as a column. Anything else raises @code{ccs:badInput}.
## @end deftypefn

function v = per_atom_values (fname, name, v, n)
  if (isempty (v) || all (isnan (v(:))))
    v = [];
    return;
  endif
  if (! (isnumeric (v) && isvector (v) && numel (v) == n))
    error ("ccs:badInput", "%s: %s must have one value per atom (%d)", fname, name, n);
  endif
  v = double (v(:));
  k = find (! isfinite (v), 1);
  if (! isempty (k))
    error ("ccs:badInput", "%s: %s: atom %d has no finite value (give every atom one, or none)",
           fname, name, k);
  endif
endfunction
