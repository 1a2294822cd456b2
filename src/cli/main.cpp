// ccs: collision cross section and mobility of the ions in structure files
// under given gas conditions, by the projection approximation, exact
// hard-sphere scattering or the trajectory method.
//
// Exit status: 0 when every run gave a result, 1 when a file or a run
// failed or gave no result, 2 for a bad command line, 128 + the signal
// number after SIGINT or SIGTERM (the finished rows are printed first).
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

#include "cli/command_line.h"
#include "cli/input_file.h"
#include "cli/output.h"
#include "cli/readers.h"
#include "cli/run.h"
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

// The rows of a job, written as they finish; remembers whether any run
// failed or gave no result.
class JobRunner {
 public:
  JobRunner(const Job& job, RowWriter& out, bool progress, std::size_t n_files)
      : job_(job), out_(out), progress_(progress), n_files_(n_files) {}

  bool failed() const { return failed_; }

  // Every structure of file number `index` (from 0) by every method.
  void run_file(const std::string& file, std::size_t index) {
    std::vector<Structure> structures;
    try {
      structures = read_structures(file, job_.read);
      if (job_.moving) structures = {join_frames(structures)};
    } catch (const std::exception& e) {
      if (!g_cancel) report_failure({file, "", e.what(), 0});
      return;
    }
    const std::string where = n_files_ > 1 ? "file " + std::to_string(index + 1) + " of " +
                                                 std::to_string(n_files_) + ", "
                                           : "";
    for (std::size_t si = 0; si < structures.size() && !g_cancel; ++si) {
      const std::string what = display_name(file) + ": " + where + "structure " +
                               std::to_string(si + 1) + " of " + std::to_string(structures.size());
      for (Method m : job_.methods) {
        if (g_cancel) break;
        if (job_.moving && m != Method::TM) continue;
        run_one(file, structures[si], m, what);
      }
    }
  }

 private:
  void report_failure(const FailedItem& f) {
    std::fprintf(stderr, "ccs: %s\n", f.message.c_str());
    out_.failure(f);
    failed_ = true;
  }

  // Structure `s` of `file` by method `m`: a row, or a failure reported.
  void run_one(const std::string& file, const Structure& s, Method m, const std::string& what) {
    RunSettings st = job_.settings(m);
    st.cancel = &g_cancel;
    ResultRow row;
    row.file = file;
    row.title = s.title;
    row.conformer = s.conformer;
    row.atoms = static_cast<int>(s.atoms.size());
    row.method = method_name(m);
    row.tensor = st.tensor;
    row.structure_notes = s.notes;
    const std::string name = display_name(file);
    try {
      Progress bar(progress_, what + ", " + method_name(m), st.numerics.orientations);
      st.progress = bar.counter();
      row.result = run_method(s, st);
    } catch (const rt::Error& e) {
      if (e.id() != rt::kInterruptedId) report_failure({file, row.method, name + ": " + e.what(), s.conformer});
      return;
    } catch (const std::exception& e) {
      std::string msg = e.what();
      if (msg.rfind(name, 0) != 0) msg = name + ": " + msg;
      report_failure({file, row.method, msg, s.conformer});
      return;
    }
    if (job_.common.tensor && m == Method::PA) {
      row.result.notes.push_back("pa has no tensor mode: it ran with random orientations");
    }
    if (!row.result.not_a_result.empty()) {
      std::fprintf(stderr, "ccs: %s %s: not a result: %s\n", row_label(name, s.conformer).c_str(),
                   row.method.c_str(), row.result.not_a_result.c_str());
      failed_ = true;
    }
    out_.row(row);
  }

  const Job& job_;
  RowWriter& out_;
  bool progress_;
  std::size_t n_files_;
  bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  install_signal_handlers();
  CommandLine cl;
  const int status = parse_command_line(argc, argv, cl);
  if (status >= 0) return status;
  Job job;
  try {
    make_job(cl, job);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ccs: %s\n", e.what());
    return 2;
  }
  const OutputFormat format = cl.json ? OutputFormat::Json : cl.csv ? OutputFormat::Csv : OutputFormat::Table;
  std::unique_ptr<RowWriter> out = make_writer(format, std::cout, job.header);
  JobRunner runner(job, *out, !cl.quiet && isatty(STDERR_FILENO), cl.files.size());
  for (std::size_t fi = 0; fi < cl.files.size() && !g_cancel; ++fi) runner.run_file(cl.files[fi], fi);

  const bool interrupted = g_cancel.load();
  out->finish(interrupted);
  if (interrupted) {
    std::fprintf(stderr, "ccs: interrupted; the finished rows are printed\n");
    return 128 + (g_signal != 0 ? static_cast<int>(g_signal) : SIGINT);
  }
  return runner.failed() ? 1 : 0;
}
