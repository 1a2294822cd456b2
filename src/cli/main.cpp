// ccs: collision cross section and mobility of the ions in structure files
// under given gas conditions, by the projection approximation, exact
// hard-sphere scattering or the trajectory method.
//
// Exit status: 0 when every run gave a result, 1 when a file or a run
// failed or gave no result, 2 for a bad command line, 128 + the signal
// number after SIGINT or SIGTERM (the finished rows are printed first).
#include <omp.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <random>
#include <thread>

#include "cli/input_file.h"
#include "cli/output.h"
#include "cli/params.h"
#include "cli/readers.h"
#include "cli/run.h"
#include "cli/run_setup.h"
#include "runtime/context.h"

using namespace ccs::cli;

namespace {

// Set by SIGINT or SIGTERM; running methods poll it and stop soon.
std::atomic<bool> g_cancel{false};
volatile std::sig_atomic_t g_signal = 0;
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void on_signal(int sig) {
  g_signal = sig;
  g_cancel.store(true);
}

// The first SIGINT or SIGTERM asks the job to stop after printing what has
// finished; a second one ends the process at once.
void install_signal_handlers() {
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

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

}  // namespace

int main(int argc, char** argv) {
  install_signal_handlers();
  CLI::App app{
      "ccs: collision cross section (CCS) and mobility of an ion in a buffer gas, from a "
      "structure file (xyz, pdb, pqr, mol2, sdf, cif/mmcif, mfj, ...; gzip-compressed or "
      "plain; - reads standard input)."};
  std::vector<std::string> files;
  std::string method = default_method_name();
  std::string gas_name = kDefaultGas;
  const Conditions default_conditions;
  double temperature = default_conditions.temperature;
  double pressure = default_conditions.pressure;
  double charge = 0.0;
  std::string charges = "file";
  double polarizability = NAN;
  std::vector<std::string> param_files;
  std::string n2_model;  // default: three-site in N2
  bool tensor = false;
  double accommodation = 0.0;
  std::string reemission = "cosine";
  bool maxwell = false;
  bool moving = false;
  std::string format;
  bool keep_solvent = false;
  double ph = NAN;
  Numerics num;
  long long seed = -1;
  int threads = 0;
  bool json = false, csv = false, quiet = false;
  bool per_orientation = false;

  app.add_option("FILE", files, "structure files (- : standard input, with --format)")->required();
  app.add_option("--method", method,
                 "pa (projection approximation), ehss (exact hard-sphere scattering), tm "
                 "(trajectory method, hard spheres with mass-weighted collisions; with --moving "
                 "the atoms move along the file's frames), tm-fixed (trajectory method, fixed "
                 "atoms), lj (trajectory method in a Lennard-Jones field) or all")
      ->capture_default_str()
      ->check(CLI::IsMember({"pa", "ehss", "tm", "tm-fixed", "lj", "all"}));
  app.add_option("--gas", gas_name, "buffer gas")->capture_default_str()->check(CLI::IsMember({"He", "N2"}));
  app.add_option("--temperature", temperature, "gas temperature (K)")
      ->capture_default_str()
      ->check(finite_range(kMinTemperature, kMaxTemperature));
  app.add_option("--pressure", pressure, "gas pressure (Pa)")
      ->capture_default_str()
      ->check(finite_range(kMinPressure, kMaxPressure));
  app.add_option("--charge", charge,
                 "ion charge z (elementary charges, not 0); default: the partial charges' sum "
                 "rounded, else 1")
      ->check(finite_range(-kMaxCharge, kMaxCharge));
  app.add_option("--charges", charges,
                 "partial charges: file (where the file has them), gasteiger, mmff94, eem "
                 "(Open Babel's models) or none")
      ->capture_default_str()
      ->check(CLI::IsMember({"file", "gasteiger", "mmff94", "eem", "none"}));
  app.add_option("--polarizability", polarizability,
                 "gas polarizability volume (Å^3), replacing the gas table's value")
      ->check(finite_range(0.0, kMaxPolarizability));
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
               "three fixed orientations; the mobility tensor's principal values and axes "
               "(ehss, tm, tm-fixed, lj)");
  app.add_option("--accommodation", accommodation,
                 "probability that a collision is diffuse (ehss, tm, tm-fixed)")
      ->capture_default_str()
      ->check(finite_range(0.0, 1.0));
  app.add_option("--reemission", reemission, "direction of a diffuse re-emission")
      ->capture_default_str()
      ->check(CLI::IsMember({"cosine", "specular"}));
  app.add_flag("--maxwell", maxwell, "diffuse re-emission at a thermal (Maxwell flux) speed");
  app.add_flag("--moving", moving, "tm: the frames of a multi-frame file (1 fs apart) move the atoms");
  app.add_option("--format", format,
                 "reader for every FILE, as an extension (pdb, xyz, mol2, cif, pqr, mfj, ...); "
                 "default: each file name's extension (a trailing .gz left out)");
  app.add_flag("--keep-solvent", keep_solvent,
               "keep solvent residues (HOH, WAT, DOD, SOL, ...; left out by default)");
  app.add_option("--add-hydrogens", ph,
                 "add the missing hydrogens with Open Babel, protonation states for pH (7.4 "
                 "when not given)")
      ->expected(0, 1)
      ->default_str("7.4")
      ->check(finite_range(0.0, 14.0));
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
  app.add_option("--seed", seed, "random seed (0 to 4294967295); default: drawn and reported")
      ->check(finite_range(0, 4294967295.0));
  app.add_option("--threads", threads, "threads (default: all processors)")->check(finite_range(1, 4096));
  auto* json_opt = app.add_flag("--json", json, "JSON output (written at the end)");
  app.add_flag("--csv", csv, "CSV output (one line per run, printed as it finishes)")->excludes(json_opt);
  app.add_flag("--per-orientation", per_orientation,
               "JSON output: every orientation's cross section too (per_orientation_A2)")
      ->needs(json_opt);
  app.add_flag("--quiet", quiet, "no progress display on standard error");
  app.set_version_flag("--version", "ccs 0.1.0");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  const bool charge_given = app.count("--charge") > 0;
  auto usage = [](const std::string& msg) {
    std::fprintf(stderr, "ccs: %s\n", msg.c_str());
    return 2;
  };
  if (charge_given && charge == 0.0) {
    return usage("--charge must be a non-zero number (an ion has a charge)");
  }
  if (n2_model == "three-site" && gas_name != "N2") return usage("--n2-model three-site needs --gas N2");
  if (n2_model == "three-site" && method != "lj" && method != "all") {
    return usage("--n2-model three-site is a model of the lj method");
  }
  if (n2_model.empty()) n2_model = default_n2_model(gas_name);
  const bool three_site = n2_model == "three-site";
  if (tensor && method == "pa") return usage("--tensor: the projection approximation has no axis-permutation mode");
  if (moving && method != "tm" && method != "all") return usage("--moving needs --method tm");
  if (!format.empty() && normalise_format(format).empty()) return usage("--format needs an extension such as pdb");
  for (const std::string& f : files) {
    if (f == "-" && format.empty()) return usage("reading standard input (-) needs --format EXT (for example --format pdb)");
  }

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

