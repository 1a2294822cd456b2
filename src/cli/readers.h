// Structure files: XYZ, PDB, PQR, mol2, SDF, mmCIF and whatever else Open
// Babel reads. PQR (charges and radii in white-space separated fields) and the
// .mfj coordinate-set format have readers of our own.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "cli/structure.h"

namespace ccs::cli {

// Where partial charges come from: the file (where it has them), one of Open
// Babel's charge models, or nowhere.
enum class ChargeSource { File, Gasteiger, Mmff94, Eem, None };

ChargeSource parse_charge_source(const std::string& name);  // throws std::invalid_argument
const char* charge_source_name(ChargeSource c);

struct ReadOptions {
  ChargeSource charges = ChargeSource::File;
  // Total charge for a .mfj file whose charge mode is "equal" (spread evenly).
  double equal_charge_total = 1.0;
  // Reader to use (an extension such as "pdb"); "": the file name's
  // extension. Standard input ("-") needs it.
  std::string format;
  // Keep the residues Open Babel classes as solvent (HOH, WAT, DOD, SOL, ...)
  // instead of leaving them out of the ion.
  bool keep_solvent = false;
  // Finite: add the missing hydrogens with Open Babel, protonation states
  // for this pH.
  double add_hydrogens_ph = NAN;
};

// Every conformer of the file ("-": standard input; gzip-compressed or
// plain), validated, with notes on how it was taken (Structure::notes).
// Open Babel perceives bonds only when a charge model or added hydrogens
// need them. Raises InputError naming the file.
std::vector<Structure> read_structures(const std::string& path, const ReadOptions& opt);

// True for a residue name Open Babel classes as solvent.
bool is_solvent_residue(const std::string& name);

// The .mfj reader on its own (also used by tests).
std::vector<Structure> read_mfj(const std::string& path, const ReadOptions& opt);

// Joins the conformers of one file into a single structure whose frames are
// the conformers in order (the moving-atom method's stored frames). All must
// have the same atoms in the same order.
Structure join_frames(const std::vector<Structure>& conformers);

// Element data from Open Babel's tables.
int element_number(const std::string& symbol);  // 0 when unknown
std::string element_symbol(int Z);
double standard_atomic_weight(int Z);  // u
// The element whose standard atomic weight lies within 0.5 u of `mass`
// (0 when none does).
int element_from_mass(double mass);

}  // namespace ccs::cli
