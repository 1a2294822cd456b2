// A progress line on standard error while a run goes on: a bar, the
// orientations done of the total, the rate and the time left. Drawn by a
// thread of its own every 250 ms from a counter the run increments.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace ccs::cli {

class Progress {
 public:
  Progress(bool enabled, std::string what, long total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  std::atomic<long>* counter() { return &done_; }

 private:
  void loop();
  bool enabled_;
  std::string what_;
  long total_;
  std::atomic<long> done_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace ccs::cli
