// A structure as the program reads it from a file: atoms with element,
// coordinates (Å), mass (u) and an optional partial charge.
#pragma once

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace ccs::cli {

// Bad input: the message names the file (and the line where there is one).
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "FILE: message" or "FILE:LINE: message".
[[noreturn]] void input_error(const std::string& file, const std::string& message, int line = 0);

struct Atom {
  int Z = 0;              // atomic number
  std::string symbol;     // element symbol
  double x = 0, y = 0, z = 0;
  double mass = 0;        // u
  double charge = NAN;    // elementary charges; NaN when the file gives none
};

// One conformer (coordinate set, model or frame) of a file.
struct Structure {
  std::string file;
  std::string title;
  int conformer = 1;  // 1-based index within the file
  std::vector<Atom> atoms;
  bool has_charges = false;  // every atom carries a partial charge
  // Where the partial charges come from: "file" or the charge model's name
  // ("" without charges).
  std::string charge_origin;
  // Sum of the formal charges the file states or Open Babel assigns (NaN
  // when the reader knows none); a charge model's partial charges add up
  // to it.
  double formal_charge = NAN;
  // How the file was taken (solvent left out, hydrogens added or missing).
  std::vector<std::string> notes;
  // Extra frames for the moving-atom method: frame k (k = 0 is the structure
  // itself) holds atoms.size() positions, frame after frame.
  std::vector<double> frames_xyz;  // 3 per atom per frame, row after row
  int n_frames = 1;

  double mass() const;          // u
  double charge_sum() const;    // sum of the partial charges (0 without)
};

// Largest atom count of a structure the program takes. The drivers' tables
// index atoms with int (7 columns x 20 000 000 rows < 2^31); the peak
// memory is about 0.4-0.5 kB per atom, most of it while Open Babel reads
// the file (bench/mpi_scaling.sh). The plug-ins keep their own bound of
// 150000 rows.
constexpr std::size_t kMaxAtoms = 20000000;

// Raises InputError "FILE: N atoms<tag>; at most kMaxAtoms are supported"
// above the bound.
void check_atom_count(const std::string& file, std::size_t n, const std::string& tag);

// Checks what every method needs: at least one atom, at most kMaxAtoms,
// known elements, finite coordinates and masses. Raises InputError.
void validate_structure(const Structure& s);

}  // namespace ccs::cli
