// The hardkick driver: outputs and modes, input checks, gas density, and the
// physics of hard-sphere scattering against independent expectations.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "hardsphere/entry_domain.h"
#include "hardsphere/orientation_transfer.h"
#include "hs_test_support.h"
#include "runtime/parallel.h"
#include "support/statistics.h"

namespace {

using hs_test::Atom;
using hs_test::kPi;
using hs_test::Outputs;
using hs_test::Params;
using hs_test::run;

// Snapshot of the master-thread loop stream (the only loop stream a
// single-thread loop draws from).
struct LoopStreamSnapshot {
  LoopStreamSnapshot() {
    rt::rng::LoopStreams s;
    saved = *rt::rng::current_state();
  }
  void restore() const {
    rt::rng::LoopStreams s;
    *rt::rng::current_state() = saved;
  }
  bool unchanged() const {
    rt::rng::LoopStreams s;
    const rt::MtState& now = *rt::rng::current_state();
    for (int w = 0; w < 625; ++w) {
      if (now.w[w] != saved.w[w]) return false;
    }
    return true;
  }
  rt::MtState saved;
};

class Hardkick : public ::testing::Test {
 protected:
  void SetUp() override {
    rt::rng::ensure_initialised();
    threads_ = omp_get_max_threads();
  }
  void TearDown() override { omp_set_num_threads(threads_); }
  int threads_ = 1;
};

const std::vector<Atom> kSphere = {{0.3, -0.2, 0.1, 1.5}};  // collision radius 2 with r_probe 0.5
const std::vector<Atom> kTriangle = {
    {0.0, 0.0, 0.0, 1.2}, {2.5, 0.0, 0.0, 1.0}, {0.5, 2.0, 0.7, 1.4}};
// A rod of touching spheres: entered through the box in most orientations.
const std::vector<Atom> kRod = {{0.0, 0.0, 0.0, 1.0}, {2.0, 0.0, 0.0, 1.0}, {4.0, 0.0, 0.0, 1.0},
                                {6.0, 0.0, 0.0, 1.0}, {8.0, 0.0, 0.0, 1.0}};

TEST_F(Hardkick, NoOrientationGivesZeroMobilityAndInfiniteCrossSection) {
  for (double n_rot : {0.0, 0.5, -2.0, static_cast<double>(NAN)}) {
    LoopStreamSnapshot loops;
    Params p;
    p.n_rotations = n_rot;
    const Outputs o = run(kTriangle, p, 42.0);
    EXPECT_EQ(o.r1, 0.0);
    EXPECT_EQ(o.r4, 0.0);
    EXPECT_EQ(o.r5, 0.0);
    EXPECT_EQ(o.r2, INFINITY);
    EXPECT_EQ(o.r3, INFINITY);
    EXPECT_EQ(o.excelsheet, 42.0);
    EXPECT_TRUE(loops.unchanged());  // no trajectory ran
  }
}

TEST_F(Hardkick, OrientationModeAndReproducibility) {
  omp_set_num_threads(1);
  Params p;
  p.N_total = 300;
  p.n_rotations = 3;
  p.seedn = 17;
  auto call = [&](double mobcal, double seed, const LoopStreamSnapshot& loops) {
    loops.restore();
    Params q = p;
    q.MobcalHS = mobcal;
    q.seedn = seed;
    return run(kTriangle, q, -3.25);
  };
  LoopStreamSnapshot loops;
  const Outputs nan_mode = call(NAN, 17, loops);
  const Outputs random_mode = call(2.0, 17, loops);
  const Outputs axis_mode = call(0.0, 17, loops);
  const Outputs other_seed = call(2.0, 18, loops);
  // NaN selects random orientations: same orientations, same trajectories.
  EXPECT_EQ(nan_mode.r2, random_mode.r2);
  EXPECT_EQ(nan_mode.r4, random_mode.r4);
  EXPECT_EQ(random_mode.r5, random_mode.r4);
  EXPECT_EQ(random_mode.r3, random_mode.r2);
  // The seed fixes the orientations; axis-permutation mode differs and its
  // two mobilities generally differ.
  EXPECT_NE(other_seed.r4, random_mode.r4);
  EXPECT_NE(axis_mode.r4, random_mode.r4);
  EXPECT_NE(axis_mode.r4, axis_mode.r5);
  for (const Outputs& o : {nan_mode, random_mode, axis_mode, other_seed}) {
    EXPECT_EQ(o.r1, 0.0);
    EXPECT_EQ(o.excelsheet, -3.25);
    EXPECT_GT(o.r4, 0.0);
  }
  // Without restoring, the loop streams continue: the trajectories differ.
  const Outputs again = run(kTriangle, [&] {
    Params q = p;
    q.MobcalHS = 2.0;
    return q;
  }());
  EXPECT_NE(again.r4, random_mode.r4);
}

TEST_F(Hardkick, KeyedStreamsGiveTheSameResultsOnAnyThreadCount) {
  // Keyed streams (the command-line program's mode): every chunk of a loop
  // draws from its own stream, so 1 and 2 threads agree bit for bit, in
  // sphere and box mode and over several orientations.
  std::vector<Atom> slab_atoms;  // flat: entered through the box
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 6; ++j) slab_atoms.push_back({1.5 * i, 1.5 * j, 0.0, 1.0});
  }
  const std::vector<Atom>* molecules[] = {&kTriangle, &slab_atoms};
  for (const std::vector<Atom>* atoms : molecules) {
    double out[2][5];
    for (int threads : {1, 2}) {
      omp_set_num_threads(threads);
      rt::RootContext root;
      root.get()->keyed_streams = true;
      root.get()->stream_seed = 77;
      rt::RealArray table = hs_test::atom_table(*atoms);
      double excel = 0.0;
      double* o = out[threads - 1];
      hardkick(root.get(), table.get(), &excel, &o[0], &o[1], &o[2],
               static_cast<double>(atoms->size()), 0.5, hs_test::kNitrogenMass,
               1000 * hs_test::kAmu, 1.0, 150, 3, 0.3, 1.0, 0.0, 1.0, 101325.0, 298.0, 5, 0.0,
               &o[3], &o[4]);
    }
    for (int k = 0; k < 5; ++k) EXPECT_EQ(out[0][k], out[1][k]);
    EXPECT_GT(out[0][3], 0.0);
  }
}

