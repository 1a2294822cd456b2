## -*- texinfo -*-
## @deftypefn  {} {@var{r} =} ccs_ehss (@var{atoms})
## @deftypefnx {} {@var{r} =} ccs_ehss (@var{xyz}, @var{elements})
## @deftypefnx {} {@var{r} =} ccs_ehss (@dots{}, @var{name}, @var{value}, @dots{})
## Collision cross section and mobility of an ion by exact hard-sphere
## scattering: gas molecules fly along straight lines and bounce off the
## atoms' hard spheres, one or many times (plug-in @code{hardkick}).
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
## @qcode{"He"} (default) or @qcode{"N2"}: gas mass and radii table.
## @item @qcode{"temperature"}, @qcode{"pressure"}
## Gas conditions (298.15 K, 101325 Pa).
## @item @qcode{"charge"}
## Ion charge z (elementary charges; default: the partial charges' sum
## rounded, else 1); enters the mobility.
## @item @qcode{"orientations"}, @qcode{"trajectories"}
## Random orientations (2000) and trajectories per orientation (100).
## @item @qcode{"accommodation"}
## Probability that a collision is diffuse (0: all specular).
## @item @qcode{"reemission"}
## Direction of a diffuse re-emission: @qcode{"cosine"} (default) or
## @qcode{"specular"}.
## @item @qcode{"maxwell"}
## true: diffusely re-emitted molecules get a thermal speed (flux-weighted
## Maxwell, @code{v_c2}); false (default): they keep their speed.
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
## the per-orientation cross sections), @code{ccs_se} (Å^2, its standard
## error), @code{K} and @code{K0} (cm^2/(V s), Mason-Schamp relation),
## @code{per_orientation} (Å^2), @code{charge}, @code{mass} (u),
## @code{orientations}, @code{orientations_used}, @code{trajectories} (per
## orientation), @code{gas}, @code{temperature}, @code{pressure},
## @code{seed}, @code{threads}, @code{tensor}, @code{seconds}, @code{notes},
## @code{warnings}, and @code{inputs}: the plug-in's inputs by name
## (@code{m_gas}, @code{m_w} in kg, @code{p0}, @code{T0}, @code{v_c2}: 0
## unless @qcode{"maxwell"}, ...). The plug-in is called once per
## orientation, with the atoms turned by a rotation drawn uniformly over all
## orientations (from @qcode{"seed"}); @code{inputs.DATA_atoms} is the
## table before that rotation.
##
## Errors: @code{ccs:badOption} (naming the option), @code{ccs:badInput},
## @code{ccs:missingParameter} (naming the element).
##
## @strong{Example}
##
## @example
## @group
## s = ccs_read ("examples/c60.xyz");
## r = ccs_ehss (s, "gas", "He");
## printf ("%.1f +- %.1f A^2, K0 = %.3f cm^2/(V s)\n", r.ccs, r.ccs_se, r.K0);
## @end group
## @end example
##
## @seealso{ccs_read, ccs_pa, ccs_tm, ccs_lj}
## @end deftypefn

function r = ccs_ehss (varargin)
  t0 = tic ();
  run = prepare_run ("ccs_ehss", "ehss", varargin);
  restore = use_threads (run.opts.threads);
  R = atom_parameters (run, "hs");
  o = run.opts;
  g = run.g;
  c = constants ();
  n = rows (run.ion.xyz);
  in = struct ("DATA_atoms", [run.ion.xyz, R], "Number_atoms", n, "r_probe", 0,
               "m_gas", g.m_gas, "m_w", run.ion.mass * c.u, "z", run.z,
               "excelsheet", 0, "N_total", run.numerics.trajectories,
               "n_rotations", 1, "a", o.accommodation,
               "diffusive", double (strcmp (o.reemission, "cosine")),
               "v_c2", o.maxwell * g.v_c2, "random_C", double (o.maxwell),
               "p0", o.pressure, "T0", o.temperature, "seedn", o.seed, "MobcalHS", 1);
  if (o.tensor)
    in.n_rotations = 3;
    in.MobcalHS = 0;
    out = run_plugin (o.verbose, "hardkick", 2, struct2cell (in)');
    r = finish_result (run, "hardkick", in, [], out{2}, toc (t0));
    return;
  endif
  Q = random_rotations (run.numerics.orientations, o.seed);
  centre = mean (run.ion.xyz, 1);
  args = struct2cell (in)';
  per = zeros (run.numerics.orientations, 1);
  for i = 1:numel (per)
    args{1}(:,1:3) = (run.ion.xyz - centre) * Q(:,:,i)';
    out = run_plugin (o.verbose, "hardkick", 2, args);
    per(i) = out{2};  # cross section of this orientation's mobility
  endfor
  r = finish_result (run, "hardkick", in, per, NaN, toc (t0));
endfunction
