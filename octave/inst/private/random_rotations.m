## -*- texinfo -*-
## @deftypefn {} {@var{Q} =} random_rotations (@var{n}, @var{seed})
## @var{n} rotation matrices (3 x 3 x @var{n}) drawn uniformly over all
## orientations (unit quaternions from three uniform numbers each), from a
## stream seeded with @var{seed}; the caller's random state is left as it was.
## @end deftypefn

function Q = random_rotations (n, seed)
  saved = rand ("state");
  unwind_protect
    rand ("state", seed);
    u = rand (n, 3);
  unwind_protect_cleanup
    rand ("state", saved);
  end_unwind_protect
  a = sqrt (1 - u(:,1)) .* sin (2 * pi * u(:,2));
  b = sqrt (1 - u(:,1)) .* cos (2 * pi * u(:,2));
  c = sqrt (u(:,1)) .* sin (2 * pi * u(:,3));
  w = sqrt (u(:,1)) .* cos (2 * pi * u(:,3));
  Q = zeros (3, 3, n);
  Q(1,1,:) = 1 - 2 * (b.^2 + c.^2);  Q(1,2,:) = 2 * (a.*b - c.*w);  Q(1,3,:) = 2 * (a.*c + b.*w);
  Q(2,1,:) = 2 * (a.*b + c.*w);  Q(2,2,:) = 1 - 2 * (a.^2 + c.^2);  Q(2,3,:) = 2 * (b.*c - a.*w);
  Q(3,1,:) = 2 * (a.*c - b.*w);  Q(3,2,:) = 2 * (b.*c + a.*w);  Q(3,3,:) = 1 - 2 * (a.^2 + b.^2);
endfunction
