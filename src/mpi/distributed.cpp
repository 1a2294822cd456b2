#include "mpi/distributed.h"

#include <fcntl.h>
#include <mpi.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/checkpoint.h"
#include "cli/command_line.h"
#include "cli/input_file.h"
#include "cli/job_output.h"
#include "cli/progress.h"
#include "cli/readers.h"
#include "cli/run.h"
#include "cli/stop_signals.h"
#include "mpi/work_units.h"
#include "runtime/context.h"

namespace ccs::mpi {
namespace {

using namespace ccs::cli;
using Clock = std::chrono::steady_clock;

// Messages. A worker's request for file f carries tag kFileTag + f % kFileTags
// (a worker is at most one file ahead of rank 0, so tags never mix); rank 0
// answers on the same tag. The exit status goes out on kStatusTag.
constexpr int kStatusTag = 1;
constexpr int kFileTag = 2;
constexpr int kFileTags = 30000;
int file_tag(std::size_t f) { return kFileTag + static_cast<int>(f % kFileTags); }

// What a worker hands back: the unit it ran (-1: none yet) and how it went,
// followed by the unit's values (doubles) or a message (characters).
enum Status : std::int32_t { kNone = 0, kDone = 1, kFailed = 2, kInterrupted = 3 };
struct ReportHead {
  std::int32_t unit = -1;
  std::int32_t status = kNone;
};

// Rank 0's answer: unit index (kNoMoreUnits: this file is done here,
// kStop: the job stops), its run's structure and method, first orientation, count.
constexpr std::int32_t kNoMoreUnits = -1, kStop = -2;
struct Assignment {
  std::int32_t unit = kNoMoreUnits;
  std::int32_t structure = 0, method = 0, first = 0, count = 0;
};

// Waits for `req` without spinning a core (ranks share cores with the
// threads of rank 0's computation).
void wait_gently(MPI_Request* req) {
  int done = 0;
  auto pause = std::chrono::microseconds(10);
  for (;;) {
    MPI_Test(req, &done, MPI_STATUS_IGNORE);
    if (done) return;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(100));
  }
}

// The structures of one file on one rank, and the runs prepared from them
// (each prepared once, on first use; any thread).
class FileWork {
 public:
  FileWork(const Job& job, const std::string& file) : job_(job), file_(file) {
    try {
      structures_ = read_structures(file, job.read);
      if (job.moving) structures_ = {join_frames(structures_)};
    } catch (const std::exception& e) {
      read_error_ = e.what();
    }
  }
  const std::string& file() const { return file_; }
  const std::string& read_error() const { return read_error_; }
  const std::vector<Structure>& structures() const { return structures_; }

  const PreparedRun& prepared(int structure, int method) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!read_error_.empty()) throw std::runtime_error(read_error_);
    if (structure < 0 || static_cast<std::size_t>(structure) >= structures_.size()) {
      throw std::runtime_error(display_name(file_) + ": this rank read fewer structures than rank 0");
    }
    auto& slot = runs_[{structure, method}];
    if (!slot) {
      RunSettings st = job_.settings(job_.methods.at(static_cast<std::size_t>(method)));
      st.cancel = &stop_flag();
      slot = std::make_unique<PreparedRun>(structures_[static_cast<std::size_t>(structure)], st);
    }
    return *slot;
  }
  void forget(int structure, int method) {
    std::lock_guard<std::mutex> lock(mutex_);
    runs_.erase({structure, method});
  }

  // Runs one assignment; throws as the run does.
  std::vector<double> run(const Assignment& a) {
    return prepared(a.structure, a.method).run_block(a.first, a.count);
  }

 private:
  const Job& job_;
  std::string file_;
  std::string read_error_;
  std::vector<Structure> structures_;
  std::mutex mutex_;
  std::map<std::pair<int, int>, std::unique_ptr<PreparedRun>> runs_;
};

// The outcome of one unit on any rank.
struct Report {
  ReportHead head;
  std::vector<double> values;
  std::string message;
};

