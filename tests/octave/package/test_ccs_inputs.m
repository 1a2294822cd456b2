function test_ccs_inputs ()
  % The functions' derived inputs equal the README's relations (CODATA
  % constants and the gas table's values written out here), the documented
  % rules (masses and frames of tm, the entry-domain margin, nitrogen
  % models, tensor mode) hold, and options and errors behave as documented.
  root = use_ccs_functions ();
  addpath (fullfile (root, "tests", "octave"));  % expect_error
  kB = 1.380649e-23; e = 1.602176634e-19; eps0 = 8.8541878128e-12; u = 1.66053906660e-27;
  gas_table = struct ("He", [4.002602 0.204956], "N2", [28.0134 1.710]);  % u, Å^3
  s = ccs_read (fullfile (root, "examples", "phenethylammonium.mol2"));
  c60 = ccs_read (fullfile (root, "examples", "c60.xyz"));
  quick = {"orientations", 2, "trajectories", 5, "seed", 7};
  near = @(a, b) abs (a - b) <= 1e-13 * abs (b);

  % Gas relations, trajectory inputs and the mobility relation.
  hs_radius = struct ("He", [2.7 2.7 2.2], "N2", [3.22 3.22 2.72]);  % C, N, H
  for gas = {"He", "N2"}
    T = 250; p = 90000;
    r = ccs_tm (s, "gas", gas{1}, "temperature", T, "pressure", p, "maxwell", true, quick{:});
    in = r.inputs;
    m = gas_table.(gas{1})(1) * u;
    alpha = gas_table.(gas{1})(2) * 1e-30;
    N = p / (kB * T);
    v = sqrt (2 * kB * T / m);
    F = 2 * alpha * e^2 / (4 * pi * eps0 * m);
    assert (near (in.m_gas, m) && near (in.rho_g, N * m) && near (in.v_c_t, v));
    assert (near (in.Force_const, F) && near (in.Kappa, F / (2 * v^2)));
    assert (near (in.v_c2, sqrt (9 * pi * kB * T / (8 * m))) && in.random_C == 1);
    assert (in.v_c == in.v_c_t && in.v_c_return == in.v_c_t && in.r_probe == 0);
    assert (in.e == e && in.Kb == kB && in.T0 == T && in.z == 1 && near (in.m_w, sum (s.masses) * u));
    assert (near (in.boxdomain, max ((in.Kappa / 0.005) ^ 0.25 * 1e10, 1.5)));
    R = hs_radius.(gas{1})([1 + strcmp(s.elements, "N") + 2 * strcmp(s.elements, "H")]);
    assert (isequal (in.DATA_atoms, [s.xyz, R(:), s.charges]));
    assert (all (in.massarray == 1e30) && isequal (in.Move_pos, [s.xyz; s.xyz]));
    assert (in.N_total == 5 && in.n_rotations == 2 && in.MobcalHS == 1 && in.seedn == 7);
    assert (in.deltatenhance == 40 && in.multiplier == 100 && in.diffusive == 1 && in.a == 0);
    assert (numel (r.per_orientation) == 2 && strcmp (r.plugin, "tracerun_plus"));
    mu = m * in.m_w / (m + in.m_w);
    K = 3 / 16 * e / N * sqrt (2 * pi / (mu * kB * T)) / (r.ccs * 1e-20) * 1e4;
    assert (near (r.K, K) && near (r.K0, K * p / 101325 * 273.15 / T));
  endfor

  % Moving atoms, fixed atoms, tensor mode.
  f = cat (3, s.xyz, s.xyz + 0.01);
  evalc ("r = ccs_tm (s, 'frames', f, quick{:});");  % 21 charges: the frames go unused
  assert (isequal (r.inputs.massarray, s.masses) && isequal (r.inputs.Move_pos, [s.xyz; s.xyz + 0.01]));
  assert (numel (r.warnings) == 1 && ! isempty (strfind (r.warnings{1}, "\"frames\" are not used")));
  r = ccs_tm (s, "frames", f, "charges", [], quick{:});
  assert (isempty (r.warnings) && columns (r.inputs.DATA_atoms) == 4);
  r = ccs_tm (s, "fixed", true, "accommodation", 0.3, "reemission", "specular", quick{:});
  assert (strcmp (r.plugin, "tracerun") && strcmp (r.method, "tm-fixed") && numel (fieldnames (r.inputs)) == 27);
  assert (r.inputs.a == 0.3 && r.inputs.diffusive == 0 && r.inputs.v_c2 == 0 && r.inputs.random_C == 0);
  threads = __ccs_readers__ ("threads", 0);
  r = ccs_tm (s, "tensor", true, "trajectories", 5, "threads", 1);
  assert (r.threads == 1 && __ccs_readers__ ("threads", 0) == threads);
  assert (r.inputs.MobcalHS == 0 && r.inputs.n_rotations == 3 && isnan (r.ccs_se) && isempty (r.per_orientation));
  assert (isfinite (r.ccs) && r.orientations == 3);

  % ehss and pa inputs.
  r = ccs_ehss (s, "gas", "N2", "pressure", 50000, "accommodation", 1, quick{:});
  in = r.inputs;
  assert (near (in.m_gas, 28.0134 * u) && in.p0 == 50000 && in.T0 == 298.15 && in.v_c2 == 0);
  assert (in.a == 1 && in.diffusive == 1 && in.n_rotations == 1 && in.MobcalHS == 1 && in.N_total == 5);
  assert (isequal (in.DATA_atoms(:,1:3), s.xyz) && numel (r.per_orientation) == 2);
  r = ccs_pa (s, "radii", (1:21)', "orientations", 3, "charge", 2);
  assert (isequal (r.inputs.DATA_atoms, [s.xyz, (1:21)']) && r.inputs.r_probe == 0);
  assert (r.charge == 2 && numel (r.per_orientation) == 3 && all (r.per_orientation > 0));

  % lj: per-atom values, the entry-domain margin (the larger of the field
  % radius and the reach of the Lennard-Jones attraction), nitrogen models.
  r = ccs_lj (c60, quick{:});
  in = r.inputs;
  sigma = 3.043; epsJ = 1.34e-3 * e;  % carbon with helium
  assert (isequal (in.DATA_atoms, [c60.xyz, repmat(sigma, 60, 1)]) && all (near (in.epsili, epsJ)));
  assert (all (near (in.sigmai, (sigma * 1e-10)^6)) && all (near (in.sigma2i, (sigma * 1e-10)^12)));
  assert (in.qpol == 0 && in.deltatenhance == 80 && strcmp (r.model, "atom"));
  d = sqrt (sum ((c60.xyz - mean (c60.xyz)).^2, 2));
  field = (in.Kappa / 0.005) ^ 0.25 * 1e10;
  assert (in.boxdomain > field && in.boxdomain >= max (d) + sigma);  % the reach of the attraction
  r = ccs_lj (c60, "charge", 5, quick{:});
  assert (near (r.inputs.boxdomain, (r.inputs.Kappa * 25 / 0.005) ^ 0.25 * 1e10));
  r = ccs_lj (c60, "gas", "N2", quick{:});
  assert (r.inputs.qpol == 1 && strcmp (r.model, "three-site") && numel (r.notes) == 2);
  assert (abs (r.orientation_temperature - 2.622e-21 / kB) < 1e-9 && ! isempty (strfind (r.notes{2}, "298.15 K")));
  assert (isequal (r.inputs.DATA_atoms(:,5), repmat (1 / 60, 60, 1)));
  r = ccs_lj (s, "gas", "N2", "n2model", "atom", "epsilon", repmat (2, 21, 1), ...
              "sigma", repmat (3, 21, 1), quick{:});
  assert (r.inputs.qpol == 0 && isempty (r.notes) && isequal (r.inputs.DATA_atoms(:,5), s.charges));
  assert (all (near (r.inputs.epsili, 2e-3 * e)) && all (near (r.inputs.sigmai, 3e-10^6)));
  r = ccs_lj (c60, "tensor", true, "trajectories", 5);
  assert (r.inputs.MobcalHS == 0 && r.inputs.n_rotations == 3 && isfinite (r.ccs));

  % Parameter files add elements; the console stays quiet unless verbose.
  hs_file = [tempname() ".tsv"];
  unwind_protect
    fid = fopen (hs_file, "w");
    fprintf (fid, "@type hs\nU 3.1\n");
    fclose (fid);
    text = evalc ("r = ccs_pa ([0 0 0; 3 0 0], {'U'; 'C'}, 'params', hs_file, 'orientations', 2);");
    assert (isempty (text) && isequal (r.inputs.DATA_atoms(:,4), [3.1; 2.7]));
    text = evalc ("r = ccs_tm ([0 0 0; 3 0 0], {'U'; 'C'}, 'params', {hs_file}, 'verbose', true, quick{:});");
    assert (strcmp (text, repmat ("SPHERE \n", 1, 2)) || strcmp (text, repmat ("BOX \n", 1, 2)), text);
  unwind_protect_cleanup
    unlink (hs_file);
  end_unwind_protect

  % Warnings, and errors naming what was wrong.
  text = evalc ("r = ccs_tm (s, 'charge', 3, quick{:});");
  [msg, id] = lastwarn ();
  assert (r.charge == 3 && numel (r.warnings) == 1 && strcmp (msg, ["ccs_tm: " r.warnings{1}]));
  assert (strcmp (id, "ccs:result") && ! isempty (strfind (text, msg)));
  expect_error (@() ccs_tm (s, "charges", repmat (0.001, 21, 1)), "ccs:badInput", "give the ion's charge with \"charge\"");
  expect_error (@() ccs_tm (s, "colour", 1), "ccs:badOption", "unknown option \"colour\"");
  expect_error (@() ccs_pa (s, "trajectories", 5), "ccs:badOption", "\"trajectories\" does not apply");
  expect_error (@() ccs_tm (s, "temperature", 0), "ccs:badOption", "\"temperature\"");
  expect_error (@() ccs_ehss (s, "accommodation", 2), "ccs:badOption", "\"accommodation\"");
  expect_error (@() ccs_lj (s, "n2model", "three-site"), "ccs:badOption", "\"n2model\"");
  expect_error (@() ccs_tm (s, "fixed", true, "frames", f), "ccs:badOption", "\"frames\"");
  expect_error (@() ccs_tm (s, "orientations"), "ccs:badOption", "name-value pairs");
  expect_error (@() ccs_lj (s, "epsilon", ones (21, 1)), "ccs:badOption", "\"sigma\"");
  expect_error (@() ccs_pa (s.xyz, {"C"}), "ccs:badInput", "21 element symbols");
  expect_error (@() ccs_pa ([0 0 NaN], {"C"}), "ccs:badInput", "atom 1");
  expect_error (@() ccs_pa ([0 0 0], {"Qq"}), "ccs:badInput", "unknown element \"Qq\"");
  expect_error (@() ccs_pa ([0 0 0], {"U"}), "ccs:missingParameter", "element U has no hard-sphere radius");
  expect_error (@() ccs_lj ([0 0 0], {"U"}), "ccs:missingParameter", "element U has no Lennard-Jones");
  expect_error (@() ccs_pa ([s; s]), "ccs:badInput", "structure array");
end
