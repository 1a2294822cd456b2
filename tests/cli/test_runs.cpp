#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <cmath>
#include <string>

#include "cli/params.h"
#include "cli/physics.h"
#include "cli/readers.h"
#include "cli/run.h"
#include "runtime/context.h"
#include "support/statistics.h"

using namespace ccs::cli;

namespace {

Gas gas(const std::string& name) {
  for (const Gas& g : load_gases(params_dir() + "/gases.tsv")) {
    if (g.name == name) return g;
  }
  ADD_FAILURE() << "no gas " << name;
  return Gas{};
}

struct Tables {
  ParamTable hs, lj;
  explicit Tables(const std::string& g)
      : hs(load_param_table(params_dir() + "/" + g + "_hs.tsv")),
        lj(load_param_table(params_dir() + "/" + g + "_lj.tsv")) {}
};

Structure single_atom(const char* el, double charge = NAN) {
  Structure s;
  s.file = "atom.xyz";
  Atom a;
  a.Z = element_number(el);
  a.symbol = el;
  a.x = 1.0;
  a.y = -2.0;
  a.z = 0.5;
  a.mass = standard_atomic_weight(a.Z);
  a.charge = charge;
  s.atoms.push_back(a);
  s.has_charges = std::isfinite(charge);
  return s;
}

Structure c60() {
  return read_structures(std::string(CCS_SOURCE_DIR) + "/examples/c60.xyz", ReadOptions())[0];
}

RunSettings settings(Method m, const Tables& t, const std::string& g, int orientations,
                     double trajectories = 0) {
  RunSettings st;
  st.method = m;
  st.conditions.gas = gas(g);
  st.numerics.orientations = orientations;
  st.numerics.trajectories = trajectories;
  st.numerics = resolve_numerics(m, false, st.numerics);
  st.hard_sphere = &t.hs;
  st.lennard_jones = &t.lj;
  st.seed = 11;
  return st;
}

// A lone atom's cross section is the disc of its collision radius.
void expect_disc(Method m, int orientations, double trajectories) {
  if (!method_available(m)) GTEST_SKIP() << method_name(m) << " not built";
  const Tables t("he");
  RunSettings st = settings(m, t, "He", orientations, trajectories);
  st.conditions.gas.polarizability_A3 = 0.0;
  const RunResult r = run_method(single_atom("C"), st);
  const double R = t.hs.radius.at("C");
  EXPECT_TRUE(ccs::test::within(r.ccs, M_PI * R * R, r.ccs_se))
      << method_name(m) << ": " << r.ccs << " +- " << r.ccs_se << " vs " << M_PI * R * R;
  EXPECT_LT(r.ccs_se / r.ccs, 0.02) << "too few samples for a useful check";
}

}  // namespace

TEST(Runs, SingleAtomGivesTheDiscAreaByProjection) { expect_disc(Method::PA, 200, 0); }
TEST(Runs, SingleAtomGivesTheDiscAreaByHardSphereScattering) { expect_disc(Method::EHSS, 40, 500); }
TEST(Runs, SingleAtomGivesTheDiscAreaByTrajectories) { expect_disc(Method::TM, 40, 400); }

TEST(Runs, SameSeedGivesTheSameNumbersOnOneAndTwoThreads) {
  const Tables t("he");
  const Structure s = c60();
  for (Method m : {Method::PA, Method::EHSS, Method::TM}) {
    if (!method_available(m)) continue;
    RunSettings st = settings(m, t, "He", 20, 40);
    omp_set_num_threads(1);
    const RunResult a = run_method(s, st);
    omp_set_num_threads(2);
    const RunResult b = run_method(s, st);
    EXPECT_EQ(a.ccs, b.ccs) << method_name(m);
    EXPECT_EQ(a.ccs_se, b.ccs_se) << method_name(m);
    EXPECT_EQ(a.trajectories, b.trajectories) << method_name(m);
    st.seed = 12;
    const RunResult c = run_method(s, st);
    EXPECT_NE(a.ccs, c.ccs) << method_name(m) << ": the seed changes nothing";
  }
}

