function p = he_inputs(T)
  % Physically consistent helium inputs of the trajectory plug-ins at
  % temperature T (K) and 1 atm (relations as in the README).
  if nargin < 1, T = 298; end
  kB = 1.380649e-23; e = 1.602176634e-19; u = 1.66053906660e-27;
  four_pi_eps0 = 1.11265005545e-10; alpha = 0.204956e-30;
  p.e = e; p.Kb = kB; p.T0 = T;
  p.m_gas = 4.002602 * u;
  p.m_w = 300 * u;
  p.rho_g = 101325 / (kB * T) * p.m_gas;
  p.v_c_t = sqrt(2 * kB * T / p.m_gas);
  p.v_c = p.v_c_t;
  p.v_c2 = sqrt(9 * pi * kB * T / (8 * p.m_gas));
  p.Force_const = 2 * alpha * e^2 / (four_pi_eps0 * p.m_gas);
  p.Kappa = p.Force_const / (2 * p.v_c_t^2);
  p.boxdomain = 15;  % A: holds the field of a weakly charged ion
end
