// One run of a method from Python: the computation goes on a worker thread
// without the GIL while the calling thread wakes every 50 ms to take the GIL,
// deliver signals (Ctrl-C) and report progress.
#pragma once

#include <pybind11/pybind11.h>

#include "cli/run.h"
#include "cli/structure.h"

namespace ccs::python {

// Runs `settings` on `s` with `threads` OpenMP threads (0: the default).
// `progress`, when not None, is called as progress(done, total) with the
// orientations finished, every 50 ms and once at the end. A signal handler
// or a progress callback that raises cancels the run, which stops within a
// fraction of a second, and its exception (KeyboardInterrupt for Ctrl-C)
// propagates. Errors of the run propagate as C++ exceptions.
cli::RunResult run_interruptibly(const cli::Structure& s, const cli::RunSettings& settings,
                                 int threads, const pybind11::object& progress);

}  // namespace ccs::python
