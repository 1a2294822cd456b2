#include "cli/readers.h"

#include <openbabel/atom.h>
#include <openbabel/bond.h>
#include <openbabel/chargemodel.h>
#include <openbabel/elements.h>
#include <openbabel/mol.h>
#include <openbabel/obconversion.h>
#include <openbabel/oberror.h>
#include <openbabel/obiter.h>
#include <openbabel/plugin.h>
#include <openbabel/residue.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>

#include "cli/input_file.h"

namespace ccs::cli {
namespace {

using OpenBabel::OBMol;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Open Babel keeps its messages in a global log; the program reports its own.
std::mutex& ob_mutex() {
  static std::mutex m;
  return m;
}

bool is_charge_model(ChargeSource c) { return c != ChargeSource::File && c != ChargeSource::None; }
bool adds_hydrogens(const ReadOptions& opt) { return std::isfinite(opt.add_hydrogens_ph); }

OpenBabel::OBChargeModel* charge_model(ChargeSource c) {
  const char* id = c == ChargeSource::Gasteiger ? "gasteiger"
                   : c == ChargeSource::Mmff94  ? "mmff94"
                                                : "eem";
  // Plug-ins register in the library's own table; look them up there.
  auto* m = static_cast<OpenBabel::OBChargeModel*>(OpenBabel::OBPlugin::GetPlugin("charges", id));
  if (m == nullptr) throw std::runtime_error(std::string("Open Babel has no charge model '") + id + "'");
  return m;
}

// The charge model's partial charges of every atom of `mol`, in atom order.
std::vector<double> model_charges(OBMol& mol, ChargeSource c, const std::string& name) {
  OpenBabel::OBChargeModel* model = charge_model(c);
  if (!model->ComputeCharges(mol)) {
    input_error(name, std::string("the ") + charge_source_name(c) +
                          " charge model cannot assign charges to this molecule");
  }
  const std::vector<double> q = model->GetPartialCharges();
  if (q.size() != mol.NumAtoms()) {
    input_error(name, std::string("the ") + charge_source_name(c) +
                          " charge model returned a charge count that does not match the atoms");
  }
  for (std::size_t i = 0; i < q.size(); ++i) {
    if (!std::isfinite(q[i])) {
      input_error(name, std::string("the ") + charge_source_name(c) +
                            " charge model gave a non-finite charge to atom " + std::to_string(i + 1));
    }
  }
  return q;
}

double formal_charge_sum(OBMol& mol) {
  double q = 0.0;
  FOR_ATOMS_OF_MOL(a, mol) q += a->GetFormalCharge();
  return q;
}

// An Open Babel molecule from atoms alone (bonds perceived from distances),
// for charge models and hydrogens on files without bonds of their own.
void molecule_from_atoms(const Structure& s, OBMol& mol) {
  mol.BeginModify();
  for (const Atom& a : s.atoms) {
    OpenBabel::OBAtom* at = mol.NewAtom();
    at->SetAtomicNum(a.Z);
    at->SetVector(a.x, a.y, a.z);
  }
  mol.EndModify();
  mol.ConnectTheDots();
  mol.PerceiveBondOrders();
}

// Copy of `mol` without the atoms marked in `drop`: elements, coordinates,
// formal charges, implicit hydrogen counts, bonds and residues (what
// hydrogens and charge models use).
void copy_without(OBMol& mol, const std::vector<char>& drop, OBMol& out) {
  std::vector<OpenBabel::OBAtom*> to(mol.NumAtoms() + 1, nullptr);
  out.BeginModify();
  FOR_ATOMS_OF_MOL(a, mol) {
    if (drop[a->GetIdx() - 1]) continue;
    OpenBabel::OBAtom* b = out.NewAtom();
    b->SetAtomicNum(a->GetAtomicNum());
    b->SetVector(a->GetVector());
    b->SetFormalCharge(a->GetFormalCharge());
    b->SetIsotope(a->GetIsotope());
    b->SetImplicitHCount(a->GetImplicitHCount());
    to[a->GetIdx()] = b;
  }
  FOR_BONDS_OF_MOL(bd, mol) {
    OpenBabel::OBAtom* x = to[bd->GetBeginAtomIdx()];
    OpenBabel::OBAtom* y = to[bd->GetEndAtomIdx()];
    if (x != nullptr && y != nullptr) {
      out.AddBond(static_cast<int>(x->GetIdx()), static_cast<int>(y->GetIdx()),
                  static_cast<int>(bd->GetBondOrder()), static_cast<int>(bd->GetFlags()));
    }
  }
  FOR_RESIDUES_OF_MOL(r, mol) {
    OpenBabel::OBResidue* nr = nullptr;
    FOR_ATOMS_OF_RESIDUE(a, &*r) {
      OpenBabel::OBAtom* b = to[a->GetIdx()];
      if (b == nullptr) continue;
      if (nr == nullptr) {
        nr = out.NewResidue();
        nr->SetName(r->GetName());
        nr->SetNum(r->GetNumString());
        nr->SetChain(r->GetChain());
        nr->SetChainNum(r->GetChainNum());
      }
      nr->AddAtom(b);
      nr->SetAtomID(b, r->GetAtomID(&*a));
      nr->SetHetAtom(b, r->IsHetAtom(&*a));
    }
  }
  out.EndModify();
  if (mol.HasFlag(OB_CHAINS_MOL)) out.SetChainsPerceived();
}

// "left out 58 solvent atoms (HOH); --keep-solvent keeps them"
std::string solvent_note(std::size_t atoms, const std::set<std::string>& names) {
  std::string list;
  for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
  return "left out " + std::to_string(atoms) + " solvent atom" + (atoms == 1 ? "" : "s") + " (" +
         list + "); --keep-solvent keeps them";
}

std::string hydrogens_added_note(unsigned added, double ph) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "added %u hydrogen%s (Open Babel, protonation states for pH %g)",
                added, added == 1 ? "" : "s", ph);
  return buf;
}

