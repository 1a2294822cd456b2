#include "cli/job_output.h"

#include <cstdio>

#include "cli/input_file.h"
#include "runtime/context.h"

namespace ccs::cli {

ResultRow make_row(const std::string& file, const Structure& s, Method m, const Job& job, RunResult result) {
  ResultRow row;
  row.file = file;
  row.title = s.title;
  row.conformer = s.conformer;
  row.atoms = static_cast<int>(s.atoms.size());
  row.method = method_name(m);
  row.tensor = job.settings(m).tensor;  // pa has no tensor mode
  row.structure_notes = s.notes;
  row.result = std::move(result);
  if (job.common.tensor && m == Method::PA) {
    row.result.notes.push_back("pa has no tensor mode: it ran with random orientations");
  }
  return row;
}

std::string run_failure_message(const std::string& file, const std::exception& e) {
  const std::string name = display_name(file);
  std::string msg = e.what();
  if (dynamic_cast<const rt::Error*>(&e) != nullptr || msg.rfind(name, 0) != 0) msg = name + ": " + msg;
  return msg;
}

void JobOutput::keep(const ResultRow& r) {
  if (checkpoint_ != nullptr) checkpoint_->append(r);
}

void JobOutput::row(const ResultRow& r, RowOrigin origin) {
  if (!r.result.not_a_result.empty()) {
    std::fprintf(stderr, "ccs: %s %s: not a result: %s\n",
                 row_label(display_name(r.file), r.conformer).c_str(), r.method.c_str(),
                 r.result.not_a_result.c_str());
    failed_ = true;
  }
  out_.row(r);
  if (origin == RowOrigin::Checkpoint) {
    ++reused_;
  } else if (origin == RowOrigin::Run) {
    keep(r);
  }
}

void JobOutput::failure(const FailedItem& f) {
  std::fprintf(stderr, "ccs: %s\n", f.message.c_str());
  out_.failure(f);
  failed_ = true;
}

const ResultRow* JobOutput::saved(const std::string& file, int conformer, Method m) const {
  return checkpoint_ != nullptr ? checkpoint_->find(file, conformer, method_name(m)) : nullptr;
}

}  // namespace ccs::cli
