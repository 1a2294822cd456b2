#include "cli/progress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace ccs::cli {

Progress::Progress(bool enabled, std::string what, long total)
    : enabled_(enabled), what_(std::move(what)), total_(total) {
  if (enabled_) thread_ = std::thread([this] { loop(); });
}

Progress::~Progress() {
  if (!enabled_) return;
  stop_ = true;
  thread_.join();
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
}

void Progress::loop() {
  const auto t0 = std::chrono::steady_clock::now();
  // Drawn at least once, also for a run that ends before this thread starts
  // (the bar names what is being run).
  do {
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
  } while (!stop_);
}

}  // namespace ccs::cli
