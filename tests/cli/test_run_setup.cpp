// Runs built from what a user names: gas and tables by gas name, and the
// settings of each method of a request.
#include <gtest/gtest.h>

#include <string>

#include "cli/run_setup.h"
#include "cli/structure.h"
#include "cli_test_files.h"

using namespace ccs::cli;

TEST(RunSetup, GasAndTablesByName) {
  const std::string dir = params_dir();
  const Gas n2 = find_gas(dir, "N2");
  EXPECT_EQ(n2.name, "N2");
  EXPECT_DOUBLE_EQ(n2.mass_u, 28.0134);
  try {
    find_gas(dir, "Ar");
    ADD_FAILURE() << "no error for a gas without a line";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("gases.tsv: no gas 'Ar'"), std::string::npos) << e.what();
  }
  const GasTables shipped = load_gas_tables(dir, "N2", {});
  EXPECT_NE(shipped.hard_sphere.source.find("n2_hs.tsv"), std::string::npos);
  EXPECT_NE(shipped.lennard_jones.source.find("n2_lj.tsv"), std::string::npos);
  // A user's tables go into the table of their type, replacing and adding.
  ccs::test::TempDir tmp;
  const std::string hs = tmp.write("mine_hs.tsv", "@type hs\nC 9.5\nU 3.0\n");
  const std::string lj = tmp.write("mine_lj.tsv", "@type lj\nU 1.0 3.0\n");
  const GasTables t = load_gas_tables(dir, "N2", {hs, lj});
  EXPECT_EQ(t.hard_sphere.radius.at("C"), 9.5);
  EXPECT_EQ(t.hard_sphere.radius.at("U"), 3.0);
  EXPECT_EQ(t.hard_sphere.radius.at("H"), shipped.hard_sphere.radius.at("H"));
  EXPECT_EQ(t.lennard_jones.lj.count("U"), 1u);
  EXPECT_EQ(t.hard_sphere.lj.size(), 0u);
  EXPECT_NE(t.sources().find("mine_hs.tsv"), std::string::npos);
  EXPECT_NE(t.sources().find("mine_lj.tsv"), std::string::npos);
}

TEST(RunSetup, EachMethodTakesTheOptionsThatApplyToIt) {
  RunSettings common;
  common.tensor = true;
  common.three_site = true;
  common.seed = 77;
  Numerics asked;
  asked.trajectories = 12;
  const RunSettings pa = settings_for(Method::PA, common, asked);
  EXPECT_FALSE(pa.tensor);
  EXPECT_FALSE(pa.three_site);
  EXPECT_EQ(pa.numerics.orientations, resolve_numerics(Method::PA, false, Numerics()).orientations);
  const RunSettings lj = settings_for(Method::LJ, common, asked);
  EXPECT_EQ(lj.method, Method::LJ);
  EXPECT_TRUE(lj.tensor);
  EXPECT_TRUE(lj.three_site);
  EXPECT_EQ(lj.numerics.orientations, 3);  // tensor mode: three fixed orientations
  EXPECT_EQ(lj.numerics.trajectories, 12);
  EXPECT_EQ(lj.numerics.deltatenhance, resolve_numerics(Method::LJ, true, asked).deltatenhance);
  EXPECT_EQ(lj.seed, 77u);
  EXPECT_FALSE(settings_for(Method::TM, common, asked).three_site);
}
