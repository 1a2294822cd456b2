// Structure files: XYZ, PDB, PQR, mol2, SDF, mmCIF and whatever else Open
// Babel reads. PQR (charges and radii in white-space separated fields) and the
// .mfj coordinate-set format have readers of our own.
#pragma once

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
};

// Every conformer of the file, validated. Raises InputError naming the file.
std::vector<Structure> read_structures(const std::string& path, const ReadOptions& opt);

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