Report run_unit(FileWork& work, const Assignment& a) {
  Report r;
  r.head.unit = a.unit;
  try {
    r.values = work.run(a);
    r.head.status = kDone;
  } catch (const rt::Error& e) {
    r.head.status = e.id() == rt::kInterruptedId ? kInterrupted : kFailed;
    r.message = run_failure_message(work.file(), e);
  } catch (const std::exception& e) {
    r.head.status = kFailed;
    r.message = run_failure_message(work.file(), e);
  }
  return r;
}

std::vector<char> pack(const Report& r) {
  std::vector<char> buf(sizeof(ReportHead));
  std::memcpy(buf.data(), &r.head, sizeof r.head);
  if (r.head.status == kDone) {
    const std::size_t n = r.values.size() * sizeof(double);
    buf.resize(buf.size() + n);
    if (n > 0) std::memcpy(buf.data() + sizeof(ReportHead), r.values.data(), n);
  } else {
    buf.insert(buf.end(), r.message.begin(), r.message.end());
  }
  return buf;
}

Report unpack(const std::vector<char>& buf) {
  Report r;
  std::memcpy(&r.head, buf.data(), sizeof r.head);
  const std::size_t n = buf.size() - sizeof(ReportHead);
  if (r.head.status == kDone) {
    r.values.resize(n / sizeof(double));
    if (n > 0) std::memcpy(r.values.data(), buf.data() + sizeof(ReportHead), n);
  } else {
    r.message.assign(buf.data() + sizeof(ReportHead), n);
  }
  return r;
}

// ------------------------------------------------------------------ workers

// Ranks 1..R-1: for every file, read it, then ask rank 0 for units and run
// them until told the file is done (or the job stops); then wait for the
// job's exit status.
int worker_main(const Job& job, const CommandLine& cl) {
  bool stopped = false;
  for (std::size_t f = 0; f < cl.files.size() && !stopped; ++f) {
    FileWork work(job, cl.files[f]);
    Report report;
    for (;;) {
      const std::vector<char> out = pack(report);
      MPI_Send(out.data(), static_cast<int>(out.size()), MPI_BYTE, 0, file_tag(f), MPI_COMM_WORLD);
      Assignment a;
      MPI_Request req;
      MPI_Irecv(&a, sizeof a, MPI_BYTE, 0, file_tag(f), MPI_COMM_WORLD, &req);
      wait_gently(&req);
      if (a.unit == kNoMoreUnits) break;
      if (a.unit == kStop) {
        stopped = true;
        break;
      }
      report = run_unit(work, a);
    }
  }
  int status = 0;
  MPI_Request req;
  MPI_Irecv(&status, 1, MPI_INT, 0, kStatusTag, MPI_COMM_WORLD, &req);
  wait_gently(&req);
  return status;
}

// ------------------------------------------------------------------ rank 0

// Rank 0's own computation: a thread that runs the units handed over by
// the coordinator (rank 0's main thread, which alone calls MPI), one after
// the other. The coordinator keeps a second unit queued while many remain,
// so the thread never waits for it to wake up; a finished unit wakes the
// coordinator.
class LocalWorker {
 public:
  explicit LocalWorker(int threads) : thread_([this, threads] { loop(threads); }) {}
  ~LocalWorker() {
    {
      std::lock_guard<std::mutex> lock(m_);
      quit_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  // Units given and not yet taken back.
  int outstanding() {
    std::lock_guard<std::mutex> lock(m_);
    return outstanding_;
  }
  void give(FileWork* work, const Assignment& a) {
    {
      std::lock_guard<std::mutex> lock(m_);
      tasks_.push_back(Task{work, a});
      ++outstanding_;
    }
    cv_.notify_all();
  }
  // Waits up to `d` for a finished unit.
  void wait_for_result(std::chrono::microseconds d) {
    std::unique_lock<std::mutex> lock(m_);
    done_cv_.wait_for(lock, d, [this] { return !results_.empty(); });
  }
  // Recent seconds per unit (a moving average; 0 before the first).
  double recent_unit_seconds() {
    std::lock_guard<std::mutex> lock(m_);
    return recent_seconds_;
  }
  // The report of a unit that finished, once.
  std::optional<Report> take() {
    std::lock_guard<std::mutex> lock(m_);
    if (results_.empty()) return std::nullopt;
    Report r = std::move(results_.front());
    results_.pop_front();
    --outstanding_;
    return r;
  }

 private:
  struct Task {
    FileWork* work;
    Assignment a;
  };
  void loop(int threads) {
    omp_set_num_threads(threads);  // this thread's own OpenMP setting
    for (;;) {
      Task t{};
      {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return quit_ || !tasks_.empty(); });
        if (quit_) return;
        t = tasks_.front();
        tasks_.pop_front();
      }
      const Clock::time_point t0 = Clock::now();
      Report r = run_unit(*t.work, t.a);
      const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
      {
        std::lock_guard<std::mutex> lock(m_);
        results_.push_back(std::move(r));
        recent_seconds_ = recent_seconds_ > 0 ? 0.75 * recent_seconds_ + 0.25 * seconds : seconds;
      }
      done_cv_.notify_all();
    }
  }
  std::mutex m_;
  std::condition_variable cv_, done_cv_;
  std::deque<Task> tasks_;
  std::deque<Report> results_;
  int outstanding_ = 0;
  double recent_seconds_ = 0;
  bool quit_ = false;
  std::thread thread_;
};