// The program's work units run a run's orientations as blocks, in any order,
// from one prepared molecule: each orientation's row, mobility and count are
// those of one block over all of them without it.
TEST_F(Hardkick, PreparedBlocksGiveTheRowsOfOneBlock) {
  rt::RealArray table = hs_test::atom_table(kTriangle);
  ccs::hardsphere::HardkickInputs in;
  in.DATA_atoms = table.get();
  in.Number_atoms = static_cast<double>(kTriangle.size());
  in.r_probe = 0.5;
  in.m_gas = hs_test::kNitrogenMass;
  in.m_w = 1000 * hs_test::kAmu;
  in.z = 1.0;
  in.N_total = 200;
  in.n_rotations = 5;
  in.a = 0.3;
  in.diffusive = 1.0;
  in.p0 = 101325.0;
  in.T0 = 298.0;
  in.MobcalHS = 1.0;
  const ccs::hardsphere::HardSphereParams p = ccs::hardsphere::plugin_params(in);
  ccs::hardsphere::validate(p);
  omp_set_num_threads(1);
  rt::RootContext root;
  root.get()->keyed_streams = true;
  root.get()->stream_seed = 41;
  ccs::hardsphere::HardSphereRows all;
  ccs::hardsphere::run_hard_sphere_orientations(root.get(), p, 0, 5, &all);
  const auto prepared = ccs::hardsphere::prepare_hard_sphere_blocks(p);
  for (const auto& [first, count] : std::vector<std::pair<int, int>>{{3, 2}, {0, 2}, {2, 1}, {0, 2}}) {
    ccs::hardsphere::HardSphereRows b;
    ccs::hardsphere::run_hard_sphere_orientations(root.get(), p, first, count, &b, prepared.get());
    for (int k = 0; k < count; ++k) {
      const std::size_t o = static_cast<std::size_t>(first + k);
      for (int j = 0; j < 3; ++j) EXPECT_EQ(b.table[static_cast<std::size_t>(k + j * count)], all.table[o + j * 5u]) << o;
      EXPECT_EQ(b.mobility[static_cast<std::size_t>(k)], all.mobility[o]) << o;
      EXPECT_EQ(b.launched[static_cast<std::size_t>(k)], all.launched[o]) << o;
    }
  }
  EXPECT_GT(all.launched[0], 0);
}

