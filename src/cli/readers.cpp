#include "cli/readers.h"

#include <openbabel/atom.h>
#include <openbabel/chargemodel.h>
#include <openbabel/elements.h>
#include <openbabel/mol.h>
#include <openbabel/obconversion.h>
#include <openbabel/oberror.h>
#include <openbabel/obiter.h>
#include <openbabel/plugin.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace ccs::cli {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Extension without the dot, lower case ("" when none).
std::string extension_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return lower(path.substr(dot + 1));
}

void check_readable(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) input_error(path, "no such file");
  if (S_ISDIR(st.st_mode)) input_error(path, "is a directory, not a structure file");
  std::ifstream f(path);
  if (!f) input_error(path, "cannot open the file");
  if (st.st_size == 0) input_error(path, "the file is empty");
  std::string line;
  bool blank = true;
  while (blank && std::getline(f, line)) {
    blank = line.find_first_not_of(" \t\r\n") == std::string::npos;
  }
  if (blank) input_error(path, "the file is empty");
}

// Open Babel keeps its messages in a global log; the program reports its own.
std::mutex& ob_mutex() {
  static std::mutex m;
  return m;
}

OpenBabel::OBChargeModel* charge_model(ChargeSource c) {
  const char* id = c == ChargeSource::Gasteiger ? "gasteiger"
                   : c == ChargeSource::Mmff94  ? "mmff94"
                                                : "eem";
  // Plug-ins register in the library's own table; look them up there.
  auto* m = static_cast<OpenBabel::OBChargeModel*>(OpenBabel::OBPlugin::GetPlugin("charges", id));
  if (m == nullptr) throw std::runtime_error(std::string("Open Babel has no charge model '") + id + "'");
  return m;
}

void apply_charge_model(OpenBabel::OBMol& mol, ChargeSource c, Structure& s) {
  OpenBabel::OBChargeModel* model = charge_model(c);
  if (!model->ComputeCharges(mol)) {
    input_error(s.file, std::string("the ") + charge_source_name(c) +
                            " charge model cannot assign charges to this molecule");
  }
  const std::vector<double>& q = model->GetPartialCharges();
  if (q.size() != s.atoms.size()) {
    input_error(s.file, std::string("the ") + charge_source_name(c) +
                            " charge model returned a charge count that does not match the atoms");
  }
  for (std::size_t i = 0; i < q.size(); ++i) {
    if (!std::isfinite(q[i])) {
      input_error(s.file, std::string("the ") + charge_source_name(c) +
                              " charge model gave a non-finite charge to atom " +
                              std::to_string(i + 1));
    }
    s.atoms[i].charge = q[i];
  }
  s.has_charges = true;
}