class Coordinator {
 public:
  Coordinator(const Job& job, const CommandLine& cl, JobOutput& out, int ranks, bool progress)
      : job_(job), cl_(cl), out_(out), ranks_(ranks), progress_(progress),
        local_(std::max(1, cl.threads)), worker_file_(static_cast<std::size_t>(ranks), 0),
        worker_stopped_(static_cast<std::size_t>(ranks), false) {}

  // Every file; false when the job was stopped.
  bool run() {
    for (std::size_t f = 0; f < cl_.files.size(); ++f) {
      if (stop_flag()) break;
      run_file(f);
    }
    if (stop_flag()) stop_workers();
    return !stop_flag();
  }

  // The exit status to every worker.
  void send_status(int status) {
    for (int w = 1; w < ranks_; ++w) MPI_Send(&status, 1, MPI_INT, w, kStatusTag, MPI_COMM_WORLD);
  }

 private:
  struct RunState {
    int structure = 0, method = 0;
    int chunks = 0, chunks_done = 0;
    std::vector<double> values;
    bool saved = false;   // the checkpoint holds its row
    bool failed = false;
    std::string message;
    bool started = false;
    Clock::time_point t0;
    std::optional<ResultRow> row;  // finished (and kept in the checkpoint)
    bool emitted = false;
    bool complete() const { return saved || failed || row.has_value(); }
  };

  // What rank 0 knows of one file while its units are out.
  struct FileRound {
    FileRound(const Job& job, std::size_t index, const std::string& path)
        : f(index), file(path), work(job, path) {}
    std::size_t f;
    const std::string& file;
    FileWork work;
    std::vector<RunState> runs;  // in the job's order
    std::vector<Unit> units;
    std::size_t next_unit = 0, next_row = 0, units_back = 0;
    int dismissed = 0;  // workers told this file has no more units
    std::optional<Progress> bar;
  };

  // Every run of file `f` by units over all ranks, rows in the job's order.
  void run_file(std::size_t f) {
    FileRound round(job_, f, cl_.files[f]);
    if (!round.work.read_error().empty()) out_.failure({round.file, "", round.work.read_error(), 0});
    plan_units(round);
    for (int w = 1; w < ranks_; ++w) {
      if (worker_stopped_[static_cast<std::size_t>(w)]) ++round.dismissed;
    }
    int idle_rounds = 0;
    for (;;) {
      bool busy = false;
      // Rank 0's own thread: its finished units, and the next ones (two
      // queued while more than two per rank remain).
      while (std::optional<Report> rep = local_.take()) {
        handle(round, *rep);
        busy = true;
      }
      const int depth = round.units.size() - round.next_unit > 2 * static_cast<std::size_t>(ranks_) ? 2 : 1;
      while (!stop_flag() && local_.outstanding() < depth) {
        const std::optional<std::size_t> i = next_unit(round);
        if (!i) break;
        local_.give(&round.work, assignment(round, *i));
      }
      busy = serve_request(round) || busy;
      emit_rows(round);
      const bool local_busy = local_.outstanding() > 0;
      if (stop_flag() && !local_busy) {
        for (RunState& r : round.runs) {
          if (!r.emitted && r.complete()) emit_run(round, r);
        }
        break;
      }
      if (round.units_back == round.units.size() && !local_busy && round.dismissed == ranks_ - 1) break;
      if (busy) {
        idle_rounds = 0;
      } else {
        local_.wait_for_result(idle_poll_interval(local_.recent_unit_seconds(), idle_rounds++));
      }
    }
  }