[[noreturn]] void file_charges_miss_hydrogens(const std::string& name, unsigned added) {
  input_error(name, "the file's partial charges do not cover the " + std::to_string(added) +
                        " hydrogens added; choose a charge model (--charges gasteiger, mmff94 "
                        "or eem) or leave out --add-hydrogens");
}

// Solvent, hydrogens and charges of one molecule read by Open Babel, then
// its atoms as a structure.
Structure take_molecule(OBMol& read, const std::string& path, int index, int line0,
                        const ReadOptions& opt) {
  const std::string name = display_name(path);
  Structure s;
  s.file = path;
  s.title = read.GetTitle();
  s.conformer = index;
  const bool file_charges = read.HasPartialChargesPerceived();
  const bool model = is_charge_model(opt.charges);
  // Solvent residues, unless the structure is nothing but solvent.
  std::vector<char> drop(read.NumAtoms(), 0);
  std::size_t n_solvent = 0;
  std::set<std::string> solvent_names;
  // Only residues the file names count: asking an atom for its residue would
  // make Open Babel guess residues (and call a lone oxygen a water).
  if (!opt.keep_solvent && read.NumResidues() > 0) {
    FOR_RESIDUES_OF_MOL(r, read) {
      if (!r->GetResidueProperty(OpenBabel::OBResidueProperty::SOLVENT)) continue;
      FOR_ATOMS_OF_RESIDUE(a, &*r) {
        drop[a->GetIdx() - 1] = 1;
        ++n_solvent;
      }
      solvent_names.insert(r->GetName());
    }
    if (n_solvent == read.NumAtoms()) {
      std::fill(drop.begin(), drop.end(), 0);
      n_solvent = 0;
    }
  }
  std::vector<double> q;  // partial charges in atom order of `mol`
  if (file_charges && opt.charges == ChargeSource::File) {
    FOR_ATOMS_OF_MOL(a, read) {
      if (!drop[a->GetIdx() - 1]) q.push_back(a->GetPartialCharge());
    }
  }
  OBMol trimmed;
  OBMol* mol = &read;
  std::vector<int> xyz_line;  // file line of each kept atom (XYZ)
  for (unsigned i = 0; i < read.NumAtoms(); ++i) {
    if (!drop[i]) xyz_line.push_back(line0 > 0 ? line0 + 2 + static_cast<int>(i) : 0);
  }
  if (n_solvent > 0 && (model || adds_hydrogens(opt))) {
    copy_without(read, drop, trimmed);
    mol = &trimmed;
    std::fill(drop.begin(), drop.end(), 0);
    drop.resize(mol->NumAtoms(), 0);
  }
  if (n_solvent > 0) s.notes.push_back(solvent_note(n_solvent, solvent_names));
  if (adds_hydrogens(opt)) {
    const unsigned before = mol->NumAtoms();
    mol->AddHydrogens(false, true, opt.add_hydrogens_ph);
    const unsigned added = mol->NumAtoms() - before;
    drop.resize(mol->NumAtoms(), 0);
    xyz_line.resize(xyz_line.size() + added, 0);
    if (added > 0 && !q.empty()) file_charges_miss_hydrogens(name, added);
    s.notes.push_back(hydrogens_added_note(added, opt.add_hydrogens_ph));
  }
  if (model) q = model_charges(*mol, opt.charges, name);
  int k = 0;
  FOR_ATOMS_OF_MOL(a, *mol) {
    if (drop[a->GetIdx() - 1]) continue;
    Atom at;
    at.Z = static_cast<int>(a->GetAtomicNum());
    at.symbol = at.Z > 0 ? OpenBabel::OBElements::GetSymbol(at.Z) : std::string("?");
    at.x = a->GetX();
    at.y = a->GetY();
    at.z = a->GetZ();
    at.mass = at.Z > 0 ? OpenBabel::OBElements::GetMass(at.Z) : NAN;
    if (!q.empty()) at.charge = q[static_cast<std::size_t>(k)];
    const int line = xyz_line[static_cast<std::size_t>(k)];
    if (at.Z <= 0) input_error(name, "atom " + std::to_string(k + 1) + ": unknown element", line);
    if (!std::isfinite(at.x) || !std::isfinite(at.y) || !std::isfinite(at.z)) {
      input_error(name, "atom " + std::to_string(k + 1) + ": coordinates are not finite numbers", line);
    }
    s.atoms.push_back(at);
    ++k;
  }
  s.has_charges = !q.empty();
  s.charge_origin = model ? charge_source_name(opt.charges) : (s.has_charges ? "file" : "");
  s.formal_charge = formal_charge_sum(*mol);
  return s;
}

