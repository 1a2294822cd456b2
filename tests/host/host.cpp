// Test host: a strict, single-process implementation of the MEX interface
// subset in mex.h, with bookkeeping of every array and block a call creates.
//
// Faults of the code under test end the process with a message (and are
// then reported by the test runner or the fuzzer): a host service called
// from a thread other than the caller's, destroying an array that is not
// alive or that belongs to a record or to the caller's inputs, a negative
// size, setting a field that does not exist.
#include "host.h"

#include <omp.h>
#include <sys/mman.h>

#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>
#include <unordered_map>
#include <unordered_set>

struct mxArray_tag {
  mxClassID cls = mxDOUBLE_CLASS;
  std::vector<mwSize> dims;
  bool complex = false;
  bool sparse = false;
  mwSize nzmax = 0;  // sparse: stored values
  std::size_t elem = 8;
  // Element data: one block of exactly the stored element count, null when
  // there is none. Large blocks are allocated at first access.
  mutable void* data = nullptr;
  mutable double* imag = nullptr;
  mutable bool allocated = false;
  mutable std::size_t reserved = 0;  // bytes of an unreadable reservation
  std::vector<std::string> fields;  // record field names
  std::vector<mxArray*> children;   // record: numel x fields; cell: numel
  mxArray* owner = nullptr;         // the record or cell holding it
  unsigned long call = 0;           // the call that created it (0: none)
};

