// Result rows and their presentations: aligned table, CSV, JSON. The table
// and CSV writers print each row as it comes (a long job shows its finished
// rows, and an interrupted one keeps them); JSON is written at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/run.h"

namespace ccs::cli {

struct ResultRow {
  std::string file;
  std::string title;
  int conformer = 1;
  int atoms = 0;
  std::string method;
  bool tensor = false;
  std::vector<std::string> structure_notes;  // how the file was taken
  RunResult result;
};

struct FailedItem {
  std::string file;
  std::string method;  // empty when the file itself failed
  std::string message;
  int conformer = 0;   // 0 when the file itself failed
};

// What holds for every row of a run.
struct RunHeader {
  Conditions conditions;
  std::uint32_t seed = 0;
  int threads = 1;      // per process
  int ranks = 1;        // MPI ranks of a distributed run
  std::string charges;  // charge source
  std::string params;   // parameter files used
  bool per_orientation = false;  // JSON: every orientation's cross section too
  double accommodation = 0;
  std::string reemission = "cosine";
  bool maxwell = false;
  std::size_t label_width = 0;  // table: width of the structure column (0: a default)
};

enum class OutputFormat { Table, Csv, Json };

class RowWriter {
 public:
  virtual ~RowWriter() = default;
  virtual void row(const ResultRow& r) = 0;
  virtual void failure(const FailedItem& f) = 0;
  // After the last row; `interrupted`: the job was stopped by a signal.
  virtual void finish(bool interrupted) = 0;
};

std::unique_ptr<RowWriter> make_writer(OutputFormat f, std::ostream& os, const RunHeader& h);

// "name#conformer" of a row in the table (the file's base name).
std::string row_label(const std::string& file, int conformer);

}  // namespace ccs::cli
