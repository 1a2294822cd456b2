## -*- texinfo -*-
## @deftypefn {} {@var{r} =} field_radius (@var{run})
## Default entry-domain margin of a weakly charged ion (Å): the field radius
## (Kappa z^2/0.005)^(1/4), where the ion-induced-dipole energy falls to
## 0.5 % of k_B T, and at least 1.5 Å.
## @end deftypefn

function r = field_radius (run)
  r = max ((run.g.Kappa * run.z * run.z / constants ().negligible) ^ 0.25 * 1e10, 1.5);
endfunction