TEST(Runs, HeliumGivesASmallerCrossSectionThanNitrogen) {
  const Structure s = c60();
  const Tables he("he"), n2("n2");
  for (Method m : {Method::PA, Method::EHSS, Method::TM}) {
    if (!method_available(m)) continue;
    const RunResult a = run_method(s, settings(m, he, "He", 40, 300));
    const RunResult b = run_method(s, settings(m, n2, "N2", 40, 300));
    EXPECT_GT(b.ccs - a.ccs, 3 * std::hypot(a.ccs_se, b.ccs_se))
        << method_name(m) << ": He " << a.ccs << " +- " << a.ccs_se << ", N2 " << b.ccs
        << " +- " << b.ccs_se;
    // Mobilities follow: the heavier, larger collision partner slows the ion.
    EXPECT_GT(a.K, b.K) << method_name(m);
  }
}

TEST(Runs, ElementWithoutParametersNamesItAndTheWayToSupplyThem) {
  const Tables t("he");
  Structure s = single_atom("C");
  s.atoms.push_back(single_atom("C").atoms[0]);
  s.atoms[1].Z = 17;
  s.atoms[1].symbol = "Cl";
  try {
    run_method(s, settings(Method::PA, t, "He", 5));
    FAIL() << "ran without a chlorine radius";
  } catch (const InputError& e) {
    const std::string m = e.what();
    EXPECT_NE(m.find("atom.xyz: element Cl has no hard-sphere radius for He"), std::string::npos) << m;
    EXPECT_NE(m.find("--params FILE"), std::string::npos) << m;
  }
}

TEST(Runs, IonChargeComesFromTheOverrideThePartialChargesOrDefaultsToOne) {
  Structure s = single_atom("C", 0.6);
  s.atoms.push_back(single_atom("C", 1.3).atoms[0]);
  EXPECT_EQ(ion_charge(s, 0.0), 2.0);   // 1.9 rounds to 2
  EXPECT_EQ(ion_charge(s, -3.0), -3.0);
  s.atoms[1].charge = -0.5;             // sums to 0.1: a neutral molecule
  EXPECT_THROW(ion_charge(s, 0.0), InputError);
  EXPECT_EQ(ion_charge(single_atom("C"), 0.0), 1.0);
}

TEST(Physics, MasonSchampMobilityOfAKnownCase) {
  // 100 Å^2, z = 1, 1000 u ion in helium at 273.15 K and 101325 Pa:
  // mu = 3.98665 u, N = 2.686780e25 m^-3, K = 3/16 e/N sqrt(2 pi/(mu k T))/Omega
  // = 5.60917 cm^2/(V s).
  Conditions c;
  c.gas = gas("He");
  c.temperature = 273.15;
  c.pressure = 101325.0;
  const double K = mobility_from_ccs(100.0, 1.0, 1000.0, c);
  EXPECT_NEAR(K, 5.60917, 5e-5);
  EXPECT_DOUBLE_EQ(reduced_mobility(K, c), K);  // standard conditions
  // K0 does not depend on the pressure; K does, inversely.
  Conditions c2 = c;
  c2.pressure = 400.0;
  const double K2 = mobility_from_ccs(100.0, 1.0, 1000.0, c2);
  EXPECT_NEAR(K2 / K, 101325.0 / 400.0, 1e-9);
  EXPECT_NEAR(reduced_mobility(K2, c2), K, 1e-12);
}

TEST(Params, ShippedTablesHoldTheirSourcesValues) {
  const ParamTable he = load_param_table(params_dir() + "/he_lj.tsv");
  EXPECT_EQ(he.lj.size(), 8u);
  EXPECT_NEAR(he.lj.at("C").epsilon_J, 1.34e-3 * 1.602176634e-19, 1e-30);
  EXPECT_EQ(he.lj.at("Na").sigma_A, 3.5369);
  // Nitrogen: geometric means with the gas values, R0 turned into sigma.
  const ParamTable n2 = load_param_table(params_dir() + "/n2_lj.tsv");
  EXPECT_EQ(n2.lj.size(), 10u);
  const double kcal = 4184.0 / 6.02214076e23;
  EXPECT_NEAR(n2.lj.at("C").epsilon_J, std::sqrt(0.0977 * 0.069) * kcal, 1e-30);
  EXPECT_NEAR(n2.lj.at("C").sigma_A, std::sqrt(3.5814 * 3.66) / std::pow(2.0, 1.0 / 6.0), 1e-12);
  const ParamTable hs = load_param_table(params_dir() + "/he_hs.tsv");
  EXPECT_EQ(hs.radius.at("H"), 2.2);
  EXPECT_EQ(hs.radius.at("Na"), 2.853);
  const ParamTable n2hs = load_param_table(params_dir() + "/n2_hs.tsv");
  for (const auto& [el, r] : hs.radius) EXPECT_NEAR(n2hs.radius.at(el) - r, 0.52, 1e-12) << el;
}

