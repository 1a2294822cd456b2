function test_ccs_agreement_lj ()
  % ccs_lj agrees with the ccs program on the examples (different random
  % streams: within 3 combined standard errors). The three-site runs are at
  % T = 2.622e-21 J / k_B (about 190 K), the fixed k_B T of the plug-in's
  % three-site kernel, where it and k_B T of the run coincide.
  root = use_ccs_functions ();
  c60 = fullfile (root, "examples", "c60.xyz");
  pea = fullfile (root, "examples", "phenethylammonium.mol2");
  s60 = ccs_read (c60);
  spea = ccs_read (pea);
  few = {"--orientations", "100", "--trajectories", "200", "--seed", "2"};
  T3 = sprintf ("%.17g", 2.622e-21 / 1.380649e-23);

  % Per-atom model, weak single charge: the program gets the entry-domain
  % margin the function chose.
  r = ccs_lj (s60, "orientations", 100, "trajectories", 200, "seed", 1);
  assert (strcmp (r.model, "atom") && r.inputs.qpol == 0);
  check_agree ("lj, C60, He", r, ccs_program (c60, "--method", "lj", few{:}, ...
               "--boxdomain", sprintf ("%.17g", r.inputs.boxdomain)));
  r = ccs_lj (s60, "gas", "N2", "n2model", "atom", "orientations", 100, "trajectories", 200, ...
              "seed", 1);
  check_agree ("lj, C60, N2, per-atom", r, ccs_program (c60, "--method", "lj", "--gas", "N2", ...
               "--n2-model", "atom", few{:}, "--boxdomain", sprintf ("%.17g", r.inputs.boxdomain)));

  % Three-site nitrogen (the default in N2) with the file's partial charges.
  r = ccs_lj (spea, "gas", "N2", "temperature", str2double (T3), "orientations", 100, ...
              "trajectories", 200, "seed", 1);
  assert (strcmp (r.model, "three-site") && r.inputs.qpol == 1 && isempty (r.notes));
  check_agree ("lj, phenethylammonium, N2, three-site", r, ccs_program (pea, "--method", "lj", ...
               "--gas", "N2", "--n2-model", "three-site", "--temperature", T3, few{:}));

  % Without partial charges the charge is spread over the atoms: as the
  % program's run on an .mfj file whose charge mode is "equal".
  mfj = [tempname() ".mfj"];
  unwind_protect
    fid = fopen (mfj, "w");
    fprintf (fid, "C60\n1\n60\nang\nequal\n1.0\n");
    fprintf (fid, "%.17g %.17g %.17g %.17g\n", [s60.xyz, s60.masses]');
    fclose (fid);
    r = ccs_lj (s60, "gas", "N2", "temperature", str2double (T3), "orientations", 100, ...
                "trajectories", 200, "seed", 1);
    assert (strcmp (r.model, "three-site") && numel (r.notes) == 1);
    check_agree ("lj, C60, N2, three-site, spread", r, ccs_program (mfj, "--method", "lj", ...
                 "--gas", "N2", "--n2-model", "three-site", "--temperature", T3, few{:}));
  unwind_protect_cleanup
    unlink (mfj);
  end_unwind_protect
end