namespace {

[[noreturn]] void fault(const char* fmt, ...) {
  std::va_list ap;
  va_start(ap, fmt);
  std::fprintf(stderr, "test host: ");
  std::vfprintf(stderr, fmt, ap);
  std::fprintf(stderr, "\n");
  va_end(ap);
  std::fflush(stderr);
  std::abort();
}

std::atomic<bool> g_in_call{false};
std::atomic<std::thread::id> g_host_thread{};
unsigned long g_call = 0;  // id of the running call (0 outside calls)
unsigned long g_calls = 0;
std::unordered_set<mxArray*> g_live;
std::unordered_map<void*, unsigned long> g_blocks;  // mxMalloc block -> call
std::unordered_set<const mxArray*> g_inputs;         // the running call's prhs
std::string g_console;
void (*g_atexit)(void) = nullptr;

// Every host service runs on the thread that called the plug-in.
// Every host service runs on the thread that called the plug-in, outside
// parallel regions.
void on_host_thread(const char* fn) {
  if (!g_in_call.load()) return;
  if (std::this_thread::get_id() != g_host_thread.load()) {
    fault("%s called from a thread other than the host's", fn);
  }
  if (omp_in_parallel()) fault("%s called inside a parallel region", fn);
}

constexpr std::size_t kEagerBytes = 1 << 20;

std::size_t elem_size(mxClassID c) {
  switch (c) {
    case mxDOUBLE_CLASS:
    case mxINT64_CLASS:
    case mxUINT64_CLASS:
      return 8;
    case mxSINGLE_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS:
      return 4;
    case mxINT16_CLASS:
    case mxUINT16_CLASS:
      return 2;
    case mxCELL_CLASS:
    case mxSTRUCT_CLASS:
      return 0;
    default:
      return 1;
  }
}

// Element count, saturating at the largest mwSize.
mwSize count_of(const std::vector<mwSize>& dims) {
  mwSize n = 1;
  for (mwSize d : dims) {
    if (d == 0) return 0;
    if (n > std::numeric_limits<mwSize>::max() / d) n = std::numeric_limits<mwSize>::max();
    else n *= d;
  }
  return n;
}

mwSize stored_count(const mxArray* a) { return a->sparse ? a->nzmax : count_of(a->dims); }

// Arrays above this size are never read by a correct plug-in (they exceed
// every input bound); their data is address space that faults when touched.
constexpr double kUnreadableBytes = 4.0 * (1u << 30);

void* reserve_unreadable(double bytes, std::size_t* reserved) {
  const std::size_t page = 4096;
  std::size_t len = bytes < 1e14 ? static_cast<std::size_t>(bytes) : page;
  void* p = mmap(nullptr, len, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) {
    len = page;
    p = mmap(nullptr, len, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) fault("cannot reserve address space");
  }
  *reserved = len;
  return p;
}

void allocate(const mxArray* a) {
  if (a->allocated) return;
  a->allocated = true;
  const mwSize n = stored_count(a);
  if (n == 0 || a->elem == 0) return;
  const double bytes = static_cast<double>(n) * static_cast<double>(a->elem);
  if (bytes > kUnreadableBytes) {
    a->data = reserve_unreadable(bytes, &a->reserved);
    return;
  }
  a->data = std::calloc(static_cast<std::size_t>(n), a->elem);
  if (a->data == nullptr) throw testhost::HostError("MATLAB:nomem", "Out of memory (test host).");
  if (a->complex) {
    a->imag = static_cast<double*>(std::malloc(static_cast<std::size_t>(n) * sizeof(double)));
    if (a->imag == nullptr) throw testhost::HostError("MATLAB:nomem", "Out of memory (test host).");
    for (mwSize k = 0; k < n; ++k) a->imag[k] = 1.0;
  }
}

mxArray* create(mxClassID cls, std::vector<mwSize> dims, mxComplexity c) {
  for (mwSize d : dims) {
    if (d < 0) fault("array created with a negative size (%lld)", static_cast<long long>(d));
  }
  while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
  while (dims.size() < 2) dims.push_back(dims.empty() ? 0 : 1);
  auto* a = new mxArray_tag;
  a->cls = cls;
  a->dims = std::move(dims);
  a->complex = c == mxCOMPLEX;
  a->elem = elem_size(cls);
  a->call = g_call;
  if (cls == mxCELL_CLASS) {
    a->children.assign(static_cast<std::size_t>(count_of(a->dims)), nullptr);
  }
  if (static_cast<double>(count_of(a->dims)) * static_cast<double>(a->elem) <= kEagerBytes) {
    allocate(a);
  }
  g_live.insert(a);
  return a;
}

void check_live(const mxArray* a, const char* fn) {
  if (a == nullptr) fault("%s: null array", fn);
  if (g_live.count(const_cast<mxArray*>(a)) == 0) fault("%s: not a live array", fn);
}

void destroy(mxArray* a) {
  for (mxArray* c : a->children) {
    if (c != nullptr) destroy(c);
  }
  if (a->reserved != 0) {
    munmap(a->data, a->reserved);
  } else {
    std::free(a->data);
  }
  std::free(a->imag);
  g_live.erase(a);
  delete a;
}

bool is_input_or_inside(const mxArray* a) {
  for (const mxArray* p = a; p != nullptr; p = p->owner) {
    if (g_inputs.count(p) != 0) return true;
  }
  return false;
}

std::uint64_t fnv(std::uint64_t h, const void* p, std::size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (std::size_t k = 0; k < n; ++k) h = (h ^ b[k]) * 1099511628211ull;
  return h;
}

// Class, size and a digest of all values of an array, for comparing before
// and after a call. Data not yet allocated reads as its initial values.
void snapshot(const mxArray* a, std::string& out) {
  out += std::to_string(a->cls) + "|" + std::to_string(a->complex) + std::to_string(a->sparse) +
         "|";
  for (mwSize d : a->dims) out += std::to_string(d) + ",";
  const std::size_t n = static_cast<std::size_t>(stored_count(a));
  if (!a->allocated || a->reserved != 0) {
    out += "initial";
  } else {
    bool initial = true;
    const auto* b = static_cast<const unsigned char*>(a->data);
    for (std::size_t k = 0; initial && b != nullptr && k < n * a->elem; ++k) initial = b[k] == 0;
    for (std::size_t k = 0; initial && a->imag != nullptr && k < n; ++k) {
      initial = a->imag[k] == 1.0;
    }
    if (initial) {
      out += "initial";
    } else {
      std::uint64_t h = 1469598103934665603ull;
      if (b != nullptr) h = fnv(h, b, n * a->elem);
      if (a->imag != nullptr) h = fnv(h, a->imag, n * sizeof(double));
      out += std::to_string(h);
    }
  }
  for (const std::string& f : a->fields) out += f + ";";
  for (const mxArray* c : a->children) {
    if (c != nullptr) snapshot(c, out);
    else out += "-";
  }
}

std::string format(const char* fmt, std::va_list ap) {
  std::va_list copy;
  va_copy(copy, ap);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string s(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(s.data(), s.size() + 1, fmt, ap);
  return s;
}

int field_index(const mxArray* s, const char* name) {
  for (std::size_t k = 0; k < s->fields.size(); ++k) {
    if (s->fields[k] == name) return static_cast<int>(k);
  }
  return -1;
}

}  // namespace

extern "C" {

void mexErrMsgIdAndTxt(const char* id, const char* fmt, ...) {
  on_host_thread(__func__);
  std::va_list ap;
  va_start(ap, fmt);
  std::string text = format(fmt, ap);
  va_end(ap);
  throw testhost::HostError(id, text);
}

void mexErrMsgTxt(const char* text) {
  on_host_thread(__func__);
  throw testhost::HostError("", text);
}

int mexPrintf(const char* fmt, ...) {
  on_host_thread(__func__);
  std::va_list ap;
  va_start(ap, fmt);
  std::string text = format(fmt, ap);
  va_end(ap);
  g_console += text;
  if (std::getenv("CCS_TEST_HOST_ECHO") != nullptr) std::fputs(text.c_str(), stdout);
  return static_cast<int>(text.size());
}

int mexAtExit(void (*fn)(void)) {
  on_host_thread(__func__);
  g_atexit = fn;
  return 0;
}

void* mxMalloc(std::size_t n) {
  on_host_thread(__func__);
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw testhost::HostError("MATLAB:nomem", "Out of memory.");
  g_blocks[p] = g_call;
  return p;
}

void* mxCalloc(std::size_t n, std::size_t size) {
  on_host_thread(__func__);
  void* p = std::calloc(n == 0 ? 1 : n, size == 0 ? 1 : size);
  if (p == nullptr) throw testhost::HostError("MATLAB:nomem", "Out of memory.");
  g_blocks[p] = g_call;
  return p;
}

void mxFree(void* p) {
  on_host_thread(__func__);
  if (p == nullptr) return;
  if (g_blocks.erase(p) == 0) fault("mxFree of a block mxMalloc did not return");
  std::free(p);
}

double mxGetNaN(void) { return std::numeric_limits<double>::quiet_NaN(); }
double mxGetInf(void) { return std::numeric_limits<double>::infinity(); }

mxArray* mxCreateDoubleScalar(double v) {
  on_host_thread(__func__);
  mxArray* a = create(mxDOUBLE_CLASS, {1, 1}, mxREAL);
  *static_cast<double*>(a->data) = v;
  return a;
}

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity c) {
  on_host_thread(__func__);
  return create(mxDOUBLE_CLASS, {m, n}, c);
}

mxArray* mxCreateNumericMatrix(mwSize m, mwSize n, mxClassID cls, mxComplexity c) {
  on_host_thread(__func__);
  return create(cls, {m, n}, c);
}

mxArray* mxCreateNumericArray(mwSize ndims, const mwSize* dims, mxClassID cls, mxComplexity c) {
  on_host_thread(__func__);
  return create(cls, std::vector<mwSize>(dims, dims + ndims), c);
}

mxArray* mxCreateLogicalMatrix(mwSize m, mwSize n) {
  on_host_thread(__func__);
  return create(mxLOGICAL_CLASS, {m, n}, mxREAL);
}

mxArray* mxCreateLogicalMatrix_730(mwSize m, mwSize n) { return mxCreateLogicalMatrix(m, n); }

mxArray* mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity c) {
  on_host_thread(__func__);
  mxArray* a = create(mxDOUBLE_CLASS, {m, n}, c);
  std::free(a->data);
  std::free(a->imag);
  a->data = nullptr;
  a->imag = nullptr;
  a->sparse = true;
  a->nzmax = nzmax < 1 ? 1 : nzmax;
  a->allocated = false;
  allocate(a);
  return a;
}

