## -*- texinfo -*-
## @deftypefn  {} {@var{r} =} ccs_lj (@var{atoms})
## @deftypefnx {} {@var{r} =} ccs_lj (@var{xyz}, @var{elements})
## @deftypefnx {} {@var{r} =} ccs_lj (@dots{}, @var{name}, @var{value}, @dots{})
## Collision cross section and mobility of an ion by the trajectory method
## in a soft field: every atom acts on the gas molecule with a
## Lennard-Jones 12-6 force besides the ion-induced-dipole force of the
## charges (plug-in @code{tracerun_well}).
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
## options @qcode{"epsilon"}, @qcode{"sigma"} and @qcode{"masses"} give
## everything.
## @end table
##
## @strong{Nitrogen.} In N2 the gas molecule is by default the three-site
## model (@code{qpol} = 1): a linear molecule whose forces are averaged over
## three axis orientations with Boltzmann weights; it needs a charge on every
## atom, so without partial charges the ion charge z is spread evenly over
## the atoms (noted in @code{r.notes}). The plug-in weighs the three
## orientations with a fixed k_B T of 2.622e-21 J (about 190 K) whatever
## the gas temperature (said in a note); the @command{ccs} program uses
## k_B T of the run, so the two agree at 190 K and may differ somewhat at
## other temperatures.
## @qcode{"n2model"} @qcode{"atom"} selects the per-atom model (charge z at
## the centroid without partial charges). In helium the model is per-atom.
##
## @strong{Options} (defaults as the @command{ccs} program)
##
## @table @asis
## @item @qcode{"gas"}
## @qcode{"He"} (default) or @qcode{"N2"}: gas mass, polarizability and the
## Lennard-Jones table of the atom-gas pairs.
## @item @qcode{"temperature"}, @qcode{"pressure"}
## Gas conditions (298.15 K, 101325 Pa).
## @item @qcode{"charge"}
## Ion charge z (elementary charges; default: the partial charges' sum
## rounded, else 1).
## @item @qcode{"n2model"}
## @qcode{"three-site"} (default in N2) or @qcode{"atom"}.
## @item @qcode{"orientations"}, @qcode{"trajectories"}
## Random orientations (500) and trajectories per orientation (300).
## @item @qcode{"deltatenhance"}
## Time-step divisor (80).
## @item @qcode{"boxdomain"}
## Entry-domain margin (Å) for a weakly charged ion. Default: the larger of
## the field radius (Kappa z^2/0.005)^(1/4) (at least 1.5 Å) and the reach of
## the Lennard-Jones attraction as the @command{ccs} program computes it: the
## radius about the centroid beyond which sum_i 4 eps_i (sigma_i/r_i)^6 stays
## below 0.5 % of k_B T in each of 64 directions spread over the sphere (at
## least the largest atom distance plus its sigma). For strong (|q| > 1) or
## several charges (partial charges, and always in the three-site model) the
## plug-in sizes the domain from the field alone and ignores
## @qcode{"boxdomain"}; the program then still extends it to the reach, so
## where the reach lies beyond the field's domain the two may differ.
## @item @qcode{"epsilon"}, @qcode{"sigma"}
## N well depths (meV) and zeros of the potential (Å) of the atom-gas pairs
## instead of the table's.
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
## @item @qcode{"params"}, @qcode{"charges"}, @qcode{"masses"}, @qcode{"polarizability"}, @qcode{"verbose"}
## As for @code{ccs_pa} (@qcode{"params"}: tables of type @code{lj}).
## @end table
##
## @strong{Output}: a structure @var{r} with @code{ccs} (Å^2, the mean of
## the per-orientation cross sections), @code{ccs_se} (Å^2, its standard
## error), @code{K} and @code{K0} (cm^2/(V s), Mason-Schamp relation),
## @code{per_orientation} (Å^2), @code{model} (@qcode{"three-site"} or
## @qcode{"atom"}), @code{orientation_temperature} (K of the three-site
## weights, about 190 K; NaN for @qcode{"atom"}), @code{charge}, @code{mass} (u), @code{orientations},
## @code{orientations_used}, @code{trajectories} (per orientation),
## @code{gas}, @code{temperature}, @code{pressure}, @code{seed},
## @code{threads}, @code{tensor}, @code{seconds}, @code{notes}, @code{warnings}, and
## @code{inputs}: the plug-in's inputs by name (@code{DATA_atoms}: x, y, z,
## sigma (Å, sizes the entry domain), charges; @code{epsili} = eps (J),
## @code{sigmai} = sigma^6, @code{sigma2i} = sigma^12 with sigma in m;
## @code{qpol}; the SI inputs of the README's table of relations). The
## plug-in is called once per orientation, with the atoms turned by a
## rotation drawn uniformly over all orientations (from @qcode{"seed"});
## @code{inputs.DATA_atoms} is the table before that rotation.
##
## Errors: @code{ccs:badOption} (naming the option), @code{ccs:badInput},
## @code{ccs:missingParameter} (naming the element).
##
## @strong{Example}
##
## @example
## @group
## s = ccs_read ("examples/phenethylammonium.mol2");
## r = ccs_lj (s, "gas", "N2");
## printf ("%.1f +- %.1f A^2 (%s), K0 = %.3f cm^2/(V s)\n", r.ccs, r.ccs_se, r.model, r.K0);
## @end group
## @end example
##
## @seealso{ccs_read, ccs_pa, ccs_ehss, ccs_tm}
## @end deftypefn