std::vector<Structure> read_with_openbabel(std::istream& in, const std::string& path,
                                           const std::string& ext, const ReadOptions& opt) {
  const std::string name = display_name(path);
  std::lock_guard<std::mutex> guard(ob_mutex());
  OpenBabel::OBConversion conv;
  std::string id = ext;
  if (id == "cif" || id == "mmcif") id = "mmcif";
  OpenBabel::OBFormat* fmt = OpenBabel::OBConversion::FindFormat(id.c_str());
  if (fmt == nullptr || (fmt->Flags() & NOTREADABLE) != 0) {
    input_error(name, "unknown structure format '." + ext +
                          "' (known: xyz, pdb, pqr, mol2, sdf, cif/mmcif, mfj and the other "
                          "formats Open Babel reads; --format EXT chooses one)");
  }
  conv.SetInFormat(fmt);
  // The methods need atoms only: bonds are perceived (slow for large or
  // dense files) only for a charge model or hydrogens.
  if (!is_charge_model(opt.charges) && !adds_hydrogens(opt)) {
    conv.AddOption("b", OpenBabel::OBConversion::INOPTIONS);
  }
  std::ostringstream log;
  OpenBabel::obErrorLog.SetOutputStream(&log);
  OpenBabel::obErrorLog.SetOutputLevel(OpenBabel::obError);
  struct RestoreLog {
    ~RestoreLog() { OpenBabel::obErrorLog.SetOutputStream(&std::clog); }
  } restore;
  std::vector<Structure> out;
  const bool xyz = id == "xyz";
  int line0 = 1;  // first line of the current XYZ block
  while (true) {
    in >> std::ws;
    if (in.peek() == std::char_traits<char>::eof()) break;
    OBMol mol;
    mol.SetAutomaticPartialCharge(false);
    const bool ok = conv.Read(&mol, &in);
    if (ok && mol.NumAtoms() == 0 && !out.empty()) break;  // trailing records (END, ...)
    if (!ok || mol.NumAtoms() == 0) {
      std::string why = log.str();
      while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
      const std::size_t cut = why.find_last_of('\n');
      if (cut != std::string::npos) why = why.substr(cut + 1);
      if (out.empty()) {
        input_error(name, "cannot read it as ." + ext + (why.empty() ? "" : ": " + why));
      }
      input_error(name, "cannot read structure " + std::to_string(out.size() + 1) + " as ." +
                            ext + (why.empty() ? "" : ": " + why));
    }
    const unsigned n_read = mol.NumAtoms();
    out.push_back(take_molecule(mol, path, static_cast<int>(out.size()) + 1, xyz ? line0 : 0, opt));
    if (xyz) line0 += 2 + static_cast<int>(n_read);
  }
  if (out.empty()) input_error(name, "no structure in the file");
  return out;
}

