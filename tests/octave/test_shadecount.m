function test_shadecount()
  % Projection approximation through the host.
  r = 1.7; p = 1.0; R = r + p;
  n_rot = 400;
  [area, out2] = shadecount([0.3 -0.2 0.5 r], 1, p, n_rot, 0, 42);
  % Every orientation's rectangle is the square of side 2R; the covered
  % fraction of 20000 * n_rot samples is binomial with p = pi/4.
  expected = pi * R^2;
  se = (2 * R)^2 * sqrt((pi / 4) * (1 - pi / 4) / (20000 * n_rot));
  assert(abs(area - expected) <= 3 * se, sprintf('area %g, expected %g +- %g', area, expected, 3 * se));
  assert(out2 == 0);

  % No orientation: 0/0.
  assert(isnan(shadecount([0 0 0 r], 1, p, 0, 0, 1)));

  % The caller's table is unchanged although the plug-in reorders its copy.
  atoms = [0 0 0 1.5; 1.2 0 0 1.7; 0 1.4 0.2 1.6; 0.3 0.1 1.3 1.2];
  before = atoms;
  a1 = shadecount(atoms, 4, 1.0, 20, 0, 7);
  assert(isequal(atoms, before));
  % Same seed, different samples: the loop streams continue between calls.
  a2 = shadecount(atoms, 4, 1.0, 20, 0, 7);
  assert(a1 ~= a2);

  % EHSSPA changes nothing: after reloading the plug-in the loop streams
  % restart, so equal inputs give equal results whatever EHSSPA is.
  clear shadecount;
  b1 = shadecount(atoms, 4, 1.0, 20, 0, 7);
  clear shadecount;
  b2 = shadecount(atoms, 4, 1.0, 20, 123, 7);
  assert(b1 == b2);

  % Inputs the computation could not read safely are rejected by name.
  expect_error(@() shadecount(atoms, 5, 1.0, 4, 0, 1), 'shadecount:badInput', 'Number_atoms');
  expect_error(@() shadecount(atoms, 0, 1.0, 4, 0, 1), 'shadecount:badInput', 'Number_atoms');
  expect_error(@() shadecount(atoms, 3.5, 1.0, 4, 0, 1), 'shadecount:badInput', 'Number_atoms');
  expect_error(@() shadecount(atoms(:, 1:3), 4, 1.0, 4, 0, 1), 'shadecount:badInput', 'DATA_atoms');
  expect_error(@() shadecount(zeros(150001, 4), 150001, 1.0, 4, 0, 1), ...
               'EMLRT:runTime:InputSizeMismatch', 'DATA_atoms');
  expect_error(@() shadecount(zeros(4, 8), 4, 1.0, 4, 0, 1), ...
               'EMLRT:runTime:InputSizeMismatch', 'DATA_atoms');
  % ... and the next call works.
  assert(isfinite(shadecount(atoms, 4, 1.0, 4, 0, 1)));
end
