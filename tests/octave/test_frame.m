function test_frame()
  % The shared entry layer, seen from the host through a test-only plug-in.
  M = [1 2; 3 4];
  P = [1 2; 3 4; 5 6];

  % Loop streams after loading: thread 0 draws from the stream seeded 1,
  % thread 1 from the one seeded 2 (the suite runs with two threads).
  a = frametest(4, M, P, 0, 2);
  assert(isequal(a(:, 2)', [0 0 1 1]));
  assert(a(1, 1) == 0.417022004702574 && a(2, 1) == 0.7203244934421581);
  assert(a(3, 1) == 0.43599490214200376 && a(4, 1) == 0.025926231827891333);
  % ... and continue from call to call.
  b = frametest(4, M, P, 0, 2);
  assert(all(b(:, 1) ~= a(:, 1)));

  % Outputs in order; the driver's changes to its copy of P stay private.
  [o1, o2, o3, o4, o5] = frametest(3, M, P, 7, 0);
  assert(isequal(o1, M) && o2 == 6 && o3 == 8 && o5 == 6);
  assert(isa(o4, 'double') && isequal(size(o4), [0 0]));
  assert(isequal(P, [1 2; 3 4; 5 6]));
  % No output requested: output 1 is still returned.
  frametest(3, M, P, 7, 0);
  assert(isequal(ans, M));

  % Counts.
  expect_error(@() frametest(1, M, P, 7), 'EMLRT:runTime:WrongNumberOfInputs', 'frametest');
  try
    [c1, c2, c3, c4, c5, c6] = frametest(1, M, P, 7, 0);
    error('six outputs were accepted');
  catch err
    assert(strcmp(err.identifier, 'EMLRT:runTime:TooManyOutputArguments'), err.message);
  end

  % Input checks name the input; later inputs are not examined.
  expect_error(@() frametest(single(1), M, P, 7, 0), 'EMLRT:runTime:InputClassMismatch', '''s''');
  expect_error(@() frametest(int32(1), M, P, 7, 0), 'EMLRT:runTime:InputClassMismatch', '''s''');
  expect_error(@() frametest(1i, M, P, 7, 0), 'EMLRT:runTime:ComplexInput', '''s''');
  expect_error(@() frametest([1 2], M, P, 7, 0), 'EMLRT:runTime:InputSizeMismatch', '''s''');
  expect_error(@() frametest([], M, P, 7, 0), 'EMLRT:runTime:InputSizeMismatch', '''s''');
  expect_error(@() frametest(1, ones(5, 3), 'bad', 7, 0), 'EMLRT:runTime:InputSizeMismatch', '''M''');
  expect_error(@() frametest(1, ones(4, 4), P, 7, 0), 'EMLRT:runTime:InputSizeMismatch', '''M''');
  expect_error(@() frametest(1, ones(2, 2, 2), P, 7, 0), 'EMLRT:runTime:InputSizeMismatch', '''M''');
  expect_error(@() frametest(1, M, ones(11, 2), 7, 0), 'EMLRT:runTime:InputSizeMismatch', '''P''');
  expect_error(@() frametest(1, M, P, [7 7], 0), 'EMLRT:runTime:InputSizeMismatch', '''io''');
  expect_error(@() frametest(1, M, P, 7, 'x'), 'EMLRT:runTime:InputClassMismatch', '''mode''');
  expect_error(@() frametest(1, sparse(M), P, 7, 0), 'EMLRT:runTime:InputClassMismatch', '''M''');
  % Bounds are inclusive; empty matrices pass.
  [o1, o2, o3, o4, o5] = frametest(1, ones(4, 3), ones(10, 2), 0, 0);
  assert(isequal(o1, ones(4, 3)) && o5 == 20);
  o1 = frametest(1, zeros(0, 3), zeros(0, 0), 0, 0);
  assert(isequal(size(o1), [0 3]));

  % An error inside one parallel iteration is reported after the loop...
  expect_error(@() frametest(1, M, P, 7, 1), 'frametest:iteration', 'iteration 4');
  % ... and the next call works normally.
  o1 = frametest(3, M, P, 7, 0);
  assert(isequal(o1, M));

  % The serial stream is reseeded by every call.
  x = frametest(5489, M, P, 0, 3);
  y = frametest(5489, M, P, 0, 3);
  assert(isequal(x, y) && x(1) == 0.8147236863931789);
end
