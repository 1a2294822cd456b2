#include "cli/stop_signals.h"

#include <csignal>

namespace ccs::cli {
namespace {

std::atomic<bool> g_stop{false};
volatile std::sig_atomic_t g_signal = 0;
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void on_stop_signal(int sig) {
  g_signal = sig;
  g_stop.store(true);
}

}  // namespace

void install_stop_handlers() {
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

std::atomic<bool>& stop_flag() { return g_stop; }

void stop_job(int sig) {
  if (g_signal == 0) g_signal = sig;
  g_stop.store(true);
}

int stopped_status() { return 128 + (g_signal != 0 ? static_cast<int>(g_signal) : SIGINT); }

}  // namespace ccs::cli
