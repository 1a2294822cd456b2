## -*- texinfo -*-
## @deftypefn  {} {@var{r} =} ccs_pa (@var{atoms})
## @deftypefnx {} {@var{r} =} ccs_pa (@var{xyz}, @var{elements})
## @deftypefnx {} {@var{r} =} ccs_pa (@dots{}, @var{name}, @var{value}, @dots{})
## Collision cross section and mobility of an ion by the projection
## approximation: the orientation-averaged area of the shadow of the atoms'
## hard spheres (plug-in @code{shadecount}, 20000 sample points per
## orientation).
##
## @strong{Inputs}
##
## @table @var
## @item atoms
## A structure as @code{ccs_read} returns it (one element): @code{xyz},
## @code{elements}, and optionally @code{charges} and @code{masses}.
## @item xyz
## N x 3 coordinates of the atoms (Å).
## @item elements
## N element symbols (cell array or character rows); @code{@{@}} when the
## options @qcode{"radii"} and @qcode{"masses"} give everything.
## @end table
##
## @strong{Options} (defaults as the @command{ccs} program)
##
## @table @asis
## @item @qcode{"gas"}
## @qcode{"He"} (default) or @qcode{"N2"}: selects the radii table.
## @item @qcode{"temperature"}, @qcode{"pressure"}
## Gas conditions for K and K0 (298.15 K, 101325 Pa).
## @item @qcode{"charge"}
## Ion charge z (elementary charges; default: the partial charges' sum
## rounded, else 1); enters K only.
## @item @qcode{"orientations"}
## Number of random orientations (500).
## @item @qcode{"seed"}
## Seed (0 to 4294967295; drawn with @code{randi} when not given, reported
## in @code{r.seed}). It fixes the atom order the plug-in draws; the
## orientations and sample points come from the plug-in's own stream,
## which continues from call to call (repeated calls differ).
## @item @qcode{"radii"}
## N collision radii (Å) instead of the table's.
## @item @qcode{"params"}
## A parameter file (or cell array of them) adding to or replacing the
## shipped table of its type (see the package's @file{params} folder).
## @item @qcode{"charges"}, @qcode{"masses"}
## N partial charges (e) and masses (u) instead of those of @var{atoms};
## @qcode{"charges"}, @code{[]} drops the partial charges (the trajectory
## methods then place the charge z at the centroid).
## @item @qcode{"polarizability"}
## Gas polarizability volume (Å^3) instead of the gas table's.
## @item @qcode{"verbose"}
## true: let the plug-in's lines and the run's notes through (false).
## @end table
##
## @strong{Output}: a structure @var{r} with @code{ccs} (Å^2, the mean of
## the per-orientation areas), @code{ccs_se} (Å^2, standard error of that
## mean), @code{K} and @code{K0} (cm^2/(V s), Mason-Schamp relation with
## the reduced mass of ion and gas molecule), @code{per_orientation} (Å^2),
## @code{charge}, @code{mass} (u), @code{orientations},
## @code{orientations_used}, @code{gas}, @code{temperature}, @code{pressure},
## @code{seed}, @code{threads} (1), @code{seconds}, @code{notes}, @code{warnings}, and
## @code{inputs}: the plug-in's inputs by name (@code{DATA_atoms}: x, y, z,
## radius; @code{r_probe} 0). The plug-in is called once per orientation,
## on one thread (its sample points are not split over threads).
##
## Errors: @code{ccs:badOption} (naming the option), @code{ccs:badInput},
## @code{ccs:missingParameter} (naming the element).
##
## @strong{Example}
##
## @example
## @group
## s = ccs_read ("examples/c60.xyz");
## r = ccs_pa (s, "gas", "He");
## printf ("%.1f +- %.1f A^2\n", r.ccs, r.ccs_se);
## @end group
## @end example
##
## @seealso{ccs_read, ccs_ehss, ccs_tm, ccs_lj}
## @end deftypefn

function r = ccs_pa (varargin)
  t0 = tic ();
  run = prepare_run ("ccs_pa", "pa", varargin);
  ## One orientation per call: its sample points run on one thread, and a
  ## single-threaded call does not wait for idle threads.
  restore = use_threads (1);
  R = atom_parameters (run, "hs");
  n = rows (run.ion.xyz);
  in = struct ("DATA_atoms", [run.ion.xyz, R], "Number_atoms", n, "r_probe", 0,
               "n_rotations", 1, "EHSSPA", 0, "seedn", run.opts.seed);
  args = struct2cell (in)';
  per = zeros (run.numerics.orientations, 1);
  for i = 1:numel (per)
    out = run_plugin (run.opts.verbose, "shadecount", 1, args);
    per(i) = out{1};
  endfor
  r = finish_result (run, "shadecount", in, per, NaN, toc (t0));
  r = rmfield (r, {"trajectories", "tensor"});
  clear restore;
  r.threads = 1;
endfunction
