## -*- texinfo -*-
## @deftypefn {} {@var{r} =} finish_result (@var{run}, @var{plugin}, @var{inputs}, @var{per}, @var{tensor_ccs}, @var{seconds})
## The result structure of a calculation: the cross section as the mean of
## the finite non-zero per-orientation cross sections @var{per} (Å^2) and
## its standard error, or @var{tensor_ccs} in axis-permutation mode; the
## mobility K by the Mason-Schamp relation
## K = (3/16) (z e/N) sqrt(2 pi/(mu k_B T))/ccs and the reduced mobility
## K0 = K (p/101325 Pa) (273.15 K/T), both in cm^2/(V s).
## @end deftypefn

function r = finish_result (run, plugin, inputs, per, tensor_ccs, seconds)
  c = constants ();
  o = run.opts;
  r.method = run.method;
  r.plugin = plugin;
  if (isfield (run, "model"))
    r.model = run.model;
    r.orientation_temperature = run.orientation_temperature;
  endif
  if (o.tensor)
    r.ccs = tensor_ccs;
    r.ccs_se = NaN;
    r.per_orientation = zeros (0, 1);
    used = 3;
  else
    per = per(:);
    v = per(isfinite (per) & per != 0);
    used = numel (v);
    r.ccs = mean (v);
    if (used < 1)
      r.ccs = NaN;
    endif
    r.ccs_se = NaN;
    if (used >= 2)
      r.ccs_se = std (v) / sqrt (used);
    endif
    r.per_orientation = per;
    if (used < numel (per))
      run.warnings{end+1} = sprintf (["%d orientation(s) gave no finite estimate and ", ...
                                      "were left out"], numel (per) - used);
    endif
  endif
  m_ion = run.ion.mass * c.u;
  mu = run.g.m_gas * m_ion / (run.g.m_gas + m_ion);
  factor = 3 / 16 * abs (run.z) * c.e / run.g.number_density ...
           * sqrt (2 * pi / (mu * c.kB * o.temperature));
  r.K = factor / (r.ccs * 1e-20) * 1e4;
  r.K0 = r.K * (o.pressure / c.p_std) * (c.T_std / o.temperature);
  r.charge = run.z;
  r.mass = run.ion.mass;
  r.orientations = run.numerics.orientations;
  r.orientations_used = used;
  r.trajectories = run.numerics.trajectories;
  r.gas = run.gas.name;
  r.temperature = o.temperature;
  r.pressure = o.pressure;
  r.seed = o.seed;
  r.threads = __ccs_readers__ ("threads", 0);
  r.tensor = o.tensor;
  r.seconds = seconds;
  r.notes = run.notes;
  r.warnings = run.warnings;
  r.inputs = inputs;
  for k = 1:numel (run.warnings)
    warning ("ccs:result", "%s: %s", run.fname, run.warnings{k});
  endfor
  if (o.verbose)
    for k = 1:numel (run.notes)
      printf ("%s: note: %s\n", run.fname, run.notes{k});
    endfor
  endif
endfunction