// Hydrogens and model charges for a structure of our own readers (PQR,
// .mfj), through an Open Babel molecule built from its atoms.
void finish_own_structure(Structure& s, const ReadOptions& opt) {
  const std::string name = display_name(s.file);
  if (opt.charges == ChargeSource::None) {
    for (Atom& a : s.atoms) a.charge = NAN;
    s.has_charges = false;
  }
  s.charge_origin = s.has_charges ? "file" : "";
  if (!adds_hydrogens(opt) && !is_charge_model(opt.charges)) return;
  std::lock_guard<std::mutex> guard(ob_mutex());
  OBMol mol;
  molecule_from_atoms(s, mol);
  if (adds_hydrogens(opt)) {
    const unsigned before = mol.NumAtoms();
    mol.AddHydrogens(false, true, opt.add_hydrogens_ph);
    const unsigned added = mol.NumAtoms() - before;
    if (added > 0 && s.has_charges && !is_charge_model(opt.charges)) {
      file_charges_miss_hydrogens(name, added);
    }
    for (unsigned i = before + 1; i <= mol.NumAtoms(); ++i) {
      const OpenBabel::OBAtom* a = mol.GetAtom(static_cast<int>(i));
      Atom h;
      h.Z = static_cast<int>(a->GetAtomicNum());
      h.symbol = OpenBabel::OBElements::GetSymbol(h.Z);
      h.x = a->GetX();
      h.y = a->GetY();
      h.z = a->GetZ();
      h.mass = OpenBabel::OBElements::GetMass(h.Z);
      s.atoms.push_back(h);
    }
    s.notes.push_back(hydrogens_added_note(added, opt.add_hydrogens_ph));
  }
  if (is_charge_model(opt.charges)) {
    const std::vector<double> q = model_charges(mol, opt.charges, name);
    for (std::size_t i = 0; i < q.size(); ++i) s.atoms[i].charge = q[i];
    s.has_charges = true;
    s.charge_origin = charge_source_name(opt.charges);
  }
  s.formal_charge = formal_charge_sum(mol);
}

// A note when a structure that looks organic (carbon with nitrogen or
// oxygen) has no hydrogen atoms: its cross section comes out low.
void note_missing_hydrogens(Structure& s) {
  bool h = false, c = false, no = false;
  for (const Atom& a : s.atoms) {
    h = h || a.Z == 1;
    c = c || a.Z == 6;
    no = no || a.Z == 7 || a.Z == 8;
  }
  if (!h && c && no) {
    s.notes.push_back("the structure has no hydrogen atoms; if the molecule has some (an X-ray "
                      "entry, for example), its cross section comes out several per cent low: "
                      "--add-hydrogens [pH] adds them");
  }
}

std::vector<std::string> split_ws(const std::string& line) {
  std::istringstream is(line);
  std::vector<std::string> f;
  std::string t;
  while (is >> t) f.push_back(t);
  return f;
}

double parse_number(const std::string& file, int line, const std::string& text,
                    const std::string& what) {
  std::size_t used = 0;
  double v = 0.0;
  try {
    v = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size()) input_error(file, what + " '" + text + "' is not a number", line);
  return v;
}

long parse_count(const std::string& file, int line, const std::string& text,
                 const std::string& what) {
  const double v = parse_number(file, line, text, what);
  if (!(v >= 1.0) || v != std::floor(v) || v > 1e9) {
    input_error(file, what + " must be a whole number of at least 1, not '" + text + "'", line);
  }
  return static_cast<long>(v);
}

