function test_hardkick()
  % Exact hard-sphere scattering through the host.
  u = 1.66053906660e-27;
  m_gas = 4.002602 * u; m_w = 200 * u;
  R = 3.0;  % collision radius: atom radius 2 + probe 1
  atom = [0.5 -0.3 0.2 2.0];
  call = @(atoms, n, ntot, nrot, a, mode) hardkick(atoms, n, 1.0, m_gas, m_w, 1, 42, ntot, ...
                                                   nrot, a, 1, 0, 0, 101325, 298, 7, mode);

  % A single specular sphere scatters isotropically: its momentum-transfer
  % cross section is pi R^2. The error comes from the spread of repeated runs.
  runs = zeros(1, 8);
  for k = 1:8
    [o1, o2, o3, o4, o5, o6, o7] = call(atom, 1, 4000, 2, 0, 1);
    runs(k) = o2;
    assert(o1 == 0 && o3 == o2 && o5 == o4 && o6 == 42);
    assert(isa(o7, 'double') && isequal(size(o7), [0 0]));
  end
  se = std(runs) / sqrt(numel(runs));
  expected = pi * R^2;
  assert(abs(mean(runs) - expected) <= 3 * se, sprintf('%g vs %g +- %g', mean(runs), expected, 3 * se));
  assert(abs(mean(runs) - expected) <= 0.01 * expected);

  % Tensor mode: three axis orientations.
  [~, t2, t3] = call(atom, 1, 8000, 3, 0, 0);
  assert(abs(t2 - expected) <= 0.03 * expected && abs(t3 - expected) <= 0.03 * expected);

  % No orientation: mobility 0, cross sections +Inf.
  [~, c2, c3, k4, k5] = call(atom, 1, 10, 0, 0, 1);
  assert(k4 == 0 && k5 == 0 && c2 == Inf && c3 == Inf);
  % NaN selects random orientations.
  [~, c2] = call(atom, 1, 200, 2, 0, NaN);
  assert(isfinite(c2) && c2 > 0);

  % Inputs the driver could not read safely are rejected by name.
  expect_error(@() call(atom, 1, 10, 2, 0, 0), 'hardkick:badInput', 'n_rotations');
  expect_error(@() call([atom; atom], 1, 10, 2, 0, 1), 'hardkick:badInput', 'Number_atoms');
  expect_error(@() call(atom(1:3), 1, 10, 2, 0, 1), 'hardkick:badInput', 'DATA_atoms');
  expect_error(@() call(atom, 1, 10, [2 2], 0, 1), 'EMLRT:runTime:InputSizeMismatch', 'n_rotations');
  % ... and the next call works.
  assert(isfinite(call(atom, 1, 10, 1, 0, 1)));
end
