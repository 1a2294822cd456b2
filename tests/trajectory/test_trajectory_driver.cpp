#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <string>
#include <vector>

#include "hardsphere/hardkick.h"
#include "runtime/random_streams.h"
#include "support/statistics.h"
#include "trajectory/trajectory_driver.h"
#include "trajectory/trajectory_entries.h"

using namespace ccs::trajectory;

namespace {

// The plug-ins' inputs by name; run() turns them into the typed record.
using TrajectoryInputs = PluginInputs;

constexpr double kAmu = 1.66053906660e-27;
constexpr double kB = 1.380649e-23;
constexpr double kE = 1.602176634e-19;
constexpr double kFourPiEps0 = 1.11265005545e-10;

// Physically consistent helium inputs at 298 K and 1 atm.
TrajectoryInputs helium(const rt::RealArray& atoms, double n_rot, double n_total) {
  TrajectoryInputs in;
  const double T = 298.0;
  const double p = 101325.0;
  in.m_gas = 4.002602 * kAmu;
  in.m_w = 300.0 * kAmu;
  in.Kb = kB;
  in.e = kE;
  in.T0 = T;
  in.z = 1.0;
  in.rho_g = p / (kB * T) * in.m_gas;
  in.v_c_t = std::sqrt(2.0 * kB * T / in.m_gas);
  in.v_c = in.v_c_t;
  in.v_c2 = std::sqrt(9.0 * M_PI * kB * T / (8.0 * in.m_gas));
  in.Force_const = 2.0 * 0.204956e-30 * kE * kE / (kFourPiEps0 * in.m_gas);
  in.Kappa = in.Force_const / (2.0 * in.v_c_t * in.v_c_t);
  in.deltatenhance = 20.0;
  in.multiplier = 100.0;
  in.boxdomain = 1.0;
  in.n_rotations = n_rot;
  in.N_total = n_total;
  in.MobcalHS = 1.0;
  in.seedn = 5;
  in.DATA_atoms = atoms.get();
  in.Number_atoms = atoms->size[0];
  return in;
}

rt::RealArray table(const std::vector<std::vector<double>>& rows) {
  const int n = static_cast<int>(rows.size());
  const int m = static_cast<int>(rows[0].size());
  rt::RealArray a = rt::make_real(n, m);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < m; ++j) a->data[i + j * n] = rows[i][j];
  }
  return a;
}

struct Outcome {
  TrajectoryResults res;
  std::vector<double> rows;  // n_rot x 3
  std::string printed;
};

std::string g_printed;
void capture(const char* s) { g_printed += s; }

Outcome run(Variant v, const TrajectoryInputs& in) {
  rt::RootContext root(&capture);
  g_printed.clear();
  Outcome r;
  run_trajectory_method(root.get(), plugin_params(v, in), &r.res);
  r.rows = r.res.table;
  r.printed = g_printed;
  return r;
}

void trajectory_check_inputs(Variant v, const TrajectoryInputs& in) { validate(plugin_params(v, in)); }

// Per-orientation cross sections from the table rows (random-orientation mode).
ccs::test::Estimate per_orientation_ccs(const TrajectoryInputs& in, const Outcome& r) {
  const int n = static_cast<int>(in.n_rotations);
  const double M = std::sqrt(in.m_gas * 0.3580986219567645 / in.Kb / in.T0);
  const double Q = std::sqrt(1.0 + in.m_gas / in.m_w) * in.z * in.e / in.rho_g;
  std::vector<double> ccs(n);
  for (int i = 0; i < n; ++i) {
    const double K = std::sqrt(in.m_gas / in.m_w + 1.0) / r.rows[i] * in.z * in.e * 10000.0;
    ccs[i] = M * Q / K * 10000.0 * 1e20 * M_PI * 0.25;
  }
  return ccs::test::mean_and_error(ccs);
}

class Driver : public ::testing::Test {
 protected:
  void SetUp() override {
    omp_set_num_threads(2);
    rt::rng::reset_for_tests();
    rt::rng::first_time_init();
  }
};

}  // namespace

