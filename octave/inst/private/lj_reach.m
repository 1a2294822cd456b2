## -*- texinfo -*-
## @deftypefn {} {@var{R} =} lj_reach (@var{xyz}, @var{epsilon_J}, @var{sigma_A}, @var{kT})
## Reach of the Lennard-Jones field (Å from the centroid of @var{xyz}): the
## smallest r with sum_i 4 eps_i (sigma_i/(r - d_i))^6 <= 0.005 k_B T,
## d_i the atom's distance from the centroid, by bisection to 1e-9 Å.
## @end deftypefn

function R = lj_reach (xyz, epsilon_J, sigma_A, kT)
  d = sqrt (sum ((xyz - mean (xyz, 1)) .^ 2, 2));
  target = 0.005 * kT;
  tail = @(r) sum (4 * epsilon_J .* (sigma_A ./ (r - d)) .^ 6);
  lo = max (d);  # the attraction grows without bound towards the outermost atom
  hi = lo + max (sigma_A);
  while (tail (hi) > target)
    hi = lo + 2 * (hi - lo);
  endwhile
  while (hi - lo > 1e-9)
    mid = (lo + hi) / 2;
    if (tail (mid) > target)
      lo = mid;
    else
      hi = mid;
    endif
  endwhile
  R = hi;
endfunction