// An Open Babel molecule from atoms alone (bonds perceived from distances),
// for charge models on files without bonds of their own.
void molecule_from_atoms(const Structure& s, OpenBabel::OBMol& mol) {
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

std::vector<Structure> read_with_openbabel(const std::string& path, const std::string& ext,
                                           const ReadOptions& opt) {
  std::lock_guard<std::mutex> guard(ob_mutex());
  OpenBabel::OBConversion conv;
  std::string id = ext;
  if (id == "cif" || id == "mmcif") id = "mmcif";
  OpenBabel::OBFormat* fmt = OpenBabel::OBConversion::FindFormat(id.c_str());
  if (fmt == nullptr || (fmt->Flags() & NOTREADABLE) != 0) {
    input_error(path, "unknown structure format '." + ext +
                          "' (known: xyz, pdb, pqr, mol2, sdf, cif/mmcif, mfj and the other "
                          "formats Open Babel reads)");
  }
  conv.SetInFormat(fmt);
  std::ostringstream log;
  OpenBabel::obErrorLog.SetOutputStream(&log);
  OpenBabel::obErrorLog.SetOutputLevel(OpenBabel::obError);
  std::ifstream in(path);
  std::vector<Structure> out;
  const bool xyz = id == "xyz";
  int line0 = 0;  // first line of the current XYZ block
  while (true) {
    in >> std::ws;
    if (in.peek() == std::char_traits<char>::eof()) break;
    OpenBabel::OBMol mol;
    mol.SetAutomaticPartialCharge(false);
    const bool ok = conv.Read(&mol, &in);
    if (ok && mol.NumAtoms() == 0 && !out.empty()) break;  // trailing records (END, ...)
    if (!ok || mol.NumAtoms() == 0) {
      std::string why = log.str();
      while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
      const std::size_t cut = why.find_last_of('\n');
      if (cut != std::string::npos) why = why.substr(cut + 1);
      if (out.empty()) {
        input_error(path, "cannot read it as ." + ext + (why.empty() ? "" : ": " + why));
      }
      input_error(path, "cannot read structure " + std::to_string(out.size() + 1) + " as ." +
                            ext + (why.empty() ? "" : ": " + why));
    }
    Structure s;
    s.file = path;
    s.title = mol.GetTitle();
    s.conformer = static_cast<int>(out.size()) + 1;
    const bool file_charges = mol.HasPartialChargesPerceived();
    int k = 0;
    FOR_ATOMS_OF_MOL(a, mol) {
      Atom at;
      at.Z = static_cast<int>(a->GetAtomicNum());
      at.symbol = at.Z > 0 ? OpenBabel::OBElements::GetSymbol(at.Z) : std::string("?");
      at.x = a->GetX();
      at.y = a->GetY();
      at.z = a->GetZ();
      at.mass = at.Z > 0 ? OpenBabel::OBElements::GetMass(at.Z) : NAN;
      if (file_charges) at.charge = a->GetPartialCharge();
      if (at.Z <= 0) {
        input_error(path, "atom " + std::to_string(k + 1) + ": unknown element",
                    xyz ? line0 + 3 + k : 0);
      }
      if (!std::isfinite(at.x) || !std::isfinite(at.y) || !std::isfinite(at.z)) {
        input_error(path, "atom " + std::to_string(k + 1) + ": coordinates are not finite numbers",
                    xyz ? line0 + 3 + k : 0);
      }
      s.atoms.push_back(at);
      ++k;
    }
    if (xyz) line0 += 2 + k;
    s.has_charges = file_charges && opt.charges == ChargeSource::File;
    if (opt.charges == ChargeSource::None || (opt.charges == ChargeSource::File && !file_charges)) {
      for (Atom& a : s.atoms) a.charge = NAN;
      s.has_charges = false;
    } else if (opt.charges != ChargeSource::File) {
      apply_charge_model(mol, opt.charges, s);
    }
    out.push_back(std::move(s));
  }
  OpenBabel::obErrorLog.SetOutputStream(&std::clog);
  if (out.empty()) input_error(path, "no structure in the file");
  return out;
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
std::vector<Structure> read_pqr(const std::string& path, const ReadOptions& opt) {
  std::ifstream in(path);
  std::vector<Structure> out;
  Structure cur;
  auto flush = [&]() {
    if (cur.atoms.empty()) return;
    cur.file = path;
    cur.conformer = static_cast<int>(out.size()) + 1;
    cur.has_charges = true;
    out.push_back(std::move(cur));
    cur = Structure();
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
      input_error(path, "an ATOM record needs record, serial, name, residue, [chain,] residue "
                        "number, x, y, z, charge and radius", ln);
    }
    const std::size_t n = f.size();
    Atom a;
    a.x = parse_number(path, ln, f[n - 5], "x");
    a.y = parse_number(path, ln, f[n - 4], "y");
    a.z = parse_number(path, ln, f[n - 3], "z");
    a.charge = parse_number(path, ln, f[n - 2], "charge");
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(a.z)) {
      input_error(path, "coordinates are not finite numbers", ln);
    }
    if (!std::isfinite(a.charge)) input_error(path, "charge is not a finite number", ln);
    const std::string el = pqr_element(f[2], f[3], element_field);
    a.Z = element_number(el);
    if (a.Z <= 0) input_error(path, "unknown element '" + el + "'", ln);
    a.symbol = element_symbol(a.Z);
    a.mass = standard_atomic_weight(a.Z);
    cur.atoms.push_back(a);
  }
  flush();
  if (out.empty()) input_error(path, "no ATOM or HETATM records");
  for (Structure& s : out) {
    if (opt.charges == ChargeSource::None) {
      for (Atom& a : s.atoms) a.charge = NAN;
      s.has_charges = false;
    } else if (opt.charges != ChargeSource::File) {
      std::lock_guard<std::mutex> guard(ob_mutex());
      OpenBabel::OBMol mol;
      molecule_from_atoms(s, mol);
      apply_charge_model(mol, opt.charges, s);
    }
  }
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

std::vector<Structure> read_mfj(const std::string& path, const ReadOptions& opt) {
  check_readable(path);
  std::ifstream in(path);
  std::vector<std::string> lines;
  std::string l;
  while (std::getline(in, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l);
  }
  if (lines.size() < 6) {
    input_error(path, "the header needs 6 lines (title, number of structures, number of atoms, "
                      "units, charge mode, scale factor)",
                static_cast<int>(lines.size()) + 1);
  }
  auto first_field = [&](int i) {
    const std::vector<std::string> f = split_ws(lines[static_cast<std::size_t>(i)]);
    if (f.empty()) input_error(path, "empty header line", i + 1);
    return f[0];
  };
  const std::string title = lines[0];
  const long n_sets = parse_count(path, 2, first_field(1), "number of structures");
  const long n_atoms = parse_count(path, 3, first_field(2), "number of atoms");
  if (n_atoms > static_cast<long>(kMaxAtoms)) {
    input_error(path, std::to_string(n_atoms) + " atoms; at most " + std::to_string(kMaxAtoms) +
                          " are supported", 3);
  }
  const std::string units = lower(first_field(3));
  double unit = 1.0;
  if (units == "au" || units == "bohr") {
    unit = 0.529177210903;
  } else if (units != "ang" && units != "angstrom") {
    input_error(path, "units must be 'ang' or 'au', not '" + units + "'", 4);
  }
  const std::string mode = lower(first_field(4));
  if (mode != "calc" && mode != "equal" && mode != "none") {
    input_error(path, "charge mode must be 'calc', 'equal' or 'none', not '" + mode + "'", 5);
  }
  const double scale = parse_number(path, 6, first_field(5), "scale factor");
  if (!std::isfinite(scale) || !(scale > 0.0)) input_error(path, "scale factor must be positive", 6);

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
        const long n = parse_count(path, static_cast<int>(i) + 1, f[0], "atom count");
        if (n != n_atoms) {
          input_error(path, "structure " + std::to_string(set) + " declares " +
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
        input_error(path, "structure " + std::to_string(set) + " has " + std::to_string(k) +
                              " atom lines; the header says " + std::to_string(n_atoms),
                    static_cast<int>(i) + 1);
      }
      const std::vector<std::string> f = split_ws(lines[i]);
      const int ln = static_cast<int>(i) + 1;
      const std::size_t need = mode == "calc" ? 5 : 4;
      if (f.size() < need) {
        input_error(path, "structure " + std::to_string(set) + " has " + std::to_string(k) +
                              " atom lines; the header says " + std::to_string(n_atoms) +
                              " (this line has " + std::to_string(f.size()) + " fields, " +
                              std::to_string(need) + " needed)", ln);
      }
      Atom a;
      a.x = parse_number(path, ln, f[0], "x") * unit * scale;
      a.y = parse_number(path, ln, f[1], "y") * unit * scale;
      a.z = parse_number(path, ln, f[2], "z") * unit * scale;
      a.mass = parse_number(path, ln, f[3], "mass");
      if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(a.z)) {
        input_error(path, "coordinates are not finite numbers", ln);
      }
      a.Z = element_from_mass(a.mass);
      if (a.Z == 0) {
        input_error(path, "no element has the mass " + f[3] +
                              " (masses are standard atomic weights)", ln);
      }
      a.symbol = element_symbol(a.Z);
      if (mode == "calc") {
        a.charge = parse_number(path, ln, f[4], "charge");
        if (!std::isfinite(a.charge)) input_error(path, "charge is not a finite number", ln);
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
      input_error(path, "more atom lines than the header declares (" + std::to_string(n_sets) +
                            " structures of " + std::to_string(n_atoms) + " atoms)",
                  static_cast<int>(i) + 1);
    }
  }
  for (Structure& s : out) {
    if (opt.charges == ChargeSource::None) {
      for (Atom& a : s.atoms) a.charge = NAN;
      s.has_charges = false;
    } else if (opt.charges != ChargeSource::File) {
      std::lock_guard<std::mutex> guard(ob_mutex());
      OpenBabel::OBMol mol;
      molecule_from_atoms(s, mol);
      apply_charge_model(mol, opt.charges, s);
    }
  }
  return out;
}

std::vector<Structure> read_structures(const std::string& path, const ReadOptions& opt) {
  check_readable(path);
  const std::string ext = extension_of(path);
  std::vector<Structure> out;
  if (ext == "mfj") {
    out = read_mfj(path, opt);
  } else if (ext == "pqr") {
    out = read_pqr(path, opt);
  } else if (ext.empty()) {
    input_error(path, "cannot tell the format: the file name has no extension");
  } else {
    out = read_with_openbabel(path, ext, opt);
  }
  for (const Structure& s : out) validate_structure(s);
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
