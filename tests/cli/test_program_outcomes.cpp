// End-to-end runs of the ccs program: exit statuses, rows that are not a
// result, option ranges, what the outputs carry, the mobility tensor,
// streaming rows and signals.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace {

using ccs::test::Outcome;
using ccs::test::run;
using ccs::test::TempDir;

const std::string kC60 = std::string(CCS_SOURCE_DIR) + "/examples/c60.xyz";

// CSV line split into fields (quoted fields may hold commas).
std::vector<std::string> csv_fields(const std::string& line) {
  std::vector<std::string> f(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        f.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        f.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      f.emplace_back();
    } else {
      f.back() += c;
    }
  }
  return f;
}

// CSV text as rows of name -> value.
std::vector<std::map<std::string, std::string>> csv_rows(const std::string& text) {
  std::istringstream is(text);
  std::string line;
  std::getline(is, line);
  const std::vector<std::string> names = csv_fields(line);
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(is, line)) {
    const std::vector<std::string> f = csv_fields(line);
    EXPECT_EQ(f.size(), names.size()) << line;
    std::map<std::string, std::string> r;
    for (std::size_t j = 0; j < names.size() && j < f.size(); ++j) r[names[j]] = f[j];
    rows.push_back(r);
  }
  return rows;
}

// A rod of 16 carbon atoms 1.5 Å apart along (1, 1, 0)/sqrt(2).
std::string rod_xyz() {
  std::string t = "16\nrod\n";
  for (int i = 0; i < 16; ++i) {
    const double d = 1.5 * i / std::sqrt(2.0);
    t += "C " + std::to_string(d) + " " + std::to_string(d) + " 0\n";
  }
  return t;
}

}  // namespace

TEST(ProgramOutcomes, NumbersThatAreNotAResultAreMarkedEverywhereAndExitOne) {
  TempDir dir;
  // Two trajectories per orientation: the spread of the estimates is of the
  // order of the mean.
  int flagged = 0;
  for (int seed = 1; seed <= 3; ++seed) {
    const std::string args = "--quiet --method tm --orientations 4 --trajectories 2 --seed " +
                             std::to_string(seed) + " " + kC60;
    const Outcome json = run("--json " + args, dir);
    const nlohmann::json parsed = nlohmann::json::parse(json.out);
    const nlohmann::json& r = parsed.at("results").at(0);
    const bool number = r.at("ccs_A2").is_number() && r.at("ccs_se_A2").is_number();
    const bool result = number && r.at("ccs_A2").get<double>() > 0.0 &&
                        r.at("ccs_se_A2").get<double>() <= r.at("ccs_A2").get<double>() / 3.0;
    EXPECT_EQ(r.at("status").get<std::string>(), result ? "ok" : "not a result") << r.dump();
    EXPECT_EQ(json.status, result ? 0 : 1) << json.err;
    if (result) continue;
    ++flagged;
    EXPECT_NE(r.at("not_a_result").get<std::string>().find("statistics are too small"), std::string::npos);
    EXPECT_NE(json.err.find("c60.xyz#1 tm: not a result"), std::string::npos) << json.err;
    const Outcome table = run(args, dir);
    EXPECT_EQ(table.status, 1);
    EXPECT_NE(table.out.find("NOT-A-RESULT"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("# c60.xyz#1 tm: NOT A RESULT: "), std::string::npos) << table.out;
    const Outcome csv = run("--csv " + args, dir);
    EXPECT_EQ(csv.status, 1);
    const auto rows = csv_rows(csv.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("status"), "not a result");
    EXPECT_EQ(rows[0].at("problem"), r.at("not_a_result").get<std::string>());
  }
  EXPECT_GT(flagged, 0) << "two trajectories per orientation always gave a result";
  // Enough statistics: a result, exit 0.
  const Outcome ok = run("--quiet --json --method pa --orientations 20 --seed 1 " + kC60, dir);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(nlohmann::json::parse(ok.out).at("results").at(0).at("status"), "ok");
}

TEST(ProgramOutcomes, StructuresWithoutAFiniteAnswerFailEveryMethodWithTheReason) {
  TempDir dir;
  const std::string far = dir.write("far.xyz", "2\nt\nC 1e30 0 0\nC -1e30 0 0\n");
  const std::string huge_q = dir.write("q.pqr", "ATOM 1 C1 LIG 1 0 0 0 1e30 1.7\nATOM 2 O1 LIG 1 1.2 0 0 0.5 1.5\n");
  const Outcome o = run("--quiet --csv --method all --orientations 3 --trajectories 10 --seed 1 " +
                            far + " " + huge_q, dir);
  EXPECT_EQ(o.status, 1);
  const auto rows = csv_rows(o.out);
  int far_rows = 0, q_rows = 0;
  for (const auto& r : rows) {
    EXPECT_NE(r.at("status"), "ok") << r.at("file") << " " << r.at("method");
    EXPECT_FALSE(r.at("problem").empty());
    if (r.at("file") == far) {
      ++far_rows;
      EXPECT_EQ(r.at("status"), "not a result");
      EXPECT_EQ(r.at("ccs_A2"), "");
    } else {
      ++q_rows;
      EXPECT_EQ(r.at("status"), "failed");
      EXPECT_NE(r.at("problem").find("q.pqr: the partial charges sum to 1e+30"), std::string::npos);
    }
  }
  EXPECT_GE(far_rows, 1);
  EXPECT_EQ(far_rows, q_rows);
  EXPECT_NE(o.err.find("far.xyz#1 pa: not a result: no finite cross section"), std::string::npos) << o.err;
  // A file that cannot be read is a row of CSV as well.
  const Outcome missing = run("--quiet --csv --method pa " + dir.path() + "/none.xyz", dir);
  EXPECT_EQ(missing.status, 1);
  const auto m = csv_rows(missing.out);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].at("status"), "failed");
  EXPECT_EQ(m[0].at("problem"), dir.path() + "/none.xyz: no such file");
}

