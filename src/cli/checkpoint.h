// A job's finished rows kept in a file (one JSON object per line), so that a
// long job can be resumed: the first line holds the settings that decide
// the numbers (gas, conditions, seed, charges, method settings, reading
// options), every further line one finished row, appended and flushed as
// the row finishes. A rerun with the same file takes the rows it holds
// instead of running them again; a file written with other settings is
// refused, naming the settings that differ.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "cli/output.h"

namespace ccs::cli {

struct CommandLine;
struct Job;

// The settings a checkpoint records (and a rerun must match): what decides
// the numbers of a row, not the threads, ranks, methods, files or output.
nlohmann::json checkpoint_settings(const CommandLine& cl, const Job& job);

// The seed recorded in the checkpoint at `path`; -1 when there is no such
// file (or it holds no settings). A rerun without --seed takes it.
long long checkpoint_seed(const std::string& path);

// A row as a JSON object and back (every number to the last bit; NaN as null).
nlohmann::json row_to_json(const ResultRow& r);
ResultRow row_from_json(const nlohmann::json& j);

class Checkpoint {
 public:
  // Opens `path` for appending, creating it with `settings` when it is
  // missing or empty. An existing file must hold the same settings
  // (InputError naming the file and the settings that differ); its rows
  // are loaded. A last line cut short (a job killed while writing it) is
  // left out, and the file is continued on a fresh line.
  Checkpoint(const std::string& path, const nlohmann::json& settings);
  ~Checkpoint();
  Checkpoint(const Checkpoint&) = delete;
  Checkpoint& operator=(const Checkpoint&) = delete;

  // The row of (file, conformer, method) the file held when opened, or null.
  const ResultRow* find(const std::string& file, int conformer, const std::string& method) const;
  // Appends `r` as one line and flushes it to the file.
  void append(const ResultRow& r);
  std::size_t loaded() const { return rows_.size(); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::FILE* f_ = nullptr;
  std::map<std::tuple<std::string, int, std::string>, ResultRow> rows_;
};

}  // namespace ccs::cli
