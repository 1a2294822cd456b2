// SIGINT and SIGTERM ask a job to stop: running methods poll a lock-free
// flag and stop soon, the finished rows are printed, and the program exits
// with 128 + the signal number. A second signal ends the process at once.
#pragma once

#include <atomic>

namespace ccs::cli {

// Installs the handlers (one-shot: the second signal gets the default action).
void install_stop_handlers();

// Set by the first SIGINT or SIGTERM (or by stop_job).
std::atomic<bool>& stop_flag();

// Asks the job to stop as if `sig` had arrived (a distributed run stops
// every rank when one of them was signalled).
void stop_job(int sig);

// 128 + the signal that stopped the job (SIGINT when none was recorded).
int stopped_status();

}  // namespace ccs::cli