TEST(ProgramOutcomes, EveryNumericOptionRefusesNanAndInfinityAndPrintsPlainRanges) {
  TempDir dir;
  for (const char* opt : {"--temperature", "--pressure", "--charge", "--polarizability",
                          "--accommodation", "--trajectories", "--deltatenhance", "--multiplier",
                          "--boxdomain", "--add-hydrogens"}) {
    for (const char* v : {"nan", "inf", "-inf"}) {
      const Outcome o = run(std::string("--quiet ") + opt + " " + v + " " + kC60, dir);
      EXPECT_EQ(o.status, 2) << opt << " " << v;
      // (An option whose value is optional takes "-inf" for another option.)
      if (std::string(opt) == "--add-hydrogens" && std::string(v) == "-inf") continue;
      EXPECT_NE(o.err.find(std::string(v) + " is not a finite number"), std::string::npos)
          << opt << " " << v << ": " << o.err;
      EXPECT_TRUE(o.out.empty()) << opt;
    }
  }
  for (const char* opt : {"--orientations", "--seed", "--threads"}) {
    EXPECT_EQ(run(std::string("--quiet ") + opt + " nan " + kC60, dir).status, 2) << opt;
  }
  // Too few collision passes or too coarse time steps are refused.
  const Outcome mult = run("--quiet --multiplier 10 " + kC60, dir);
  EXPECT_EQ(mult.status, 2);
  EXPECT_NE(mult.err.find("--multiplier: 10 is not in the range 100 to 1000000"), std::string::npos) << mult.err;
  EXPECT_EQ(run("--quiet --deltatenhance 2 " + kC60, dir).status, 2);
  EXPECT_EQ(run("--quiet --charge 1e30 " + kC60, dir).status, 2);
  // Ranges print as plain numbers.
  const Outcome help = run("--help", dir);
  EXPECT_EQ(help.status, 0);
  EXPECT_FALSE(std::regex_search(help.out, std::regex("[0-9]{12,}"))) << help.out;
  EXPECT_NE(help.out.find("in 0.001 to 100000000"), std::string::npos) << help.out;
}