  // The runs of the file in the job's order (structure by structure, method
  // by method) and the units of those not in the checkpoint.
  void plan_units(FileRound& round) {
    std::vector<RunSpec> specs;
    std::vector<std::size_t> spec_run;  // run of each spec
    const std::vector<Structure>& structures = round.work.structures();
    for (std::size_t s = 0; s < structures.size(); ++s) {
      for (std::size_t m = 0; m < job_.methods.size(); ++m) {
        const Method method = job_.methods[m];
        if (job_.moving && method != Method::TM) continue;
        RunState r;
        r.structure = static_cast<int>(s);
        r.method = static_cast<int>(m);
        r.saved = out_.saved(round.file, structures[s].conformer, method) != nullptr;
        if (!r.saved) {
          const RunSettings st = job_.settings(method);
          const int n = st.tensor ? 3 : st.numerics.orientations;
          const double per = std::max(1.0, st.numerics.trajectories);
          specs.push_back({r.structure, r.method, n, per * static_cast<double>(structures[s].atoms.size())});
          spec_run.push_back(round.runs.size());
        }
        round.runs.push_back(std::move(r));
      }
    }
    round.units = make_units(specs, ranks_);
    long total = 0;
    for (Unit& u : round.units) {
      u.run = static_cast<int>(spec_run[static_cast<std::size_t>(u.run)]);
      ++round.runs[static_cast<std::size_t>(u.run)].chunks;
      total += u.count;
    }
    round.bar.emplace(progress_,
                      display_name(round.file) + ": " + std::to_string(structures.size()) +
                          " structure(s) on " + std::to_string(ranks_) + " rank(s)",
                      total);
  }

  // The next unit worth running (not of a run that failed), or none.
  std::optional<std::size_t> next_unit(FileRound& round) {
    while (round.next_unit < round.units.size() &&
           round.runs[static_cast<std::size_t>(round.units[round.next_unit].run)].failed) {
      ++round.units_back;  // a unit of a failed run is never run
      ++round.next_unit;
    }
    if (round.next_unit == round.units.size()) return std::nullopt;
    RunState& r = round.runs[static_cast<std::size_t>(round.units[round.next_unit].run)];
    if (!r.started) {
      r.started = true;
      r.t0 = Clock::now();
    }
    return round.next_unit++;
  }

  static Assignment assignment(const FileRound& round, std::size_t i) {
    const Unit& u = round.units[i];
    const RunState& r = round.runs[static_cast<std::size_t>(u.run)];
    return Assignment{static_cast<std::int32_t>(i), r.structure, r.method, u.first, u.count};
  }

  // A unit's values back from a rank: into its run, and the run finished
  // (its row kept in the checkpoint) when it was the last.
  void handle(FileRound& round, const Report& rep) {
    if (rep.head.unit < 0) return;
    ++round.units_back;
    const Unit& u = round.units[static_cast<std::size_t>(rep.head.unit)];
    RunState& r = round.runs[static_cast<std::size_t>(u.run)];
    if (rep.head.status == kInterrupted) {
      stop_job(SIGTERM);
      return;
    }
    if (r.failed) return;
    if (rep.head.status == kFailed) {
      r.failed = true;
      r.message = rep.message;
      round.work.forget(r.structure, r.method);
      return;
    }
    const std::size_t w = rep.values.size() / static_cast<std::size_t>(std::max(u.count, 1));
    if (r.values.empty()) {
      const RunSettings st = job_.settings(job_.methods[static_cast<std::size_t>(r.method)]);
      const int n = st.tensor ? 3 : st.numerics.orientations;
      r.values.assign(static_cast<std::size_t>(n) * w, 0.0);
    }
    std::copy(rep.values.begin(), rep.values.end(), r.values.begin() + static_cast<std::ptrdiff_t>(u.first * w));
    ++r.chunks_done;
    round.bar->counter()->fetch_add(u.count);
    if (r.chunks_done < r.chunks) return;
    // The run's wall time: from its first unit handed out to its last back.
    const double seconds = std::chrono::duration<double>(Clock::now() - r.t0).count();
    const Structure& s = round.work.structures()[static_cast<std::size_t>(r.structure)];
    const Method m = job_.methods[static_cast<std::size_t>(r.method)];
    try {
      RunResult res = round.work.prepared(r.structure, r.method).finish(r.values, seconds);
      r.row = make_row(round.file, s, m, job_, std::move(res));
      out_.keep(*r.row);
    } catch (const std::exception& e) {
      r.failed = true;
      r.message = run_failure_message(round.file, e);
    }
    std::vector<double>().swap(r.values);
    round.work.forget(r.structure, r.method);
  }