// A lone hard sphere without field scatters isotropically: its momentum-
// transfer cross section is pi R^2, with R the atom radius plus the probe.
TEST_F(Driver, SingleSphereWithoutFieldGivesPiRSquared) {
  const rt::RealArray atom = table({{0.4, -0.2, 0.1, 2.0}});
  TrajectoryInputs in = helium(atom, 24, 2000);
  in.Force_const = 0.0;
  in.Kappa = 0.0;
  in.r_probe = 1.0;
  const double expected = M_PI * 9.0;
  for (Variant v : {Variant::Moving, Variant::Fixed}) {
    rt::RealArray frames = rt::make_real(2, 3);  // two frames of the atom at rest
    rt::RealArray mass = table({{1e12}});  // much heavier than the gas: specular
    in.Move_pos = frames.get();
    in.massarray = mass.get();
    in.cfactor = 1.0;
    const Outcome r = run(v, in);
    EXPECT_NE(r.printed.find("SPHERE \n"), std::string::npos);
    const auto est = per_orientation_ccs(in, r);
    EXPECT_TRUE(ccs::test::within(r.res.r[6], expected, est.standard_error))
        << r.res.r[6] << " +- " << est.standard_error;
    EXPECT_NEAR(r.res.r[6], expected, 0.01 * expected);
    EXPECT_EQ(r.res.r[8], r.res.r[6]);
    EXPECT_EQ(r.res.r[4], 2000.0);  // launched in the last orientation
  }
  // Tensor mode: three axis orientations.
  in.MobcalHS = 0.0;
  in.n_rotations = 3;
  in.N_total = 16000;
  const Outcome t = run(Variant::Fixed, in);
  EXPECT_NEAR(t.res.r[6], expected, 0.015 * expected);
  EXPECT_NEAR(t.res.r[8], expected, 0.015 * expected);
}

// A rod of atoms along x picks the entry box in the three axis orientations;
// without field and with specular collisions the trajectory method and exact
// hard-sphere scattering estimate the same cross section: the direction
// average of the drag tensor here, three over its trace there.
TEST_F(Driver, RodInTheBoxAgreesWithExactHardSphereScattering) {
  std::vector<std::vector<double>> rows;
  for (int k = 0; k < 6; ++k) rows.push_back({2.2 * k, 0.0, 0.0, 1.7});
  const rt::RealArray rod = table(rows);
  TrajectoryInputs in = helium(rod, 3, 3000);
  in.MobcalHS = 0.0;
  in.Force_const = 0.0;
  in.Kappa = 0.0;
  in.r_probe = 1.0;
  std::vector<double> tm;
  for (int k = 0; k < 5; ++k) {
    const Outcome r = run(Variant::Fixed, in);
    EXPECT_EQ(r.printed, "BOX \nBOX \nBOX \n");
    tm.push_back(r.res.r[8]);
    // The mean of the axis mobilities weighs the small drag along the rod.
    EXPECT_LT(r.res.r[6], 0.9 * r.res.r[8]);
  }
  std::vector<double> ehss;
  rt::RootContext root;
  for (int k = 0; k < 5; ++k) {
    rt::RealArray copy = table(rows);
    double ex = 0, r1, r2, r3, r4, r5;
    hardkick(root.get(), copy.get(), &ex, &r1, &r2, &r3, 6, 1.0, in.m_gas, in.m_w, 1, 6000, 3, 0,
             1, 0, 0, 101325, 298, 11 + k, 0, &r4, &r5);
    ehss.push_back(r2);
  }
  const auto a = ccs::test::mean_and_error(tm);
  const auto b = ccs::test::mean_and_error(ehss);
  const double se = std::hypot(a.standard_error, b.standard_error);
  EXPECT_TRUE(ccs::test::within(a.mean, b.mean, se))
      << "tm " << a.mean << " ehss " << b.mean << " se " << se;
}

