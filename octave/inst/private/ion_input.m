## -*- texinfo -*-
## @deftypefn {} {[@var{ion}, @var{rest}] =} ion_input (@var{fname}, @var{args})
## The ion of a calculation function's call: either a structure as
## @code{ccs_read} returns it (fields @code{xyz}, @code{elements}, optionally
## @code{charges} and @code{masses}) or the coordinates and the element
## symbols as two inputs. @var{rest} are the remaining inputs (the options).
## @var{ion} has @code{xyz} (N x 3, Å), @code{elements} (N x 1 cell,
## canonical symbols; empty when none were given), @code{charges} (N x 1
## partial charges, or empty), @code{masses} (N x 1, u, or empty). Bad input
## raises @code{ccs:badInput}.
## @end deftypefn

function [ion, rest] = ion_input (fname, args)
  if (isempty (args))
    print_usage (fname);
  endif
  ion = struct ("xyz", [], "elements", {{}}, "charges", [], "masses", []);
  if (isstruct (args{1}))
    s = args{1};
    rest = args(2:end);
    if (numel (s) != 1)
      bad (fname, sprintf ("atoms: a structure array of %d structures; pass one, as s(k)",
                           numel (s)));
    endif
    if (! all (isfield (s, {"xyz", "elements"})))
      bad (fname, "atoms: a structure needs the fields xyz and elements (as ccs_read returns)");
    endif
    xyz = s.xyz;
    elements = s.elements;
    if (isfield (s, "charges"))
      ion.charges = s.charges;
    endif
    if (isfield (s, "masses"))
      ion.masses = s.masses;
    endif
  else
    if (numel (args) < 2)
      bad (fname, "give the coordinates and the element symbols, or a structure from ccs_read");
    endif
    xyz = args{1};
    elements = args{2};
    rest = args(3:end);
  endif

  if (! (isnumeric (xyz) && isreal (xyz) && ismatrix (xyz) && columns (xyz) == 3
         && rows (xyz) >= 1))
    bad (fname, "xyz must be an N x 3 array of coordinates (Å), one row per atom");
  endif
  if (! all (isfinite (xyz(:))))
    k = find (! all (isfinite (xyz), 2), 1);
    bad (fname, sprintf ("xyz: atom %d: coordinates are not finite numbers", k));
  endif
  n = rows (xyz);
  if (n > 150000)
    bad (fname, sprintf ("%d atoms; at most 150000 are supported", n));
  endif
  ion.xyz = double (xyz);

  if (ischar (elements))
    elements = cellstr (elements);
  endif
  if (! isempty (elements))
    if (! iscellstr (elements) || numel (elements) != n)
      bad (fname, sprintf ("elements must be %d element symbols, one per row of xyz", n));
    endif
    [Z, mass, symbol] = __ccs_readers__ ("elements", strtrim (elements(:)));
    k = find (Z == 0, 1);
    if (! isempty (k))
      bad (fname, sprintf ("atom %d: unknown element \"%s\"", k, elements{k}));
    endif
    ion.elements = symbol;
    if (isempty (ion.masses))
      ion.masses = mass;
    endif
  endif
  ion.charges = per_atom_values (fname, "charges", ion.charges, n);
  ion.masses = per_atom_values (fname, "masses", ion.masses, n);
endfunction

function bad (fname, msg)
  error ("ccs:badInput", "%s: %s", fname, msg);
endfunction