mxArray* mxCreateString(const char* text) {
  on_host_thread(__func__);
  const auto n = static_cast<mwSize>(std::strlen(text));
  mxArray* a = create(mxCHAR_CLASS, {n > 0 ? 1 : 0, n}, mxREAL);
  if (n > 0) std::memcpy(a->data, text, static_cast<std::size_t>(n));
  return a;
}

mxArray* mxCreateCellMatrix(mwSize m, mwSize n) {
  on_host_thread(__func__);
  return create(mxCELL_CLASS, {m, n}, mxREAL);
}

mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char** names) {
  on_host_thread(__func__);
  mxArray* a = create(mxSTRUCT_CLASS, {m, n}, mxREAL);
  for (int k = 0; k < nfields; ++k) a->fields.emplace_back(names[k]);
  a->children.assign(static_cast<std::size_t>(count_of(a->dims)) * a->fields.size(), nullptr);
  return a;
}

void mxDestroyArray(mxArray* a) {
  on_host_thread(__func__);
  if (a == nullptr) return;
  check_live(a, __func__);
  if (a->owner != nullptr) fault("mxDestroyArray of an array held by a record or cell");
  if (g_in_call.load() && is_input_or_inside(a)) fault("mxDestroyArray of an input");
  destroy(a);
}

mxClassID mxGetClassID(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  return a->cls;
}

