// Result rows and their presentations: aligned table, CSV, JSON.
#pragma once

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
  RunResult result;
};

struct FailedItem {
  std::string file;
  std::string method;  // empty when the file itself failed
  std::string message;
};

struct RunHeader {
  Conditions conditions;
  std::uint32_t seed = 0;
  int threads = 1;
  std::string charges;  // charge source
  std::string params;   // parameter files used
  bool per_orientation = false;  // JSON: every orientation's cross section too
};

// Column values of a row as the table and CSV print them (the table rounds).
std::vector<std::string> row_cells(const ResultRow& r, bool full_precision);
std::vector<std::string> column_names();

void write_table(std::ostream& os, const RunHeader& h, const std::vector<ResultRow>& rows);
void write_csv(std::ostream& os, const std::vector<ResultRow>& rows);
void write_json(std::ostream& os, const RunHeader& h, const std::vector<ResultRow>& rows,
                const std::vector<FailedItem>& failed);

}  // namespace ccs::cli