// Without partial charges the three-site model spreads the ion charge over
// the atoms (and says so); an anion differs from its mirrored cation, since
// the gas molecule's quadrupole keeps its sign.
TEST(Runs, ThreeSiteNitrogenSpreadsTheChargeAndTellsAnionsFromCations) {
  if (!method_available(Method::LJ)) GTEST_SKIP() << "lj not built";
  const Tables n2("n2");
  RunSettings st = settings(Method::LJ, n2, "N2", 6, 40);
  st.three_site = true;
  Structure s = read_structures(std::string(CCS_SOURCE_DIR) + "/examples/phenethylammonium.mol2",
                                ReadOptions())[0];
  const RunResult cation = run_method(s, st);
  EXPECT_TRUE(std::isfinite(cation.ccs) && cation.ccs > 0.0) << cation.ccs;
  EXPECT_EQ(cation.orientations_used, 6);
  EXPECT_EQ(cation.lj_model, "three-site");
  EXPECT_NE(cation.gas_model.find("three-site"), std::string::npos) << cation.gas_model;
  EXPECT_EQ(cation.orientation_temperature, st.conditions.temperature);
  EXPECT_TRUE(cation.notes.empty());

  Structure mirrored = s;
  for (Atom& a : mirrored.atoms) a.charge = -a.charge;
  const RunResult anion = run_method(mirrored, st);
  EXPECT_TRUE(std::isfinite(anion.ccs) && anion.ccs > 0.0) << anion.ccs;
  EXPECT_NE(anion.ccs, cation.ccs) << "the anion behaves as the mirrored cation";

  for (Atom& a : s.atoms) a.charge = NAN;
  s.has_charges = false;
  const RunResult spread = run_method(s, st);
  EXPECT_EQ(spread.orientations_used, 6);
  ASSERT_EQ(spread.notes.size(), 1u);
  EXPECT_NE(spread.notes[0].find("spread evenly over the " + std::to_string(s.atoms.size())),
            std::string::npos)
      << spread.notes[0];
  st.three_site = false;
  EXPECT_EQ(run_method(s, st).lj_model, "atom");
}

// A lone Lennard-Jones centre (no polarisability) scatters as the 12-6 pair
// potential: its cross section is pi sigma^2 Omega(1,1)*(T*), T* = kT/eps.
// Omega(1,1)* from the table of Hirschfelder, Curtiss and Bird, Molecular
// Theory of Gases and Liquids (1954), as reproduced in Bird, Stewart and
// Lightfoot, Transport Phenomena, table E.2 (four digits). The entry domain
// must reach out to where the attraction no longer matters: a domain sized
// by the ion's field alone gave 7 % less at T* = 1 and 10 % less at 0.8.
// deltatenhance 320 keeps the step error (about 0.3 % at the default 80)
// far below the standard error.
TEST(Runs, SingleLennardJonesCentreGivesTheChapmanEnskogCollisionIntegral) {
  if (!method_available(Method::LJ)) GTEST_SKIP() << "lj not built";
  const double sigma = 3.0;
  const struct {
    double t_star, omega11;
  } table[] = {{0.8, 1.612}, {1.0, 1.440}, {2.0, 1.075}};
  for (const auto& row : table) {
    Tables t("he");
    RunSettings st = settings(Method::LJ, t, "He", 10, 20000);
    st.conditions.gas.polarizability_A3 = 0.0;
    st.numerics.deltatenhance = 320;
    ParamTable lj = t.lj;
    lj.lj["C"] = LjPair{kBoltzmann * st.conditions.temperature / row.t_star, sigma};
    st.lennard_jones = &lj;
    const RunResult r = run_method(single_atom("C"), st);
    const double expected = M_PI * sigma * sigma * row.omega11;
    // The table's last digit adds its rounding to the statistical allowance.
    const double rounding = M_PI * sigma * sigma * 0.0005;
    EXPECT_NEAR(r.ccs, expected, 3.0 * r.ccs_se + rounding)
        << "T* = " << row.t_star << ": " << r.ccs << " +- " << r.ccs_se;
    EXPECT_LT(r.ccs_se / r.ccs, 0.01) << "too few samples for a useful check";
  }
}

