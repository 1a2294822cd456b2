// Runs one method on one structure under given conditions through the
// method's driver and collects the cross section with its standard error.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/params.h"
#include "cli/physics.h"
#include "cli/structure.h"

namespace ccs::cli {

enum class Method { PA, EHSS, TM, TMFixed, LJ };

const char* method_name(Method m);
Method parse_method(const std::string& name);  // throws std::invalid_argument
bool method_available(Method m);               // built into this program

// Statistics and step settings; 0 selects the method's default.
struct Numerics {
  int orientations = 0;
  double trajectories = 0;   // per orientation
  double deltatenhance = 0;  // time-step divisor (trajectory methods)
  double multiplier = 0;     // collision passes per trajectory (trajectory methods)
  double boxdomain = 0;      // entry-domain margin, Å (trajectory methods; 0: the
                             // field radius of a single charge, see field_radius)
  double entry_radius = 0;   // least entry-domain radius about the centroid, Å
                             // (lj: the reach of the Lennard-Jones attraction,
                             // see lennard_jones_reach; 0: none)
};

// The defaults with every 0 of `n` filled in.
Numerics resolve_numerics(Method m, bool tensor, Numerics n);

struct RunSettings {
  Method method = Method::PA;
  Conditions conditions;
  Numerics numerics;
  bool tensor = false;         // axis-permutation mode
  double accommodation = 0.0;  // probability that a collision is diffuse
  bool cosine = true;          // diffuse re-emission: cosine law (else specular direction)
  bool maxwell = false;        // diffuse re-emission speed: thermal (flux-weighted Maxwell)
  bool three_site = false;     // three-site nitrogen (lj); its orientation weights
                               // take k_B T of the run
  std::uint32_t seed = 1;
  double charge = 0.0;  // ion charge; 0: from the partial charges, else 1
  const ParamTable* hard_sphere = nullptr;
  const ParamTable* lennard_jones = nullptr;
  std::atomic<long>* progress = nullptr;      // orientations finished
  const std::atomic<bool>* cancel = nullptr;  // set: the run stops soon with rt::Error
                                              // "interrupted" (rt::kInterruptedId)
};

struct RunResult {
  Numerics numerics;  // the settings the run used
  double ccs = 0;     // Å^2
  double ccs_se = 0;  // standard error over orientations (NaN in tensor mode)
  // Cross section of every orientation in run order (Å^2; NaN or 0 where an
  // orientation gave no estimate; empty in tensor mode). ccs and ccs_se are
  // the mean and standard error of its finite non-zero entries.
  std::vector<double> per_orientation;
  double K = 0;       // cm^2/(V s)
  double K0 = 0;      // cm^2/(V s)
  double z = 0;
  double mass = 0;    // u
  int orientations = 0;
  int orientations_used = 0;  // with a finite, non-zero estimate
  double trajectories = 0;    // trajectories (sample points for pa) over all orientations
  double seconds = 0;
  std::string gas_model;        // lj: "three-site" or "atom" (per-atom pair parameters)
  double orientation_temperature = NAN;  // K of the three-site orientation weights
  std::vector<std::string> warnings;  // something may be wrong with the result
  std::vector<std::string> notes;     // how the input was taken (no doubt on the result)
};

// The ion charge a run uses for `s`: the override, else the partial charges'
// sum rounded to an integer, else 1. Raises InputError when it is 0.
double ion_charge(const Structure& s, double override_charge);

// Raises InputError (naming the file) for structures the method cannot take:
// elements without parameters, a three-site gas without charges on every atom.
RunResult run_method(const Structure& s, const RunSettings& settings);

// Mean and standard error of the mean of the finite non-zero values.
void mean_and_se(const std::vector<double>& v, double* mean, double* se, int* used);

}  // namespace ccs::cli
