function check_agree (what, r, p)
  % The function's result r and the program's JSON row p agree: cross
  % sections within 3 combined standard errors (independent random
  % streams), the same ion (charge, mass) and the same Mason-Schamp
  % relation between cross section and mobility.
  tol = 3 * hypot (r.ccs_se, p.ccs_se_A2);
  printf ("%-34s function %8.3f +- %.3f  program %8.3f +- %.3f\n", what, r.ccs, r.ccs_se, ...
          p.ccs_A2, p.ccs_se_A2);
  assert (abs (r.ccs - p.ccs_A2) <= tol, sprintf ("%s: %g vs %g (3 combined SE %g)", what, ...
          r.ccs, p.ccs_A2, tol));
  assert (r.charge == p.charge && abs (r.mass - p.mass_u) <= 1e-9 * p.mass_u, what);
  assert (abs (r.K * r.ccs / (p.mobility_cm2_Vs * p.ccs_A2) - 1) < 1e-12, what);
  assert (abs (r.K0 / r.K - p.reduced_mobility_cm2_Vs / p.mobility_cm2_Vs) < 1e-12, what);
end
