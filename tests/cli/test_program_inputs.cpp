// End-to-end runs of the ccs program on structure files as users have them:
// solvent, missing hydrogens, charges, elements without sourced parameters,
// standard input, compressed files and forced formats.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "program_runner.h"

namespace {

using ccs::test::Outcome;
using ccs::test::run;
using ccs::test::run_shell;
using ccs::test::TempDir;

const std::string kC60 = std::string(CCS_SOURCE_DIR) + "/examples/c60.xyz";
const std::string kPa = "--quiet --json --method pa --orientations 10 --seed 4 ";

// The shared 1UBQ entry, or "" when the shared data are absent.
std::string ubiquitin() {
  const char* d = std::getenv("CCS_DATA_DIR");
  if (d == nullptr) return "";
  const std::string p = std::string(d) + "/1ubq.pdb";
  std::FILE* f = std::fopen(p.c_str(), "r");
  if (f == nullptr) return "";
  std::fclose(f);
  return p;
}

std::string pdb_atom(const char* rec, int serial, const char* name, const char* res, int resnum,
                     double x, double y, double z, const char* el) {
  char b[100];
  std::snprintf(b, sizeof b, "%-6s%5d %-4s %3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n",
                rec, serial, name, res, resnum, x, y, z, el);
  return b;
}

// Alanine without hydrogens, with two crystal waters and one WAT far away.
std::string alanine_with_water() {
  return pdb_atom("ATOM", 1, "N", "ALA", 1, -0.966, 0.493, 1.500, "N") +
         pdb_atom("ATOM", 2, "CA", "ALA", 1, 0.257, 0.418, 0.692, "C") +
         pdb_atom("ATOM", 3, "C", "ALA", 1, -0.094, 0.017, -0.716, "C") +
         pdb_atom("ATOM", 4, "O", "ALA", 1, -1.056, -0.682, -0.923, "O") +
         pdb_atom("ATOM", 5, "CB", "ALA", 1, 1.204, -0.620, 1.296, "C") +
         pdb_atom("ATOM", 6, "OXT", "ALA", 1, 0.661, 0.439, -1.742, "O") +
         pdb_atom("HETATM", 7, "O", "HOH", 101, 6.0, 0.0, 0.0, "O") +
         pdb_atom("HETATM", 8, "O", "HOH", 102, 0.0, 6.0, 0.0, "O") +
         pdb_atom("HETATM", 9, "O", "WAT", 103, 0.0, 0.0, -6.0, "O") + "END\n";
}

nlohmann::json first_result(const Outcome& o) {
  return nlohmann::json::parse(o.out).at("results").at(0);
}

bool has_note(const nlohmann::json& r, const std::string& text) {
  return r.at("notes").dump().find(text) != std::string::npos;
}

}  // namespace

TEST(ProgramInputs, SolventIsLeftOutUnlessKeptOrAllThereIs) {
  TempDir dir;
  const std::string f = dir.write("ala.pdb", alanine_with_water());
  const Outcome o = run(kPa + f, dir);
  ASSERT_EQ(o.status, 0) << o.err;
  const nlohmann::json r = first_result(o);
  EXPECT_EQ(r.at("atoms"), 6);
  EXPECT_TRUE(has_note(r, "left out 3 solvent atoms (HOH, WAT); --keep-solvent keeps them")) << r.dump();
  const nlohmann::json kept = first_result(run(kPa + "--keep-solvent " + f, dir));
  EXPECT_EQ(kept.at("atoms"), 9);
  EXPECT_FALSE(has_note(kept, "solvent"));
  EXPECT_GT(kept.at("ccs_A2").get<double>(), r.at("ccs_A2").get<double>());
  // A water cluster is all solvent: it is the ion.
  const std::string waters = dir.write(
      "w.pdb", pdb_atom("HETATM", 1, "O", "HOH", 1, 0, 0, 0, "O") +
                   pdb_atom("HETATM", 2, "O", "HOH", 2, 2.8, 0, 0, "O") + "END\n");
  EXPECT_EQ(first_result(run(kPa + waters, dir)).at("atoms"), 2);
  // Formats without residues have no solvent: a lone oxygen stays.
  const std::string xyz = dir.write("o.xyz", "3\nt\nC 0 0 0\nO 1.2 0 0\nO 9 0 0\n");
  const nlohmann::json x = first_result(run(kPa + xyz, dir));
  EXPECT_EQ(x.at("atoms"), 3);
  EXPECT_FALSE(has_note(x, "solvent"));
  // PQR: the residue column.
  const std::string pqr = dir.write("w.pqr", "ATOM 1 C1 LIG 1 0 0 0 0.5 1.7\nATOM 2 N1 LIG 1 1.4 0 0 0.5 1.5\n"
                                             "ATOM 3 OW HOH 2 6 0 0 0 1.5\n");
  const nlohmann::json q = first_result(run(kPa + pqr, dir));
  EXPECT_EQ(q.at("atoms"), 2);
  EXPECT_TRUE(has_note(q, "left out 1 solvent atom (HOH)")) << q.dump();
}

