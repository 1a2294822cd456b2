// The ccs program's command line: the options as a user gives them, their
// parsing and checks, and the job they ask for (methods, gas tables, run
// settings, reading options, output header). The single-process program and
// the distributed one share it.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "cli/output.h"
#include "cli/readers.h"
#include "cli/run.h"
#include "cli/run_setup.h"

namespace ccs::cli {

struct CommandLine {
  std::vector<std::string> files;
  std::string method = default_method_name();
  std::string gas_name = kDefaultGas;
  double temperature = Conditions().temperature;
  double pressure = Conditions().pressure;
  double charge = 0.0;                   // --charge
  bool charge_given = false;
  std::string charges = "file";          // --charges
  double polarizability = NAN;           // --polarizability (NaN: the gas table's)
  std::vector<std::string> param_files;
  std::string n2_model;  // after parsing: the model used ("" only before)
  bool tensor = false;
  double accommodation = 0.0;
  std::string reemission = "cosine";
  bool maxwell = false;
  bool moving = false;
  std::string format;
  bool keep_solvent = false;
  double add_hydrogens_ph = NAN;           // --add-hydrogens [pH] (NaN: not given)
  Numerics numerics;                       // 0: the method's default
  long long seed = -1;                     // -1: drawn
  int threads = 0;                         // 0: all processors
  bool json = false, csv = false, quiet = false, per_orientation = false;
  std::string checkpoint;                  // --checkpoint FILE ("": none)
};

// Parses and checks argv into `cl`. Returns -1 when the job should run,
// otherwise the exit status (0 after --help or --version, 2 for a bad command
// line, with the message printed).
int parse_command_line(int argc, char** argv, CommandLine& cl);

// What a checked command line asks for. Holds the parameter tables the run
// settings point to, so it stays where it was made.
struct Job {
  std::vector<Method> methods;
  GasTables tables;
  RunSettings common;  // shared by every run; settings() adds the method's
  Numerics numerics;   // as requested (0: the method's default)
  ReadOptions read;
  RunHeader header;
  bool moving = false;

  Job() = default;
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  // The settings of method `m`, pointing to this job's tables.
  RunSettings settings(Method m) const;
};

// Fills `job` from a parsed `cl` (the seed drawn when none was given, the
// thread count set). Raises InputError naming a gas or parameter table that
// cannot be used.
void make_job(const CommandLine& cl, Job& job);

}  // namespace ccs::cli