// The ion-induced dipole attracts the gas: a charged ion has a larger cross
// section than the same ion without polarisation.
TEST_F(Driver, PolarisationIncreasesTheCrossSection) {
  const rt::RealArray atom = table({{0, 0, 0, 1.7}});
  TrajectoryInputs in = helium(atom, 8, 1500);
  in.r_probe = 1.0;
  in.boxdomain = 15.0;  // the entry domain must hold the field of the weak charge
  const Outcome with = run(Variant::Fixed, in);
  in.Force_const = 0.0;
  in.Kappa = 0.0;
  const Outcome without = run(Variant::Fixed, in);
  EXPECT_GT(with.res.r[6], without.res.r[6] * 1.05)
      << with.res.r[6] << " vs " << without.res.r[6];
}

TEST_F(Driver, ConstantOutputsAndCounts) {
  const rt::RealArray atom = table({{0, 0, 0, 1.7}});
  TrajectoryInputs in = helium(atom, 2, 40);
  const Outcome r = run(Variant::Fixed, in);
  EXPECT_EQ(r.res.r[0], 1.0);
  for (int k : {1, 2, 3, 5, 10}) EXPECT_EQ(r.res.r[k], 0.0) << k;
  EXPECT_EQ(r.rows.size(), 6u);
  EXPECT_EQ(r.res.r[4], 40.0);
  EXPECT_EQ(r.res.r[7], r.res.r[9]);
}

// Axis-permutation mode: rows 2 and 3 are measured in the permuted molecule
// and mapped back, so the diagonal holds the drag along x, y, z of the input.
// A rod along x drags least along x.
TEST_F(Driver, AxisPermutationRowsReferToTheInputAxes) {
  std::vector<std::vector<double>> rows;
  for (int k = 0; k < 5; ++k) rows.push_back({2.0 * k, 0.0, 0.0, 1.7});
  const rt::RealArray rod = table(rows);
  TrajectoryInputs in = helium(rod, 3, 3000);
  in.MobcalHS = 0.0;
  in.Force_const = 0.0;
  in.Kappa = 0.0;
  const Outcome r = run(Variant::Fixed, in);
  const double Txx = r.rows[0], Tyy = r.rows[1 + 3], Tzz = r.rows[2 + 6];
  EXPECT_LT(Txx, 0.8 * Tyy);
  EXPECT_LT(Txx, 0.8 * Tzz);
  EXPECT_NEAR(Tyy, Tzz, 0.1 * Tyy);
}

// A molecule without partial charges and z = 1 takes the weak-single-charge
// branch (sphere radius from the atoms and boxdomain); z = 2 extends the box
// by the field test instead.
TEST_F(Driver, WeakSingleChargeAndFieldExtension) {
  const rt::RealArray atom = table({{0, 0, 0, 1.0}});
  TrajectoryInputs in = helium(atom, 1, 4);
  in.boxdomain = 30.0;  // sphere radius 30 A for the weak charge
  Outcome weak = run(Variant::Fixed, in);
  EXPECT_EQ(weak.printed, "SPHERE \n");
  in.z = 2.0;
  Outcome strong = run(Variant::Fixed, in);
  EXPECT_EQ(strong.printed, "SPHERE \n");
  // A charge of -2 is weak: the test is on the signed value.
  in.z = -2.0;
  Outcome neg = run(Variant::Fixed, in);
  EXPECT_EQ(neg.printed, "SPHERE \n");
}

TEST_F(Driver, MovingFramesOfTheCallerAreCentredAndRotatedNotLost) {
  const rt::RealArray atoms = table({{1, 0, 0, 1.5}, {-1, 0, 0, 1.5}});
  TrajectoryInputs in = helium(atoms, 2, 10);
  rt::RealArray frames = table({{1, 0, 0}, {-1, 0, 0}, {1.01, 0, 0}, {-1.01, 0, 0}});
  rt::RealArray mass = table({{12.0}, {12.0}});
  in.Move_pos = frames.get();
  in.massarray = mass.get();
  in.cfactor = 1.0;
  run(Variant::Moving, in);
  // Centred on the atoms' centroid (0) and rotated: distances are kept.
  for (int f = 0; f < 4; ++f) {
    const double x = frames->data[f], y = frames->data[f + 4], z = frames->data[f + 8];
    EXPECT_NEAR(std::sqrt(x * x + y * y + z * z), f < 2 ? 1.0 : 1.01, 1e-12);
  }
}

