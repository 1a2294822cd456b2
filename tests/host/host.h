// Test-side control of the test host (see mex.h): building input arrays,
// calling a plug-in the way the host does, and what the host saw during the
// call.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "mex.h"

namespace testhost {

// What mexErrMsgIdAndTxt / mexErrMsgTxt throw: the host error that ends a call.
class HostError : public std::runtime_error {
 public:
  HostError(std::string id, const std::string& message)
      : std::runtime_error(message), id_(std::move(id)) {}
  const std::string& id() const { return id_; }

 private:
  std::string id_;
};

struct ArrayDeleter {
  void operator()(mxArray* a) const;
};
// An array owned by the test (inputs, and the outputs a call returned).
using Array = std::unique_ptr<mxArray, ArrayDeleter>;

Array scalar(double v);
// rows x cols double matrix from column-major values (missing values are 0).
Array matrix(mwSize rows, mwSize cols, const std::vector<double>& values = {});
// Any numeric or logical class and any number of dimensions, zero-filled;
// complex arrays get an imaginary part of 1 everywhere.
Array numeric(mxClassID cls, const std::vector<mwSize>& dims, mxComplexity c = mxREAL);
Array sparse(mwSize rows, mwSize cols, mwSize nonzeros);
Array string(const char* text);
Array cell(mwSize rows, mwSize cols);
Array record(mwSize rows, mwSize cols);

// The host's view of one call.
struct CallResult {
  bool ok = false;             // no host error
  std::string id;              // the host error's identifier
  std::string message;         // and its text
  std::vector<Array> outputs;  // plhs[0 .. max(nlhs, 1)), null where not set
  std::string console;         // everything printed during the call
  int leftovers = 0;  // arrays or mxMalloc blocks of the call neither returned nor freed
  bool inputs_changed = false;  // an input's class, size or values changed
};

using MexFunctionPtr = void (*)(int, mxArray*[], int, const mxArray*[]);

// Calls fn as the host does: output slots for max(nlhs, 1) outputs, the
// inputs read-only. A host error ends the call (outputs already set are
// freed, as the host does). Any other exception leaving fn is a defect of
// the plug-in and is rethrown as std::logic_error. Arrays and blocks the call
// left behind are counted in `leftovers` and freed.
CallResult call(MexFunctionPtr fn, int nlhs, const std::vector<const mxArray*>& inputs);
// The mexFunction of the plug-in this executable is built with.
inline CallResult call(int nlhs, const std::vector<const mxArray*>& inputs) {
  return call(&mexFunction, nlhs, inputs);
}

// Runs and clears the function registered with mexAtExit (the host unloading
// the plug-in).
void unload();
bool has_exit_handler();

// Arrays currently alive (created and not destroyed), over the whole process.
std::size_t live_arrays();

// Column-major values of a double array's real part (empty for other classes).
std::vector<double> values(const mxArray* a);
std::vector<mwSize> dims(const mxArray* a);

}  // namespace testhost
