## -*- texinfo -*-
## @deftypefn {} {@var{in} =} trajectory_inputs (@var{run}, @var{col4}, @var{charges}, @var{boxdomain})
## Inputs 1-25 shared by the trajectory plug-ins, by name and in their
## order, from the run's conditions (README relations): the atom table
## x, y, z, @var{col4} (radius or sigma, Å) and, when @var{charges} is not
## empty, the partial charges; @code{v_c} = @code{v_c_return} = @code{v_c_t};
## @code{v_c2} only with thermal re-emission. An empty @var{boxdomain}
## selects the field radius (Kappa z^2/0.005)^(1/4) (Å, at least 1.5 Å).
## @end deftypefn

function in = trajectory_inputs (run, col4, charges, boxdomain)
  o = run.opts;
  g = run.g;
  c = constants ();
  if (isempty (boxdomain))
    boxdomain = field_radius (run);
  endif
  n_rotations = run.numerics.orientations;
  if (o.tensor)
    n_rotations = 3;
  endif
  in = struct ("boxdomain", boxdomain, "deltatenhance", run.numerics.deltatenhance,
               "random_C", double (o.maxwell),
               "diffusive", double (strcmp (o.reemission, "cosine")),
               "multiplier", run.numerics.multiplier, "U_vel", 0, "z", run.z, "e", c.e,
               "m_w", run.ion.mass * c.u, "Kb", c.kB, "T0", o.temperature,
               "N_total", run.numerics.trajectories, "rho_g", g.rho_g, "Kappa", g.Kappa,
               "n_rotations", n_rotations, "Force_const", g.Force_const,
               "a", o.accommodation, "m_gas", g.m_gas, "v_c", g.v_c_t,
               "v_c2", o.maxwell * g.v_c2, "v_c_return", g.v_c_t,
               "DATA_atoms", [run.ion.xyz, col4, charges],
               "Number_atoms", rows (run.ion.xyz), "r_probe", 0, "v_c_t", g.v_c_t);
endfunction