TEST(DriverChecks, InputsTheDriverCannotReadAreRejected) {
  const rt::RealArray atoms = table({{0, 0, 0, 1.5, 1}, {1, 0, 0, 1.5, NAN}});
  TrajectoryInputs in = helium(atoms, 3, 10);
  rt::RealArray mass = table({{12.0}, {12.0}});
  rt::RealArray frames = rt::make_real(4, 3);
  in.massarray = mass.get();
  in.Move_pos = frames.get();
  EXPECT_NO_THROW(trajectory_check_inputs(Variant::Moving, in));
  auto rejects = [&](Variant v, const TrajectoryInputs& bad, const std::string& name) {
    try {
      trajectory_check_inputs(v, bad);
      ADD_FAILURE() << "accepted; expected an error naming " << name;
    } catch (const rt::Error& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
  };
  TrajectoryInputs b = in;
  b.Number_atoms = 3;
  rejects(Variant::Fixed, b, "Number_atoms");
  b = in;
  b.MobcalHS = 0;
  b.n_rotations = 2;
  rejects(Variant::Fixed, b, "n_rotations");
  b = in;
  b.diffusive = 2;
  rejects(Variant::Moving, b, "diffusive");
  rt::RealArray short_mass = table({{12.0}});
  b = in;
  b.massarray = short_mass.get();
  rejects(Variant::Moving, b, "massarray");
  rt::RealArray one_frame = rt::make_real(2, 3);
  b = in;
  b.Move_pos = one_frame.get();
  rejects(Variant::Moving, b, "Move_pos");
  rt::RealArray odd_frames = rt::make_real(5, 3);
  b.Move_pos = odd_frames.get();
  rejects(Variant::Moving, b, "Move_pos");
  rt::RealArray eps = table({{1.0}, {1.0}});
  b = in;
  b.epsili = eps.get();
  b.sigmai = eps.get();
  b.sigma2i = short_mass.get();
  rejects(Variant::Well, b, "sigma2i");
  b.sigma2i = eps.get();
  b.qpol = 1;
  rejects(Variant::Well, b, "charge");
}

// The Lennard-Jones well matters more when the gas is slower: a dimer of
// carbon atoms in helium has a larger cross section at 150 K than at 600 K.
TEST_F(Driver, SoftFieldCrossSectionGrowsAsTheGasCools) {
  const rt::RealArray dimer = table({{-3.0, 0, 0, 1.7}, {3.0, 0, 0, 1.7}});
  // Helium-carbon 12-6 parameters: 1.34 meV, 3.043 A (Mesleh et al. 1996).
  const double eps = 1.34e-3 * kE;
  const double sigma = 3.043e-10;
  rt::RealArray e = table({{eps}, {eps}});
  rt::RealArray s6 = table({{std::pow(sigma, 6)}, {std::pow(sigma, 6)}});
  rt::RealArray s12 = table({{std::pow(sigma, 12)}, {std::pow(sigma, 12)}});
  auto ccs_at = [&](double T) {
    TrajectoryInputs in = helium(dimer, 8, 600);
    in.T0 = T;
    in.rho_g = 101325.0 / (kB * T) * in.m_gas;
    in.v_c_t = std::sqrt(2.0 * kB * T / in.m_gas);
    in.v_c = in.v_c_t;
    in.Kappa = in.Force_const / (2.0 * in.v_c_t * in.v_c_t);
    in.deltatenhance = 100.0;
    in.boxdomain = 10.0;
    in.epsili = e.get();
    in.sigmai = s6.get();
    in.sigma2i = s12.get();
    const Outcome r = run(Variant::Well, in);
    return per_orientation_ccs(in, r);
  };
  const auto cold = ccs_at(150.0);
  const auto hot = ccs_at(600.0);
  const double se = std::hypot(cold.standard_error, hot.standard_error);
  EXPECT_GT(cold.mean - hot.mean, 3.0 * se) << cold.mean << " vs " << hot.mean << " se " << se;
}

// The axis orientations cycle the stored frames with the coordinates, so a
// molecule moving along x in orientation 1 moves along the cycled axis in
// orientations 2 and 3. The frames are centred and turned in place: after
// the third orientation they hold the twice-cycled motion.
TEST_F(Driver, AxisOrientationsCycleTheFramesWithTheAtoms) {
  const rt::RealArray atoms = table({{0, 0, 0, 1.7}, {3.0, 1.0, -0.5, 1.5}});
  TrajectoryInputs in = helium(atoms, 3, 30);
  in.MobcalHS = 0.0;
  // Frame 2 moves every atom by 0.01 Å along x.
  rt::RealArray frames =
      table({{0, 0, 0}, {3.0, 1.0, -0.5}, {0.01, 0, 0}, {3.01, 1.0, -0.5}});
  const rt::RealArray mass = table({{12.0}, {12.0}});
  in.Move_pos = frames.get();
  in.massarray = mass.get();
  in.cfactor = 1.0;
  run(Variant::Moving, in);
  const int rows = frames->size[0];
  for (int a = 0; a < 2; ++a) {
    double motion[3];
    for (int j = 0; j < 3; ++j) {
      motion[j] = frames->data[(a + 2) + j * rows] - frames->data[a + j * rows];
    }
    // Cycled twice: new (x, y, z) = old (z, x, y), so the motion is along y.
    EXPECT_NEAR(motion[0], 0.0, 1e-12) << a;
    EXPECT_NEAR(motion[1], 0.01, 1e-12) << a;
    EXPECT_NEAR(motion[2], 0.0, 1e-12) << a;
  }
}

// The three-site orientation weights take the energy scale the caller gives
// (the program passes k_B T of the run; the plug-in keeps its constant).
TEST_F(Driver, ThreeSiteWeightsFollowTheGivenEnergyScale) {
  const rt::RealArray atoms = table({{0, 0, 0, 3.0, 0.6}, {1.5, 0, 0, 3.0, 0.4}});
  TrajectoryInputs in = helium(atoms, 2, 60);
  const double n2 = 28.0134 * kAmu;
  in.m_gas = n2;
  in.rho_g = 101325.0 / (kB * in.T0) * n2;
  in.v_c_t = std::sqrt(2.0 * kB * in.T0 / n2);
  in.v_c = in.v_c_t;
  in.Force_const = 2.0 * 1.7403e-30 * kE * kE / (kFourPiEps0 * n2);
  in.Kappa = in.Force_const / (2.0 * in.v_c_t * in.v_c_t);
  in.qpol = 1.0;
  const rt::RealArray eps = table({{2e-22}, {2e-22}});
  const rt::RealArray s6 = table({{std::pow(3.5e-10, 6)}, {std::pow(3.5e-10, 6)}});
  const rt::RealArray s12 = table({{std::pow(3.5e-10, 12)}, {std::pow(3.5e-10, 12)}});
  in.epsili = eps.get();
  in.sigmai = s6.get();
  in.sigma2i = s12.get();
  TrajectoryParams p = plugin_params(Variant::Well, in);
  auto keyed = [&](const TrajectoryParams& x) {
    rt::RootContext root;
    root.get()->keyed_streams = true;
    root.get()->stream_seed = 7;
    TrajectoryResults res;
    run_trajectory_method(root.get(), x, &res);
    return res.r[6];
  };
  const double plugin = keyed(p);
  EXPECT_EQ(p.three_site_kT, 2.622e-21);
  p.three_site_kT = kB * 600.0;
  const double hot = keyed(p);
  EXPECT_NE(plugin, hot);
  p.three_site_kT = 2.622e-21;
  EXPECT_EQ(keyed(p), plugin);
}
