## -*- texinfo -*-
## @deftypefn  {} {@var{s} =} ccs_read (@var{file})
## @deftypefnx {} {@var{s} =} ccs_read (@var{file}, @var{name}, @var{value}, @dots{})
## Atoms of the structures in a structure file, read as the @command{ccs}
## program reads them: everything Open Babel reads (XYZ, PDB, mol2, SDF,
## mmCIF, ...), PQR and the @file{.mfj} format. The format follows the file
## name's extension.
##
## The file is read by the program's own C++ readers, loaded as the small
## plug-in @code{__ccs_readers__} that the package builds with the others:
## the functions then see exactly the atoms, elements, masses and charges the
## program sees, with the same messages for bad files, and need neither the
## program nor a temporary file.
##
## @strong{Options}
##
## @table @asis
## @item @qcode{"charges"}
## Where partial charges come from: @qcode{"file"} (default; PQR, mol2,
## @file{.mfj} and other formats that carry them), one of Open Babel's charge
## models @qcode{"gasteiger"}, @qcode{"mmff94"}, @qcode{"eem"}, or
## @qcode{"none"}.
## @item @qcode{"charge"}
## Total charge spread evenly over the atoms of an @file{.mfj} file whose
## charge mode is @code{equal} (1).
## @end table
##
## @strong{Output}: a structure array @var{s}, one element per structure in
## the file (conformer, model or frame), with the fields @code{file},
## @code{title}, @code{conformer} (1-based index), @code{elements} (N x 1
## cell of element symbols), @code{Z} (atomic numbers), @code{xyz} (N x 3,
## Å), @code{masses} (N x 1, standard atomic weights in u; an @file{.mfj}
## file's own masses) and @code{charges} (N x 1 partial charges in e; NaN
## when the file has none). Each element can be passed to @code{ccs_pa},
## @code{ccs_ehss}, @code{ccs_tm} and @code{ccs_lj}.
##
## A file that cannot be read raises @code{ccs:badFile} with the reader's
## message (naming the file and the line where there is one); a bad option
## raises @code{ccs:badOption}.
##
## @strong{Example}
##
## @example
## @group
## s = ccs_read ("examples/phenethylammonium.mol2");
## printf ("%d atoms, %.2f u, charge %g\n", rows (s.xyz), sum (s.masses), sum (s.charges));
## @end group
## @end example
##
## @seealso{ccs_pa, ccs_ehss, ccs_tm, ccs_lj}
## @end deftypefn

function s = ccs_read (file, varargin)
  if (nargin < 1)
    print_usage ();
  endif
  if (! (ischar (file) && isrow (file)))
    error ("ccs:badInput", "ccs_read: FILE must be a file name");
  endif
  charges = "file";
  total = 1;
  if (mod (numel (varargin), 2) != 0)
    error ("ccs:badOption", "ccs_read: options come in name-value pairs; the last option has no value");
  endif
  for k = 1:2:numel (varargin)
    name = varargin{k};
    value = varargin{k + 1};
    if (! (ischar (name) && isrow (name)))
      error ("ccs:badOption", "ccs_read: option name %d is not a character string", (k + 1) / 2);
    endif
    switch (lower (name))
      case "charges"
        choices = {"file", "gasteiger", "mmff94", "eem", "none"};
        if (! (ischar (value) && any (strcmpi (value, choices))))
          error ("ccs:badOption", "ccs_read: option \"charges\" must be one of %s",
                 strjoin (strcat ("\"", choices, "\""), ", "));
        endif
        charges = lower (value);
      case "charge"
        if (! (isnumeric (value) && isreal (value) && isscalar (value) && isfinite (value)
               && value != 0))
          error ("ccs:badOption", "ccs_read: option \"charge\" must be a non-zero number");
        endif
        total = double (value);
      otherwise
        error ("ccs:badOption", "ccs_read: unknown option \"%s\" (options: charges, charge)",
               name);
    endswitch
  endfor
  try
    s = __ccs_readers__ ("read", file, charges, total);
  catch err
    error (err.identifier, "ccs_read: %s", regexprep (err.message, "^__ccs_readers__: ", ""));
  end_try_catch
endfunction