  // One pending request of another rank, if any: its report taken, and its
  // next unit (or "no more units", or "stop") sent. True when one was served.
  bool serve_request(FileRound& round) {
    int flag = 0;
    MPI_Status st;
    MPI_Iprobe(MPI_ANY_SOURCE, file_tag(round.f), MPI_COMM_WORLD, &flag, &st);
    if (!flag) return false;
    int bytes = 0;
    MPI_Get_count(&st, MPI_BYTE, &bytes);
    std::vector<char> buf(static_cast<std::size_t>(bytes));
    MPI_Recv(buf.data(), bytes, MPI_BYTE, st.MPI_SOURCE, st.MPI_TAG, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    handle(round, unpack(buf));
    Assignment a;
    if (stop_flag()) {
      a.unit = kStop;
      worker_stopped_[static_cast<std::size_t>(st.MPI_SOURCE)] = true;
      ++round.dismissed;
    } else if (std::optional<std::size_t> i = next_unit(round)) {
      a = assignment(round, *i);
    } else {
      a.unit = kNoMoreUnits;
      worker_file_[static_cast<std::size_t>(st.MPI_SOURCE)] = round.f + 1;
      ++round.dismissed;
    }
    MPI_Send(&a, sizeof a, MPI_BYTE, st.MPI_SOURCE, st.MPI_TAG, MPI_COMM_WORLD);
    return true;
  }

  // Rows (and failures) in the job's order, each as soon as it and every
  // one before it are complete.
  void emit_rows(FileRound& round) {
    while (round.next_row < round.runs.size() && round.runs[round.next_row].complete()) {
      emit_run(round, round.runs[round.next_row++]);
    }
  }

  void emit_run(FileRound& round, RunState& r) {
    const Structure& s = round.work.structures()[static_cast<std::size_t>(r.structure)];
    const Method m = job_.methods[static_cast<std::size_t>(r.method)];
    r.emitted = true;
    if (r.saved) {
      out_.row(*out_.saved(round.file, s.conformer, m), RowOrigin::Checkpoint);
    } else if (r.row) {
      out_.row(*r.row, RowOrigin::Kept);
      r.row.reset();
    } else if (r.failed) {
      out_.failure({round.file, method_name(m), r.message, s.conformer});
    }
  }

  // After a stop: every worker still running is told to stop at its next
  // request (it finishes or abandons its unit first).
  void stop_workers() {
    int pending = 0;
    for (int w = 1; w < ranks_; ++w) {
      const std::size_t i = static_cast<std::size_t>(w);
      if (!worker_stopped_[i] && worker_file_[i] < cl_.files.size()) ++pending;
    }
    while (pending > 0) {
      MPI_Status st;
      int flag = 0;
      MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &st);
      if (!flag) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      int bytes = 0;
      MPI_Get_count(&st, MPI_BYTE, &bytes);
      std::vector<char> buf(static_cast<std::size_t>(bytes));
      MPI_Recv(buf.data(), bytes, MPI_BYTE, st.MPI_SOURCE, st.MPI_TAG, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
      Assignment a;
      a.unit = kStop;
      MPI_Send(&a, sizeof a, MPI_BYTE, st.MPI_SOURCE, st.MPI_TAG, MPI_COMM_WORLD);
      const std::size_t i = static_cast<std::size_t>(st.MPI_SOURCE);
      if (!worker_stopped_[i]) {
        worker_stopped_[i] = true;
        --pending;
      }
    }
  }

  const Job& job_;
  const CommandLine& cl_;
  JobOutput& out_;
  int ranks_;
  bool progress_;
  LocalWorker local_;
  std::vector<std::size_t> worker_file_;  // the file each worker asks for next
  std::vector<bool> worker_stopped_;
};

// Standard output and error of a worker go nowhere: rank 0 speaks for the job.
void silence() {
  const int null = open("/dev/null", O_WRONLY);
  if (null < 0) return;
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(null, STDOUT_FILENO);
  dup2(null, STDERR_FILENO);
  close(null);
}

// Ranks sharing this rank's node.
int ranks_on_node() {
  MPI_Comm node;
  MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
  int n = 1;
  MPI_Comm_size(node, &n);
  MPI_Comm_free(&node);
  return n;
}

int finish(int status) {
  MPI_Finalize();
  return status;
}

}  // namespace

