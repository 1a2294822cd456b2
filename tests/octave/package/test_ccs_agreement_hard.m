function test_ccs_agreement_hard ()
  % ccs_pa, ccs_ehss and ccs_tm agree with the ccs program on the examples
  % (different random streams: within 3 combined standard errors).
  root = use_ccs_functions ();
  c60 = fullfile (root, "examples", "c60.xyz");
  pea = fullfile (root, "examples", "phenethylammonium.mol2");
  s60 = ccs_read (c60);
  spea = ccs_read (pea);
  few = {"--orientations", "100", "--trajectories", "200"};

  r = ccs_pa (s60, "orientations", 100, "seed", 1);
  check_agree ("pa, C60, He", r, ccs_program (c60, "--method", "pa", "--orientations", "100", "--seed", "2"));
  r = ccs_pa (spea, "gas", "N2", "orientations", 100, "seed", 1);
  check_agree ("pa, phenethylammonium, N2", r, ...
               ccs_program (pea, "--method", "pa", "--gas", "N2", "--orientations", "100", "--seed", "2"));

  r = ccs_ehss (s60, "orientations", 100, "trajectories", 200, "seed", 1);
  check_agree ("ehss, C60, He", r, ccs_program (c60, "--method", "ehss", few{:}, "--seed", "2"));
  r = ccs_ehss (spea, "gas", "N2", "accommodation", 0.5, "maxwell", true, ...
                "orientations", 100, "trajectories", 200, "seed", 1);
  check_agree ("ehss, phenethylammonium, N2, diffuse", r, ...
               ccs_program (pea, "--method", "ehss", "--gas", "N2", "--accommodation", "0.5", ...
                            "--maxwell", few{:}, "--seed", "2"));

  r = ccs_tm (spea, "orientations", 100, "trajectories", 200, "seed", 1);
  check_agree ("tm, phenethylammonium, He", r, ccs_program (pea, "--method", "tm", few{:}, "--seed", "2"));
  r = ccs_tm (s60, "gas", "N2", "orientations", 100, "trajectories", 200, "seed", 1);
  check_agree ("tm, C60, N2", r, ccs_program (c60, "--method", "tm", "--gas", "N2", few{:}, "--seed", "2"));
  r = ccs_tm (spea, "fixed", true, "accommodation", 1, "maxwell", true, ...
              "orientations", 100, "trajectories", 200, "seed", 1);
  check_agree ("tm-fixed, phenethylammonium, diffuse", r, ...
               ccs_program (pea, "--method", "tm-fixed", "--accommodation", "1", "--maxwell", ...
                            few{:}, "--seed", "2"));
end