// The reach of one centre: 4 eps (sigma / r)^6 = 0.005 k T.
TEST(Physics, LennardJonesReachOfOneCentreAndOfAPair) {
  const double T = 300.0;
  const double eps = kBoltzmann * T;
  const double one = lennard_jones_reach({{1.0, 2.0, 3.0, eps, 3.0}}, T);
  EXPECT_NEAR(one, 3.0 * std::pow(4.0 / 0.005, 1.0 / 6.0), 0.02);
  // Two centres 4 Å apart: the attraction of both adds up, and the reach is
  // measured from their centroid.
  const double two = lennard_jones_reach({{-2.0, 0, 0, eps, 3.0}, {2.0, 0, 0, eps, 3.0}}, T);
  EXPECT_GT(two, one + 2.0);
  EXPECT_LT(two, one + 2.0 + 3.0 * (std::pow(2.0, 1.0 / 6.0) - 1.0) * 8.0);
  // No attraction: just outside the atoms.
  EXPECT_NEAR(lennard_jones_reach({{0, 0, 0, 0.0, 3.0}}, T), 3.0, 1e-12);
}

// Frames move the atoms only where at most 10 charges keep the moving-atom
// kernel; beyond, the run says that frames and masses are not used.
TEST(Runs, MovingAtomsWithManyChargesAreTold) {
  const Tables t("he");
  Structure s = c60();
  s.n_frames = 2;
  for (int f = 0; f < 2; ++f) {
    for (const Atom& a : s.atoms) s.frames_xyz.insert(s.frames_xyz.end(), {a.x, a.y, a.z});
  }
  for (Atom& a : s.atoms) a.charge = 1.0 / 60.0;
  s.has_charges = true;
  const RunResult many = run_method(s, settings(Method::TM, t, "He", 2, 10));
  ASSERT_EQ(many.warnings.size(), 1u);
  EXPECT_NE(many.warnings[0].find("more than 10 partial charges"), std::string::npos);
  for (std::size_t i = 10; i < s.atoms.size(); ++i) s.atoms[i].charge = NAN;
  s.has_charges = false;
  EXPECT_TRUE(run_method(s, settings(Method::TM, t, "He", 2, 10)).warnings.empty());
}

TEST(Runs, TensorModeRunsThreeOrientationsWithoutAnError) {
  const Tables t("he");
  const Structure s = c60();
  for (Method m : {Method::EHSS, Method::TMFixed}) {
    if (!method_available(m)) continue;
    RunSettings st = settings(m, t, "He", 0, 0);
    st.tensor = true;
    st.numerics = resolve_numerics(m, true, Numerics{0, 200, 0, 0, 0});
    const RunResult r = run_method(s, st);
    EXPECT_EQ(r.orientations, 3) << method_name(m);
    EXPECT_TRUE(std::isnan(r.ccs_se)) << method_name(m);
    EXPECT_TRUE(std::isfinite(r.ccs) && r.ccs > 0.0) << method_name(m) << " " << r.ccs;
  }
}

TEST(Runs, PerOrientationCrossSectionsGiveTheMeanAndStandardError) {
  const Tables t("he");
  const Structure s = c60();
  for (Method m : {Method::PA, Method::EHSS, Method::TMFixed}) {
    if (!method_available(m)) continue;
    const RunResult r = run_method(s, settings(m, t, "He", 12, 30));
    ASSERT_EQ(r.per_orientation.size(), 12u) << method_name(m);
    double mean = 0, se = 0;
    int used = 0;
    mean_and_se(r.per_orientation, &mean, &se, &used);
    EXPECT_NEAR(mean, r.ccs, 1e-9 * r.ccs) << method_name(m);
    EXPECT_EQ(se, r.ccs_se) << method_name(m);
    EXPECT_GT(se, 0.0) << method_name(m) << ": every orientation gave the same value";
  }
}