  // Gas, conditions and parameter tables: the sourced tables, the generic
  // fallback for the other elements, then the user's tables.
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
  ropt.format = format;
  ropt.keep_solvent = keep_solvent;
  if (app.count("--add-hydrogens")) ropt.add_hydrogens_ph = std::isfinite(ph) ? ph : 7.4;
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

  RunHeader h;
  h.conditions = cond;
  h.seed = run_seed;
  h.threads = n_threads;
  h.charges = charges;
  h.params = tables.sources();
  h.per_orientation = per_orientation;
  h.accommodation = accommodation;
  h.reemission = reemission;
  h.maxwell = maxwell;
  for (const std::string& f : files) {
    h.label_width = std::max(h.label_width, f.size() - (f.find_last_of('/') + 1) + 4);
  }
  std::unique_ptr<RowWriter> out = make_writer(
      json ? OutputFormat::Json : csv ? OutputFormat::Csv : OutputFormat::Table, std::cout, h);

  bool failed = false;
  auto report_failure = [&](const FailedItem& f) {
    std::fprintf(stderr, "ccs: %s\n", f.message.c_str());
    out->failure(f);
    failed = true;
  };
  for (std::size_t fi = 0; fi < files.size() && !g_cancel; ++fi) {
    const std::string& file = files[fi];
    std::vector<Structure> structures;
    try {
      structures = read_structures(file, ropt);
      if (moving) structures = {join_frames(structures)};
    } catch (const std::exception& e) {
      if (g_cancel) break;
      report_failure({file, "", e.what(), 0});
      continue;
    }
    const std::string where =
        files.size() > 1 ? "file " + std::to_string(fi + 1) + " of " + std::to_string(files.size()) + ", " : "";
    for (std::size_t si = 0; si < structures.size() && !g_cancel; ++si) {
      const Structure& s = structures[si];
      for (Method m : methods) {
        if (g_cancel) break;
        if (moving && m != Method::TM) continue;
        RunSettings st = settings_for(m, common, num);
        st.cancel = &g_cancel;
        ResultRow row;
        row.file = file;
        row.title = s.title;
        row.conformer = s.conformer;
        row.atoms = static_cast<int>(s.atoms.size());
        row.method = method_name(m);
        row.tensor = st.tensor;
        row.structure_notes = s.notes;
        try {
          Progress bar(progress,
                       display_name(file) + ": " + where + "structure " + std::to_string(si + 1) +
                           " of " + std::to_string(structures.size()) + ", " + method_name(m),
                       st.numerics.orientations);
          st.progress = bar.counter();
          row.result = run_method(s, st);
        } catch (const rt::Error& e) {
          if (e.id() == rt::kInterruptedId) break;
          report_failure({file, row.method, display_name(file) + ": " + e.what(), s.conformer});
          continue;
        } catch (const std::exception& e) {
          std::string msg = e.what();
          const std::string name = display_name(file);
          if (msg.rfind(name, 0) != 0) msg = name + ": " + msg;
          report_failure({file, row.method, msg, s.conformer});
          continue;
        }
        if (tensor && m == Method::PA) {
          row.result.notes.push_back("pa has no tensor mode: it ran with random orientations");
        }
        if (!row.result.not_a_result.empty()) {
          std::fprintf(stderr, "ccs: %s %s: not a result: %s\n",
                       row_label(display_name(file), s.conformer).c_str(), row.method.c_str(),
                       row.result.not_a_result.c_str());
          failed = true;
        }
        out->row(row);
      }
    }
  }
  const bool interrupted = g_cancel.load();
  out->finish(interrupted);
  if (interrupted) {
    std::fprintf(stderr, "ccs: interrupted; the finished rows are printed\n");
    return 128 + (g_signal != 0 ? static_cast<int>(g_signal) : SIGINT);
  }
  return failed ? 1 : 0;
}