// The plug-in's checks of the atom table and the counts.
void hardkick_check_inputs(const emxArray_real_T* atoms, double n_atoms, double n_rot,
                           double mobcal) {
  ccs::hardsphere::HardkickInputs in;
  in.DATA_atoms = atoms;
  in.Number_atoms = n_atoms;
  in.n_rotations = n_rot;
  in.MobcalHS = mobcal;
  ccs::hardsphere::validate(ccs::hardsphere::plugin_params(in));
}

TEST_F(Hardkick, InputChecksNameTheInput) {
  auto expect_bad = [](const std::vector<Atom>& atoms, int cols, double n_atoms, double n_rot,
                       double mobcal, const char* word) {
    rt::RealArray t = rt::make_real(static_cast<int32_T>(atoms.size()), cols);
    try {
      hardkick_check_inputs(t.get(), n_atoms, n_rot, mobcal);
      ADD_FAILURE() << "accepted " << word;
    } catch (const rt::Error& e) {
      EXPECT_EQ(e.id(), "hardkick:badInput");
      EXPECT_NE(std::string(e.what()).find(word), std::string::npos) << e.what();
    }
  };
  expect_bad(kTriangle, 3, 3, 1, 1, "DATA_atoms");
  expect_bad(kTriangle, 4, 2, 1, 1, "Number_atoms");
  expect_bad(kTriangle, 4, 3.5, 1, 1, "Number_atoms");
  expect_bad({}, 4, 0, 1, 1, "Number_atoms");
  expect_bad(kTriangle, 4, 3, 2, 0, "n_rotations");
  rt::RealArray ok = rt::make_real(3, 7);
  EXPECT_NO_THROW(hardkick_check_inputs(ok.get(), 3, 3, 0));
  EXPECT_NO_THROW(hardkick_check_inputs(ok.get(), 3, 5, NAN));
  // The driver refuses the same inputs.
  Params p;
  p.MobcalHS = 0;
  p.n_rotations = 1;
  EXPECT_THROW(run(kTriangle, p), rt::Error);
}

TEST_F(Hardkick, GasDensityFollowsTheGasAndCancelsInCrossSections) {
  // Air: the ideal-gas density agrees with p0 / (287.05 T0).
  const double m_air = 28.97 * hs_test::kAmu;
  const double rho = hardkick_gas_density(101325.0, 298.0, m_air);
  const double rho_air = 101325.0 / 287.05 / 298.0;
  EXPECT_NEAR(rho / rho_air, 1.0, 1e-3);
  // Helium is about 7 times lighter.
  EXPECT_NEAR(hardkick_gas_density(101325.0, 298.0, 4.0026 * hs_test::kAmu) / rho, 4.0026 / 28.97,
              1e-12);

  // Doubling the pressure halves the mobilities and leaves the cross
  // sections, in both modes.
  omp_set_num_threads(1);
  for (double mobcal : {1.0, 0.0}) {
    Params p;
    p.N_total = 200;
    p.n_rotations = 3;
    p.MobcalHS = mobcal;
    LoopStreamSnapshot loops;
    const Outputs low = run(kTriangle, p);
    loops.restore();
    p.p0 *= 2.0;
    const Outputs high = run(kTriangle, p);
    EXPECT_NEAR(high.r2 / low.r2, 1.0, 1e-12);
    EXPECT_NEAR(high.r3 / low.r3, 1.0, 1e-12);
    EXPECT_NEAR(high.r4 / low.r4, 0.5, 1e-12);
    EXPECT_NEAR(high.r5 / low.r5, 0.5, 1e-12);
  }
}

// Cross sections of repeated independent runs.
ccs::test::Estimate repeated(const std::vector<Atom>& atoms, Params p, int runs, bool third) {
  std::vector<double> v;
  for (int m = 0; m < runs; ++m) {
    p.seedn = 1000 + m;
    const Outputs o = run(atoms, p);
    v.push_back(third ? o.r3 : o.r2);
  }
  return ccs::test::mean_and_error(v);
}

