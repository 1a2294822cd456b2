// Runs one method on one structure under given conditions through the
// method's driver and collects the cross section with its standard error.
#pragma once

#include <atomic>
#include <memory>
#include <memory>
#include <cmath>
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

// The defaults with every 0 of `n` filled in. weighted_entry (trajectory
// methods, see RunSettings): 5000 orientations of 30 trajectories instead of
// 500 of 300.
Numerics resolve_numerics(Method m, bool tensor, Numerics n, bool weighted_entry = true);

// Ranges of the settings that give a meaningful run (the program refuses
// values outside them, and NaN or infinities).
constexpr double kMinTemperature = 1.0, kMaxTemperature = 10000.0;  // K
constexpr double kMinPressure = 1e-3, kMaxPressure = 1e8;           // Pa
constexpr double kMaxCharge = 1000.0;                               // |z|
constexpr double kMaxPolarizability = 100.0;                        // Å^3
constexpr double kMaxOrientations = 1e8;
constexpr double kMaxTrajectories = 1e8;  // per orientation
// Time-step divisor: below 10 the cross section of C60 in helium comes out
// 2 to 4 % high (README.md); above, it moves within the statistics.
constexpr double kMinDeltatenhance = 10.0, kMaxDeltatenhance = 1e6;
// lj needs a finer step: C60 in He at 301 K gave 181.7, 134.7, 123.84, 123.70
// and 123.65 Å² at 10, 20, 40, 80 and 160 (choline 76.7, 58.61, 58.60, 58.51,
// 58.48; the same trajectories at every value), so lj refuses less than 40.
constexpr double kMinLjDeltatenhance = 40.0;
constexpr double kMaxMultiplier = 1e6;
constexpr double kMinBoxdomain = 0.5, kMaxBoxdomain = 1000.0;  // Å
// The least number of collision passes: fewer cut multiple-collision
// trajectories short and bias the cross section low (a convergence study
// on C60, protonated phenethylamine and ubiquitin is in README.md).
constexpr double kMinMultiplier = 100.0;

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
  bool weighted_entry = true;  // tm, tm-fixed, lj: impact points where the molecule is, speeds
                               // weighted by momentum, each transfer with its likelihood
                               // ratio (false: the plug-ins' uniform sphere and box entry)
  std::uint32_t seed = 1;
  double charge = 0.0;  // ion charge; 0: from the partial charges, else 1
  const ParamTable* hard_sphere = nullptr;
  const ParamTable* lennard_jones = nullptr;
  std::atomic<long>* progress = nullptr;      // orientations finished
  const std::atomic<bool>* cancel = nullptr;  // set: the run stops soon with rt::Error
                                              // "interrupted" (rt::kInterruptedId)
};

// Principal values and axes of the mobility tensor (axis-permutation mode):
// the eigen-decomposition of the symmetric part of the three orientations'
// momentum-transfer table, in the structure's own axes.
struct TensorResult {
  bool valid = false;
  double ccs[3] = {NAN, NAN, NAN};       // cross section along each principal axis (Å^2), ascending
  double mobility[3] = {NAN, NAN, NAN};  // K along each principal axis (cm^2/(V s))
  double axes[3][3] = {{NAN, NAN, NAN}, {NAN, NAN, NAN}, {NAN, NAN, NAN}};  // unit axis of value k
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
  std::string lj_model;  // lj: "three-site" (nitrogen molecule) or "atom" (per-atom pairs)
  double orientation_temperature = NAN;  // K of the three-site orientation weights
  std::vector<std::string> warnings;  // something may be wrong with the result
  std::vector<std::string> notes;     // how the input was taken (no doubt on the result)
  std::string gas_model;  // the gas-atom interaction the method used ("N2 Lennard-Jones,
                          // three-site molecule", ...)
  // Elements whose parameters came from the generic fallback table.
  std::vector<std::string> fallback_elements;
  TensorResult tensor;  // axis-permutation mode
  // Why the numbers are not a result (no finite cross section, a negative
  // mean, a standard error above a third of the mean); "" when they are.
  std::string not_a_result;
};

// The ion charge a run uses for `s`: the override, else the partial charges'
// sum rounded to an integer, else 1. Without the override, raises InputError
// when it is 0, when the partial charges sum to more than kChargeSumTolerance
// from a whole number, or when a charge model's charges sum that far from
// the structure's formal charge.
double ion_charge(const Structure& s, double override_charge);
constexpr double kChargeSumTolerance = 0.25;  // elementary charges

// Above this many atoms, a run whose ion charge is the default 1 (neither
// given nor from partial charges) notes that the charge state should be given.
constexpr std::size_t kDefaultChargeNoteAtoms = 100;

// One run of a method on a structure, prepared once and run in blocks of
// orientations: each orientation is independent of the others (keyed
// streams), so blocks can run in any order, in any process, on any number
// of threads, and the values of all orientations give the same result.
// Construction raises InputError (naming the file) for structures the
// method cannot take: elements without parameters, a charge that does not
// add up. The structure is the caller's and must outlive the run (it is not
// copied: at 10^6 atoms a copy costs each rank about 50 ms).
class PreparedRun {
 public:
  PreparedRun(const Structure& s, const RunSettings& settings);
  ~PreparedRun();
  PreparedRun(PreparedRun&&) noexcept;
  PreparedRun(const PreparedRun&) = delete;
  PreparedRun& operator=(const PreparedRun&) = delete;

  int orientations() const;            // of the whole run
  int values_per_orientation() const;  // doubles each orientation hands back

  // Orientations [first, first + count) on this process's threads, counted
  // on settings.progress and stopped by settings.cancel (rt::Error
  // "interrupted"): count x values_per_orientation() doubles, orientation by
  // orientation.
  std::vector<double> run_block(int first, int count) const;

  // The result from the values of all orientations in order (the
  // concatenated blocks), `seconds` the time the blocks took. Numbers that
  // are not a result come back with RunResult::not_a_result set.
  RunResult finish(const std::vector<double>& values, double seconds) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Prepares, runs every orientation here and finishes.
RunResult run_method(const Structure& s, const RunSettings& settings);

// Mean and standard error of the mean of the finite non-zero values.
void mean_and_se(const std::vector<double>& v, double* mean, double* se, int* used);

}  // namespace ccs::cli