TEST(Runs, ReportedStandardErrorsMatchTheSpreadOverSeeds) {
  // 100 runs of a small, non-spherical ion with few samples per
  // orientation (orientation and sampling variance both present): the
  // reported errors against the spread of the means over seeds.
  const Tables t("he");
  const Structure s = read_structures(
      std::string(CCS_SOURCE_DIR) + "/examples/phenethylammonium.mol2", ReadOptions())[0];
  for (Method m : {Method::PA, Method::EHSS}) {
    if (!method_available(m)) continue;
    std::vector<std::vector<double>> runs;
    RunSettings st = settings(m, t, "He", 16, m == Method::PA ? 48 : 20);
    for (int k = 0; k < 100; ++k) {
      st.seed = 300 + k;
      runs.push_back(run_method(s, st).per_orientation);
    }
    const ccs::test::SpreadCheck c = ccs::test::spread_against_reported_se(runs);
    EXPECT_TRUE(c.honest) << method_name(m) << ": log(spread / reported) " << c.log_ratio
                          << ", sd " << c.sd;
  }
}

TEST(Runs, ACancelledRunStopsWithTheInterruptedError) {
  const Tables t("he");
  const Structure s = c60();
  for (Method m : {Method::PA, Method::EHSS, Method::TM}) {
    if (!method_available(m)) continue;
    std::atomic<bool> cancel{true};
    std::atomic<long> done{0};
    RunSettings st = settings(m, t, "He", 50, 30);
    st.cancel = &cancel;
    st.progress = &done;
    try {
      run_method(s, st);
      FAIL() << method_name(m) << " ran to the end";
    } catch (const rt::Error& e) {
      EXPECT_EQ(e.id(), rt::kInterruptedId) << method_name(m);
      EXPECT_STREQ(e.what(), "interrupted");
    }
    // Workers stop at their next iteration: at most one orientation per thread.
    EXPECT_LE(done.load(), 2) << method_name(m);
    cancel = false;
    EXPECT_TRUE(std::isfinite(run_method(s, settings(m, t, "He", 4, 30)).ccs)) << method_name(m);
  }
}

// A run split into blocks of orientations, run in any order, gives the
// numbers of the whole run to the last bit (the base of the distributed
// runs), also for moving frames and the tensor mode.
TEST(Runs, BlocksOfOrientationsInAnyOrderGiveTheWholeRun) {
  const Tables t("he");
  Structure moving = c60();
  moving.n_frames = 2;
  for (int f = 0; f < 2; ++f) {
    for (const Atom& a : moving.atoms) {
      moving.frames_xyz.insert(moving.frames_xyz.end(), {a.x + 0.01 * f, a.y, a.z});
    }
  }
  struct Case {
    Method m;
    bool tensor;
    const Structure* s;
  };
  const Structure plain = c60();
  for (const Case& c : {Case{Method::PA, false, &plain}, Case{Method::EHSS, false, &plain},
                        Case{Method::EHSS, true, &plain}, Case{Method::TM, false, &moving},
                        Case{Method::TMFixed, true, &plain}, Case{Method::LJ, false, &plain}}) {
    if (!method_available(c.m)) continue;
    RunSettings st = settings(c.m, t, "He", 11, 24);
    st.tensor = c.tensor;
    st.numerics = resolve_numerics(c.m, c.tensor, Numerics{11, 24, 0, 0, 0});
    const RunResult whole = run_method(*c.s, st);
    const PreparedRun run(*c.s, st);
    const int n = run.orientations();
    const int w = run.values_per_orientation();
    std::vector<double> values(static_cast<std::size_t>(n) * w);
    const int cuts[][2] = {{n / 2, n - n / 2}, {0, 1}, {1, n / 2 - 1}};
    for (const auto& cut : cuts) {
      const std::vector<double> v = run.run_block(cut[0], cut[1]);
      ASSERT_EQ(v.size(), static_cast<std::size_t>(cut[1]) * w);
      std::copy(v.begin(), v.end(), values.begin() + static_cast<std::ptrdiff_t>(cut[0]) * w);
    }
    const RunResult blocks = run.finish(values, 0.0);
    EXPECT_EQ(blocks.ccs, whole.ccs) << method_name(c.m) << (c.tensor ? " tensor" : "");
    EXPECT_TRUE(blocks.ccs_se == whole.ccs_se || (std::isnan(blocks.ccs_se) && c.tensor));
    EXPECT_EQ(blocks.trajectories, whole.trajectories) << method_name(c.m);
    EXPECT_TRUE(std::isfinite(whole.ccs) && whole.ccs > 0.0) << method_name(c.m);
  }
}

