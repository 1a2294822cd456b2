// The checkpoint of a job: rows back to the last bit, a line cut short by a
// killed job left out and the file continued, other settings refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/checkpoint.h"
#include "cli/structure.h"
#include "cli_test_files.h"

using namespace ccs::cli;
using ccs::test::TempDir;

namespace {

ResultRow sample_row(int conformer, const std::string& method) {
  ResultRow r;
  r.file = "dir/ion, \"quoted\".xyz";
  r.title = "a title";
  r.conformer = conformer;
  r.atoms = 21;
  r.method = method;
  r.tensor = method == "ehss";
  r.structure_notes = {"a note"};
  RunResult& x = r.result;
  x.numerics.orientations = 3;
  x.numerics.trajectories = 300;
  x.numerics.entry_radius = 0.1 + 0.2;  // a number with no short decimal form
  x.ccs = 1.0 / 3.0 * 120;
  x.ccs_se = NAN;
  x.per_orientation = {std::nextafter(100.0, 200.0), NAN, 0.0, 1e-300};
  x.K = 2.0 / 7.0;
  x.K0 = 1.2345678901234567;
  x.z = 1;
  x.mass = 120.123;
  x.orientations = 4;
  x.orientations_used = 2;
  x.trajectories = 1200;
  x.seconds = 0.5;
  x.lj_model = "three-site";
  x.warnings = {"w"};
  x.notes = {"n1", "n2"};
  x.gas_model = "N2 Lennard-Jones, three-site molecule";
  x.fallback_elements = {"Xe"};
  x.tensor.valid = true;
  x.tensor.ccs[1] = 3.0 / 11.0;
  x.tensor.axes[2][1] = -1.0 / 3.0;
  x.not_a_result = "";
  return r;
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expect_same(const ResultRow& a, const ResultRow& b) {
  EXPECT_EQ(row_to_json(a), row_to_json(b));
  EXPECT_TRUE(same_bits(a.result.ccs, b.result.ccs));
  EXPECT_TRUE(std::isnan(b.result.ccs_se));
  ASSERT_EQ(a.result.per_orientation.size(), b.result.per_orientation.size());
  for (std::size_t i = 0; i < a.result.per_orientation.size(); ++i) {
    const double x = a.result.per_orientation[i], y = b.result.per_orientation[i];
    EXPECT_TRUE(same_bits(x, y) || (std::isnan(x) && std::isnan(y))) << i;
  }
  EXPECT_TRUE(same_bits(a.result.numerics.entry_radius, b.result.numerics.entry_radius));
  EXPECT_TRUE(same_bits(a.result.tensor.axes[2][1], b.result.tensor.axes[2][1]));
  EXPECT_TRUE(std::isnan(b.result.tensor.ccs[0]));
  EXPECT_EQ(a.result.notes, b.result.notes);
}

const nlohmann::json kSettings = {{"seed", 7}, {"gas", "He"}};

}  // namespace

TEST(Checkpoint, RowsComeBackToTheLastBitInALaterJob) {
  TempDir dir;
  const std::string path = dir.path() + "/rows.jsonl";
  {
    Checkpoint cp(path, kSettings);
    EXPECT_EQ(cp.loaded(), 0u);
    cp.append(sample_row(1, "pa"));
    cp.append(sample_row(2, "ehss"));
  }
  EXPECT_EQ(checkpoint_seed(path), 7);
  Checkpoint again(path, kSettings);
  EXPECT_EQ(again.loaded(), 2u);
  const ResultRow* r = again.find("dir/ion, \"quoted\".xyz", 2, "ehss");
  ASSERT_NE(r, nullptr);
  expect_same(sample_row(2, "ehss"), *r);
  EXPECT_EQ(again.find("dir/ion, \"quoted\".xyz", 2, "pa"), nullptr);
  EXPECT_EQ(again.find("other.xyz", 1, "pa"), nullptr);
}

TEST(Checkpoint, ALineCutShortIsLeftOutAndTheFileContinuesOnAFreshLine) {
  TempDir dir;
  const std::string path = dir.path() + "/rows.jsonl";
  {
    Checkpoint cp(path, kSettings);
    cp.append(sample_row(1, "pa"));
    cp.append(sample_row(2, "pa"));
  }
  // The job was killed while writing the second row.
  std::string text = slurp(path);
  text.resize(text.size() - 40);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  {
    Checkpoint cp(path, kSettings);
    EXPECT_EQ(cp.loaded(), 1u);
    EXPECT_EQ(cp.find("dir/ion, \"quoted\".xyz", 2, "pa"), nullptr);
    cp.append(sample_row(3, "pa"));
  }
  Checkpoint cp(path, kSettings);
  EXPECT_EQ(cp.loaded(), 2u);
  EXPECT_NE(cp.find("dir/ion, \"quoted\".xyz", 3, "pa"), nullptr);
}

TEST(Checkpoint, OtherSettingsOrAFileOfAnotherKindAreRefusedByName) {
  TempDir dir;
  const std::string path = dir.path() + "/rows.jsonl";
  { Checkpoint cp(path, kSettings); }
  try {
    Checkpoint cp(path, {{"seed", 8}, {"gas", "He"}, {"tensor", true}});
    FAIL() << "accepted other settings";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("rows.jsonl: written by a job with other settings (seed, tensor)"),
              std::string::npos)
        << e.what();
  }
  const std::string other = dir.write("table.csv", "file,conformer\n");
  EXPECT_THROW(Checkpoint(other, kSettings), InputError);
  EXPECT_EQ(checkpoint_seed(dir.path() + "/missing.jsonl"), -1);
  // A line that is JSON but no row is damage, not a cut: refused.
  { std::ofstream(path, std::ios::app) << "{\"row\": {\"file\": 1}}\n{\"row\": 2}\n"; }
  EXPECT_THROW(Checkpoint(path, kSettings), InputError);
}
