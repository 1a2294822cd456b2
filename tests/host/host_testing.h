// GoogleTest helpers for calls through the test host.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host.h"

namespace testhost {

// The call failed with `id`, its message contains every one of `parts`, and
// the failed call left nothing behind and changed none of its inputs.
inline ::testing::AssertionResult failed_with(const CallResult& r, const std::string& id,
                                              std::initializer_list<std::string> parts) {
  if (r.ok) return ::testing::AssertionFailure() << "the call succeeded; expected " << id;
  if (r.id != id) {
    return ::testing::AssertionFailure() << "error " << r.id << " (" << r.message
                                         << "); expected " << id;
  }
  for (const std::string& p : parts) {
    if (r.message.find(p) == std::string::npos) {
      return ::testing::AssertionFailure() << "message \"" << r.message << "\" lacks \"" << p
                                           << "\"";
    }
  }
  if (r.leftovers != 0) return ::testing::AssertionFailure() << r.leftovers << " leftovers";
  if (r.inputs_changed) return ::testing::AssertionFailure() << "an input changed";
  return ::testing::AssertionSuccess();
}

// The call succeeded, returned nothing it should not have kept, and changed
// none of its inputs.
inline ::testing::AssertionResult succeeded(const CallResult& r) {
  if (!r.ok) return ::testing::AssertionFailure() << "error " << r.id << ": " << r.message;
  if (r.leftovers != 0) return ::testing::AssertionFailure() << r.leftovers << " leftovers";
  if (r.inputs_changed) return ::testing::AssertionFailure() << "an input changed";
  return ::testing::AssertionSuccess();
}

// Value of a 1x1 double output.
inline double scalar_of(const Array& a) {
  const std::vector<double> v = values(a.get());
  EXPECT_EQ(v.size(), 1u);
  return v.empty() ? 0.0 : v[0];
}

}  // namespace testhost
