#include "python/run_binding.h"

#include <omp.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace py = pybind11;

namespace ccs::python {
namespace {

// A Python exception taken out of the interpreter's error indicator, to be
// raised again once the worker has stopped.
class PendingError {
 public:
  void take() { PyErr_Fetch(&type_, &value_, &trace_); }
  bool set() const { return type_ != nullptr; }
  [[noreturn]] void raise() {
    PyErr_Restore(type_, value_, trace_);
    throw py::error_already_set();
  }

 private:
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* trace_ = nullptr;
};

constexpr auto kWake = std::chrono::milliseconds(50);

}  // namespace

cli::RunResult run_interruptibly(const cli::Structure& s, const cli::RunSettings& settings,
                                 int threads, const py::object& progress) {
  std::atomic<long> done{0};
  std::atomic<bool> cancel{false};
  cli::RunSettings st = settings;
  st.progress = &done;
  st.cancel = &cancel;
  const long total = st.tensor ? 3 : st.numerics.orientations;
  const bool report = !progress.is_none();

  cli::RunResult result;
  std::exception_ptr failure;
  PendingError pending;
  std::mutex m;
  std::condition_variable cv;
  bool finished = false;
  {
    py::gil_scoped_release released;
    std::thread worker([&] {
      try {
        if (threads > 0) omp_set_num_threads(threads);
        result = cli::run_method(s, st);
      } catch (...) {
        failure = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> g(m);
        finished = true;
      }
      cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(m);
    while (!cv.wait_for(lock, kWake, [&] { return finished; })) {
      if (pending.set()) continue;  // cancelled: wait for the worker
      lock.unlock();
      {
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0) {
          pending.take();
        } else if (report) {
          try {
            progress(done.load(), total);
          } catch (py::error_already_set& e) {
            e.restore();
            pending.take();
          }
        }
      }
      if (pending.set()) cancel = true;
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (pending.set()) pending.raise();
  if (failure) std::rethrow_exception(failure);
  if (report) progress(done.load(), total);
  return result;
}

}  // namespace ccs::python
