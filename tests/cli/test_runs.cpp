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

TEST(Runs, ThreeSiteNitrogenNeedsAChargeOnEveryAtom) {
  if (!method_available(Method::LJ)) GTEST_SKIP() << "lj not built";
  const Tables n2("n2");
  RunSettings st = settings(Method::LJ, n2, "N2", 6, 40);
  st.three_site = true;
  Structure s = read_structures(std::string(CCS_SOURCE_DIR) + "/examples/phenethylammonium.mol2",
                                ReadOptions())[0];
  const RunResult r = run_method(s, st);
  EXPECT_TRUE(std::isfinite(r.ccs) && r.ccs > 0.0) << r.ccs;
  EXPECT_EQ(r.orientations_used, 6);
  for (Atom& a : s.atoms) a.charge = NAN;
  s.has_charges = false;
  try {
    run_method(s, st);
    FAIL() << "ran the three-site model without charges";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("needs a partial charge on every atom"), std::string::npos)
        << e.what();
  }
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