bool launched_by_mpi() {
  for (const char* v : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"}) {
    if (std::getenv(v) != nullptr) return true;
  }
  return false;
}

int run_distributed(int argc, char** argv) {
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  int rank = 0, ranks = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  install_stop_handlers();

  // Every rank parses the same command line; rank 0 alone prints.
  CommandLine cl;
  int status;
  {
    int saved_out = -1, saved_err = -1;
    if (rank != 0) {
      saved_out = dup(STDOUT_FILENO);
      saved_err = dup(STDERR_FILENO);
      silence();
    }
    status = parse_command_line(argc, argv, cl);
    if (rank != 0) {
      dup2(saved_out, STDOUT_FILENO);
      dup2(saved_err, STDERR_FILENO);
      close(saved_out);
      close(saved_err);
    }
  }
  if (status >= 0) return finish(status);
  for (const std::string& f : cl.files) {
    if (f == "-") {
      if (rank == 0) std::fprintf(stderr, "ccs: standard input (-) cannot be read under MPI: every rank reads the files; give a file\n");
      return finish(2);
    }
  }
  // The processors of a node shared by its ranks.
  if (cl.threads == 0) cl.threads = std::max(1, omp_get_num_procs() / ranks_on_node());

  // Rank 0 makes the job (drawing the seed, opening the checkpoint); the
  // others make it with rank 0's seed.
  Job job;
  std::unique_ptr<Checkpoint> checkpoint;
  long long seed = -1;
  if (rank == 0) {
    try {
      make_job(cl, job);
      if (!cl.checkpoint.empty()) checkpoint = std::make_unique<Checkpoint>(cl.checkpoint, checkpoint_settings(cl, job));
      seed = job.common.seed;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ccs: %s\n", e.what());
      seed = -1;
    }
  }
  MPI_Bcast(&seed, 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
  if (seed < 0) return finish(2);
  if (rank != 0) {
    cl.seed = seed;
    try {
      make_job(cl, job);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ccs: rank %d: %s\n", rank, e.what());
      MPI_Abort(MPI_COMM_WORLD, 2);
    }
    silence();
    return finish(worker_main(job, cl));
  }

  const OutputFormat format = cl.json ? OutputFormat::Json : cl.csv ? OutputFormat::Csv : OutputFormat::Table;
  job.header.ranks = ranks;
  std::unique_ptr<RowWriter> out = make_writer(format, std::cout, job.header);
  JobOutput rows(*out, checkpoint.get());
  Coordinator coordinator(job, cl, rows, ranks, !cl.quiet && isatty(STDERR_FILENO));
  const bool complete = coordinator.run();
  out->finish(!complete);
  if (rows.rows_from_checkpoint() > 0) {
    std::fprintf(stderr, "ccs: %zu row(s) taken from the checkpoint %s\n", rows.rows_from_checkpoint(),
                 cl.checkpoint.c_str());
  }
  if (!complete) {
    std::fprintf(stderr, "ccs: interrupted; the finished rows are printed\n");
    status = stopped_status();
  } else {
    status = rows.failed() ? 1 : 0;
  }
  coordinator.send_status(status);
  return finish(status);
}

}  // namespace ccs::mpi