// Element of a PQR atom: the element column when there is one, else the
// atom name's letters (two-letter names only for ions named after their
// residue, as CL in residue CL; CA is otherwise a carbon).
std::string pqr_element(const std::string& name, const std::string& residue,
                        const std::string& element_field) {
  if (!element_field.empty()) return element_field;
  std::string letters;
  for (char c : name) {
    if (std::isalpha(static_cast<unsigned char>(c))) letters += c;
    else if (!letters.empty()) break;
  }
  if (letters.size() >= 2 && lower(name) == lower(residue)) return letters.substr(0, 2);
  return letters.substr(0, 1);
}

// PQR: PDB-like ATOM/HETATM records whose fields are separated by white
// space: record, serial, atom name, residue name, [chain], residue number,
// x, y, z, charge, radius[, element]. MODEL/ENDMDL separate structures.
// Solvent residues are left out (unless kept, or all there is).
std::vector<Structure> read_pqr(std::istream& in, const std::string& path, const ReadOptions& opt) {
  const std::string name = display_name(path);
  std::vector<Structure> out;
  Structure cur;
  std::vector<Atom> solvent;
  std::set<std::string> solvent_names;
  std::map<std::string, bool> solvent_residue;  // residue name -> solvent
  auto flush = [&]() {
    if (cur.atoms.empty() && solvent.empty()) return;
    if (cur.atoms.empty()) {
      cur.atoms = std::move(solvent);
    } else if (!solvent.empty()) {
      cur.notes.push_back(solvent_note(solvent.size(), solvent_names));
    }
    cur.file = path;
    cur.conformer = static_cast<int>(out.size()) + 1;
    cur.has_charges = true;
    out.push_back(std::move(cur));
    cur = Structure();
    solvent.clear();
    solvent_names.clear();
  };
  std::string line;
  int ln = 0;
  while (std::getline(in, line)) {
    ++ln;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string rec = line.substr(0, 6);
    if (rec.rfind("ENDMDL", 0) == 0 || rec.rfind("MODEL", 0) == 0) {
      flush();
      continue;
    }
    if (rec.rfind("ATOM", 0) != 0 && rec.rfind("HETATM", 0) != 0) continue;
    std::vector<std::string> f = split_ws(line);
    std::string element_field;
    if (!f.empty() && std::isalpha(static_cast<unsigned char>(f.back()[0])) && f.size() >= 11) {
      element_field = f.back();
      f.pop_back();
    }
    if (f.size() < 10 || f.size() > 11) {
      input_error(name, "an ATOM record needs record, serial, name, residue, [chain,] residue "
                        "number, x, y, z, charge and radius", ln);
    }
    const std::size_t n = f.size();
    Atom a;
    a.x = parse_number(name, ln, f[n - 5], "x");
    a.y = parse_number(name, ln, f[n - 4], "y");
    a.z = parse_number(name, ln, f[n - 3], "z");
    a.charge = parse_number(name, ln, f[n - 2], "charge");
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(a.z)) {
      input_error(name, "coordinates are not finite numbers", ln);
    }
    if (!std::isfinite(a.charge)) input_error(name, "charge is not a finite number", ln);
    const std::string el = pqr_element(f[2], f[3], element_field);
    a.Z = element_number(el);
    if (a.Z <= 0) input_error(name, "unknown element '" + el + "'", ln);
    a.symbol = element_symbol(a.Z);
    a.mass = standard_atomic_weight(a.Z);
    bool is_solvent = false;
    if (!opt.keep_solvent) {
      auto it = solvent_residue.find(f[3]);
      if (it == solvent_residue.end()) {
        it = solvent_residue.emplace(f[3], is_solvent_residue(f[3])).first;
      }
      is_solvent = it->second;
    }
    if (is_solvent) {
      solvent.push_back(a);
      solvent_names.insert(f[3]);
    } else {
      cur.atoms.push_back(a);
    }
  }
  flush();
  if (out.empty()) input_error(name, "no ATOM or HETATM records");
  for (Structure& s : out) finish_own_structure(s, opt);
  return out;
}

}  // namespace

ChargeSource parse_charge_source(const std::string& name) {
  const std::string n = lower(name);
  if (n == "file") return ChargeSource::File;
  if (n == "gasteiger") return ChargeSource::Gasteiger;
  if (n == "mmff94") return ChargeSource::Mmff94;
  if (n == "eem") return ChargeSource::Eem;
  if (n == "none") return ChargeSource::None;
  throw std::invalid_argument("unknown charge source '" + name + "'");
}