const char* mxGetClassName(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  switch (a->cls) {
    case mxCELL_CLASS: return "cell";
    case mxSTRUCT_CLASS: return "struct";
    case mxLOGICAL_CLASS: return "logical";
    case mxCHAR_CLASS: return "char";
    case mxDOUBLE_CLASS: return "double";
    case mxSINGLE_CLASS: return "single";
    case mxINT8_CLASS: return "int8";
    case mxUINT8_CLASS: return "uint8";
    case mxINT16_CLASS: return "int16";
    case mxUINT16_CLASS: return "uint16";
    case mxINT32_CLASS: return "int32";
    case mxUINT32_CLASS: return "uint32";
    case mxINT64_CLASS: return "int64";
    case mxUINT64_CLASS: return "uint64";
    case mxFUNCTION_CLASS: return "function_handle";
    default: return "unknown";
  }
}

bool mxIsDouble(const mxArray* a) { return mxGetClassID(a) == mxDOUBLE_CLASS; }
bool mxIsLogical(const mxArray* a) { return mxGetClassID(a) == mxLOGICAL_CLASS; }
bool mxIsChar(const mxArray* a) { return mxGetClassID(a) == mxCHAR_CLASS; }
bool mxIsStruct(const mxArray* a) { return mxGetClassID(a) == mxSTRUCT_CLASS; }
bool mxIsCell(const mxArray* a) { return mxGetClassID(a) == mxCELL_CLASS; }

bool mxIsComplex(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  return a->complex;
}

bool mxIsSparse(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  return a->sparse;
}

bool mxIsEmpty(const mxArray* a) { return mxGetNumberOfElements(a) == 0; }

std::size_t mxGetM(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  return static_cast<std::size_t>(a->dims[0]);
}

std::size_t mxGetN(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  const std::vector<mwSize> rest(a->dims.begin() + 1, a->dims.end());
  return static_cast<std::size_t>(count_of(rest));
}

std::size_t mxGetNumberOfElements(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  return static_cast<std::size_t>(count_of(a->dims));
}

mwSize mxGetNumberOfDimensions(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  return static_cast<mwSize>(a->dims.size());
}

const mwSize* mxGetDimensions(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  return a->dims.data();
}

void* mxGetData(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  if (a->cls == mxCELL_CLASS || a->cls == mxSTRUCT_CLASS) return nullptr;
  allocate(a);
  return a->data;
}

double* mxGetPr(const mxArray* a) { return static_cast<double*>(mxGetData(a)); }

double* mxGetPi(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  allocate(a);
  return a->imag;
}

mxLogical* mxGetLogicals(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  if (a->cls != mxLOGICAL_CLASS) return nullptr;
  return static_cast<mxLogical*>(mxGetData(a));
}

double mxGetScalar(const mxArray* a) {
  on_host_thread(__func__);
  check_live(a, __func__);
  if (a->cls != mxDOUBLE_CLASS) fault("mxGetScalar: only double arrays are supported");
  allocate(a);
  return a->data != nullptr ? *static_cast<const double*>(a->data) : 0.0;
}