void expect_geometric(const ccs::test::Estimate& e, double area) {
  EXPECT_TRUE(ccs::test::within(e.mean, area, e.standard_error))
      << e.mean << " +- " << e.standard_error << " vs " << area;
  EXPECT_NEAR(e.mean / area, 1.0, 0.01);
}

TEST_F(Hardkick, SpecularSphereGivesItsGeometricCrossSection) {
  const double area = kPi * 2.0 * 2.0;
  Params p;
  p.r_probe = 0.5;
  p.N_total = 5000;
  expect_geometric(repeated(kSphere, p, 20, false), area);
  // Axis-permutation (tensor) mode: trace and random directions.
  p.MobcalHS = 0;
  p.n_rotations = 3;
  p.N_total = 3000;
  expect_geometric(repeated(kSphere, p, 12, false), area);
  expect_geometric(repeated(kSphere, p, 12, true), area);
}

TEST_F(Hardkick, ProgramSamplingAgreesWithThePlugInsInOneOrientation) {
  // One fixed orientation of a small asymmetric molecule, entered through
  // sphere and box: the program's sampling (keyed streams: direct sphere
  // launches, written-out products) and the plug-in's estimate the same
  // momentum transfer. 40 repetitions each; the means agree within their
  // combined standard error, k = 3.4 for the 4 comparisons (0.3 % in all).
  // (Over random orientations the two differ by design: the plug-in's Euler
  // angles are not uniform over rotations.)
  omp_set_num_threads(1);
  const double m = hs_test::kNitrogenMass, T0 = 298.0;
  const double vbar = hardkick_thermal_speed(T0, m);
  const double rho = hardkick_gas_density(101325.0, T0, m);
  const HsEmission em{ccs::DiffuseDirection::CosineLaw, 0.3, vbar, 0.0, vbar, false};
  for (const std::vector<Atom>* mol : {&kTriangle, &kRod}) {
    const int n = static_cast<int>(mol->size());
    std::vector<double> P(3 * mol->size()), r(mol->size()), r2(mol->size());
    const std::vector<double> ones(mol->size(), 1.0), no_contact(mol->size(), 1000.0);
    double r_max = 0.0;
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < 3; ++j) P[i + j * static_cast<size_t>(n)] = (*mol)[i][j];
      r[i] = (*mol)[i][3] + 0.5;
      r2[i] = r[i] * r[i];
      r_max = std::max(r_max, r[i]);
    }
    const HsAtoms atoms{n, ones.data(), no_contact.data(), r2.data(), P.data(), nullptr};
    HsEntryDomain dom;
    hs_entry_domain(P.data(), n, n, r.data(), r_max, &dom);
    HsThreadScratch scratch;
    for (bool box : {true, false}) {
      std::vector<double> rows[2];
      for (int keyed = 0; keyed < 2; ++keyed) {
        rt::RootContext root;
        root.get()->keyed_streams = keyed == 1;
        for (int run = 0; run < 40; ++run) {
          root.get()->stream_seed = 100 + run;
          double row[3];
          hs_orientation_transfer(root.get(), atoms, em, dom, box, 500.0, rho, m, scratch, 0, row);
          rows[keyed].push_back(row[0]);
        }
      }
      const ccs::test::Estimate a = ccs::test::mean_and_error(rows[0]);
      const ccs::test::Estimate b = ccs::test::mean_and_error(rows[1]);
      EXPECT_TRUE(
          ccs::test::within(b.mean, a.mean, std::hypot(a.standard_error, b.standard_error), 3.4))
          << (box ? "box: " : "sphere: ") << b.mean << " +- " << b.standard_error << " vs "
          << a.mean << " +- " << a.standard_error;
    }
  }
}

