// Shared entry layer of the generated plug-ins: count checks, input
// conversion with class/complexity/size checks, output assembly, the
// first-call initialisation and the conversion of errors into host errors.
//
// A plug-in is a table of its inputs plus a compute function that calls its
// driver and hands the results to an Outputs builder; CCS_MEX_PLUGIN defines
// the exported entry points around them.
#pragma once

#include <mex.h>
#include <omp.h>

#include <string>
#include <vector>

#include "runtime/context.h"
#include "runtime/emx_array.h"

namespace mexentry {

enum class Kind {
  Scalar,     // real double 1x1, copied into a double
  Matrix,     // real double 2-D, each extent at most its bound; data borrowed
  Protected,  // as Matrix, but the computation works on a private copy
  Column,     // real double Nx1, N at most its bound; one-dimensional array
  InOut,      // scalar passed by reference and returned as an output
};

struct InputSpec {
  const char* name;
  Kind kind;
  long max_rows = 1;
  long max_cols = 1;
};

struct Plugin {
  const char* name;
  int num_inputs;
  int max_outputs;
  const InputSpec* inputs;
};

// Converted inputs, indexed by input position (0-based).
class Inputs {
 public:
  Inputs(rt::Context* ctx, const Plugin& plugin, const mxArray* const prhs[]);
  Inputs(const Inputs&) = delete;
  Inputs& operator=(const Inputs&) = delete;
  ~Inputs();
  double scalar(int i) const { return scalars_[i]; }
  double* inout(int i) { return &scalars_[i]; }
  emxArray_real_T* array(int i) const { return arrays_[i]; }

 private:
  std::vector<double> scalars_;
  std::vector<emxArray_real_T*> arrays_;
};

// Builds outputs in order: output 1 always, output k >= 2 only while k <= nlhs.
class Outputs {
 public:
  Outputs(int nlhs, mxArray* plhs[]) : nlhs_(nlhs), plhs_(plhs) {}
  void scalar(double v);
  void matrix(const emxArray_real_T* a);  // 2-D double array with the record's data
  void empty();                           // 0x0 double placeholder
  int built() const { return built_; }

 private:
  bool wanted() const { return pos_ == 0 || pos_ < nlhs_; }
  int nlhs_;
  mxArray** plhs_;
  int pos_ = 0;
  int built_ = 0;
};

using ComputeFn = void (*)(rt::Context* ctx, Inputs& in, Outputs& out);

// The body of every generated mexFunction.
void run(const Plugin& plugin, ComputeFn compute, void (*initialize)(), void (*terminate)(),
         void (*atexit_fn)(), int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// Run-time bookkeeping shared by the exported companions.
void initialize();  // root context; random streams on the first call after loading
void terminate();   // destroys the root context
void atexit_handler();
rt::Context* root_context();
mxArray* function_properties(const Plugin& plugin);
void locker(void (*fn)(const void*, void*), const void* a, void* b);

}  // namespace mexentry

// Defines the exported entry points of plug-in NAME. The plug-in provides
// `NAME##_plugin` (a mexentry::Plugin) and `NAME##_compute` (a ComputeFn).
#define CCS_MEX_PLUGIN(NAME)                                                                  \
  extern "C" {                                                                                \
  void NAME##_initialize() { mexentry::initialize(); }                                        \
  void NAME##_terminate() { mexentry::terminate(); }                                          \
  void NAME##_atexit() { mexentry::atexit_handler(); }                                        \
  void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {              \
    mexentry::run(NAME##_plugin, NAME##_compute, NAME##_initialize, NAME##_terminate,         \
                  NAME##_atexit, nlhs, plhs, nrhs, prhs);                                     \
  }                                                                                           \
  void mexfilerequiredapiversion(unsigned int* buildRelease, unsigned int* targetApiVersion) { \
    *buildRelease = 131467u;                                                                  \
    *targetApiVersion = 134217728u;                                                           \
  }                                                                                           \
  mxArray* emlrtMexFcnProperties() { return mexentry::function_properties(NAME##_plugin); }   \
  void* emlrtGetRootTLSGlobal() { return mexentry::root_context(); }                          \
  void emlrtLockerFunction(void (*fn)(const void*, void*), const void* a, void* b) {          \
    mexentry::locker(fn, a, b);                                                               \
  }                                                                                           \
  }