TEST(ProgramOutcomes, CsvCarriesConditionsSettingsAndTheFullPath) {
  TempDir dir;
  const std::string f = dir.write("ion.xyz", "2\nt\nC 0 0 0\nO 1.2 0 0\n");
  const Outcome o = run("--quiet --csv --gas N2 --temperature 350 --pressure 2000 --seed 9 "
                        "--method tm --orientations 5 --trajectories 20 --multiplier 150 "
                        "--accommodation 0.5 --maxwell " + f, dir);
  ASSERT_EQ(o.status, 0) << o.err;
  const auto rows = csv_rows(o.out);
  ASSERT_EQ(rows.size(), 1u);
  const auto& r = rows[0];
  EXPECT_EQ(r.at("file"), f);
  EXPECT_EQ(r.at("gas"), "N2");
  EXPECT_EQ(r.at("gas_model"), "N2 hard spheres");
  EXPECT_EQ(std::stod(r.at("temperature_K")), 350.0);
  EXPECT_EQ(std::stod(r.at("pressure_Pa")), 2000.0);
  EXPECT_EQ(r.at("seed"), "9");
  EXPECT_EQ(r.at("method"), "tm");
  EXPECT_EQ(std::stod(r.at("multiplier")), 150.0);
  EXPECT_EQ(std::stod(r.at("trajectories_per_orientation")), 20.0);
  EXPECT_EQ(std::stod(r.at("accommodation")), 0.5);
  EXPECT_EQ(r.at("maxwell"), "1");
  EXPECT_EQ(r.at("launched_counts"), "trajectories");
  EXPECT_GT(std::stod(r.at("boxdomain")), 0.0);
  EXPECT_TRUE(r.count("warnings") && r.count("notes"));
  // The K of the row follows from its cross section and the conditions:
  // at 350 K and 2000 Pa it is far from the reduced mobility.
  EXPECT_NEAR(std::stod(r.at("K0_cm2_Vs")) / std::stod(r.at("K_cm2_Vs")),
              2000.0 / 101325.0 * 273.15 / 350.0, 1e-9);
  // pa counts probe lines.
  const Outcome pa = run("--quiet --json --method pa --orientations 5 " + f, dir);
  EXPECT_EQ(nlohmann::json::parse(pa.out).at("results").at(0).at("launched_counts"), "probe lines");
  const Outcome table = run("--quiet --method pa --orientations 5 " + f, dir);
  EXPECT_NE(table.out.find("CCS/Å²"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("launched"), std::string::npos) << table.out;
}

TEST(ProgramOutcomes, TensorGivesPrincipalValuesAndAxesInTheFilesFrame) {
  TempDir dir;
  const std::string rod = dir.write("rod.xyz", rod_xyz());
  const Outcome o = run("--quiet --json --tensor --trajectories 2000 --seed 3 --method all " + rod, dir);
  ASSERT_EQ(o.status, 0) << o.err;
  const nlohmann::json parsed = nlohmann::json::parse(o.out);
  const nlohmann::json& res = parsed.at("results");
  ASSERT_GE(res.size(), 2u);
  int tensors = 0;
  for (const auto& r : res) {
    const std::string m = r.at("method");
    if (m == "pa") {
      EXPECT_FALSE(r.at("tensor").get<bool>());
      EXPECT_NE(r.at("notes").dump().find("pa has no tensor mode"), std::string::npos) << r.dump();
      continue;
    }
    ++tensors;
    ASSERT_TRUE(r.contains("principal")) << m;
    const auto& p = r.at("principal");
    std::vector<double> ccs;
    for (const auto& k : p) ccs.push_back(k.at("ccs_A2").get<double>());
    ASSERT_EQ(ccs.size(), 3u);
    EXPECT_LE(ccs[0], ccs[1]) << m;
    EXPECT_LE(ccs[1], ccs[2]) << m;
    // Drifting along the rod meets a far smaller cross section than across it.
    EXPECT_LT(ccs[0], 0.5 * ccs[1]) << m;
    const auto& ax = p.at(0).at("axis");
    const double along = (ax.at(0).get<double>() + ax.at(1).get<double>()) / std::sqrt(2.0);
    EXPECT_GT(std::fabs(along), 0.95) << m << ": smallest cross section along " << ax.dump();
    // The principal mobilities follow from the cross sections: the smallest
    // cross section has the largest mobility.
    EXPECT_GT(p.at(0).at("mobility_cm2_Vs").get<double>(), p.at(2).at("mobility_cm2_Vs").get<double>());
  }
  EXPECT_GE(tensors, 1);
  const Outcome table = run("--quiet --tensor --method ehss --trajectories 300 --seed 3 " + rod, dir);
  EXPECT_NE(table.out.find("ehss: mobility tensor: principal cross sections"), std::string::npos) << table.out;
}

TEST(ProgramOutcomes, RowsStreamAndASignalKeepsTheFinishedOnes) {
  TempDir dir;
  // A lone atom runs in a moment; a lattice of 8000 atoms runs for minutes.
  const std::string quick = dir.write("quick.xyz", "1\nq\nC 0 0 0\n");
  std::string lattice = "8000\nlattice\n";
  for (int i = 0; i < 8000; ++i) {
    lattice += "C " + std::to_string(1.5 * (i % 20)) + " " + std::to_string(1.5 * (i / 20 % 20)) +
               " " + std::to_string(1.5 * (i / 400)) + "\n";
  }
  const std::string slow = dir.write("slow.xyz", lattice);
  const std::string args = "--quiet --method tm --orientations 2000 --trajectories 20 --seed 1 ";

  // CSV: the quick row is printed while the slow run goes on; SIGTERM stops
  // the job with the finished row kept and status 143.
  const Outcome term = ccs::test::run_and_signal("--csv " + args + quick + " " + slow,
                                                 "quick.xyz,1,", SIGTERM, dir);
  EXPECT_EQ(term.status, 143) << term.err;
  const auto rows = csv_rows(term.out);
  ASSERT_EQ(rows.size(), 1u) << term.out;
  EXPECT_EQ(rows[0].at("file"), quick);
  EXPECT_EQ(rows[0].at("status"), "ok");
  EXPECT_NE(term.err.find("interrupted"), std::string::npos) << term.err;

  // Table and SIGINT: 130.
  const Outcome intr = ccs::test::run_and_signal(args + quick + " " + slow, "quick.xyz#1", SIGINT, dir);
  EXPECT_EQ(intr.status, 130) << intr.err;
  EXPECT_NE(intr.out.find("# interrupted"), std::string::npos) << intr.out;
  EXPECT_EQ(intr.out.find("slow.xyz#1"), std::string::npos) << intr.out;

  // JSON is written at the end, also when interrupted; the signal comes once
  // the missing file has been reported.
  const Outcome json = ccs::test::run_and_signal("--json " + args + dir.path() + "/absent.xyz " + slow,
                                                 "absent.xyz: no such file", SIGINT, dir, 300, true);
  EXPECT_EQ(json.status, 130) << json.err;
  const nlohmann::json j = nlohmann::json::parse(json.out);
  EXPECT_TRUE(j.at("interrupted").get<bool>());
  EXPECT_EQ(j.at("errors").size(), 1u);
  EXPECT_EQ(j.at("results").size(), 0u);
}

TEST(ProgramOutcomes, ProgressNamesTheStructureBeingRun) {
  TempDir dir;
  const std::string two = dir.write("two.xyz", "1\na\nC 0 0 0\n2\nb\nC 0 0 0\nO 1.2 0 0\n");
  // Progress goes to standard error when it is a terminal; script(1) gives
  // the program one and copies what it writes.
  const std::string cmd = "script -qec \"" + std::string(CCS_BINARY) +
                          " --method pa --orientations 400 " + two + "\" /dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_NE(out.find("two.xyz: structure 1 of 2, pa"), std::string::npos) << out;
  EXPECT_NE(out.find("two.xyz: structure 2 of 2, pa"), std::string::npos) << out;
}
