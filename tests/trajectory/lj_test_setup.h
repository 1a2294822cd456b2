// Molecules, gas parameters and call helpers for the Lennard-Jones kernel
// tests and benchmarks.
#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "trajectory/lj_kernels.h"

namespace ljtest {

constexpr double kAmu = 1.66053906660e-27;       // kg (CODATA 2018)
constexpr double kElementary = 1.602176634e-19;  // C, exact SI
constexpr double kCoulomb = 8.9875517923e9;      // 1/(4 pi eps0), N m^2 / C^2
constexpr double kBoltzmann = 1.380649e-23;      // J/K, exact SI
constexpr double kMassHe = 4.002602 * kAmu;
constexpr double kMassN2 = 28.0134 * kAmu;
// Static dipole polarisabilities (volume units, m^3): He 0.204956 A^3;
// N2 1.7403 A^3 (CRC Handbook of Chemistry and Physics).
constexpr double kAlphaHe = 0.204956e-30;
constexpr double kAlphaN2 = 1.7403e-30;

// He-atom Lennard-Jones parameters, Mesleh et al., J. Phys. Chem. 100 (1996)
// 16082: C/N/O eps = 1.34 meV, sigma = 3.043 A; H eps = 0.65 meV, sigma = 2.38 A.
struct LjType {
  double eps;    // J
  double sigma;  // m
};
inline const LjType kCarbon{1.34e-3 * kElementary, 3.043e-10};
inline const LjType kHydrogen{0.65e-3 * kElementary, 2.38e-10};

// Ion-induced-dipole force constant K_F of a gas of polarisability alpha
// (m^3) and mass m: the acceleration toward a charge q (e) at distance r is
// K_F q^2 / r^5, from the potential -alpha k_e e^2 q^2 / (2 r^4).
inline double force_constant(double alpha, double m_gas) {
  return 2.0 * alpha * kCoulomb * kElementary * kElementary / m_gas;
}

struct Atom {
  double x, y, z;  // A
  LjType type;
  double q;  // e
};

// C60 cage: the even permutations of (0, +-1, +-3phi), (+-1, +-(2+phi),
// +-2phi), (+-phi, +-2, +-(2phi+1)) have edge 2; scaled to 1.42 A bonds.
std::vector<Atom> c60();

// Roughly spherical cluster of about n atoms on a jittered 1.9 A cubic grid,
// alternating C and H types (deterministic).
std::vector<Atom> globule(int n);

// Everything one kernel call needs, with the driver's derived arrays.
struct Scene {
  std::vector<Atom> atoms;
  double m_gas = kMassHe;
  double alpha = kAlphaHe;
  double temperature = 300.0;
  double deltatenhance = 100.0;
  double near_flag = 0.0;
  double box[6] = {-2e-9, 2e-9, -2e-9, 2e-9, -2e-9, 2e-9};  // m

  // Derived by prepare().
  double Force_const = 0.0;
  double v_c_t = 0.0;  // sqrt(2 kT / m)
  double v_c = 0.0;
  double dt0 = 0.0;
  std::vector<double> coords, A, B, C, q, ones, near_idx;
  std::vector<double> q_kpol;
  double K_pol = 0.0;

  void prepare();
  int n() const { return static_cast<int>(atoms.size()); }
  // Entry-box half width (A) around the origin.
  void set_box(double half_width_A);
};

// Separate charge set of the field kernel.
struct Charges {
  std::vector<std::array<double, 4>> sites;  // x, y, z (A), q
  double nq = -1.0;                          // < 0: number of sites
  std::vector<double> near_idx;              // 1-based
};

void run_field(const Scene& s, const Charges& c, const double pos[3], const double dir[3],
               double x_red, double dp[3], const ccs::LjObserver* obs = nullptr,
               ccs::LjScratch* ws = nullptr);
// The same launches (count of them) through the lockstep entry.
void run_field_together(const Scene& s, const Charges& c, int count, const double (*pos)[3],
                        const double (*dir)[3], const double* x_red, double (*dp)[3]);
void run_sites(const Scene& s, const double pos[3], const double dir[3], double x_red, double dp[3],
               const ccs::LjObserver* obs = nullptr, ccs::LjScratch* ws = nullptr);
void run_three_site(const Scene& s, const double pos[3], const double dir[3], double x_red,
                    double dp[3], const ccs::LjObserver* obs = nullptr,
                    ccs::LjScratch* ws = nullptr);

// Energies (J) of the three axis orientations of the three-site molecule
// centred at x (m), as the three-site kernel weighs them.
void three_site_energies(const Scene& s, const double x[3], double U[3]);

// Records every observed state.
struct Track {
  std::vector<int> n;
  std::vector<double> dt;
  std::vector<std::array<double, 3>> x, v, a;
  ccs::LjObserver observer();
};

}  // namespace ljtest