TEST_F(Hardkick, SpecularSphereThroughTheEntryBox) {
  // A lone sphere would always be entered through its sphere: force the box
  // (and, for comparison, the sphere) on one orientation.
  const double R = 2.0;
  const std::vector<double> P = {0.3, -0.2, 0.1};
  const std::vector<double> r = {R};
  const std::vector<double> r2 = {R * R}, ones = {1.0}, no_contact = {1000.0};
  const HsAtoms atoms{1, ones.data(), no_contact.data(), r2.data(), P.data(), nullptr};
  const double m = hs_test::kNitrogenMass, T0 = 298.0;
  const double vbar = hardkick_thermal_speed(T0, m);
  const double rho = hardkick_gas_density(101325.0, T0, m);
  const HsEmission em{ccs::DiffuseDirection::CosineLaw, 0.0, vbar, 0.0, vbar, false};
  HsEntryDomain dom;
  hs_entry_domain(P.data(), 1, 1.0, r.data(), R, &dom);
  HsThreadScratch scratch;
  rt::RootContext root;
  for (bool box : {true, false}) {
    std::vector<double> ccs;
    for (int run = 0; run < 20; ++run) {
      double row[3];
      hs_orientation_transfer(root.get(), atoms, em, dom, box, 5000.0, rho, m, scratch, 0, row);
      // Mobility-to-cross-section conversion of the driver, with the charge
      // and reduced-mass factors cancelled.
      ccs.push_back(std::sqrt(m * 0.3580986219567645 / 1.38e-23 / T0) * row[0] / rho * 1e20 * kPi *
                    0.25);
    }
    SCOPED_TRACE(box ? "box" : "sphere");
    expect_geometric(ccs::test::mean_and_error(ccs), kPi * R * R);
  }
}

TEST_F(Hardkick, SpatialIndexLeavesOrientationResultsUnchanged) {
  // A 600-atom cluster through sphere and box, with and without the index,
  // on 1 and 2 threads: bit-identical orientation rows.
  std::mt19937 gen(8);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  const int n = 600;
  std::vector<double> P(3 * n), r(n), r2(n), ones(n, 1.0), no_contact(n, 1000.0);
  for (int k = 0; k < n; ++k) {
    double x, y, z;
    do {
      x = U(gen), y = U(gen), z = U(gen);
    } while (x * x + y * y + z * z > 1.0);
    P[k] = 12.0 * x;
    P[k + n] = 9.0 * y;
    P[k + 2 * n] = 15.0 * z;
    r[k] = 2.5 + 0.4 * U(gen);
    r2[k] = r[k] * r[k];
  }
  const HsAtoms atoms{n, ones.data(), no_contact.data(), r2.data(), P.data(), nullptr};
  const double m = hs_test::kNitrogenMass;
  const double vbar = hardkick_thermal_speed(298.0, m);
  const HsEmission em{ccs::DiffuseDirection::CosineLaw, 0.3, vbar, 0.0, vbar, true};
  HsEntryDomain dom;
  hs_entry_domain(P.data(), n, n, r.data(), 2.9, &dom);
  rt::RootContext root;
  for (int threads : {1, 2}) {
    omp_set_num_threads(threads);
    for (bool box : {false, true}) {
      // Save every thread's loop stream: run a region that snapshots them.
      std::vector<rt::MtState> saved(static_cast<size_t>(threads));
      auto each_stream = [&](bool restore) {
        rt::rng::LoopStreams s;
        rt::parallel_blocks(root.get(), threads, [&](rt::Context& t, int, int) {
          rt::MtState& st = *rt::rng::current_state();
          if (restore)
            st = saved[static_cast<size_t>(t.thread_num)];
          else
            saved[static_cast<size_t>(t.thread_num)] = st;
        });
      };
      each_stream(false);
      double with_grid[3], without[3];
      HsThreadScratch indexed;
      hs_orientation_transfer(root.get(), atoms, em, dom, box, 300.0, 1.2, m, indexed, 0, with_grid);
      each_stream(true);
      HsThreadScratch plain;
      plain.grid_min_atoms = n + 1;
      hs_orientation_transfer(root.get(), atoms, em, dom, box, 300.0, 1.2, m, plain, 0, without);
      for (int j = 0; j < 3; ++j)
        EXPECT_EQ(with_grid[j], without[j]) << threads << " threads, box " << box;
      EXPECT_GT(with_grid[0], 0.0);
    }
  }
}

