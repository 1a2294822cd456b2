// ccs: collision cross section and mobility of the ions in structure files
// under given gas conditions, by the projection approximation, exact
// hard-sphere scattering or the trajectory method.
//
// Exit status: 0 when every run gave a result, 1 when a file or a run
// failed or gave no result, 2 for a bad command line, 128 + the signal
// number after SIGINT or SIGTERM (the finished rows are printed first).
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "cli/checkpoint.h"
#include "cli/command_line.h"
#include "cli/input_file.h"
#include "cli/job_output.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "cli/readers.h"
#include "cli/run.h"
#include "cli/stop_signals.h"
#include "runtime/context.h"
#ifdef CCS_HAVE_MPI
#include "mpi/distributed.h"
#endif

using namespace ccs::cli;

namespace {

// The rows of a job, written as they finish (rows the checkpoint holds are
// taken from it).
class JobRunner {
 public:
  JobRunner(const Job& job, JobOutput& out, bool progress, std::size_t n_files)
      : job_(job), out_(out), progress_(progress), n_files_(n_files) {}

  // Every structure of file number `index` (from 0) by every method.
  void run_file(const std::string& file, std::size_t index) {
    std::vector<Structure> structures;
    try {
      structures = read_structures(file, job_.read);
      if (job_.moving) structures = {join_frames(structures)};
    } catch (const std::exception& e) {
      if (!stop_flag()) out_.failure({file, "", e.what(), 0});
      return;
    }
    const std::string where = n_files_ > 1 ? "file " + std::to_string(index + 1) + " of " +
                                                 std::to_string(n_files_) + ", "
                                           : "";
    for (std::size_t si = 0; si < structures.size() && !stop_flag(); ++si) {
      const std::string what = display_name(file) + ": " + where + "structure " +
                               std::to_string(si + 1) + " of " + std::to_string(structures.size());
      for (Method m : job_.methods) {
        if (stop_flag()) break;
        if (job_.moving && m != Method::TM) continue;
        run_one(file, structures[si], m, what);
      }
    }
  }

 private:
  // Structure `s` of `file` by method `m`: a row, or a failure reported.
  void run_one(const std::string& file, const Structure& s, Method m, const std::string& what) {
    if (const ResultRow* saved = out_.saved(file, s.conformer, m)) {
      out_.row(*saved, RowOrigin::Checkpoint);
      return;
    }
    RunSettings st = job_.settings(m);
    st.cancel = &stop_flag();
    RunResult result;
    try {
      Progress bar(progress_, what + ", " + method_name(m), st.numerics.orientations);
      st.progress = bar.counter();
      result = run_method(s, st);
    } catch (const rt::Error& e) {
      if (e.id() != rt::kInterruptedId) out_.failure({file, method_name(m), run_failure_message(file, e), s.conformer});
      return;
    } catch (const std::exception& e) {
      out_.failure({file, method_name(m), run_failure_message(file, e), s.conformer});
      return;
    }
    out_.row(make_row(file, s, m, job_, std::move(result)));
  }

  const Job& job_;
  JobOutput& out_;
  bool progress_;
  std::size_t n_files_;
};

}  // namespace

int main(int argc, char** argv) {
#ifdef CCS_HAVE_MPI
  // Started by an MPI launcher: the distributed program over every rank.
  if (ccs::mpi::launched_by_mpi()) return ccs::mpi::run_distributed(argc, argv);
#endif
  install_stop_handlers();
  CommandLine cl;
  const int status = parse_command_line(argc, argv, cl);
  if (status >= 0) return status;
  Job job;
  std::unique_ptr<Checkpoint> checkpoint;
  try {
    make_job(cl, job);
    if (!cl.checkpoint.empty()) {
      checkpoint = std::make_unique<Checkpoint>(cl.checkpoint, checkpoint_settings(cl, job));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ccs: %s\n", e.what());
    return 2;
  }
  const OutputFormat format = cl.json ? OutputFormat::Json : cl.csv ? OutputFormat::Csv : OutputFormat::Table;
  std::unique_ptr<RowWriter> out = make_writer(format, std::cout, job.header);
  JobOutput rows(*out, checkpoint.get());
  JobRunner runner(job, rows, !cl.quiet && isatty(STDERR_FILENO), cl.files.size());
  for (std::size_t fi = 0; fi < cl.files.size() && !stop_flag(); ++fi) runner.run_file(cl.files[fi], fi);

  const bool interrupted = stop_flag().load();
  out->finish(interrupted);
  if (rows.rows_from_checkpoint() > 0) {
    std::fprintf(stderr, "ccs: %zu row(s) taken from the checkpoint %s\n", rows.rows_from_checkpoint(),
                 cl.checkpoint.c_str());
  }
  if (interrupted) {
    std::fprintf(stderr, "ccs: interrupted; the finished rows are printed\n");
    return stopped_status();
  }
  return rows.failed() ? 1 : 0;
}
