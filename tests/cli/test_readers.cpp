#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cli/readers.h"
#include "cli_test_files.h"

using namespace ccs::cli;

namespace {

// One molecule, the hydroxymethylammonium-like ion H3N+-CH2-OH, in every
// format. Coordinates have three decimals so that every format holds them
// exactly; charges sum to +1.
struct RefAtom {
  const char* el;
  double x, y, z, q;
};
const std::vector<RefAtom> kMol = {
    {"N", 0.000, 0.000, 0.000, -0.300}, {"C", 1.480, 0.000, 0.000, 0.100},
    {"O", 2.000, 1.300, 0.000, -0.600}, {"H", -0.350, 0.960, 0.000, 0.350},
    {"H", -0.350, -0.480, 0.830, 0.350}, {"H", -0.350, -0.480, -0.830, 0.350},
    {"H", 1.840, -0.520, 0.890, 0.100}, {"H", 1.840, -0.520, -0.890, 0.100},
    {"H", 2.960, 1.250, 0.000, 0.550}};

std::string fmt3(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.3f", v);
  return b;
}

std::string xyz_text() {
  std::string t = std::to_string(kMol.size()) + "\nion\n";
  for (const RefAtom& a : kMol) t += std::string(a.el) + " " + fmt3(a.x) + " " + fmt3(a.y) + " " + fmt3(a.z) + "\n";
  return t;
}

std::string pdb_text(bool end = true) {
  std::string t;
  int i = 1;
  for (const RefAtom& a : kMol) {
    char b[100];
    std::snprintf(b, sizeof b, "HETATM%5d %-4s LIG A   1    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n", i,
                  (std::string(a.el) + std::to_string(i)).c_str(), a.x, a.y, a.z, a.el);
    t += b;
    ++i;
  }
  return end ? t + "END\n" : t;
}

std::string pqr_text() {
  std::string t;
  int i = 1;
  for (const RefAtom& a : kMol) {
    char b[120];
    // Without chain or element: the layout most charge tools write.
    std::snprintf(b, sizeof b, "ATOM  %5d %-4s LIG     1    %8.3f%8.3f%8.3f %7.4f %6.4f\n", i,
                  (std::string(a.el) + std::to_string(i)).c_str(), a.x, a.y, a.z, a.q, 1.5);
    t += b;
    ++i;
  }
  return t + "END\n";
}

std::string mol2_text() {
  std::string t = "@<TRIPOS>MOLECULE\nion\n 9 8 1 0 0\nSMALL\nUSER_CHARGES\n\n@<TRIPOS>ATOM\n";
  const char* types[] = {"N.4", "C.3", "O.3", "H", "H", "H", "H", "H", "H"};
  int i = 1;
  for (const RefAtom& a : kMol) {
    char b[120];
    std::snprintf(b, sizeof b, "%7d %-4s %10.4f%10.4f%10.4f %-5s 1 LIG %9.4f\n", i,
                  (std::string(a.el) + std::to_string(i)).c_str(), a.x, a.y, a.z, types[i - 1], a.q);
    t += b;
    ++i;
  }
  t += "@<TRIPOS>BOND\n 1 1 2 1\n 2 2 3 1\n 3 1 4 1\n 4 1 5 1\n 5 1 6 1\n 6 2 7 1\n 7 2 8 1\n 8 3 9 1\n";
  return t;
}

std::string sdf_text() {
  std::string t = "ion\n  test\n\n  9  8  0  0  0  0  0  0  0  0999 V2000\n";
  for (const RefAtom& a : kMol) {
    char b[120];
    std::snprintf(b, sizeof b, "%10.4f%10.4f%10.4f %-3s 0  0  0  0  0  0  0  0  0  0  0  0\n", a.x,
                  a.y, a.z, a.el);
    t += b;
  }
  t += "  1  2  1  0\n  2  3  1  0\n  1  4  1  0\n  1  5  1  0\n  1  6  1  0\n  2  7  1  0\n"
       "  2  8  1  0\n  3  9  1  0\nM  CHG  1   1   1\nM  END\n$$$$\n";
  return t;
}

std::string cif_text() {
  std::string t =
      "data_ion\nloop_\n_atom_site.group_PDB\n_atom_site.id\n_atom_site.type_symbol\n"
      "_atom_site.label_atom_id\n_atom_site.label_comp_id\n_atom_site.label_asym_id\n"
      "_atom_site.label_seq_id\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n";
  int i = 1;
  for (const RefAtom& a : kMol) {
    t += "HETATM " + std::to_string(i) + " " + a.el + " " + a.el + std::to_string(i) +
         " LIG A 1 " + fmt3(a.x) + " " + fmt3(a.y) + " " + fmt3(a.z) + "\n";
    ++i;
  }
  return t;
}

double std_mass(const char* el) { return standard_atomic_weight(element_number(el)); }

std::string mfj_text(int sets, const std::string& mode = "calc", const std::string& units = "ang") {
  std::string t = "ion\n" + std::to_string(sets) + "\n" + std::to_string(kMol.size()) + "\n" +
                  units + "\n" + mode + "\n1.0000\n";
  for (int s = 0; s < sets; ++s) {
    if (s > 0) t += std::to_string(kMol.size()) + "\n";
    for (const RefAtom& a : kMol) {
      char b[160];
      std::snprintf(b, sizeof b, "%.3f %.3f %.3f %.4f", a.x + s, a.y, a.z, std_mass(a.el));
      t += b;
      if (mode == "calc") t += " " + fmt3(a.q);
      t += "\n";
    }
  }
  return t;
}

void expect_reference(const Structure& s, const std::string& what, bool charges, double dx = 0.0) {
  ASSERT_EQ(s.atoms.size(), kMol.size()) << what;
  for (std::size_t i = 0; i < kMol.size(); ++i) {
    const Atom& a = s.atoms[i];
    EXPECT_EQ(a.symbol, kMol[i].el) << what << " atom " << i + 1;
    EXPECT_NEAR(a.x, kMol[i].x + dx, 1e-9) << what << " atom " << i + 1;
    EXPECT_NEAR(a.y, kMol[i].y, 1e-9) << what << " atom " << i + 1;
    EXPECT_NEAR(a.z, kMol[i].z, 1e-9) << what << " atom " << i + 1;
    EXPECT_NEAR(a.mass, std_mass(kMol[i].el), 1e-3) << what;
    if (charges) {
      EXPECT_NEAR(a.charge, kMol[i].q, 1e-9) << what << " atom " << i + 1;
    }
  }
  EXPECT_EQ(s.has_charges, charges) << what;
}

std::string error_of(const std::string& path, const ReadOptions& opt = ReadOptions()) {
  try {
    read_structures(path, opt);
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(Readers, EveryFormatGivesTheSameAtomsAndCharges) {
  ccs::test::TempDir dir;
  const ReadOptions opt;
  struct Case {
    std::string name, text;
    bool charges;
  };
  const std::vector<Case> cases = {
      {"ion.xyz", xyz_text(), false}, {"ion.pdb", pdb_text(), false},
      {"ion.pqr", pqr_text(), true},  {"ion.mol2", mol2_text(), true},
      {"ion.sdf", sdf_text(), false}, {"ion.cif", cif_text(), false},
      {"ion.mfj", mfj_text(1), true}};
  for (const Case& c : cases) {
    const std::vector<Structure> s = read_structures(dir.write(c.name, c.text), opt);
    ASSERT_EQ(s.size(), 1u) << c.name;
    expect_reference(s[0], c.name, c.charges);
    if (c.charges) {
      EXPECT_NEAR(s[0].charge_sum(), 1.0, 1e-9) << c.name;
    }
  }
  const double m = read_structures(dir.write("m.xyz", xyz_text()), opt)[0].mass();
  EXPECT_NEAR(m, std_mass("C") + std_mass("N") + std_mass("O") + 6 * std_mass("H"), 1e-9);
}

TEST(Readers, MfjHoldsSeveralStructuresUnitsAndChargeModes) {
  ccs::test::TempDir dir;
  ReadOptions opt;
  const std::vector<Structure> s = read_structures(dir.write("three.mfj", mfj_text(3)), opt);
  ASSERT_EQ(s.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(s[static_cast<std::size_t>(k)].conformer, k + 1);
    expect_reference(s[static_cast<std::size_t>(k)], "set " + std::to_string(k + 1), true, k);
  }
  // Bohr units: every coordinate scaled by the Bohr radius.
  const Structure au = read_structures(dir.write("au.mfj", mfj_text(1, "calc", "au")), opt)[0];
  EXPECT_NEAR(au.atoms[1].x, 1.480 * 0.529177210903, 1e-12);
  // "equal": the ion charge spread over the atoms; "none": no charges.
  opt.equal_charge_total = 2.0;
  const Structure eq = read_structures(dir.write("eq.mfj", mfj_text(1, "equal")), opt)[0];
  EXPECT_TRUE(eq.has_charges);
  EXPECT_NEAR(eq.charge_sum(), 2.0, 1e-12);
  EXPECT_NEAR(eq.atoms[0].charge, 2.0 / 9.0, 1e-15);
  const Structure none = read_structures(dir.write("none.mfj", mfj_text(1, "none")), opt)[0];
  EXPECT_FALSE(none.has_charges);
}

TEST(Readers, MfjWhoseAtomCountDoesNotMatchItsLinesIsRejected) {
  ccs::test::TempDir dir;
  std::string few = mfj_text(2);
  few.erase(few.rfind('\n', few.size() - 2) + 1);  // drop the last atom line
  const std::string e1 = error_of(dir.write("few.mfj", few));
  EXPECT_NE(e1.find("few.mfj:"), std::string::npos) << e1;
  EXPECT_NE(e1.find("structure 2 has 8 atom lines; the header says 9"), std::string::npos) << e1;

  const std::string many = mfj_text(1) + "9.000 9.000 9.000 1.0080 0.000\n";
  const std::string e2 = error_of(dir.write("many.mfj", many));
  EXPECT_NE(e2.find("many.mfj:16: more atom lines"), std::string::npos) << e2;

  std::string wrong_sep = mfj_text(2);
  wrong_sep.replace(wrong_sep.find("\n9\n", 20), 3, "\n8\n");
  const std::string e3 = error_of(dir.write("sep.mfj", wrong_sep));
  EXPECT_NE(e3.find("structure 2 declares 8 atoms"), std::string::npos) << e3;

  const std::string over = std::to_string(kMaxAtoms + 1);
  const std::string e4 = error_of(dir.write("big.mfj", "x\n1\n" + over + "\nang\nnone\n1.0\n"));
  EXPECT_NE(e4.find("big.mfj:3: " + over + " atoms; at most " + std::to_string(kMaxAtoms)), std::string::npos)
      << e4;

  const std::string e5 =
      error_of(dir.write("mass.mfj", "x\n1\n1\nang\nnone\n1.0\n0 0 0 7.5\n"));
  EXPECT_NE(e5.find("mass.mfj:7: no element has the mass 7.5"), std::string::npos) << e5;
}

TEST(Readers, BadFilesGetOneMessageNamingTheFile) {
  ccs::test::TempDir dir;
  EXPECT_EQ(error_of(dir.path() + "/absent.xyz"), dir.path() + "/absent.xyz: no such file");
  EXPECT_EQ(error_of(dir.write("empty.xyz", "")), dir.path() + "/empty.xyz: the file is empty");
  EXPECT_EQ(error_of(dir.write("blank.pdb", "\n  \n")), dir.path() + "/blank.pdb: the file is empty");
  const std::string unk = error_of(dir.write("ion.qqq", xyz_text()));
  EXPECT_NE(unk.find("ion.qqq: unknown structure format '.qqq'"), std::string::npos) << unk;
  const std::string el = error_of(dir.write("el.xyz", "2\nt\nC 0 0 0\nQz 1 0 0\n"));
  EXPECT_NE(el.find("el.xyz:4: atom 2: unknown element"), std::string::npos) << el;
  const std::string nan = error_of(dir.write("nan.xyz", "2\nt\nC 0 0 0\nC 1 nan 0\n"));
  EXPECT_NE(nan.find("nan.xyz:4: atom 2: coordinates are not finite"), std::string::npos) << nan;
  const std::string inf = error_of(dir.write("inf.pqr", "ATOM 1 C LIG 1 0 inf 0 0.1 1.5\n"));
  EXPECT_NE(inf.find("inf.pqr:1: coordinates are not finite"), std::string::npos) << inf;
  const std::string pqr_el = error_of(dir.write("el.pqr", "ATOM 1 Q1 LIG 1 0 0 0 0.1 1.5\n"));
  EXPECT_NE(pqr_el.find("el.pqr:1: unknown element 'Q'"), std::string::npos) << pqr_el;
  const std::string garbage = error_of(dir.write("bad.mol2", "this is not a mol2 file\n"));
  EXPECT_NE(garbage.find("bad.mol2: "), std::string::npos) << garbage;
}

TEST(Readers, TooManyAtomsIsRejected) {
  // The bound itself (a structure of kMaxAtoms atoms needs gigabytes).
  try {
    check_atom_count("big.xyz", kMaxAtoms + 1, " (structure 2)");
    FAIL() << "accepted " << kMaxAtoms + 1 << " atoms";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("big.xyz: " + std::to_string(kMaxAtoms + 1) + " atoms (structure 2); at most"),
              std::string::npos)
        << e.what();
  }
  EXPECT_NO_THROW(check_atom_count("big.xyz", kMaxAtoms, ""));
  // Above the plug-ins' 150000 rows, a structure is taken.
  Structure s;
  s.file = "big.xyz";
  s.atoms.assign(150001, Atom{6, "C", 0, 0, 0, 12.011, NAN});
  EXPECT_NO_THROW(validate_structure(s));
}

TEST(Readers, ChargeSourcesReplaceOrDropTheFileCharges) {
  ccs::test::TempDir dir;
  const std::string mol2 = dir.write("ion.mol2", mol2_text());
  ReadOptions opt;
  opt.charges = ChargeSource::None;
  const Structure none = read_structures(mol2, opt)[0];
  EXPECT_FALSE(none.has_charges);
  EXPECT_TRUE(std::isnan(none.atoms[0].charge));
  for (ChargeSource c : {ChargeSource::Gasteiger, ChargeSource::Mmff94}) {
    opt.charges = c;
    for (const std::string& f : {mol2, dir.write("ion.xyz", xyz_text())}) {
      const Structure s = read_structures(f, opt)[0];
      EXPECT_TRUE(s.has_charges) << charge_source_name(c) << " " << f;
      bool differs = false;
      for (std::size_t i = 0; i < kMol.size(); ++i) {
        EXPECT_TRUE(std::isfinite(s.atoms[i].charge));
        differs = differs || std::fabs(s.atoms[i].charge - kMol[i].q) > 1e-3;
      }
      EXPECT_TRUE(differs) << charge_source_name(c) << " kept the file's charges";
    }
  }
}

TEST(Readers, FramesOfAMultiFrameFileJoinForTheMovingMethod) {
  ccs::test::TempDir dir;
  const std::string two = xyz_text() + xyz_text();
  const std::vector<Structure> s = read_structures(dir.write("two.xyz", two), ReadOptions());
  ASSERT_EQ(s.size(), 2u);
  const Structure j = join_frames(s);
  EXPECT_EQ(j.n_frames, 2);
  ASSERT_EQ(j.frames_xyz.size(), 2 * 3 * kMol.size());
  EXPECT_EQ(j.frames_xyz[3 * kMol.size() + 3], kMol[1].x);  // frame 2, atom 2, x
  std::vector<Structure> bad = s;
  bad[1].atoms.pop_back();
  EXPECT_THROW(join_frames(bad), InputError);
  // PDB models are structures as well.
  const std::string models = "MODEL 1\n" + pdb_text(false) + "ENDMDL\nMODEL 2\n" + pdb_text(false) + "ENDMDL\nEND\n";
  EXPECT_EQ(read_structures(dir.write("m.pdb", models), ReadOptions()).size(), 2u);
}
