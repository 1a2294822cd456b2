// ccs: collision cross section and mobility of the ions in structure files
// under given gas conditions, by the projection approximation, exact
// hard-sphere scattering or the trajectory method.
#include <omp.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <random>
#include <thread>

#include "cli/output.h"
#include "cli/params.h"
#include "cli/readers.h"
#include "cli/run.h"
#include "cli/run_setup.h"

using namespace ccs::cli;

namespace {

// Progress line on standard error while a run goes on.
class Progress {
 public:
  Progress(bool enabled, std::string what, long total)
      : enabled_(enabled), what_(std::move(what)), total_(total) {
    if (enabled_) thread_ = std::thread([this] { loop(); });
  }
  ~Progress() {
    if (!enabled_) return;
    stop_ = true;
    thread_.join();
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
  }
  std::atomic<long>* counter() { return &done_; }

 private:
  void loop() {
    const auto t0 = std::chrono::steady_clock::now();
    while (!stop_) {
      const long d = done_.load();
      const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      const double rate = s > 0 ? d / s : 0.0;
      const int width = 24;
      const int fill = total_ > 0 ? static_cast<int>(width * std::min(1.0, double(d) / total_)) : 0;
      std::string bar(static_cast<std::size_t>(fill), '#');
      bar += std::string(static_cast<std::size_t>(width - fill), '.');
      char eta[32] = "--";
      if (rate > 0 && d < total_) std::snprintf(eta, sizeof eta, "%.0fs", (total_ - d) / rate);
      std::fprintf(stderr, "\r\033[K%s [%s] %ld/%ld orientations  %.2f/s  left %s", what_.c_str(),
                   bar.c_str(), d, total_, rate, eta);
      std::fflush(stderr);
      for (int i = 0; i < 5 && !stop_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  bool enabled_;
  std::string what_;
  long total_;
  std::atomic<long> done_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string base_name(const std::string& p) {
  const std::size_t s = p.find_last_of('/');
  return s == std::string::npos ? p : p.substr(s + 1);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "ccs: collision cross section (CCS) and mobility of an ion in a buffer gas, from a "
      "structure file (xyz, pdb, pqr, mol2, sdf, cif/mmcif, mfj, ...)."};
  std::vector<std::string> files;
  std::string method = default_method_name();
  std::string gas_name = kDefaultGas;
  const Conditions default_conditions;
  double temperature = default_conditions.temperature;
  double pressure = default_conditions.pressure;
  double charge = 0.0;
  bool charge_given = false;
  std::string charges = "file";
  double polarizability = NAN;
  std::vector<std::string> param_files;
  std::string n2_model;  // default: three-site in N2
  bool tensor = false;
  double accommodation = 0.0;
  std::string reemission = "cosine";
  bool maxwell = false;
  bool moving = false;
  Numerics num;
  long long seed = -1;
  int threads = 0;
  bool json = false, csv = false, quiet = false;
  bool per_orientation = false;

  app.add_option("FILE", files, "structure files")->required();
  app.add_option("--method", method,
                 "pa (projection approximation), ehss (exact hard-sphere scattering), tm "
                 "(trajectory method, hard spheres with mass-weighted collisions; with --moving "
                 "the atoms move along the file's frames), tm-fixed (trajectory method, fixed "
                 "atoms), lj (trajectory method in a Lennard-Jones field) or all")
      ->capture_default_str()
      ->check(CLI::IsMember({"pa", "ehss", "tm", "tm-fixed", "lj", "all"}));
  app.add_option("--gas", gas_name, "buffer gas")->capture_default_str()->check(CLI::IsMember({"He", "N2"}));
  app.add_option("--temperature", temperature, "gas temperature (K)")->capture_default_str();
  app.add_option("--pressure", pressure, "gas pressure (Pa)")->capture_default_str();
  app.add_option("--charge", charge,
                 "ion charge z (elementary charges); default: the partial charges' sum rounded, "
                 "else 1");
  app.add_option("--charges", charges,
                 "partial charges: file (where the file has them), gasteiger, mmff94, eem "
                 "(Open Babel's models) or none")
      ->capture_default_str()
      ->check(CLI::IsMember({"file", "gasteiger", "mmff94", "eem", "none"}));
  app.add_option("--polarizability", polarizability,
                 "gas polarizability volume (Å^3), replacing the gas table's value");
  app.add_option("--params", param_files,
                 "parameter table adding to or replacing the shipped one of its type "
                 "(see data/params/)");
  app.add_option("--n2-model", n2_model,
                 "nitrogen in lj: three-site (default; a linear molecule with its quadrupole, "
                 "orientations weighted at the gas temperature; without partial charges the ion "
                 "charge is spread evenly over the atoms) or atom (one Lennard-Jones centre from "
                 "the per-atom table and no quadrupole: about 15 % below three-site for C60+)")
      ->check(CLI::IsMember({"atom", "three-site"}));
  app.add_flag("--tensor", tensor,
               "three fixed orientations and the mobility tensor (ehss, tm, tm-fixed, lj)");
  app.add_option("--accommodation", accommodation,
                 "probability that a collision is diffuse (ehss, tm, tm-fixed)")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--reemission", reemission, "direction of a diffuse re-emission")
      ->capture_default_str()
      ->check(CLI::IsMember({"cosine", "specular"}));
  app.add_flag("--maxwell", maxwell, "diffuse re-emission at a thermal (Maxwell flux) speed");
  app.add_flag("--moving", moving, "tm: the frames of a multi-frame file (1 fs apart) move the atoms");
  app.add_option("--orientations", num.orientations, "orientations (default per method)")
      ->check(CLI::Range(1, 100000000));
  app.add_option("--trajectories", num.trajectories, "trajectories per orientation (default per method)")
      ->check(CLI::Range(1.0, 1e9));
  app.add_option("--deltatenhance", num.deltatenhance, "time-step divisor (trajectory methods)")
      ->check(CLI::PositiveNumber);
  app.add_option("--multiplier", num.multiplier, "collision passes per trajectory (tm, tm-fixed)")
      ->check(CLI::Range(1.0, 1e6));
  app.add_option("--boxdomain", num.boxdomain, "entry-domain margin (Å, trajectory methods)")
      ->check(CLI::PositiveNumber);
  app.add_option("--seed", seed, "random seed (0 to 4294967295); default: drawn and reported")
      ->check(CLI::Range(0LL, 4294967295LL));
  app.add_option("--threads", threads, "threads (default: all processors)")->check(CLI::Range(1, 4096));
  auto* json_opt = app.add_flag("--json", json, "JSON output");
  app.add_flag("--csv", csv, "CSV output")->excludes(json_opt);
  app.add_flag("--per-orientation", per_orientation,
               "JSON output: every orientation's cross section too (per_orientation_A2)")
      ->needs(json_opt);
  app.add_flag("--quiet", quiet, "no progress display or notes on standard error");
  app.set_version_flag("--version", "ccs 0.1.0");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  charge_given = app.count("--charge") > 0;
  auto usage = [](const std::string& msg) {
    std::fprintf(stderr, "ccs: %s\n", msg.c_str());
    return 2;
  };
  if (!(temperature > 0.0) || !std::isfinite(temperature)) {
    return usage("--temperature must be a positive number of kelvin");
  }
  if (!(pressure > 0.0) || !std::isfinite(pressure)) {
    return usage("--pressure must be a positive number of pascal");
  }
  if (charge_given && (charge == 0.0 || !std::isfinite(charge))) {
    return usage("--charge must be a non-zero number (an ion has a charge)");
  }
  if (app.count("--polarizability") && !(polarizability >= 0.0 && std::isfinite(polarizability))) {
    return usage("--polarizability must not be negative");
  }
  if (n2_model == "three-site" && gas_name != "N2") return usage("--n2-model three-site needs --gas N2");
  if (n2_model == "three-site" && method != "lj" && method != "all") {
    return usage("--n2-model three-site is a model of the lj method");
  }
  if (n2_model.empty()) n2_model = default_n2_model(gas_name);
  const bool three_site = n2_model == "three-site";
  if (tensor && method == "pa") return usage("--tensor: the projection approximation has no axis-permutation mode");
  if (moving && method != "tm" && method != "all") return usage("--moving needs --method tm");

  std::vector<Method> methods;
  if (method == "all") {
    for (Method m : {Method::PA, Method::EHSS, Method::TM, Method::TMFixed, Method::LJ}) {
      if (method_available(m)) methods.push_back(m);
    }
  } else {
    methods.push_back(parse_method(method));
    if (!method_available(methods[0])) {
      return usage("method " + method + " is not built into this program");
    }
  }

  // Gas, conditions and parameter tables.
  Conditions cond;
  cond.temperature = temperature;
  cond.pressure = pressure;
  GasTables tables;
  try {
    const std::string dir = params_dir();
    cond.gas = find_gas(dir, gas_name);
    if (app.count("--polarizability")) cond.gas.polarizability_A3 = polarizability;
    tables = load_gas_tables(dir, gas_name, param_files);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ccs: %s\n", e.what());
    return 2;
  }

  if (threads > 0) omp_set_num_threads(threads);
  const int n_threads = omp_get_max_threads();
  std::uint32_t run_seed;
  if (seed >= 0) {
    run_seed = static_cast<std::uint32_t>(seed);
  } else {
    std::random_device rd;
    run_seed = rd();
  }

  ReadOptions ropt;
  ropt.charges = parse_charge_source(charges);
  ropt.equal_charge_total = charge_given ? charge : 1.0;
  const bool progress = !quiet && isatty(STDERR_FILENO);
  RunSettings common;  // what every run shares
  common.conditions = cond;
  common.tensor = tensor;
  common.accommodation = accommodation;
  common.cosine = reemission == "cosine";
  common.maxwell = maxwell;
  common.three_site = three_site;
  common.seed = run_seed;
  common.charge = charge_given ? charge : 0.0;
  common.hard_sphere = &tables.hard_sphere;
  common.lennard_jones = &tables.lennard_jones;

  std::vector<ResultRow> rows;
  std::vector<FailedItem> failed;
  for (const std::string& file : files) {
    std::vector<Structure> structures;
    try {
      structures = read_structures(file, ropt);
      if (moving) structures = {join_frames(structures)};
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ccs: %s\n", e.what());
      failed.push_back({file, "", e.what()});
      continue;
    }
    for (const Structure& s : structures) {
      for (Method m : methods) {
        RunSettings st = settings_for(m, common, num);
        if (moving && m != Method::TM) continue;
        try {
          Progress bar(progress, base_name(file) + "#" + std::to_string(s.conformer) + " " +
                                     method_name(m), st.numerics.orientations);
          st.progress = bar.counter();
          ResultRow row;
          row.result = run_method(s, st);
          row.file = file;
          row.title = s.title;
          row.conformer = s.conformer;
          row.atoms = static_cast<int>(s.atoms.size());
          row.method = method_name(m);
          row.tensor = st.tensor;
          rows.push_back(std::move(row));
        } catch (const std::exception& e) {
          std::string msg = e.what();
          if (msg.rfind(file, 0) != 0) msg = file + ": " + msg;
          std::fprintf(stderr, "ccs: %s\n", msg.c_str());
          failed.push_back({file, method_name(m), msg});
        }
      }
    }
  }

  RunHeader h;
  h.conditions = cond;
  h.seed = run_seed;
  h.threads = n_threads;
  h.charges = charges;
  h.params = tables.sources();
  h.per_orientation = per_orientation;
  if (json) {
    write_json(std::cout, h, rows, failed);
  } else if (csv) {
    write_csv(std::cout, rows);
  } else {
    write_table(std::cout, h, rows);
  }
  return failed.empty() ? 0 : 1;
}