void mxSetField(mxArray* s, mwIndex index, const char* name, mxArray* value) {
  on_host_thread(__func__);
  check_live(s, __func__);
  const int f = field_index(s, name);
  if (s->cls != mxSTRUCT_CLASS || f < 0) fault("mxSetField: no field '%s'", name);
  if (index < 0 || index >= count_of(s->dims)) fault("mxSetField: index out of range");
  if (value != nullptr) {
    check_live(value, __func__);
    if (value->owner != nullptr) fault("mxSetField: the value is already held elsewhere");
    if (is_input_or_inside(value)) fault("mxSetField: the value is an input");
  }
  mxArray*& slot = s->children[static_cast<std::size_t>(index) * s->fields.size() +
                               static_cast<std::size_t>(f)];
  // The previous value is not freed (as the host does): it is the caller's.
  if (slot != nullptr) slot->owner = nullptr;
  slot = value;
  if (value != nullptr) value->owner = s;
}

mxArray* mxGetField(const mxArray* s, mwIndex index, const char* name) {
  on_host_thread(__func__);
  check_live(s, __func__);
  const int f = field_index(s, name);
  if (s->cls != mxSTRUCT_CLASS || f < 0 || index < 0 || index >= count_of(s->dims)) {
    return nullptr;
  }
  return s->children[static_cast<std::size_t>(index) * s->fields.size() +
                     static_cast<std::size_t>(f)];
}

int mxGetNumberOfFields(const mxArray* s) {
  on_host_thread(__func__);
  check_live(s, __func__);
  return static_cast<int>(s->fields.size());
}

mxArray* mxGetCell(const mxArray* c, mwIndex index) {
  on_host_thread(__func__);
  check_live(c, __func__);
  if (c->cls != mxCELL_CLASS || index < 0 ||
      index >= static_cast<mwIndex>(c->children.size())) {
    return nullptr;
  }
  return c->children[static_cast<std::size_t>(index)];
}

void mxSetCell(mxArray* c, mwIndex index, mxArray* value) {
  on_host_thread(__func__);
  check_live(c, __func__);
  if (c->cls != mxCELL_CLASS || index < 0 ||
      index >= static_cast<mwIndex>(c->children.size())) {
    fault("mxSetCell: index out of range");
  }
  if (value != nullptr) {
    check_live(value, __func__);
    if (value->owner != nullptr) fault("mxSetCell: the value is already held elsewhere");
  }
  mxArray*& slot = c->children[static_cast<std::size_t>(index)];
  if (slot != nullptr) slot->owner = nullptr;
  slot = value;
  if (value != nullptr) value->owner = c;
}

}  // extern "C"

