## -*- texinfo -*-
## @deftypefn {} {@var{g} =} gas_inputs (@var{gas}, @var{T}, @var{p})
## Inputs of the plug-ins derived from the gas conditions (SI), by the
## relations of the README: number density @code{N} = p/(k_B T),
## @code{m_gas}, @code{rho_g} = N m_gas, @code{v_c_t} = sqrt(2 k_B T/m_gas),
## @code{Force_const} = 2 alpha e^2/(4 pi eps0 m_gas),
## @code{Kappa} = Force_const/(2 v_c_t^2), @code{v_c2} = sqrt(9 pi k_B T/(8 m_gas)).
## @var{gas} has the fields @code{mass_u} (u) and @code{polarizability_A3} (Å^3).
## @end deftypefn

function g = gas_inputs (gas, T, p)
  c = constants ();
  kT = c.kB * T;
  g.number_density = p / kT;
  g.m_gas = gas.mass_u * c.u;
  g.rho_g = g.number_density * g.m_gas;
  g.v_c_t = sqrt (2 * kT / g.m_gas);
  alpha = gas.polarizability_A3 * 1e-30;
  g.Force_const = 2 * alpha * c.e * c.e / (4 * pi * c.eps0 * g.m_gas);
  g.Kappa = g.Force_const / (2 * g.v_c_t * g.v_c_t);
  g.v_c2 = sqrt (9 * pi * kT / (8 * g.m_gas));
endfunction