namespace {

Structure choline() {
  return read_structures(std::string(CCS_SOURCE_DIR) + "/examples/choline.mol2", ReadOptions())[0];
}

}  // namespace

// The program's weighted entry (impact points where the molecule is, speeds
// weighted by momentum) and the plug-ins' uniform entry estimate the same
// cross section: within 3 combined standard errors, in the Lennard-Jones
// field and with hard spheres.
TEST(Runs, WeightedEntryAgreesWithTheUniformEntry) {
  const Tables t("he");
  const Structure s = choline();
  for (Method m : {Method::LJ, Method::TMFixed}) {
    if (!method_available(m)) continue;
    RunSettings plain = settings(m, t, "He", 400, 100);
    plain.weighted_entry = false;
    const RunResult u = run_method(s, plain);
    const RunResult w = run_method(s, settings(m, t, "He", 400, 30));
    const double se = std::sqrt(u.ccs_se * u.ccs_se + w.ccs_se * w.ccs_se);
    EXPECT_TRUE(ccs::test::within(w.ccs, u.ccs, se))
        << method_name(m) << ": weighted " << w.ccs << " +- " << w.ccs_se << ", uniform " << u.ccs
        << " +- " << u.ccs_se;
    // Fewer trajectories, yet a smaller standard error.
    EXPECT_LT(w.ccs_se, u.ccs_se) << method_name(m);
    EXPECT_LT(u.ccs_se / u.ccs, 0.05) << method_name(m) << ": too few samples for a useful check";
  }
}

// The reported standard error is honest: over K seeds, the spread of the
// cross sections about their mean matches the mean reported variance. The
// ratio of the two follows chi^2(K - 1) / (K - 1); the band is its
// 0.05 %-99.95 % range (Wilson-Hilferty), so a correct run fails about once
// in 1000.
TEST(Runs, SpreadOverSeedsMatchesTheReportedStandardError) {
  if (!method_available(Method::LJ)) GTEST_SKIP() << "lj not built";
  const Tables t("he");
  const Structure s = choline();
  const int K = 60;
  std::vector<double> ccs, var;
  for (int k = 0; k < K; ++k) {
    RunSettings st = settings(Method::LJ, t, "He", 40, 30);
    st.seed = 1000 + k;
    const RunResult r = run_method(s, st);
    ccs.push_back(r.ccs);
    var.push_back(r.ccs_se * r.ccs_se);
  }
  double mean = 0.0, reported = 0.0;
  for (int k = 0; k < K; ++k) {
    mean += ccs[k] / K;
    reported += var[k] / K;
  }
  double spread = 0.0;
  for (double c : ccs) spread += (c - mean) * (c - mean) / (K - 1);
  const double dof = K - 1;
  const double z = 3.29;
  auto wilson_hilferty = [&](double zz) {
    const double a = 2.0 / (9.0 * dof);
    return std::pow(1.0 - a + zz * std::sqrt(a), 3.0);
  };
  const double ratio = spread / reported;
  EXPECT_GT(ratio, wilson_hilferty(-z)) << "spread " << spread << " reported " << reported;
  EXPECT_LT(ratio, wilson_hilferty(z)) << "spread " << spread << " reported " << reported;
}

// lj refuses a time-step divisor below its least value, naming it; the
// other trajectory methods take it.
TEST(Runs, LennardJonesRefusesACoarseTimeStep) {
  const Tables t("he");
  const Structure s = single_atom("C");
  RunSettings st = settings(Method::LJ, t, "He", 2, 10);
  st.numerics.deltatenhance = 20;
  try {
    run_method(s, st);
    FAIL() << "lj ran with deltatenhance 20";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("deltatenhance 20 is below 40"), std::string::npos)
        << e.what();
  }
  st.numerics.deltatenhance = kMinLjDeltatenhance;
  EXPECT_NO_THROW(run_method(s, st));
  RunSettings tm = settings(Method::TMFixed, t, "He", 2, 10);
  tm.numerics.deltatenhance = 20;
  EXPECT_NO_THROW(run_method(s, tm));
}
