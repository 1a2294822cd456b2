// Fuzz target for a generated plug-in: its entry, through the test host, fed
// any input count, output count, class, complexity, size and values (NaN,
// Inf, empty, huge). Most inputs are shaped as the plug-in's input table asks,
// so that calls reach the computation; counts that set the amount of work are
// kept small (see kWorkCaps).
//
// Besides crashes, sanitizer reports and leaks, a run fails when a call
// leaves an array behind, changes an input, lets a foreign exception out, or
// succeeds without building every requested output as a real double array.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_values.h"
#include "plugin_under_test.h"
#include "typical_inputs.h"

using mexentry::Kind;
using testhost::Array;

namespace {

// Inputs whose value sets the amount of work, by name (the plug-ins share
// their names), with the largest value a fuzz run uses. A trajectory may take
// up to 50000 integration steps, so a call is kept to a dozen trajectories.
struct WorkCap {
  const char* name;
  double cap;
};
constexpr WorkCap kWorkCaps[] = {
    {"n_rotations", 3},
    {"N_total", 4},
    {"multiplier", 3},  // passes through the domain per trajectory
};

// Row caps of the generated arrays (the table's own bound applies as well).
constexpr mwSize kMaxAtoms = 6;
constexpr mwSize kMaxFrames = 3;

const WorkCap* work_cap(const char* name) {
  for (const WorkCap& w : kWorkCaps) {
    if (std::string(w.name) == name) return &w;
  }
  return nullptr;
}

bool named(const mexentry::InputSpec& s, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (std::string(s.name) == n) return true;
  }
  return false;
}

Array conforming(FuzzedDataProvider& fdp, const mexentry::InputSpec& s, mwSize& atoms) {
  const bool coupled = fdp.ConsumeIntegralInRange<int>(0, 3) != 0 && atoms > 0;
  if (s.kind == Kind::Scalar || s.kind == Kind::InOut) {
    double v;
    if (named(s, {"Number_atoms"}) && coupled) {
      v = static_cast<double>(atoms);
    } else if (const WorkCap* w = work_cap(s.name)) {
      v = fuzzvals::count(fdp, w->cap);
    } else if (fdp.ConsumeBool()) {
      // A physically sensible value, so that calls get deep into the method.
      v = testhost::typical_scalar(s.name);
    } else {
      v = fuzzvals::any(fdp);
    }
    return testhost::scalar(v);
  }
  const mwSize row_cap = std::min<mwSize>(s.max_rows, kMaxAtoms * kMaxFrames);
  const mwSize col_cap = s.kind == Kind::Column ? 1 : s.max_cols;
  mwSize rows = fdp.ConsumeIntegralInRange<mwSize>(0, std::min<mwSize>(row_cap, kMaxAtoms));
  mwSize cols = s.kind == Kind::Column ? 1 : fdp.ConsumeIntegralInRange<mwSize>(0, col_cap);
  if (named(s, {"DATA_atoms"})) {
    atoms = rows;
  } else if (coupled && named(s, {"massarray", "epsili", "sigmai", "sigma2i"})) {
    rows = atoms;
  } else if (coupled && named(s, {"Move_pos"})) {
    rows = std::min<mwSize>(atoms * fdp.ConsumeIntegralInRange<mwSize>(1, kMaxFrames), row_cap);
    cols = std::min<mwSize>(3, col_cap);
  }
  Array a = testhost::matrix(rows, cols);
  fuzzvals::fill(fdp, a);
  return a;
}

Array any_input(FuzzedDataProvider& fdp, const mexentry::InputSpec& s, mwSize& atoms) {
  const int mode = fdp.ConsumeIntegralInRange<int>(0, 39);
  const mwSize r = fdp.ConsumeIntegralInRange<mwSize>(0, 3);
  const mwSize c = fdp.ConsumeIntegralInRange<mwSize>(0, 3);
  switch (mode) {
    case 0:
      return fuzzvals::wrong_class(fdp, r, c);
    case 1: {
      Array a = testhost::numeric(mxDOUBLE_CLASS, {r, c}, mxCOMPLEX);
      fuzzvals::fill(fdp, a);
      return a;
    }
    case 2:
      return testhost::sparse(r, c, fdp.ConsumeIntegralInRange<mwSize>(0, 4));
    case 3:
      return testhost::numeric(mxDOUBLE_CLASS, {r, c, fdp.ConsumeIntegralInRange<mwSize>(0, 3)});
    case 4:
      return testhost::matrix(fuzzvals::huge_extent(fdp), fdp.ConsumeIntegralInRange<mwSize>(0, 1));
    case 5:
      return testhost::matrix(fdp.ConsumeIntegralInRange<mwSize>(0, 1), fuzzvals::huge_extent(fdp));
    case 6: {
      Array a = testhost::matrix(r, c);
      fuzzvals::fill(fdp, a);
      return a;
    }
    default:
      return conforming(fdp, s, atoms);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fdp(data, size);
  const mexentry::Plugin& p = plugin_under_test();
  const int nrhs = fdp.ConsumeIntegralInRange<int>(0, 15) == 0
                       ? fdp.ConsumeIntegralInRange<int>(0, p.num_inputs + 2)
                       : p.num_inputs;
  const int nlhs = fdp.ConsumeIntegralInRange<int>(0, p.max_outputs + 1);
  std::vector<Array> owned;
  std::vector<const mxArray*> in;
  mwSize atoms = 0;
  for (int i = 0; i < nrhs; ++i) {
    const mexentry::InputSpec& s = p.inputs[i < p.num_inputs ? i : p.num_inputs - 1];
    owned.push_back(any_input(fdp, s, atoms));
    in.push_back(owned.back().get());
  }
  if (fuzzvals::describing()) {
    std::fprintf(stderr, "%s: nlhs %d, nrhs %d\n", p.name, nlhs, nrhs);
    for (int i = 0; i < nrhs; ++i) fuzzvals::describe(p.inputs[i < p.num_inputs ? i : p.num_inputs - 1].name, in[i]);
  }
  const testhost::CallResult r = testhost::call(nlhs, in);
  fuzzvals::describe_result(r);
  FUZZ_REQUIRE(r.leftovers == 0);
  FUZZ_REQUIRE(!r.inputs_changed);
  if (r.ok) {
    FUZZ_REQUIRE(nrhs == p.num_inputs && nlhs <= p.max_outputs);
    FUZZ_REQUIRE(r.outputs.size() == static_cast<std::size_t>(nlhs > 1 ? nlhs : 1));
    for (const Array& o : r.outputs) {
      FUZZ_REQUIRE(o != nullptr);
      FUZZ_REQUIRE(mxIsDouble(o.get()) && !mxIsComplex(o.get()) && !mxIsSparse(o.get()));
      FUZZ_REQUIRE(mxGetNumberOfDimensions(o.get()) == 2);
    }
  } else {
    FUZZ_REQUIRE(!r.id.empty() && !r.message.empty());
  }
  return 0;
}
