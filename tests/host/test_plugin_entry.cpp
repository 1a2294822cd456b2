// The input checks of the shared entry layer, as a generated plug-in meets
// them through the host, driven by the plug-in's own input table: every
// input is sent every kind of wrong value in turn, with valid values before
// it and an invalid one after it. The error must name that input, the call
// must leave nothing behind and change no input, a repeated call must fail
// the same way, and a valid call afterwards must work.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_testing.h"
#include "plugin_under_test.h"
#include "typical_inputs.h"

using mexentry::Kind;
using testhost::Array;

namespace {

struct Bad {
  std::string what;
  Array value;
  std::string id;
};

Array valid_placeholder(const mexentry::InputSpec&) { return testhost::scalar(1.0); }

std::vector<Bad> bad_values(const mexentry::InputSpec& s) {
  const std::string cls = "EMLRT:runTime:InputClassMismatch";
  const std::string size = "EMLRT:runTime:InputSizeMismatch";
  std::vector<Bad> b;
  b.push_back({"single", testhost::numeric(mxSINGLE_CLASS, {1, 1}), cls});
  b.push_back({"int32", testhost::numeric(mxINT32_CLASS, {1, 1}), cls});
  b.push_back({"uint8", testhost::numeric(mxUINT8_CLASS, {1, 1}), cls});
  b.push_back({"logical", testhost::numeric(mxLOGICAL_CLASS, {1, 1}), cls});
  b.push_back({"char", testhost::string("a"), cls});
  b.push_back({"cell", testhost::cell(1, 1), cls});
  b.push_back({"struct", testhost::record(1, 1), cls});
  b.push_back({"sparse", testhost::sparse(1, 1, 1), cls});
  b.push_back({"complex", testhost::numeric(mxDOUBLE_CLASS, {1, 1}, mxCOMPLEX),
               "EMLRT:runTime:ComplexInput"});
  b.push_back({"1x1x2", testhost::numeric(mxDOUBLE_CLASS, {1, 1, 2}), size});
  switch (s.kind) {
    case Kind::Scalar:
    case Kind::InOut:
      b.push_back({"1x2", testhost::matrix(1, 2), size});
      b.push_back({"2x1", testhost::matrix(2, 1), size});
      b.push_back({"0x0", testhost::matrix(0, 0), size});
      b.push_back({"1x0", testhost::matrix(1, 0), size});
      break;
    case Kind::Matrix:
    case Kind::Protected:
      b.push_back({"rows above the bound", testhost::matrix(s.max_rows + 1, 1), size});
      b.push_back({"rows above the bound, no columns", testhost::matrix(s.max_rows + 1, 0), size});
      b.push_back({"columns above the bound", testhost::matrix(1, s.max_cols + 1), size});
      b.push_back({"both above the bound", testhost::matrix(s.max_rows + 1, s.max_cols + 1), size});
      break;
    case Kind::Column:
      b.push_back({"row", testhost::matrix(1, 2), size});
      b.push_back({"two columns", testhost::matrix(2, 2), size});
      b.push_back({"above the bound", testhost::matrix(s.max_rows + 1, 1), size});
      b.push_back({"0x0", testhost::matrix(0, 0), size});
      break;
  }
  return b;
}

class PluginEntry : public ::testing::Test {
 protected:
  const mexentry::Plugin& p = plugin_under_test();
  // A small valid call returns every output it is asked for.
  ::testing::AssertionResult works_normally() {
    testhost::Call c = testhost::typical_call(p);
    testhost::CallResult r = testhost::call(p.max_outputs, c.in);
    if (!testhost::succeeded(r)) return testhost::succeeded(r);
    for (const Array& o : r.outputs) {
      if (o == nullptr) return ::testing::AssertionFailure() << "an output is missing";
    }
    return ::testing::AssertionSuccess();
  }
};

TEST_F(PluginEntry, TypicalCallWorks) { EXPECT_TRUE(works_normally()); }

TEST_F(PluginEntry, CountsAreCheckedBeforeAnyInput) {
  std::vector<Array> owned;
  std::vector<const mxArray*> in;
  for (int i = 0; i < p.num_inputs + 1; ++i) {
    owned.push_back(testhost::string("not even a double"));
    in.push_back(owned.back().get());
  }
  const std::size_t live = testhost::live_arrays();
  const std::string count = std::to_string(p.num_inputs);
  for (int n : {0, p.num_inputs - 1, p.num_inputs + 1}) {
    std::vector<const mxArray*> args(in.begin(), in.begin() + n);
    EXPECT_TRUE(testhost::failed_with(testhost::call(1, args), "EMLRT:runTime:WrongNumberOfInputs",
                                      {count, p.name}))
        << n << " inputs";
  }
  std::vector<const mxArray*> args(in.begin(), in.begin() + p.num_inputs);
  EXPECT_TRUE(testhost::failed_with(testhost::call(p.max_outputs + 1, args),
                                    "EMLRT:runTime:TooManyOutputArguments", {p.name}));
  EXPECT_EQ(testhost::live_arrays(), live);
}

TEST_F(PluginEntry, EveryInputCheckNamesItsInputAndStopsThere) {
  const std::size_t live = testhost::live_arrays();
  for (int i = 0; i < p.num_inputs; ++i) {
    const mexentry::InputSpec& s = p.inputs[i];
    for (Bad& bad : bad_values(s)) {
      std::vector<Array> owned;
      std::vector<const mxArray*> in;
      for (int j = 0; j < p.num_inputs; ++j) {
        if (j == i) {
          in.push_back(bad.value.get());
        } else if (j == i + 1) {
          owned.push_back(testhost::string("later inputs are not examined"));
          in.push_back(owned.back().get());
        } else {
          owned.push_back(valid_placeholder(p.inputs[j]));
          in.push_back(owned.back().get());
        }
      }
      const std::string label = "'" + std::string(s.name) + "' (argument " +
                                std::to_string(i + 1) + " of " + p.name + ")";
      for (int repeat = 0; repeat < 2; ++repeat) {
        EXPECT_TRUE(testhost::failed_with(testhost::call(1, in), bad.id, {label}))
            << s.name << ": " << bad.what;
      }
    }
    EXPECT_TRUE(works_normally()) << "after the checks of " << s.name;
  }
  EXPECT_EQ(testhost::live_arrays(), live);
}

extern "C" mxArray* emlrtMexFcnProperties();

TEST_F(PluginEntry, PropertiesDescribeTheEntry) {
  const std::size_t live = testhost::live_arrays();
  Array props(emlrtMexFcnProperties());
  const mxArray* entry = mxGetField(props.get(), 0, "EntryPoints");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(testhost::values(mxGetField(entry, 0, "NumberOfInputs")),
            std::vector<double>{static_cast<double>(p.num_inputs)});
  EXPECT_EQ(testhost::values(mxGetField(entry, 0, "NumberOfOutputs")),
            std::vector<double>{static_cast<double>(p.max_outputs)});
  const mxArray* constant = mxGetField(entry, 0, "ConstantInputs");
  ASSERT_NE(constant, nullptr);
  EXPECT_TRUE(mxIsLogical(constant));
  EXPECT_EQ(testhost::dims(constant), (std::vector<mwSize>{1, p.num_inputs}));
  props.reset();
  EXPECT_EQ(testhost::live_arrays(), live);
}

}  // namespace
