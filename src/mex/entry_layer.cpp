#include "entry_layer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "runtime/random_streams.h"

#include <dlfcn.h>

#include <csignal>

// Process-wide state of one loaded plug-in.
static omp_lock_t emlrtLockGlobal;
static omp_nest_lock_t emlrtNestLockGlobal;
static rt::Context* emlrtRootTLSGlobal = nullptr;

namespace mexentry {
namespace {

void host_print(const char* text) { mexPrintf("%s", text); }

// Set when the host asked a call to stop; every thread of the call sees it.
std::atomic<bool> g_interrupted{false};

// GNU Octave's flag of a pending signal (Ctrl-C), looked up in the running
// process rather than linked, so that the plug-ins are not tied to Octave:
// null in hosts that do not define it.
volatile sig_atomic_t* host_signal_flag() {
  static volatile sig_atomic_t* flag =
      static_cast<volatile sig_atomic_t*>(dlsym(RTLD_DEFAULT, "octave_signal_caught"));
  return flag;
}

// Polled by the calling thread between orientations and loop iterations:
// a pending Ctrl-C of the host stops the call (the host's flag is taken, as
// the host's own check would).
bool host_interrupt_pending() {
  volatile sig_atomic_t* flag = host_signal_flag();
  if (flag != nullptr && *flag != 0) {
    *flag = 0;
    g_interrupted.store(true);
  }
  return g_interrupted.load();
}

std::string dims_text(const mxArray* a) {
  const mwSize nd = mxGetNumberOfDimensions(a);
  const mwSize* d = mxGetDimensions(a);
  std::string s;
  for (mwSize i = 0; i < nd; ++i) {
    if (i > 0) s += "x";
    s += std::to_string(static_cast<long long>(d[i]));
  }
  return s;
}

std::string input_label(const Plugin& p, int i) {
  return "Input '" + std::string(p.inputs[i].name) + "' (argument " + std::to_string(i + 1) +
         " of " + p.name + ")";
}

// Class, complexity and size check of one input against its kind and bounds.
void check_input(const Plugin& p, int i, const mxArray* a) {
  const InputSpec& s = p.inputs[i];
  if (a == nullptr || !mxIsDouble(a) || mxIsSparse(a)) {
    rt::raise("EMLRT:runTime:InputClassMismatch",
              input_label(p, i) + " must be a full array of class double, not " +
                  (a == nullptr ? std::string("missing") : std::string(mxGetClassName(a))) +
                  ".");
  }
  if (mxIsComplex(a)) {
    rt::raise("EMLRT:runTime:ComplexInput", input_label(p, i) + " must be real, not complex.");
  }
  const mwSize nd = mxGetNumberOfDimensions(a);
  const mwSize* d = mxGetDimensions(a);
  bool ok = nd == 2;
  std::string want;
  switch (s.kind) {
    case Kind::Scalar:
    case Kind::InOut:
      ok = ok && d[0] == 1 && d[1] == 1;
      want = "a scalar (1x1)";
      break;
    case Kind::Matrix:
    case Kind::Protected:
      ok = ok && d[0] <= s.max_rows && d[1] <= s.max_cols;
      want = "a 2-D matrix of at most " + std::to_string(s.max_rows) + "x" +
             std::to_string(s.max_cols);
      break;
    case Kind::Column:
      ok = ok && d[1] == 1 && d[0] <= s.max_rows;
      want = "a column of at most " + std::to_string(s.max_rows) + " elements (Nx1)";
      break;
  }
  if (!ok) {
    rt::raise("EMLRT:runTime:InputSizeMismatch",
              input_label(p, i) + " must be " + want + "; it is " + dims_text(a) + ".");
  }
}

// Static storage for the error text: nothing of ours may be alive when the
// host error unwinds past this frame.
char g_error_id[128];
char g_error_message[2048];

void keep_error(const char* id, const char* message) {
  std::snprintf(g_error_id, sizeof g_error_id, "%s", id);
  std::snprintf(g_error_message, sizeof g_error_message, "%s", message);
}

}  // namespace

Inputs::Inputs(rt::Context* ctx, const Plugin& plugin, const mxArray* const prhs[])
    : scalars_(static_cast<std::size_t>(plugin.num_inputs), 0.0),
      arrays_(static_cast<std::size_t>(plugin.num_inputs), nullptr) {
  // Strictly in input order: the first failing input ends the conversion.
  for (int i = 0; i < plugin.num_inputs; ++i) {
    const mxArray* a = prhs[i];
    check_input(plugin, i, a);
    const InputSpec& s = plugin.inputs[i];
    if (s.kind == Kind::Scalar || s.kind == Kind::InOut) {
      scalars_[i] = *mxGetPr(a);
      continue;
    }
    emxArray_real_T* r = nullptr;
    const bool column = s.kind == Kind::Column;
    emxInit_real_T(ctx, &r, column ? 1 : 2, true);
    arrays_[i] = r;
    const int32_T rows = static_cast<int32_T>(mxGetM(a));
    const int32_T cols = static_cast<int32_T>(mxGetN(a));
    if (s.kind == Kind::Protected) {
      // Private copy: the computation may write into it.
      rt::resize(r, rows, cols);
      if (rows * cols > 0) {
        std::memcpy(r->data, mxGetPr(a), sizeof(double) * static_cast<std::size_t>(rows * cols));
      }
    } else {
      r->size[0] = rows;
      if (!column) r->size[1] = cols;
      r->allocatedSize = rows * cols;
      r->data = mxGetPr(a);
      r->canFreeData = false;
    }
  }
}

Inputs::~Inputs() {
  for (emxArray_real_T*& a : arrays_) emxFree_real_T(&a);
}

void Outputs::scalar(double v) {
  if (wanted()) {
    plhs_[pos_] = mxCreateDoubleScalar(v);
    ++built_;
  }
  ++pos_;
}

void Outputs::matrix(const emxArray_real_T* a) {
  if (wanted()) {
    const mwSize rows = a->size[0];
    const mwSize cols = a->numDimensions > 1 ? a->size[1] : 1;
    // Host-owned memory of the host's own allocator: the host frees it.
    mxArray* m = mxCreateDoubleMatrix(rows, cols, mxREAL);
    if (rows * cols > 0) std::memcpy(mxGetPr(m), a->data, sizeof(double) * rows * cols);
    plhs_[pos_] = m;
    ++built_;
  }
  ++pos_;
}

void Outputs::empty() {
  if (wanted()) {
    plhs_[pos_] = mxCreateDoubleMatrix(0, 0, mxREAL);
    ++built_;
  }
  ++pos_;
}

void initialize() {
  emlrtRootTLSGlobal = new rt::Context();
  emlrtRootTLSGlobal->print = &host_print;
  emlrtRootTLSGlobal->lock = &emlrtLockGlobal;
  emlrtRootTLSGlobal->nest_lock = &emlrtNestLockGlobal;
  emlrtRootTLSGlobal->num_procs = omp_get_num_procs();
  g_interrupted.store(false);
  emlrtRootTLSGlobal->cancel = &g_interrupted;
  emlrtRootTLSGlobal->poll_host = &host_interrupt_pending;
  // The generator states persist while the library stays loaded.
  rt::rng::ensure_initialised();
}

void terminate() {
  delete emlrtRootTLSGlobal;
  emlrtRootTLSGlobal = nullptr;
}

void atexit_handler() {
  // Nothing outlives a call but the generator states, which die with the
  // library.
  terminate();
}

rt::Context* root_context() { return emlrtRootTLSGlobal; }

void locker(void (*fn)(const void*, void*), const void* a, void* b) {
  omp_set_lock(&emlrtLockGlobal);
  fn(a, b);
  omp_unset_lock(&emlrtLockGlobal);
}

void run(const Plugin& plugin, ComputeFn compute, void (*initialize_fn)(),
         void (*terminate_fn)(), void (*atexit_fn)(), int nlhs, mxArray* plhs[], int nrhs,
         const mxArray* prhs[]) {
  mexAtExit(atexit_fn);
  omp_init_lock(&emlrtLockGlobal);
  omp_init_nest_lock(&emlrtNestLockGlobal);
  bool failed = false;
  try {
    initialize_fn();
    if (nrhs != plugin.num_inputs) {
      rt::raise("EMLRT:runTime:WrongNumberOfInputs",
                std::to_string(plugin.num_inputs) + " inputs required for entry-point '" +
                    plugin.name + "'.");
    }
    if (nlhs > plugin.max_outputs) {
      rt::raise("EMLRT:runTime:TooManyOutputArguments",
                std::string("Too many output arguments for entry-point '") + plugin.name + "'.");
    }
    {
      Inputs in(emlrtRootTLSGlobal, plugin, prhs);
      Outputs out(nlhs, plhs);
      compute(emlrtRootTLSGlobal, in, out);
    }
  } catch (const rt::Error& e) {
    keep_error(e.id().c_str(), e.what());
    failed = true;
  } catch (const std::bad_alloc&) {
    keep_error("MATLAB:nomem", (std::string("Out of memory in ") + plugin.name + ".").c_str());
    failed = true;
  } catch (const std::exception& e) {
    keep_error("EMLRT:runTime:InternalError", e.what());
    failed = true;
  }
  if (emlrtRootTLSGlobal != nullptr) emlrtRootTLSGlobal->heap.unwind();
  terminate_fn();
  omp_destroy_nest_lock(&emlrtNestLockGlobal);
  omp_destroy_lock(&emlrtLockGlobal);
  if (failed) mexErrMsgIdAndTxt(g_error_id, "%s", g_error_message);
}

mxArray* function_properties(const Plugin& plugin) {
  static const char* top_fields[] = {"Version", "ResolvedFunctions", "EntryPoints",
                                     "CoverageInfo"};
  static const char* entry_fields[] = {"Name",           "NumberOfInputs", "NumberOfOutputs",
                                       "ConstantInputs", "FullPath",       "TimeStamp"};
  mxArray* top = mxCreateStructMatrix(1, 1, 4, top_fields);
  mxSetField(top, 0, "Version", mxCreateString("9.5.0.1033004 (R2018b) Update 2"));
  mxSetField(top, 0, "ResolvedFunctions", mxCreateCellMatrix(0, 0));
  mxArray* entry = mxCreateStructMatrix(1, 1, 6, entry_fields);
  mxSetField(entry, 0, "Name", mxCreateString(plugin.name));
  mxSetField(entry, 0, "NumberOfInputs", mxCreateDoubleScalar(plugin.num_inputs));
  mxSetField(entry, 0, "NumberOfOutputs", mxCreateDoubleScalar(plugin.max_outputs));
  mxSetField(entry, 0, "ConstantInputs", mxCreateLogicalMatrix(1, plugin.num_inputs));
  mxSetField(entry, 0, "FullPath", mxCreateString(plugin.name));
  // Build time as a day number (days since year 0, as the host counts them).
  const double unix_days = static_cast<double>(std::time(nullptr)) / 86400.0;
  mxSetField(entry, 0, "TimeStamp", mxCreateDoubleScalar(unix_days + 719529.0));
  mxSetField(top, 0, "EntryPoints", entry);
  return top;
}

}  // namespace mexentry