const char* charge_source_name(ChargeSource c) {
  switch (c) {
    case ChargeSource::File: return "file";
    case ChargeSource::Gasteiger: return "gasteiger";
    case ChargeSource::Mmff94: return "mmff94";
    case ChargeSource::Eem: return "eem";
    case ChargeSource::None: return "none";
  }
  return "?";
}

int element_number(const std::string& symbol) {
  if (symbol.empty() || symbol.size() > 3) return 0;
  std::string s = lower(symbol);
  s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
  const unsigned int Z = OpenBabel::OBElements::GetAtomicNum(s.c_str());
  return static_cast<int>(Z);
}

std::string element_symbol(int Z) { return OpenBabel::OBElements::GetSymbol(Z); }

double standard_atomic_weight(int Z) { return OpenBabel::OBElements::GetMass(Z); }

int element_from_mass(double mass) {
  int best = 0;
  double best_d = 0.5;
  for (int Z = 1; Z <= 118; ++Z) {
    const double d = std::fabs(OpenBabel::OBElements::GetMass(Z) - mass);
    if (d < best_d) {
      best_d = d;
      best = Z;
    }
  }
  return best;
}

namespace {

std::vector<Structure> read_mfj_stream(std::istream& in, const std::string& path,
                                       const ReadOptions& opt) {
  const std::string name = display_name(path);
  std::vector<std::string> lines;
  std::string l;
  while (std::getline(in, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l);
  }
  if (lines.size() < 6) {
    input_error(name, "the header needs 6 lines (title, number of structures, number of atoms, "
                      "units, charge mode, scale factor)",
                static_cast<int>(lines.size()) + 1);
  }
  auto first_field = [&](int i) {
    const std::vector<std::string> f = split_ws(lines[static_cast<std::size_t>(i)]);
    if (f.empty()) input_error(name, "empty header line", i + 1);
    return f[0];
  };
  const std::string title = lines[0];
  const long n_sets = parse_count(name, 2, first_field(1), "number of structures");
  const long n_atoms = parse_count(name, 3, first_field(2), "number of atoms");
  if (n_atoms > static_cast<long>(kMaxAtoms)) {
    input_error(name, std::to_string(n_atoms) + " atoms; at most " + std::to_string(kMaxAtoms) +
                          " are supported", 3);
  }
  const std::string units = lower(first_field(3));
  double unit = 1.0;
  if (units == "au" || units == "bohr") {
    unit = 0.529177210903;
  } else if (units != "ang" && units != "angstrom") {
    input_error(name, "units must be 'ang' or 'au', not '" + units + "'", 4);
  }
  const std::string mode = lower(first_field(4));
  if (mode != "calc" && mode != "equal" && mode != "none") {
    input_error(name, "charge mode must be 'calc', 'equal' or 'none', not '" + mode + "'", 5);
  }
  const double scale = parse_number(name, 6, first_field(5), "scale factor");
  if (!std::isfinite(scale) || !(scale > 0.0)) input_error(name, "scale factor must be positive", 6);

  std::vector<Structure> out;
  std::size_t i = 6;
  for (long set = 1; set <= n_sets; ++set) {
    // Lines between sets: blank lines or a line holding the atom count.
    while (i < lines.size()) {
      const std::vector<std::string> f = split_ws(lines[i]);
      if (f.empty()) {
        ++i;
        continue;
      }
      if (f.size() == 1) {
        const long n = parse_count(name, static_cast<int>(i) + 1, f[0], "atom count");
        if (n != n_atoms) {
          input_error(name, "structure " + std::to_string(set) + " declares " +
                                std::to_string(n) + " atoms; the header says " +
                                std::to_string(n_atoms), static_cast<int>(i) + 1);
        }
        ++i;
        continue;
      }
      break;
    }
    Structure s;
    s.file = path;
    s.title = title;
    s.conformer = static_cast<int>(set);
    for (long k = 0; k < n_atoms; ++k, ++i) {
      if (i >= lines.size()) {
        input_error(name, "structure " + std::to_string(set) + " has " + std::to_string(k) +
                              " atom lines; the header says " + std::to_string(n_atoms),
                    static_cast<int>(i) + 1);
      }
      const std::vector<std::string> f = split_ws(lines[i]);
      const int ln = static_cast<int>(i) + 1;
      const std::size_t need = mode == "calc" ? 5 : 4;
      if (f.size() < need) {
        input_error(name, "structure " + std::to_string(set) + " has " + std::to_string(k) +
                              " atom lines; the header says " + std::to_string(n_atoms) +
                              " (this line has " + std::to_string(f.size()) + " fields, " +
                              std::to_string(need) + " needed)", ln);
      }
      Atom a;
      a.x = parse_number(name, ln, f[0], "x") * unit * scale;
      a.y = parse_number(name, ln, f[1], "y") * unit * scale;
      a.z = parse_number(name, ln, f[2], "z") * unit * scale;
      a.mass = parse_number(name, ln, f[3], "mass");
      if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(a.z)) {
        input_error(name, "coordinates are not finite numbers", ln);
      }
      a.Z = element_from_mass(a.mass);
      if (a.Z == 0) {
        input_error(name, "no element has the mass " + f[3] +
                              " (masses are standard atomic weights)", ln);
      }
      a.symbol = element_symbol(a.Z);
      if (mode == "calc") {
        a.charge = parse_number(name, ln, f[4], "charge");
        if (!std::isfinite(a.charge)) input_error(name, "charge is not a finite number", ln);
      } else if (mode == "equal") {
        a.charge = opt.equal_charge_total / static_cast<double>(n_atoms);
      }
      s.atoms.push_back(a);
    }
    s.has_charges = mode != "none";
    out.push_back(std::move(s));
  }
  for (; i < lines.size(); ++i) {
    const std::vector<std::string> f = split_ws(lines[i]);
    if (f.size() >= 4) {
      input_error(name, "more atom lines than the header declares (" + std::to_string(n_sets) +
                            " structures of " + std::to_string(n_atoms) + " atoms)",
                  static_cast<int>(i) + 1);
    }
  }
  for (Structure& s : out) finish_own_structure(s, opt);
  return out;
}

}  // namespace