function r = ccs_lj (varargin)
  t0 = tic ();
  run = prepare_run ("ccs_lj", "lj", varargin);
  restore = use_threads (run.opts.threads);
  [eps_J, sigma_A] = atom_parameters (run, "lj");
  o = run.opts;
  c = constants ();
  n = rows (run.ion.xyz);
  model = o.n2model;
  if (isempty (model))
    model = run.numerics.n2model;  # the program's default for the gas
  endif
  three_site = strcmp (model, "three-site");
  charges = run.ion.charges;
  if (three_site && isempty (charges))
    charges = repmat (run.z / n, n, 1);
    run.notes{end+1} = sprintf (["no partial charges: the ion charge %g is spread evenly ", ...
                                 "over the %d atoms for the three-site nitrogen model"],
                                run.z, n);
  endif
  run.orientation_temperature = NaN;
  if (three_site)
    run.orientation_temperature = c.three_site_plugin_kT / c.kB;
    if (abs (o.temperature - run.orientation_temperature) > 0.5)
      run.notes{end+1} = sprintf (["the plug-in weighs the three-site orientations at ", ...
                                   "its fixed kT of %g J (%.1f K), not at %g K"],
                                  c.three_site_plugin_kT, run.orientation_temperature,
                                  o.temperature);
    endif
  endif
  boxdomain = o.boxdomain;
  if (isempty (boxdomain))
    ## The field radius, and the reach of the Lennard-Jones attraction (the
    ## program's least entry radius; the plug-in takes it as the margin).
    reach = __ccs_readers__ ("lj_reach", run.ion.xyz, eps_J, sigma_A, o.temperature);
    boxdomain = max (field_radius (run), reach);
  endif
  in = trajectory_inputs (run, sigma_A, charges, boxdomain);
  s6 = (sigma_A * 1e-10) .^ 6;
  in.epsili = eps_J;
  in.sigmai = s6;
  in.sigma2i = s6 .* s6;
  in.seedn = o.seed;
  in.MobcalHS = double (! o.tensor);
  in.qpol = double (three_site);
  run.model = model;
  if (o.tensor)
    out = run_plugin (o.verbose, "tracerun_well", 8, struct2cell (in)');
    r = finish_result (run, "tracerun_well", in, [], out{8}, toc (t0));
  else
    Q = random_rotations (run.numerics.orientations, o.seed);
    centre = mean (run.ion.xyz, 1);
    in.n_rotations = 1;  # one orientation per call
    args = struct2cell (in)';
    per = zeros (run.numerics.orientations, 1);
    for i = 1:numel (per)
      args{22}(:,1:3) = (run.ion.xyz - centre) * Q(:,:,i)';
      out = run_plugin (o.verbose, "tracerun_well", 8, args);
      per(i) = out{8};  # cross section of this orientation's mobility
    endfor
    r = finish_result (run, "tracerun_well", in, per, NaN, toc (t0));
  endif
endfunction