namespace testhost {

void ArrayDeleter::operator()(mxArray* a) const {
  if (a != nullptr && g_live.count(a) != 0) destroy(a);
}

Array scalar(double v) { return Array(mxCreateDoubleScalar(v)); }

Array matrix(mwSize rows, mwSize cols, const std::vector<double>& values) {
  Array a(mxCreateDoubleMatrix(rows, cols, mxREAL));
  if (!values.empty()) {
    double* p = mxGetPr(a.get());
    const std::size_t n = static_cast<std::size_t>(rows * cols);
    for (std::size_t k = 0; k < n && k < values.size(); ++k) p[k] = values[k];
  }
  return a;
}

Array numeric(mxClassID cls, const std::vector<mwSize>& dims, mxComplexity c) {
  return Array(mxCreateNumericArray(static_cast<mwSize>(dims.size()), dims.data(), cls, c));
}

Array sparse(mwSize rows, mwSize cols, mwSize nonzeros) {
  return Array(mxCreateSparse(rows, cols, nonzeros, mxREAL));
}

Array string(const char* text) { return Array(mxCreateString(text)); }
Array cell(mwSize rows, mwSize cols) { return Array(mxCreateCellMatrix(rows, cols)); }
Array record(mwSize rows, mwSize cols) {
  static const char* names[] = {"a"};
  return Array(mxCreateStructMatrix(rows, cols, 1, names));
}

CallResult call(MexFunctionPtr fn, int nlhs, const std::vector<const mxArray*>& inputs) {
  if (g_in_call.load()) fault("nested call");
  CallResult r;
  std::vector<std::string> before;
  for (const mxArray* a : inputs) {
    check_live(a, "call");
    before.emplace_back();
    snapshot(a, before.back());
  }
  // Exactly sized slot tables: a plug-in writing past max(nlhs, 1) outputs
  // or reading past nrhs inputs is caught by AddressSanitizer.
  const int nout = nlhs > 1 ? nlhs : 1;
  auto plhs = std::make_unique<mxArray*[]>(static_cast<std::size_t>(nout));
  auto prhs = std::make_unique<const mxArray*[]>(inputs.size());
  for (std::size_t k = 0; k < inputs.size(); ++k) prhs[k] = inputs[k];

  g_call = ++g_calls;
  g_inputs.clear();
  g_inputs.insert(inputs.begin(), inputs.end());
  g_console.clear();
  g_host_thread.store(std::this_thread::get_id());
  g_in_call.store(true);
  std::string escaped;
  try {
    fn(nlhs, plhs.get(), static_cast<int>(inputs.size()), prhs.get());
    r.ok = true;
  } catch (const HostError& e) {
    r.id = e.id();
    r.message = e.what();
  } catch (const std::exception& e) {
    escaped = e.what();
  } catch (...) {
    escaped = "unknown exception";
  }
  g_in_call.store(false);
  const unsigned long this_call = g_call;
  g_call = 0;
  g_inputs.clear();
  r.console = g_console;

  std::unordered_set<mxArray*> returned;
  for (int k = 0; k < nout; ++k) {
    mxArray* a = plhs[static_cast<std::size_t>(k)];
    if (a == nullptr) continue;
    check_live(a, "output");
    if (a->owner != nullptr) fault("output %d is held by a record or cell", k + 1);
    for (const mxArray* in : inputs) {
      if (a == in) fault("output %d is one of the inputs", k + 1);
    }
    if (!returned.insert(a).second) fault("output %d is returned twice", k + 1);
  }
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    std::string after;
    snapshot(inputs[k], after);
    if (after != before[k]) r.inputs_changed = true;
  }
  if (r.ok) {
    for (int k = 0; k < nout; ++k) r.outputs.emplace_back(plhs[static_cast<std::size_t>(k)]);
  } else {
    returned.clear();  // the host frees the outputs of a failed call
  }
  // Whatever the call created and neither returned nor freed is freed by the
  // host; it is counted as left over.
  std::vector<mxArray*> left;
  for (mxArray* a : g_live) {
    if (a->call == this_call && a->owner == nullptr && returned.count(a) == 0) left.push_back(a);
  }
  for (mxArray* a : left) destroy(a);
  r.leftovers = static_cast<int>(left.size());
  for (auto it = g_blocks.begin(); it != g_blocks.end();) {
    if (it->second == this_call) {
      std::free(it->first);
      it = g_blocks.erase(it);
      ++r.leftovers;
    } else {
      ++it;
    }
  }
  if (!escaped.empty()) {
    throw std::logic_error("exception escaped mexFunction: " + escaped);
  }
  return r;
}

void unload() {
  void (*fn)(void) = g_atexit;
  g_atexit = nullptr;
  if (fn != nullptr) fn();
}

bool has_exit_handler() { return g_atexit != nullptr; }

std::size_t live_arrays() { return g_live.size(); }

std::vector<double> values(const mxArray* a) {
  if (a == nullptr || a->cls != mxDOUBLE_CLASS) return {};
  allocate(a);
  const auto n = static_cast<std::size_t>(stored_count(a));
  const auto* p = static_cast<const double*>(a->data);
  if (a->reserved != 0) fault("values of an unreadable array");
  return p == nullptr ? std::vector<double>{} : std::vector<double>(p, p + n);
}

std::vector<mwSize> dims(const mxArray* a) { return a == nullptr ? std::vector<mwSize>{} : a->dims; }

}  // namespace testhost