std::vector<Structure> read_mfj(const std::string& path, const ReadOptions& opt) {
  InputFile f(path);
  return read_mfj_stream(f.stream(), path, opt);
}

bool is_solvent_residue(const std::string& name) {
  OpenBabel::OBResidue r;
  r.SetName(name);
  return r.GetResidueProperty(OpenBabel::OBResidueProperty::SOLVENT);
}

std::vector<Structure> read_structures(const std::string& path, const ReadOptions& opt) {
  const std::string name = display_name(path);
  if (path == "-" && opt.format.empty()) {
    input_error(name, "give its format with --format EXT (for example --format pdb)");
  }
  InputFile in(path);
  const std::string fmt = opt.format.empty() ? format_from_name(path) : normalise_format(opt.format);
  if (fmt.empty()) {
    input_error(name, "cannot tell the format: the file name has no extension; give it with "
                      "--format EXT");
  }
  std::vector<Structure> out;
  if (fmt == "mfj") {
    out = read_mfj_stream(in.stream(), path, opt);
  } else if (fmt == "pqr") {
    out = read_pqr(in.stream(), path, opt);
  } else {
    out = read_with_openbabel(in.stream(), path, fmt, opt);
  }
  for (Structure& s : out) {
    note_missing_hydrogens(s);
    validate_structure(s);
  }
  return out;
}

Structure join_frames(const std::vector<Structure>& conformers) {
  Structure s = conformers.at(0);
  s.n_frames = static_cast<int>(conformers.size());
  s.frames_xyz.clear();
  for (const Structure& c : conformers) {
    if (c.atoms.size() != s.atoms.size()) {
      input_error(s.file, "frame " + std::to_string(c.conformer) + " has " +
                              std::to_string(c.atoms.size()) + " atoms; frame 1 has " +
                              std::to_string(s.atoms.size()));
    }
    for (std::size_t i = 0; i < c.atoms.size(); ++i) {
      if (c.atoms[i].Z != s.atoms[i].Z) {
        input_error(s.file, "frame " + std::to_string(c.conformer) + ", atom " +
                                std::to_string(i + 1) + ": element differs from frame 1");
      }
      s.frames_xyz.push_back(c.atoms[i].x);
      s.frames_xyz.push_back(c.atoms[i].y);
      s.frames_xyz.push_back(c.atoms[i].z);
    }
  }
  return s;
}

}  // namespace ccs::cli
