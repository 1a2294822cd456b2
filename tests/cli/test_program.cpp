// End-to-end runs of the ccs program.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace {

using ccs::test::Outcome;
using ccs::test::run;

std::vector<std::string> fields(const std::string& line) {
  std::istringstream is(line);
  std::vector<std::string> f;
  std::string t;
  while (is >> t) f.push_back(t);
  return f;
}

const std::string kC60 = std::string(CCS_SOURCE_DIR) + "/examples/c60.xyz";
const std::string kQuick = " --method pa --orientations 20 --seed 5 --quiet ";

}  // namespace

TEST(Program, JsonHoldsTheNumbersOfTheTable) {
  ccs::test::TempDir dir;
  const std::string two = dir.write("two.xyz", "1\na\nC 0 0 0\n2\nb\nC 0 0 0\nO 1.2 0 0\n");
  const Outcome table = run(kQuick + kC60 + " " + two, dir);
  const Outcome json = run(kQuick + "--json " + kC60 + " " + two, dir);
  ASSERT_EQ(table.status, 0) << table.err;
  ASSERT_EQ(json.status, 0) << json.err;
  const nlohmann::json j = nlohmann::json::parse(json.out);
  const auto& res = j.at("results");
  ASSERT_EQ(res.size(), 3u);  // one row per structure and conformer
  std::istringstream lines(table.out);
  std::string line;
  std::vector<std::vector<std::string>> rows;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#' || line.rfind("structure", 0) == 0) continue;
    rows.push_back(fields(line));
  }
  ASSERT_EQ(rows.size(), 3u) << table.out;
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& r = res[i];
    const auto& f = rows[i];
    EXPECT_EQ(f[0], r.at("file").get<std::string>().substr(r.at("file").get<std::string>().find_last_of('/') + 1) +
                        "#" + std::to_string(r.at("conformer").get<int>()));
    EXPECT_EQ(std::stoi(f[2]), r.at("atoms").get<int>());
    EXPECT_NEAR(std::stod(f[4]), r.at("ccs_A2").get<double>(), 0.005 + 1e-12);
    EXPECT_NEAR(std::stod(f[5]), r.at("ccs_se_A2").get<double>(), 0.005 + 1e-12);
    EXPECT_NEAR(std::stod(f[7]), r.at("mobility_cm2_Vs").get<double>(), 5e-6 + 1e-12);
    EXPECT_NEAR(std::stod(f[8]), r.at("reduced_mobility_cm2_Vs").get<double>(), 5e-6 + 1e-12);
  }
  EXPECT_EQ(j.at("seed").get<unsigned>(), 5u);
  // CSV carries the same numbers at full precision.
  const Outcome csv = run(kQuick + "--csv " + kC60, dir);
  ASSERT_EQ(csv.status, 0);
  const std::string row = csv.out.substr(csv.out.find('\n') + 1);
  EXPECT_NE(row.find(std::to_string(res[0].at("atoms").get<int>())), std::string::npos);
  char ccs[32];
  std::snprintf(ccs, sizeof ccs, "%.10g", res[0].at("ccs_A2").get<double>());
  EXPECT_NE(row.find(ccs), std::string::npos) << row;
}

TEST(Program, AFileThatFailsIsNamedAndTheOthersStillRun) {
  ccs::test::TempDir dir;
  const std::string bad = dir.write("bad.xyz", "2\nt\nC 0 0 0\nC inf 0 0\n");
  const Outcome o = run(kQuick + "--json " + dir.path() + "/missing.pdb " + bad + " " + kC60, dir);
  EXPECT_EQ(o.status, 1);
  const nlohmann::json j = nlohmann::json::parse(o.out);
  EXPECT_EQ(j.at("results").size(), 1u);
  EXPECT_EQ(j.at("errors").size(), 2u);
  EXPECT_NE(o.err.find("missing.pdb: no such file"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("bad.xyz:4: atom 2: coordinates are not finite"), std::string::npos) << o.err;
}

TEST(Program, BadConditionsAndChargeAreRejectedWithAMessage) {
  ccs::test::TempDir dir;
  struct Case {
    std::string args, message;
  };
  const std::vector<Case> cases = {
      {"--temperature 0", "--temperature: 0 is not in the range 1 to 10000"},
      {"--temperature -5", "--temperature: -5 is not in the range 1 to 10000"},
      {"--pressure 0", "--pressure: 0 is not in the range 0.001 to 100000000"},
      {"--pressure -1e5", "--pressure: -1e5 is not in the range 0.001 to 100000000"},
      {"--charge 0", "--charge must be a non-zero number"},
      {"--n2-model three-site", "needs --gas N2"},
  };
  for (const Case& c : cases) {
    const Outcome o = run(kQuick + c.args + " " + kC60, dir);
    EXPECT_EQ(o.status, 2) << c.args;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.args << ": " << o.err;
    EXPECT_TRUE(o.out.empty()) << c.args;
  }
  // A molecule whose partial charges sum to 0 needs --charge.
  const std::string neutral = dir.write(
      "n.pqr", "ATOM 1 C1 LIG 1 0 0 0 -0.4 1.7\nATOM 2 O1 LIG 1 1.2 0 0 0.4 1.5\n");
  const Outcome o = run(kQuick + neutral, dir);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("n.pqr: the partial charges sum to 0.000, a charge of 0"), std::string::npos)
      << o.err;
  EXPECT_EQ(run(kQuick + "--charge 1 " + neutral, dir).status, 0);
}