// Projected area on the yz plane (the plane across the flow) of the atoms in
// the orientation the driver draws for `seed`, by hit-or-miss sampling.
ccs::test::Estimate projected_area(const std::vector<Atom>& atoms, double r_probe, double seed,
                                   std::mt19937& gen, int samples) {
  rt::rng::rng(seed);
  const double al = 6.283185307179586 * rt::rng::rand();
  const double be = 6.283185307179586 * rt::rng::rand();
  const double ga = 6.283185307179586 * rt::rng::rand();
  std::vector<std::array<double, 3>> discs;  // y, z, radius
  double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
  for (const Atom& a : atoms) {
    // Row vector (x, y, z) times Rx(be), Ry(al), Rz(ga).
    const double x1 = a[0];
    const double y1 = a[1] * std::cos(be) + a[2] * std::sin(be);
    const double z1 = -a[1] * std::sin(be) + a[2] * std::cos(be);
    const double x2 = x1 * std::cos(al) - z1 * std::sin(al);
    const double z2 = x1 * std::sin(al) + z1 * std::cos(al);
    const double y3 = -x2 * std::sin(ga) + y1 * std::cos(ga);
    const double rad = a[3] + r_probe;
    discs.push_back({y3, z2, rad});
    lo[0] = std::min(lo[0], y3 - rad);
    hi[0] = std::max(hi[0], y3 + rad);
    lo[1] = std::min(lo[1], z2 - rad);
    hi[1] = std::max(hi[1], z2 + rad);
  }
  std::uniform_real_distribution<double> U(0.0, 1.0);
  int hit = 0;
  for (int k = 0; k < samples; ++k) {
    const double y = lo[0] + (hi[0] - lo[0]) * U(gen);
    const double z = lo[1] + (hi[1] - lo[1]) * U(gen);
    for (const auto& d : discs) {
      if ((y - d[0]) * (y - d[0]) + (z - d[1]) * (z - d[1]) < d[2] * d[2]) {
        ++hit;
        break;
      }
    }
  }
  const double box = (hi[0] - lo[0]) * (hi[1] - lo[1]);
  const double f = static_cast<double>(hit) / samples;
  return {box * f, box * ccs::test::binomial_error(f, samples)};
}

TEST_F(Hardkick, ConcaveRingExceedsItsProjectedArea) {
  // Twelve overlapping spheres on a ring: molecules bounce inside the hole
  // and in the grooves, so the momentum transfer exceeds the shadow. Each
  // run has one random orientation; the projected area is taken in the same
  // orientation, so the paired difference removes the orientation spread.
  const std::vector<Atom> ring = hs_test::ring(12, 4.0, 1.0);
  std::mt19937 gen(2024);
  std::vector<double> diff;
  double sphere_check = 0.0;
  for (int m = 0; m < 50; ++m) {
    Params p;
    p.r_probe = 0.5;
    p.N_total = 2000;
    p.seedn = 500 + m;
    const Outputs o = run(ring, p);
    diff.push_back(o.r2 - projected_area(ring, 0.5, p.seedn, gen, 20000).mean);
  }
  // The sampler itself reproduces a disc.
  const ccs::test::Estimate disc = projected_area(kSphere, 0.5, 1, gen, 200000);
  sphere_check = disc.mean;
  EXPECT_TRUE(ccs::test::within(sphere_check, kPi * 4.0, disc.standard_error));
  const ccs::test::Estimate d = ccs::test::mean_and_error(diff);
  EXPECT_GT(d.mean, ccs::test::stat_tolerance(d.standard_error))
      << d.mean << " +- " << d.standard_error;
}

TEST_F(Hardkick, DiffuseThermalReemissionExceedsSpecular) {
  Params spec;
  spec.r_probe = 0.5;
  spec.N_total = 3000;
  Params diff = spec;
  diff.a = 1.0;
  diff.diffusive = 1.0;
  diff.random_C = 1.0;
  diff.v_c2 = hardkick_thermal_speed(diff.T0, diff.m_gas);
  const ccs::test::Estimate s = repeated(kSphere, spec, 10, false);
  const ccs::test::Estimate d = repeated(kSphere, diff, 10, false);
  const double se = std::hypot(s.standard_error, d.standard_error);
  EXPECT_GT(d.mean - s.mean, ccs::test::stat_tolerance(se)) << d.mean << " vs " << s.mean;
}

}  // namespace
