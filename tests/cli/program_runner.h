// Runs the ccs program for the end-to-end tests: exit status, standard
// output and standard error.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "cli_test_files.h"

namespace ccs::test {

struct Outcome {
  int status = -1;  // exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

inline std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// Runs "<before>ccs <args>" through the shell (`before` may pipe into it).
inline Outcome run_shell(const std::string& before, const std::string& args, const TempDir& dir) {
  const std::string err_file = dir.path() + "/stderr.txt";
  const std::string cmd = before + std::string(CCS_BINARY) + " " + args + " 2>" + err_file;
  Outcome o;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return o;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.out.append(buf, n);
  const int st = pclose(p);
  o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  o.err = slurp(err_file);
  return o;
}

inline Outcome run(const std::string& args, const TempDir& dir) { return run_shell("", args, dir); }

// Starts ccs with `args`, waits until its standard output (or error, with
// `watch_err`) holds `needle` (at most `wait_s` seconds), sends `sig` and
// returns how it ended.
inline Outcome run_and_signal(const std::string& args, const std::string& needle, int sig,
                              const TempDir& dir, double wait_s = 300, bool watch_err = false) {
  const std::string out_file = dir.path() + "/signal_out.txt";
  const std::string err_file = dir.path() + "/signal_err.txt";
  const std::string cmd = "exec " + std::string(CCS_BINARY) + " " + args + " >" + out_file +
                          " 2>" + err_file;
  Outcome o;
  const pid_t pid = fork();
  if (pid < 0) return o;
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto t0 = std::chrono::steady_clock::now();
  while (slurp(watch_err ? err_file : out_file).find(needle) == std::string::npos &&
         std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() < wait_s) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, sig);
  int st = 0;
  waitpid(pid, &st, 0);
  o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  o.out = slurp(out_file);
  o.err = slurp(err_file);
  return o;
}

}  // namespace ccs::test
