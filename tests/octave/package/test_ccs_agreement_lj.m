function test_ccs_agreement_lj ()
  % ccs_lj agrees with the ccs program on the examples (different random
  % streams: within 3 combined standard errors), with the same entry-domain
  % margin, nitrogen model and notes. The three-site runs are at
  % T = 2.622e-21 J / k_B (about 190 K), where the plug-in's fixed kT of the
  % three-site weights and the program's k_B T of the run coincide.
  root = use_ccs_functions ();
  c60 = fullfile (root, "examples", "c60.xyz");
  pea = fullfile (root, "examples", "phenethylammonium.mol2");
  s60 = ccs_read (c60);
  spea = ccs_read (pea);
  n = {"orientations", 100, "trajectories", 200, "seed", 1};
  few = {"--method", "lj", "--orientations", "100", "--trajectories", "200", "--seed", "2"};
  T3 = 2.622e-21 / 1.380649e-23;

  % Per-atom model, weak single charge: the margin is the larger of the
  % program's field radius and its least entry radius (the Lennard-Jones reach).
  r = ccs_lj (s60, n{:});
  p = ccs_program (c60, few{:});
  assert (strcmp (r.model, "atom") && r.inputs.qpol == 0 && isnan (r.orientation_temperature));
  assert (abs (r.inputs.boxdomain / max (p.settings.boxdomain, p.settings.entry_radius_A) - 1) < 1e-12);
  assert (r.inputs.boxdomain == p.settings.entry_radius_A);  % the reach is the larger here
  check_agree ("lj, C60, He", r, p);
  r = ccs_lj (s60, "gas", "N2", "n2model", "atom", n{:});
  p = ccs_program (c60, few{:}, "--gas", "N2", "--n2-model", "atom");
  assert (abs (r.inputs.boxdomain / max (p.settings.boxdomain, p.settings.entry_radius_A) - 1) < 1e-12);
  check_agree ("lj, C60, N2, per-atom", r, p);

  % Three-site nitrogen (the default in N2), with the file's partial charges
  % and, without them, with the charge spread evenly over the atoms.
  r = ccs_lj (spea, "gas", "N2", "temperature", T3, n{:});
  p = ccs_program (pea, few{:}, "--gas", "N2", "--temperature", sprintf ("%.17g", T3));
  assert (strcmp (r.model, p.lj_model) && strcmp (r.model, "three-site") && r.inputs.qpol == 1);
  assert (isempty (r.notes) && abs (r.orientation_temperature - p.orientation_temperature_K) < 1e-9);
  check_agree ("lj, phenethylammonium, N2, three-site", r, p);
  r = ccs_lj (s60, "gas", "N2", "temperature", T3, n{:});
  p = ccs_program (c60, few{:}, "--gas", "N2", "--temperature", sprintf ("%.17g", T3));
  assert (strcmp (p.lj_model, "three-site") && isequal (r.notes, cellstr (p.notes)'));
  check_agree ("lj, C60, N2, three-site, spread", r, p);
end
