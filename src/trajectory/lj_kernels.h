// Lennard-Jones trajectory kernels of tracerun_well: one gas-molecule
// trajectory through the soft field of the ion (a 12-6 potential on every
// atom plus the ion-induced-dipole field of the charges), integrated by
// velocity Verlet from the launch point until the probe leaves the box.
// The kernels draw no random numbers and return the momentum transferred.
//
// Arrays are passed as read-only views of column-major blocks. The kernels
// keep their per-site working values in a caller-owned LjScratch (one per
// thread), so nothing is allocated once the scratch has grown to the size of
// the molecule.
#pragma once

#include <cstdint>
#include <vector>

namespace ccs {

// Read-only column-major array: rows x cols doubles.
struct LjArray {
  const double* data;
  std::int32_t rows;
  std::int32_t cols;
};

inline std::int32_t lj_numel(LjArray a) { return a.rows * a.cols; }

// Per-thread working arrays of the kernels: per-site values that one force
// evaluation needs in a second pass. Grown on demand at the start of a call,
// never inside the step loop; reuse one per thread across trajectories.
struct LjScratch {
  std::vector<double> values;
};

// Optional per-step callback (tests, diagnostics): called once after the
// launch set-up with n = 0 and after every step with the synchronous position
// (m), velocity (m/s) and acceleration (m/s^2) and the step just taken (s).
struct LjObserver {
  void (*step)(void* user, int n, double dt, const double x[3], const double v[3],
               const double a[3]);
  void* user;
};

// One trajectory in the field of N Lennard-Jones atoms and nq point charges.
// nq == 1 selects the single-charge ion-induced-dipole force (q2[0] = q1^2);
// any other value evaluates the field of all rows of qpos (none for nq = 0).
// ones_N and ones_q are the all-ones columns of the caller's shapes; the
// probe position is subtracted from every row directly.
// Leaves dp = (0, 0, 0) for a probe that has not left the box after 50000
// steps, or when dir[0] = 0.
void lj_field_trajectory(LjScratch* ws, LjArray ones_N, const double box[6], LjArray q, LjArray q2,
                         LjArray qpos, double nq, double deltatenhance, double Force_const,
                         double dt0, double x_red, double m_gas, double v_c, double v_c_t,
                         const double pos[3], const double dir[3], LjArray lj_att,
                         LjArray coords_m, LjArray lj_rep, LjArray ones_q, double near_flag,
                         LjArray near_idx, double dp[3], const LjObserver* observer = nullptr);

// `count` such trajectories (launch points pos, directions dir, reduced
// speeds x_red; transfers into dp), each with exactly the numbers it gets
// alone, advanced a few at a time in lockstep: their steps share one pass
// over the atoms, so a large molecule is read from memory once for them.
void lj_field_trajectories(LjScratch* ws, const double box[6], LjArray q, LjArray q2, LjArray qpos,
                           double nq, double deltatenhance, double Force_const, double dt0,
                           double m_gas, double v_c, double v_c_t, LjArray lj_att,
                           LjArray coords_m, LjArray lj_rep, double near_flag, LjArray near_idx,
                           int count, const double (*pos)[3], const double (*dir)[3],
                           const double* x_red, double (*dp)[3]);

// The same trajectory for a molecule whose charges sit on its atoms: one
// distance pass per step serves both forces. q holds one charge per row of
// coords_m; nq only enters the near-charge time-step rule.
void lj_site_charge_trajectory(LjScratch* ws, const double box[6], LjArray q, LjArray coords_m,
                               const double pos[3], const double dir[3], double nq,
                               double deltatenhance, double Force_const, double dt0, double x_red,
                               double m_gas, double v_c, double v_c_t, LjArray lj_att,
                               LjArray lj_rep, LjArray ones_N, double near_flag, LjArray near_idx,
                               double dp[3], const LjObserver* observer = nullptr);

// The three-site trajectory (three_site_gas_trajectory below) as the
// tracerun_well plug-in exports it: with kT = kThreeSitePluginKT.
extern "C" void c_mompolsimpGUIFreeLJparforocto(LjScratch* ws, LjArray ones_N, const double box[6], LjArray q,
                                     const double pos[3], const double dir[3], double deltatenhance,
                                     double Force_const, double dt0, double x_red, double m_gas,
                                     double v_c, double v_c_t, double near_flag, LjArray lj_att,
                                     LjArray coords_m, LjArray lj_rep, LjArray near_idx,
                                     LjArray lj_energy, double q_site, LjArray q_force,
                                     LjArray q_energy, double dp[3],
                                     const LjObserver* observer = nullptr);

// Energy scale of the three-site orientation weights in the plug-in
// (about k_B * 190 K, whatever the gas temperature).
inline constexpr double kThreeSitePluginKT = 2.622e-21;  // J

// Linear three-site gas molecule (centre and two end sites at +-0.5488 A):
// at every force evaluation the accelerations of the three axis orientations
// are averaged with Boltzmann weights of their interaction energies at the
// energy scale kT (J; the program passes k_B T of the run). The end sites
// carry the Lennard-Jones terms; the site charges are -q_site at the ends
// and 2 q_site at the centre. q holds one charge per row of coords_m.
void three_site_gas_trajectory(LjScratch* ws, const double box[6], LjArray q, const double pos[3],
                               const double dir[3], double deltatenhance, double Force_const,
                               double dt0, double x_red, double m_gas, double v_c, double v_c_t,
                               double near_flag, LjArray lj_att, LjArray coords_m, LjArray lj_rep,
                               LjArray near_idx, LjArray lj_energy, double q_site,
                               LjArray q_force, LjArray q_energy, double kT, double dp[3],
                               const LjObserver* observer = nullptr);

// Interaction energies U (J) of the three axis orientations of the three-site
// molecule centred at x (m), as the kernel weighs them.
void three_site_orientation_energies(LjArray q, double Force_const, double m_gas, LjArray lj_att,
                                     LjArray coords_m, LjArray lj_rep, LjArray lj_energy,
                                     double q_site, LjArray q_force, LjArray q_energy,
                                     const double x[3], double U[3]);

// Boltzmann weights of the three orientation energies U (J): the reference
// is min(U1 capped at 1e8, U2, U3); w_j = exp(-(U_j - ref)/kT), p_j = w_j/W.
double lj_orientation_reference(const double U[3]);
void lj_orientation_weights(const double U[3], double kT, double p[3]);

// Per-atom coefficients from the Lennard-Jones parameters (n atoms):
//   lj_att    = 24 eps sigmai / m_gas          (sigmai  = sigma^6)
//   lj_rep    = (2 sigma2i) (24 eps / m_gas)   (sigma2i = sigma^12)
//   lj_energy = lj_att / 6
// so that the per-mass acceleration is lj_att/r^8 - lj_rep/r^14 along the
// probe-to-atom vector and the per-mass potential lj_rep/(12 r^12) - lj_energy/r^6.
void lj_coefficients(const double* epsili, const double* sigmai, const double* sigma2i, int n,
                     double m_gas, double* lj_att, double* lj_rep, double* lj_energy);

// Site-charge constant of the three-site gas molecule per unit gas mass.
double lj_polarisation_constant(double m_gas);

// q * K_pol for the n charges, as the force column and the energy row of the
// three-site kernel (the same n values).
void lj_charge_coefficients(const double* q, int n, double K_pol, double* q_force,
                            double* q_energy);

}  // namespace ccs