TEST(ProgramInputs, MissingHydrogensAreNotedAndAddedOnRequest) {
  TempDir dir;
  const std::string f = dir.write("ala.pdb", alanine_with_water());
  const nlohmann::json bare = first_result(run(kPa + f, dir));
  EXPECT_TRUE(has_note(bare, "has no hydrogen atoms")) << bare.dump();
  const Outcome o = run(kPa + "--add-hydrogens " + f, dir);
  ASSERT_EQ(o.status, 0) << o.err;
  const nlohmann::json h = first_result(o);
  // Zwitterionic alanine at pH 7.4 carries 7 hydrogens.
  EXPECT_EQ(h.at("atoms"), 13) << h.dump();
  EXPECT_TRUE(has_note(h, "added 7 hydrogens (Open Babel, protonation states for pH 7.4)")) << h.dump();
  EXPECT_FALSE(has_note(h, "has no hydrogen atoms"));
  EXPECT_GT(h.at("ccs_A2").get<double>(), bare.at("ccs_A2").get<double>());
  // The pH is an optional value; at pH 1 the carboxyl group keeps its proton.
  const nlohmann::json acid = first_result(run(kPa + "--add-hydrogens 1 " + f, dir));
  EXPECT_TRUE(has_note(acid, "protonation states for pH 1)")) << acid.dump();
  // A file's own charges do not cover added hydrogens.
  const std::string pqr = dir.write("noh.pqr", "ATOM 1 C1 LIG 1 0 0 0 0.5 1.7\nATOM 2 N1 LIG 1 1.4 0 0 0.5 1.5\n");
  const Outcome q = run(kPa + "--add-hydrogens " + pqr, dir);
  EXPECT_EQ(q.status, 1);
  EXPECT_NE(q.err.find("noh.pqr: the file's partial charges do not cover the"), std::string::npos) << q.err;
  // A structure with hydrogens, or without organic atoms, gets no note.
  EXPECT_FALSE(has_note(first_result(run(kPa + kC60, dir)), "hydrogen"));
}

TEST(ProgramInputs, ChargesThatDoNotAddUpStopTheStructureUnlessTheChargeIsGiven) {
  TempDir dir;
  const std::string odd = dir.write("odd.pqr", "ATOM 1 C1 LIG 1 0 0 0 0.7 1.7\nATOM 2 O1 LIG 1 1.2 0 0 0.75 1.5\n");
  const Outcome o = run(kPa + odd, dir);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("odd.pqr: the partial charges sum to 1.450, far from a whole charge"),
            std::string::npos) << o.err;
  EXPECT_EQ(run(kPa + "--charge 1 " + odd, dir).status, 0);

  const std::string ubq = ubiquitin();
  if (ubq.empty()) GTEST_SKIP() << "shared data (1ubq.pdb) not present";
  // MMFF94 on a protein without hydrogens: charges far from its formal charge.
  const Outcome mmff = run(kPa + "--charges mmff94 " + ubq, dir);
  EXPECT_EQ(mmff.status, 1);
  EXPECT_NE(mmff.err.find("the mmff94 partial charges sum to -95.000, far from the structure's "
                          "formal charge 0"), std::string::npos) << mmff.err;
  const Outcome given = run(kPa + "--charges mmff94 --charge 6 " + ubq, dir);
  EXPECT_EQ(given.status, 0) << given.err;
  EXPECT_NE(first_result(given).at("warnings").dump().find("the partial charges sum to -95.000"),
            std::string::npos);
}

TEST(ProgramInputs, ProteinsNoteTheDefaultChargeTheirSolventAndHydrogens) {
  TempDir dir;
  const std::string ubq = ubiquitin();
  if (ubq.empty()) GTEST_SKIP() << "shared data (1ubq.pdb) not present";
  const nlohmann::json r = first_result(run(kPa + ubq, dir));
  EXPECT_EQ(r.at("atoms"), 602);  // the 58 crystal waters left out
  EXPECT_TRUE(has_note(r, "left out 58 solvent atoms (HOH)")) << r.dump();
  EXPECT_TRUE(has_note(r, "the ion charge z = 1 is the default")) << r.dump();
  EXPECT_TRUE(has_note(r, "has no hydrogen atoms")) << r.dump();
  EXPECT_FALSE(has_note(first_result(run(kPa + "--charge 6 " + ubq, dir)), "is the default"));
  EXPECT_FALSE(has_note(first_result(run(kPa + kC60, dir)), "is the default"));
  const nlohmann::json h = first_result(run(kPa + "--add-hydrogens " + ubq, dir));
  EXPECT_GT(h.at("atoms").get<int>(), 1150) << h.dump();
  EXPECT_TRUE(has_note(h, "added ")) << h.dump();
}

