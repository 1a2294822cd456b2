// Where a job's rows go, whichever program runs it (one process or many):
// the row writer, the checkpoint, the messages on standard error and the
// exit status they imply.
#pragma once

#include <exception>
#include <string>

#include "cli/checkpoint.h"
#include "cli/command_line.h"
#include "cli/output.h"

namespace ccs::cli {

// The row of structure `s` of `file` by method `m` with its result.
ResultRow make_row(const std::string& file, const Structure& s, Method m, const Job& job, RunResult result);

// The message of a run that failed with `e`, naming the file once.
std::string run_failure_message(const std::string& file, const std::exception& e);

// Where a row comes from: a run just finished, a run finished and already
// kept in the checkpoint (keep), or the checkpoint of an earlier job.
enum class RowOrigin { Run, Kept, Checkpoint };

class JobOutput {
 public:
  // `checkpoint` may be null (no checkpoint).
  JobOutput(RowWriter& out, Checkpoint* checkpoint) : out_(out), checkpoint_(checkpoint) {}

  // The finished row of a run: written out, kept in the checkpoint (a row
  // from a run), its numbers named on standard error when they are not a
  // result.
  void row(const ResultRow& r, RowOrigin origin = RowOrigin::Run);
  // Keeps the row of a finished run in the checkpoint before it is written
  // out (a distributed job writes rows in order but keeps them at once).
  void keep(const ResultRow& r);
  // A file or a run that failed: named on standard error and in the output.
  void failure(const FailedItem& f);
  // The row the checkpoint holds for (file, conformer, method), or null.
  const ResultRow* saved(const std::string& file, int conformer, Method m) const;

  bool failed() const { return failed_; }
  std::size_t rows_from_checkpoint() const { return reused_; }

 private:
  RowWriter& out_;
  Checkpoint* checkpoint_;
  bool failed_ = false;
  std::size_t reused_ = 0;
};

}  // namespace ccs::cli
