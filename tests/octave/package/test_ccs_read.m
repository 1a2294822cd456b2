function test_ccs_read ()
  % ccs_read sees a file as the ccs program does (atoms, masses, charges),
  % reads .mfj coordinate sets, charge models and options, and reports bad
  % files and options by identifier, naming the file, line or option.
  root = use_ccs_functions ();
  addpath (fullfile (root, "tests", "octave"));  % expect_error
  for f = {"c60.xyz", "phenethylammonium.mol2"}
    file = fullfile (root, "examples", f{1});
    s = ccs_read (file);
    p = ccs_program (file, "--method", "pa", "--orientations", "2", "--seed", "1");
    assert (numel (s) == 1 && rows (s.xyz) == p.atoms && columns (s.xyz) == 3);
    assert (abs (sum (s.masses) - p.mass_u) <= 1e-12 * p.mass_u);
    assert (strcmp (s.title, p.title) && s.conformer == 1);
  endfor
  assert (all (isnan (ccs_read (fullfile (root, "examples", "c60.xyz")).charges)));
  pea = fullfile (root, "examples", "phenethylammonium.mol2");
  s = ccs_read (pea);
  assert (strcmp (s.elements{9}, "N") && s.Z(9) == 7 && s.charges(9) == -0.3606);
  assert (isequal (s.xyz(9,:), [4.9629 0 1.3926]));
  assert (abs (sum (s.charges) - 1) < 1e-9);
  assert (all (isnan (ccs_read (pea, "charges", "none").charges)));
  g = ccs_read (pea, "charges", "gasteiger");
  assert (all (isfinite (g.charges)) && abs (sum (g.charges) - 1) < 1e-6 && ! isequal (g.charges, s.charges));

  % .mfj: two coordinate sets in atomic units, scaled, charge spread evenly.
  mfj = [tempname() ".mfj"];
  unwind_protect
    fid = fopen (mfj, "w");
    fprintf (fid, "pair\n2\n2\nau\nequal\n2.0\n0 0 0 12.011\n1 0 0 1.008\n2\n0 0 0 12.011\n0 1 0 1.008\n");
    fclose (fid);
    s = ccs_read (mfj, "charge", 3);
    assert (numel (s) == 2 && isequal ([s.conformer], [1 2]));
    assert (isequal (s(2).elements, {"C"; "H"}) && isequal (s(2).masses, [12.011; 1.008]));
    assert (abs (s(2).xyz(2,2) - 2 * 0.529177210903) < 1e-12 && isequal (s(1).charges, [1.5; 1.5]));
    fid = fopen (mfj, "w");
    fprintf (fid, "bad\n1\n2\nang\nnone\n1.0\n0 0 0 12.011\n1 x 0 1.008\n");
    fclose (fid);
    expect_error (@() ccs_read (mfj), "ccs:badFile", [mfj ":8:"]);
  unwind_protect_cleanup
    unlink (mfj);
  end_unwind_protect
  expect_error (@() ccs_read ("no/such.xyz"), "ccs:badFile", "no/such.xyz: no such file");
  expect_error (@() ccs_read (pea, "charges", "formal"), "ccs:badOption", "\"charges\"");
  expect_error (@() ccs_read (pea, "colour", 1), "ccs:badOption", "\"colour\"");
end
