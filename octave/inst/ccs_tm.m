## -*- texinfo -*-
## @deftypefn  {} {@var{r} =} ccs_tm (@var{atoms})
## @deftypefnx {} {@var{r} =} ccs_tm (@var{xyz}, @var{elements})
## @deftypefnx {} {@var{r} =} ccs_tm (@dots{}, @var{name}, @var{value}, @dots{})
## Collision cross section and mobility of an ion by the trajectory method
## with hard-sphere atoms: gas molecules move in the ion-induced-dipole
## field of the ion's charges and strike the atoms (plug-in
## @code{tracerun_plus}, or @code{tracerun} with @qcode{"fixed"}).
##
## @strong{Inputs}
##
## @table @var
## @item atoms
## A structure as @code{ccs_read} returns it (one element): @code{xyz},
## @code{elements}, and optionally @code{charges} (partial charges, e) and
## @code{masses}.
## @item xyz
## N x 3 coordinates of the atoms (Å).
## @item elements
## N element symbols (cell array or character rows); @code{@{@}} when the
## options @qcode{"radii"} and @qcode{"masses"} give everything.
## @end table
##
## Without partial charges the charge z sits at the centroid; with them the
## field comes from the charged atoms.
##
## @strong{Options} (defaults as the @command{ccs} program)
##
## @table @asis
## @item @qcode{"gas"}
## @qcode{"He"} (default) or @qcode{"N2"}: gas mass, polarizability and radii.
## @item @qcode{"temperature"}, @qcode{"pressure"}
## Gas conditions (298.15 K, 101325 Pa).
## @item @qcode{"charge"}
## Ion charge z (elementary charges; default: the partial charges' sum
## rounded, else 1).
## @item @qcode{"orientations"}, @qcode{"trajectories"}
## Random orientations (500) and trajectories per orientation (300).
## @item @qcode{"deltatenhance"}
## Time-step divisor (40): dt = 1e-10 d^2/(v_c deltatenhance) s, d the
## distance (Å) to the nearest atom.
## @item @qcode{"multiplier"}
## Collision passes per trajectory (100).
## @item @qcode{"boxdomain"}
## Entry-domain margin (Å) for a weakly charged ion; default the field radius
## (Kappa z^2/0.005)^(1/4), where the ion-induced-dipole energy falls to
## 0.5 % of k_B T (at least 1.5 Å). For strong (|q| > 1) or several charges
## the plug-in sizes the domain from the field itself and ignores it.
## @item @qcode{"accommodation"}, @qcode{"reemission"}, @qcode{"maxwell"}
## Diffuse collisions, as for @code{ccs_ehss}.
## @item @qcode{"fixed"}
## true: fixed atoms (@code{tracerun}); false (default): @code{tracerun_plus}.
## @item @qcode{"frames"}
## N x 3 x F coordinates (Å) of F >= 2 frames 1 fs apart: the atoms move
## along them and are struck with their own masses. Without it the ion is
## rigid: its atoms are struck as immovable (@code{massarray} 1e30,
## @code{Move_pos} the coordinates twice), its recoil being in the reduced
## mass of the mobility relation. With more than 10 partial charges the
## plug-in strikes the atoms as fixed and the frames are not used (a
## warning says so).
## @item @qcode{"tensor"}
## true: three fixed orientations along the axes and the mobility tensor
## (the same trajectories in total; no standard error).
## @item @qcode{"threads"}
## Threads of the plug-in's parallel loops during the call (default: all
## processors, or @env{OMP_NUM_THREADS}); reported in @code{r.threads}.
## @item @qcode{"seed"}
## Seed (0 to 4294967295; drawn with @code{randi} when not given, reported
## in @code{r.seed}). It fixes the orientations; the trajectories come from
## the plug-in's own per-thread streams, which continue from call to call
## (repeated calls differ; they depend on the thread count).
## @item @qcode{"radii"}, @qcode{"params"}, @qcode{"charges"}, @qcode{"masses"}, @qcode{"polarizability"}, @qcode{"verbose"}
## As for @code{ccs_pa}.
## @end table
##
## @strong{Output}: a structure @var{r} with @code{ccs} (Å^2, the mean of
## the per-orientation cross sections, each from its orientation's momentum
## transfer), @code{ccs_se} (Å^2, its standard error), @code{K} and
## @code{K0} (cm^2/(V s), Mason-Schamp relation), @code{per_orientation}
## (Å^2), @code{charge}, @code{mass} (u), @code{orientations},
## @code{orientations_used}, @code{trajectories} (per orientation),
## @code{gas}, @code{temperature}, @code{pressure}, @code{seed},
## @code{threads}, @code{tensor}, @code{seconds}, @code{notes}, @code{warnings}, and
## @code{inputs}: the plug-in's inputs by name (SI: @code{rho_g},
## @code{v_c_t}, @code{Force_const}, @code{Kappa}, @code{v_c2}, ...; see the
## README's table of relations).
##
## Errors: @code{ccs:badOption} (naming the option), @code{ccs:badInput},
## @code{ccs:missingParameter} (naming the element).
##
## @strong{Example}
##
## @example
## @group
## s = ccs_read ("examples/phenethylammonium.mol2");
## r = ccs_tm (s, "gas", "He");
## printf ("%.1f +- %.1f A^2, K0 = %.3f cm^2/(V s)\n", r.ccs, r.ccs_se, r.K0);
## @end group
## @end example
##
## @seealso{ccs_read, ccs_pa, ccs_ehss, ccs_lj}
## @end deftypefn

function r = ccs_tm (varargin)
  t0 = tic ();
  run = prepare_run ("ccs_tm", "tm", varargin);
  restore = use_threads (run.opts.threads);
  R = atom_parameters (run, "hs");
  o = run.opts;
  if (o.fixed)
    run.method = "tm-fixed";
  endif
  in = trajectory_inputs (run, R, run.ion.charges, o.boxdomain);
  n = rows (run.ion.xyz);
  in.seedn = o.seed;
  in.MobcalHS = double (! o.tensor);
  plugin = "tracerun";
  if (! o.fixed)
    plugin = "tracerun_plus";
    if (isempty (o.frames))  # rigid: immovable atoms at rest
      in.massarray = 1e30 * ones (n, 1);
      in.Move_pos = [run.ion.xyz; run.ion.xyz];
    else
      in.massarray = run.ion.masses;
      in.Move_pos = reshape (permute (o.frames, [1 3 2]), [], 3);
      if (numel (run.ion.charges) > 10)
        run.warnings{end+1} = ["more than 10 partial charges: the atoms are struck as ", ...
                               "fixed, so the frames and masses of \"frames\" are not used"];
      endif
    endif
    in.cfactor = 1;
  endif
  out = run_plugin (o.verbose, plugin, 9, struct2cell (in)');
  if (o.tensor)
    r = finish_result (run, plugin, in, [], out{9}, toc (t0));
    return;
  endif
  ## Each orientation's cross section from its row of the orientation table
  ## (K_i from the row, the cross section from K_i, as the plug-in does for
  ## the mean).
  ratio = in.m_gas / in.m_w;
  G = sqrt (in.m_gas * 0.3580986219567645 / in.Kb / in.T0) ...
      * (sqrt (1 + ratio) * in.z * in.e / in.rho_g);
  K_i = sqrt (ratio + 1) ./ out{1}(:,1) * in.z * in.e * 10000;
  per = G ./ K_i * 10000 * 1e20 * pi * 0.25;
  r = finish_result (run, plugin, in, per, NaN, toc (t0));
endfunction
