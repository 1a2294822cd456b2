#include "cli/command_line.h"

#include <omp.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "cli/checkpoint.h"
#include "cli/input_file.h"
#include "cli/params.h"

namespace ccs::cli {
namespace {

// A bound as a plain number: 100000000 rather than 1e+08.
std::string plain(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  if (std::strchr(buf, 'e') != nullptr) std::snprintf(buf, sizeof buf, "%.0f", v);
  return buf;
}

// A finite number from lo to hi (NaN and infinities refused); the range is
// printed as plain numbers.
CLI::Validator finite_range(double lo, double hi) {
  const std::string range = plain(lo) + " to " + plain(hi);
  return CLI::Validator(
      [lo, hi, range](std::string& text) -> std::string {
        double v = NAN;
        std::size_t used = 0;
        try {
          v = std::stod(text, &used);
        } catch (const std::exception&) {
          used = 0;
        }
        if (used != text.size() || !std::isfinite(v)) return text + " is not a finite number";
        if (v < lo || v > hi) return text + " is not in the range " + range;
        return "";
      },
      "in " + range);
}

// The physical conditions, the gas and its models.
void add_physics_options(CLI::App& app, CommandLine& cl) {
  app.add_option("--method", cl.method,
                 "pa (projection approximation), ehss (exact hard-sphere scattering), tm "
                 "(trajectory method, hard spheres with mass-weighted collisions; with --moving "
                 "the atoms move along the file's frames), tm-fixed (trajectory method, fixed "
                 "atoms), lj (trajectory method in a Lennard-Jones field) or all")
      ->capture_default_str()
      ->check(CLI::IsMember({"pa", "ehss", "tm", "tm-fixed", "lj", "all"}));
  app.add_option("--gas", cl.gas_name, "buffer gas")->capture_default_str()->check(CLI::IsMember({"He", "N2"}));
  app.add_option("--temperature", cl.temperature, "gas temperature (K)")
      ->capture_default_str()
      ->check(finite_range(kMinTemperature, kMaxTemperature));
  app.add_option("--pressure", cl.pressure, "gas pressure (Pa)")
      ->capture_default_str()
      ->check(finite_range(kMinPressure, kMaxPressure));
  app.add_option("--charge", cl.charge,
                 "ion charge z (elementary charges, not 0); default: the partial charges' sum "
                 "rounded, else 1")
      ->check(finite_range(-kMaxCharge, kMaxCharge));
  app.add_option("--charges", cl.charges,
                 "partial charges: file (where the file has them), gasteiger, mmff94, eem "
                 "(Open Babel's models) or none")
      ->capture_default_str()
      ->check(CLI::IsMember({"file", "gasteiger", "mmff94", "eem", "none"}));
  app.add_option("--polarizability", cl.polarizability,
                 "gas polarizability volume (Å^3), replacing the gas table's value")
      ->check(finite_range(0.0, kMaxPolarizability));
  app.add_option("--params", cl.param_files,
                 "parameter table adding to or replacing the shipped one of its type "
                 "(see data/params/)");
  app.add_option("--n2-model", cl.n2_model,
                 "nitrogen in lj: three-site (default; a linear molecule with its quadrupole, "
                 "orientations weighted at the gas temperature; without partial charges the ion "
                 "charge is spread evenly over the atoms) or atom (one Lennard-Jones centre from "
                 "the per-atom table and no quadrupole: about 15 % below three-site for C60+)")
      ->check(CLI::IsMember({"atom", "three-site"}));
  app.add_flag("--tensor", cl.tensor,
               "three fixed orientations; the mobility tensor's principal values and axes "
               "(ehss, tm, tm-fixed, lj)");
  app.add_option("--accommodation", cl.accommodation,
                 "probability that a collision is diffuse (ehss, tm, tm-fixed)")
      ->capture_default_str()
      ->check(finite_range(0.0, 1.0));
  app.add_option("--reemission", cl.reemission, "direction of a diffuse re-emission")
      ->capture_default_str()
      ->check(CLI::IsMember({"cosine", "specular"}));
  app.add_flag("--maxwell", cl.maxwell, "diffuse re-emission at a thermal (Maxwell flux) speed");
  app.add_flag("--moving", cl.moving, "tm: the frames of a multi-frame file (1 fs apart) move the atoms");
}

// How the structure files are read.
void add_input_options(CLI::App& app, CommandLine& cl) {
  app.add_option("FILE", cl.files, "structure files (- : standard input, with --format)")->required();
  app.add_option("--format", cl.format,
                 "reader for every FILE, as an extension (pdb, xyz, mol2, cif, pqr, mfj, ...); "
                 "default: each file name's extension (a trailing .gz left out)");
  app.add_flag("--keep-solvent", cl.keep_solvent,
               "keep solvent residues (HOH, WAT, DOD, SOL, ...; left out by default)");
  app.add_option("--add-hydrogens", cl.add_hydrogens_ph,
                 "add the missing hydrogens with Open Babel, protonation states for pH (7.4 "
                 "when not given)")
      ->expected(0, 1)
      ->default_str("7.4")
      ->check(finite_range(0.0, 14.0));
}

// Statistics, numerics, threads and output.
void add_run_options(CLI::App& app, CommandLine& cl) {
  Numerics& num = cl.numerics;
  app.add_option("--orientations", num.orientations, "orientations (default per method)")
      ->check(finite_range(1, kMaxOrientations));
  app.add_option("--trajectories", num.trajectories,
                 "trajectories per orientation (pa: probe lines per orientation; default per method)")
      ->check(finite_range(1, kMaxTrajectories));
  app.add_option("--deltatenhance", num.deltatenhance, "time-step divisor (trajectory methods)")
      ->check(finite_range(kMinDeltatenhance, kMaxDeltatenhance));
  app.add_option("--multiplier", num.multiplier,
                 "collision passes per trajectory (tm, tm-fixed); fewer than the least value "
                 "cut trajectories short")
      ->check(finite_range(kMinMultiplier, kMaxMultiplier));
  app.add_option("--boxdomain", num.boxdomain, "entry-domain margin (Å, trajectory methods)")
      ->check(finite_range(kMinBoxdomain, kMaxBoxdomain));
  app.add_option("--seed", cl.seed, "random seed (0 to 4294967295); default: drawn and reported")
      ->check(finite_range(0, 4294967295.0));
  app.add_option("--threads", cl.threads, "threads (default: all processors)")->check(finite_range(1, 4096));
  auto* json_opt = app.add_flag("--json", cl.json, "JSON output (written at the end)");
  app.add_flag("--csv", cl.csv, "CSV output (one line per run, printed as it finishes)")->excludes(json_opt);
  app.add_flag("--per-orientation", cl.per_orientation,
               "JSON output: every orientation's cross section too (per_orientation_A2)")
      ->needs(json_opt);
  app.add_flag("--quiet", cl.quiet, "no progress display on standard error");
  app.add_option("--checkpoint", cl.checkpoint,
                 "keep the finished rows in FILE (JSON lines, written as each run finishes); a "
                 "rerun with the same FILE takes its rows instead of running them again (its "
                 "seed when --seed is not given; other settings are refused)");
}

// Combinations the options alone cannot refuse; "" when the line is fine.
std::string combination_problem(const CommandLine& cl) {
  if (cl.charge_given && cl.charge == 0.0) return "--charge must be a non-zero number (an ion has a charge)";
  if (cl.n2_model == "three-site" && cl.gas_name != "N2") return "--n2-model three-site needs --gas N2";
  if (cl.n2_model == "three-site" && cl.method != "lj" && cl.method != "all") {
    return "--n2-model three-site is a model of the lj method";
  }
  if (cl.tensor && cl.method == "pa") return "--tensor: the projection approximation has no axis-permutation mode";
  if (cl.moving && cl.method != "tm" && cl.method != "all") return "--moving needs --method tm";
  if (!cl.format.empty() && normalise_format(cl.format).empty()) return "--format needs an extension such as pdb";
  for (const std::string& f : cl.files) {
    if (f == "-" && cl.format.empty()) return "reading standard input (-) needs --format EXT (for example --format pdb)";
  }
  if (cl.method != "all" && !method_available(parse_method(cl.method))) {
    return "method " + cl.method + " is not built into this program";
  }
  return "";
}

}  // namespace

int parse_command_line(int argc, char** argv, CommandLine& cl) {
  CLI::App app{
      "ccs: collision cross section (CCS) and mobility of an ion in a buffer gas, from a "
      "structure file (xyz, pdb, pqr, mol2, sdf, cif/mmcif, mfj, ...; gzip-compressed or "
      "plain; - reads standard input)."};
  add_input_options(app, cl);
  add_physics_options(app, cl);
  add_run_options(app, cl);
  app.set_version_flag("--version", "ccs 0.1.0");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  // --add-hydrogens without a value means pH 7.4.
  if (app.count("--add-hydrogens") == 0) {
    cl.add_hydrogens_ph = NAN;
  } else if (!std::isfinite(cl.add_hydrogens_ph)) {
    cl.add_hydrogens_ph = 7.4;
  }
  cl.charge_given = app.count("--charge") > 0;
  const std::string problem = combination_problem(cl);
  if (!problem.empty()) {
    std::fprintf(stderr, "ccs: %s\n", problem.c_str());
    return 2;
  }
  if (cl.n2_model.empty()) cl.n2_model = default_n2_model(cl.gas_name);
  return -1;
}

RunSettings Job::settings(Method m) const {
  RunSettings st = settings_for(m, common, numerics);
  st.hard_sphere = &tables.hard_sphere;
  st.lennard_jones = &tables.lennard_jones;
  return st;
}

void make_job(const CommandLine& cl, Job& job) {
  job.methods.clear();
  if (cl.method == "all") {
    for (Method m : {Method::PA, Method::EHSS, Method::TM, Method::TMFixed, Method::LJ}) {
      if (method_available(m)) job.methods.push_back(m);
    }
  } else {
    job.methods.push_back(parse_method(cl.method));
  }

  // Gas, conditions and parameter tables: the sourced tables, the generic
  // fallback for the other elements, then the user's tables.
  Conditions cond;
  cond.temperature = cl.temperature;
  cond.pressure = cl.pressure;
  const std::string dir = params_dir();
  cond.gas = find_gas(dir, cl.gas_name);
  if (std::isfinite(cl.polarizability)) cond.gas.polarizability_A3 = cl.polarizability;
  job.tables = load_gas_tables(dir, cl.gas_name, cl.param_files);

  if (cl.threads > 0) omp_set_num_threads(cl.threads);
  std::uint32_t run_seed;
  // A rerun with a checkpoint and no --seed continues with the checkpoint's.
  const long long saved_seed = cl.seed < 0 && !cl.checkpoint.empty() ? checkpoint_seed(cl.checkpoint) : -1;
  if (cl.seed >= 0) {
    run_seed = static_cast<std::uint32_t>(cl.seed);
  } else if (saved_seed >= 0) {
    run_seed = static_cast<std::uint32_t>(saved_seed);
  } else {
    std::random_device rd;
    run_seed = rd();
  }

  ReadOptions& ropt = job.read;
  ropt.charges = parse_charge_source(cl.charges);
  ropt.equal_charge_total = cl.charge_given ? cl.charge : 1.0;
  ropt.format = cl.format;
  ropt.keep_solvent = cl.keep_solvent;
  ropt.add_hydrogens_ph = cl.add_hydrogens_ph;

  RunSettings& common = job.common;
  common.conditions = cond;
  common.tensor = cl.tensor;
  common.accommodation = cl.accommodation;
  common.cosine = cl.reemission == "cosine";
  common.maxwell = cl.maxwell;
  common.three_site = cl.n2_model == "three-site";
  common.seed = run_seed;
  common.charge = cl.charge_given ? cl.charge : 0.0;
  job.numerics = cl.numerics;
  job.moving = cl.moving;

  RunHeader& h = job.header;
  h.conditions = cond;
  h.seed = run_seed;
  h.threads = omp_get_max_threads();
  h.charges = cl.charges;
  h.params = job.tables.sources();
  h.per_orientation = cl.per_orientation;
  h.accommodation = cl.accommodation;
  h.reemission = cl.reemission;
  h.maxwell = cl.maxwell;
  for (const std::string& f : cl.files) {
    h.label_width = std::max(h.label_width, f.size() - (f.find_last_of('/') + 1) + 4);
  }
}

}  // namespace ccs::cli
