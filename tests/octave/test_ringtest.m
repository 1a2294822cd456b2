function test_ringtest()
% Host-level checks of the ringtest plug-in; raises an error on the first failure.

  square = [0 1 1 0; 0 0 1 1];

  % Unit square: inside, on a vertical edge, on a vertex, outside.
  [in, bnd] = ringtest([0.5 1 0 2; 0.5 0.5 0 0.5], square);
  check(isa(in, 'logical') && isa(bnd, 'logical'), 'outputs are not logical');
  check(isequal(size(in), [1 4]) && isequal(size(bnd), [1 4]), 'outputs are not 1 x N');
  check(isequal(in, logical([1 1 1 0])), 'unit square: wrong in');
  check(isequal(bnd, logical([0 1 1 0])), 'unit square: wrong bnd');
  % One output only, and an explicit edge table equal to the default ring.
  in1 = ringtest([0.5 1 0 2; 0.5 0.5 0 0.5], square, [1 2 3 4; 2 3 4 1]);
  check(isequal(in1, in), 'explicit ring differs from the default one');

  % Points on horizontal edges (several sharing the largest y) are boundary points.
  [in, bnd] = ringtest([0.2 0.5 0.7 0.5 0.3 0.6 0.4; 1 1 1 0.5 0 0 -0.4], square);
  check(isequal(bnd, logical([1 1 1 0 1 1 0])), 'horizontal edges: wrong bnd');
  check(isequal(in, logical([1 1 1 1 1 1 0])), 'horizontal edges: wrong in');

  % No points: two 1 x 0 logical rows.
  [in, bnd] = ringtest(zeros(2, 0), square);
  check(isa(in, 'logical') && isa(bnd, 'logical'), 'N = 0: outputs are not logical');
  check(isequal(size(in), [1 0]) && isequal(size(bnd), [1 0]), 'N = 0: outputs are not 1 x 0');

  % Fewer than two inputs: the help text, byte for byte, and no output.
  help = ["\n\n" ...
          "Returns points laying inside/on bondary of a given polygon.\n" ...
          "\n\nUsage\n-----\n\n\n" ...
          "[in , bnd]        = ringtest(X , node , [cnect]);\n" ...
          "\n\nInputs\n------\n\n" ...
          "X                  Point to test if inside/bounds (2 x N).\n" ...
          "node               Node of Polygon (2 x Nnode) where node(: , i) is linked with node(: , i+1).\n" ...
          "cnect              ndex of connected noded (default node  = [(1:Nnode-1) , Nnode ; (2:Nnode) , 1]).\n" ...
          "\n\nOutputs\n-------\n\n" ...
          "in                 Logical array of X points inside the polygon (1 x N).\n" ...
          "bnd                Logical array of X points laying on the boundary of the polygon (1 x N).\n" ...
          "\n\n"];
  check(strcmp(evalc('ringtest(1)'), help), 'help text differs (one input)');
  check(strcmp(evalc('ringtest()'), help), 'help text differs (no input)');
  assigned = true;
  try
    evalc('a = ringtest(square);');
  catch
    assigned = false;
  end
  check(~assigned, 'the help call returned an output');

  % Wrong shapes.
  expect_error(@() ringtest(zeros(3, 2), square), 'ringtest:badInput', 'X must be (2 x N)');
  expect_error(@() ringtest([0.5 0.5], square), 'ringtest:badInput', 'X must be (2 x N)');
  expect_error(@() ringtest([0.5; 0.5], square(:)'), 'ringtest:badInput', 'node must be (2 x Nnode)');
  expect_error(@() ringtest([0.5; 0.5], [square; square]), 'ringtest:badInput', 'node must be (2 x Nnode)');

  % Edge tables that do not name nodes of the polygon.
  p = [0.5; 0.5];
  expect_error(@() ringtest(p, square, [1 2 3 4]), 'ringtest:badInput', 'cnect must be (2 x Ne)');
  expect_error(@() ringtest(p, square, [1 2; 2 3; 3 4]), 'ringtest:badInput', 'cnect must be (2 x Ne)');
  expect_error(@() ringtest(p, square, []), 'ringtest:badInput', 'cnect must be (2 x Ne)');
  bad_node = ' is not a node number: entries must be whole numbers in 1..';
  bad_node_4 = [bad_node '4 (Nnode)'];
  expect_error(@() ringtest(p, square, [1 2 3 4; 2 3 4 0]), 'ringtest:badInput', ['cnect(2,4) = 0' bad_node_4]);
  expect_error(@() ringtest(p, square, [1 2 3 5; 2 3 4 1]), 'ringtest:badInput', ['cnect(1,4) = 5' bad_node_4]);
  expect_error(@() ringtest(p, square, [1 2.5; 2 3]), 'ringtest:badInput', ['cnect(1,2) = 2.5' bad_node_4]);
  expect_error(@() ringtest(p, square, [1 2; NaN 3]), 'ringtest:badInput', ['cnect(2,1) = NaN' bad_node_4]);
  expect_error(@() ringtest(p, square, [1 -2; 2 3]), 'ringtest:badInput', ['cnect(1,2) = -2' bad_node_4]);
  expect_error(@() ringtest(p, zeros(2, 0), [1; 1]), 'ringtest:badInput', ['cnect(1,1) = 1' bad_node '0 (Nnode)']);

  % Inputs that are not real double arrays.
  expect_error(@() ringtest(single(p), square), 'ringtest:badInput', 'X must be a real double array');
  expect_error(@() ringtest(int32([1; 1]), square), 'ringtest:badInput', 'X must be a real double array');
  expect_error(@() ringtest(p + 1i, square), 'ringtest:badInput', 'X must be a real double array');
  expect_error(@() ringtest(sparse(p), square), 'ringtest:badInput', 'X must be a real double array');
  expect_error(@() ringtest(['a'; 'b'], square), 'ringtest:badInput', 'X must be a real double array');
  expect_error(@() ringtest(p, single(square)), 'ringtest:badInput', 'node must be a real double array');
  expect_error(@() ringtest(p, logical(square)), 'ringtest:badInput', 'node must be a real double array');
  expect_error(@() ringtest(p, {1 2; 3 4}), 'ringtest:badInput', 'node must be a real double array');
  expect_error(@() ringtest(p, square, int32([1 2 3 4; 2 3 4 1])), 'ringtest:badInput', ...
               'cnect must be a real double array');
  expect_error(@() ringtest(p, square, sparse([1 2 3 4; 2 3 4 1])), 'ringtest:badInput', ...
               'cnect must be a real double array');
  expect_error(@() ringtest(p, square, complex([1 2 3 4; 2 3 4 1], 0)), 'ringtest:badInput', ...
               'cnect must be a real double array');
  try
    [a, b, c] = ringtest(p, square);
    error('test_ringtest:missed', 'three outputs were accepted');
  catch err
    check(strcmp(err.identifier, 'ringtest:tooManyOutputs'), ['three outputs: ' err.message]);
  end

  % Results come back in the input order of the points.
  [gx, gy] = meshgrid(-0.5:0.25:1.5);
  g = [gx(:)'; gy(:)'];
  closed = g(1, :) >= 0 & g(1, :) <= 1 & g(2, :) >= 0 & g(2, :) <= 1;
  edge = closed & (g(1, :) == 0 | g(1, :) == 1 | g(2, :) == 0 | g(2, :) == 1);
  rand('twister', 11);
  for round = 1:5
    perm = randperm(size(g, 2));
    [in, bnd] = ringtest(g(:, perm), square);
    check(isequal(in, closed(perm)), 'shuffled grid: wrong in');
    check(isequal(bnd, edge(perm)), 'shuffled grid: wrong bnd');
  end

  % Non-convex star with a square and a triangle hole, edges given through
  % cnect in mixed order, against an even-odd count.
  spikes = 24;
  a = 2 * pi * (0:spikes - 1) / spikes + 0.05;
  r = repmat([10 5], 1, spikes / 2);
  node = [r .* cos(a), -3 -1 -1 -3, 1 3.5 2; r .* sin(a), -1 -1 1 1, 0.5 0.5 3.5];
  cnect = [1:spikes, 25:28, 29:31; 2:spikes, 1, 26:28, 25, 30:31, 29];
  cnect = cnect(:, randperm(size(cnect, 2)));
  cnect(:, 1:3:end) = cnect([2 1], 1:3:end);
  boxes = [11 11; 11 3; 3 11];   % both axes, stretched in x, stretched in y
  for k = 1:rows(boxes)
    pts = [(2 * rand(1, 6000) - 1) * boxes(k, 1); (2 * rand(1, 6000) - 1) * boxes(k, 2)];
    pts = pts(:, edge_distance(pts, node, cnect) > 1e-9);
    [in, bnd] = ringtest(pts, node, cnect);
    expected = even_odd(pts, node, cnect);
    check(isequal(in, expected), sprintf('polygon with holes, box %d: wrong in', k));
    check(~any(bnd), sprintf('polygon with holes, box %d: boundary points away from edges', k));
    check(sum(expected) > 500 && sum(~expected) > 500, 'polygon sample does not cover both classes');
  end
end

function check(ok, what)
  if ~ok
    error('test_ringtest:failed', '%s', what);
  end
end

% Runs f, which must raise an error with the given identifier whose message is
% the given text (the host may put the plug-in name in front).
function expect_error(f, id, text)
  try
    f();
  catch err
    check(strcmp(err.identifier, id), ['wrong identifier ' err.identifier ' for: ' err.message]);
    check(strcmp(err.message, text) || strcmp(err.message, ['ringtest: ' text]), ...
          ['wrong message: "' err.message '" (expected "' text '")']);
    return;
  end
  error('test_ringtest:failed', 'no error raised (expected "%s")', text);
end

% Even-odd count of the crossings of the ray towards +x.
function inside = even_odd(pts, node, cnect)
  inside = false(1, columns(pts));
  x = pts(1, :);
  y = pts(2, :);
  for e = 1:columns(cnect)
    p1 = node(:, cnect(1, e));
    p2 = node(:, cnect(2, e));
    spans = (p1(2) > y) ~= (p2(2) > y);
    xcut = p1(1) + (p2(1) - p1(1)) .* (y - p1(2)) ./ (p2(2) - p1(2));
    inside = xor(inside, spans & x < xcut);
  end
end

function d = edge_distance(pts, node, cnect)
  d = inf(1, columns(pts));
  for e = 1:columns(cnect)
    p1 = node(:, cnect(1, e));
    v = node(:, cnect(2, e)) - p1;
    t = min(max(((pts(1, :) - p1(1)) * v(1) + (pts(2, :) - p1(2)) * v(2)) / (v' * v), 0), 1);
    d = min(d, hypot(pts(1, :) - p1(1) - t * v(1), pts(2, :) - p1(2) - t * v(2)));
  end
end