TEST(ProgramInputs, ElementsWithoutSourcedParametersUseTheMarkedFallback) {
  TempDir dir;
  const std::string f = dir.write("clp.xyz", "5\nt\nC 0 0 0\nCl 1.77 0 0\nP -1.2 1.2 0\nH -0.5 -0.9 0.3\nO -1.2 2.6 0\n");
  const Outcome o = run("--quiet --method pa --orientations 10 --seed 4 " + f, dir);
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("fallback:Cl,P"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("generic fallback hard-sphere radii (universal force field, uff_fallback.tsv) "
                       "for Cl (atom 2); P (atom 3)"), std::string::npos) << o.out;
  // Nitrogen's Lennard-Jones table has phosphorus from its source.
  const Outcome lj = run("--quiet --json --gas N2 --method lj --orientations 8 --trajectories 60 --seed 4 " + f, dir);
  ASSERT_EQ(lj.status, 0) << lj.err;
  EXPECT_EQ(first_result(lj).at("fallback_elements"), nlohmann::json::array({"Cl"}));
  const Outcome csv = run("--quiet --csv --method pa --orientations 10 --seed 4 " + f, dir);
  EXPECT_NE(csv.out.find(",Cl P,"), std::string::npos) << csv.out;
  // A user's table replaces the fallback.
  const std::string t = dir.write("cl.tsv", "@type hs\nCl 3.0\nP 3.1\n");
  const Outcome own = run(kPa + "--params " + t + " " + f, dir);
  EXPECT_TRUE(first_result(own).at("fallback_elements").empty()) << own.out;
  EXPECT_FALSE(has_note(first_result(own), "fallback"));
}

TEST(ProgramInputs, StandardInputCompressedFilesAndForcedFormatsGiveTheSameNumbers) {
  TempDir dir;
  const nlohmann::json ref = first_result(run(kPa + kC60, dir));
  const Outcome in = run_shell("cat " + kC60 + " | ", kPa + "--format xyz -", dir);
  ASSERT_EQ(in.status, 0) << in.err;
  EXPECT_EQ(first_result(in).at("ccs_A2"), ref.at("ccs_A2"));
  EXPECT_EQ(first_result(in).at("file"), "-");
  const Outcome gz_in = run_shell("gzip -c " + kC60 + " | ", kPa + "--format xyz -", dir);
  EXPECT_EQ(first_result(gz_in).at("ccs_A2"), ref.at("ccs_A2"));
  const std::string gz = dir.path() + "/c60.xyz.gz";
  ASSERT_EQ(std::system(("gzip -c " + kC60 + " > " + gz).c_str()), 0);
  const Outcome z = run(kPa + gz, dir);
  ASSERT_EQ(z.status, 0) << z.err;
  EXPECT_EQ(first_result(z).at("ccs_A2"), ref.at("ccs_A2"));
  EXPECT_EQ(first_result(z).at("file"), gz);
  // Cut short: the damage is named.
  const std::string cut = dir.path() + "/cut.xyz.gz";
  ASSERT_EQ(std::system(("head -c 200 " + gz + " > " + cut).c_str()), 0);
  const Outcome damaged = run(kPa + cut, dir);
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("cut.xyz.gz: the compressed data are damaged"), std::string::npos) << damaged.err;
  // --format reads a file whatever its name.
  const std::string txt = dir.path() + "/c60.txt";
  ASSERT_EQ(std::system(("cp " + kC60 + " " + txt).c_str()), 0);
  EXPECT_EQ(run(kPa + txt, dir).status, 1);
  EXPECT_EQ(first_result(run(kPa + "--format xyz " + txt, dir)).at("ccs_A2"), ref.at("ccs_A2"));
  // Standard input without a format is a command-line error.
  const Outcome no_fmt = run_shell("cat " + kC60 + " | ", kPa + "-", dir);
  EXPECT_EQ(no_fmt.status, 2);
  EXPECT_NE(no_fmt.err.find("reading standard input (-) needs --format EXT"), std::string::npos) << no_fmt.err;
}

TEST(ProgramInputs, AnXyzLatticeIsReadWithoutPerceivingBonds) {
  // Bond perception on a dense 1000-atom lattice takes minutes; the methods
  // need atoms only. (A hang guard, not a timing: the read takes milliseconds.)
  TempDir dir;
  std::string t = "1000\nlattice\n";
  for (int i = 0; i < 1000; ++i) {
    t += "C " + std::to_string(1.5 * (i % 10)) + " " + std::to_string(1.5 * (i / 10 % 10)) + " " +
         std::to_string(1.5 * (i / 100)) + "\n";
  }
  const std::string f = dir.write("lattice.xyz", t);
  const Outcome o = run_shell("timeout 120 ", kPa + f, dir);
  EXPECT_EQ(o.status, 0) << "status " << o.status << ": " << o.err;
  EXPECT_EQ(first_result(o).at("atoms"), 1000);
}
