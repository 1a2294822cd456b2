function test_tracerun()
  % The three trajectory plug-ins through the host.
  p = he_inputs();
  p.Force_const = 0; p.Kappa = 0; p.boxdomain = 1;  % no field: a lone sphere scatters isotropically
  atom = [0.3 -0.1 0.2 2.0];       % collision radius 3 with the 1 A probe
  R = 3.0;

  % tracerun_plus: output layout, the printed domain line, statistics.
  frames = [0.3 -0.1 0.2; 0.3 -0.1 0.2];
  frames_before = frames;
  args = [tracerun_args(p, atom, 16, 3000, 1, 3), {1e12, frames, 1}];
  out = cell(1, 16);
  text = evalc('[out{:}] = tracerun_plus(args{:});');
  assert(strcmp(text, repmat(sprintf('SPHERE \n'), 1, 16)), text);
  assert(isequal(size(out{1}), [16 3]));
  assert(out{2} == 1 && out{3} == 0 && out{4} == 0 && out{5} == 17 && out{6} == 0);
  assert(out{7} == 3000 && out{8} == 0 && out{16} == 0);
  for k = 13:15
    assert(isa(out{k}, 'double') && isequal(size(out{k}), [0 0]));
  end
  assert(isequal(frames, frames_before));
  % Per-orientation cross sections from the table rows give the error.
  M = sqrt(p.m_gas * 0.3580986219567645 / p.Kb / p.T0);
  Q = sqrt(1 + p.m_gas / p.m_w) * p.e / p.rho_g;
  K = sqrt(p.m_gas / p.m_w + 1) ./ out{1}(:, 1) * p.e * 1e4;
  ccs = M * Q ./ K * 1e4 * 1e20 * pi / 4;
  se = std(ccs) / sqrt(numel(ccs));
  assert(abs(out{9} - pi * R^2) <= 3 * se, sprintf('%g vs %g +- %g', out{9}, pi * R^2, 3 * se));
  assert(abs(out{9} - pi * R^2) <= 0.01 * pi * R^2, sprintf('%g vs %g (se %g)', out{9}, pi * R^2, se));
  assert(out{11} == out{9} && out{12} == out{10});

  % Same seed, different trajectories: the loop streams continue.
  again = tracerun_plus(args{:});
  assert(~isequal(again, out{1}));

  % tracerun draws the same numbers in the same order: on freshly loaded
  % plug-ins, a specular fixed atom and a very heavy atom at rest give the
  % same transfers (up to the mass ratio's rounding).
  clear tracerun tracerun_plus;
  fixed = tracerun(args{1:27});
  moving = tracerun_plus(args{:});
  assert(max(abs(fixed(:) - moving(:))) <= 1e-6 * max(abs(fixed(:))));

  % Input checks of the sound-behaviour kind, then a normal call.
  bad = args; bad{27} = 0; bad{15} = 2;
  expect_error(@() tracerun_plus(bad{:}), 'trajectory:badInput', 'n_rotations');
  bad = args; bad{29} = zeros(1, 3);  % a single frame
  expect_error(@() tracerun_plus(bad{:}), 'trajectory:badInput', 'Move_pos');
  bad = args; bad{28} = zeros(1, 0);
  expect_error(@() tracerun_plus(bad{:}), 'trajectory:badInput', 'massarray');
  bad = args; bad{4} = 2;
  expect_error(@() tracerun_plus(bad{:}), 'trajectory:badInput', 'diffusive');
  bad = args; bad{23} = 2;
  expect_error(@() tracerun(bad{1:27}), 'trajectory:badInput', 'Number_atoms');
  expect_error(@() tracerun(args{1:26}), 'EMLRT:runTime:WrongNumberOfInputs', 'tracerun');
  assert(numel(tracerun_plus(args{:})) == 48);

  % tracerun_well: 31 inputs, 15 outputs. A lone atom without well depth
  % and without field does not deflect the gas: no momentum is transferred.
  wargs = [tracerun_args(p, atom, 2, 200, 1, 3)];
  wargs = [wargs(1:25), {0, 1, 1}, wargs(26:27), {0}];
  wout = cell(1, 15);
  evalc('[wout{:}] = tracerun_well(wargs{:});');
  assert(wout{1} == 1 && wout{2} == 0 && wout{3} == 0 && wout{4} == 17);
  assert(wout{6} == 200 && wout{15} == 0);
  for k = 12:14
    assert(isequal(size(wout{k}), [0 0]));
  end
  assert(abs(wout{8}) < 1e-6 * pi * R^2, sprintf('no-deflection cross section %g', wout{8}));
  % The three-site gas model needs a charge on every atom.
  bad = wargs; bad{31} = 1;
  expect_error(@() tracerun_well(bad{:}), 'trajectory:badInput', 'charge');
end
