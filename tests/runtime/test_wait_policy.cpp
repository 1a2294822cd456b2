#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "runtime/wait_policy.h"

// This executable links the program's pre-initialiser: by main the spin
// count is in the environment (the run-time read it when it was loaded),
// unless the environment of the test run chose a wait policy of its own.
TEST(WaitPolicy, SetBeforeTheRunTimeStartsUnlessTheUserChose) {
  if (std::getenv("OMP_WAIT_POLICY") != nullptr) GTEST_SKIP() << "OMP_WAIT_POLICY set by the user";
  const char* spin = std::getenv("GOMP_SPINCOUNT");
  const char* block = std::getenv("KMP_BLOCKTIME");
  ASSERT_TRUE(spin != nullptr || block != nullptr);
  if (spin != nullptr && block != nullptr &&
      std::string("GOMP_SPINCOUNT=") + spin == rt::kDefaultSpinCount) {
    EXPECT_EQ(std::string("KMP_BLOCKTIME=") + block, rt::kDefaultBlockTime);
  }
}

TEST(WaitPolicy, DefaultOnlyWhereTheUserChoseNothing) {
  char a[] = "PATH=/bin";
  char b[] = "OMP_NUM_THREADS=2";
  char* none[] = {a, b, nullptr};
  EXPECT_TRUE(rt::wants_default_wait_policy(none));
  char* empty[] = {nullptr};
  EXPECT_TRUE(rt::wants_default_wait_policy(empty));
  for (const char* user : {"OMP_WAIT_POLICY=active", "GOMP_SPINCOUNT=0", "KMP_BLOCKTIME=200"}) {
    std::string u = user;
    char* env[] = {a, u.data(), b, nullptr};
    EXPECT_FALSE(rt::wants_default_wait_policy(env)) << user;
  }
  // A name that only begins like one of them is not a choice.
  char c[] = "OMP_WAIT_POLICYX=1";
  char* similar[] = {c, nullptr};
  EXPECT_TRUE(rt::wants_default_wait_policy(similar));
}
