// ringtest through the test host: every input check, each naming its input
// and followed by a call that classifies correctly; the help text; outputs
// as requested.
#include <gtest/gtest.h>

#include <limits>

#include "host_testing.h"
#include "polygon/point_in_polygon.h"

using testhost::Array;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The unit square and three points: inside, outside, on the right edge.
struct Args {
  Array X = testhost::matrix(2, 3, {0.5, 0.5, 2, 2, 1, 0.5});
  Array node = testhost::matrix(2, 4, {0, 0, 1, 0, 1, 1, 0, 1});
  Array cnect = testhost::matrix(2, 4, {1, 2, 2, 3, 3, 4, 4, 1});
};

std::vector<int> flags(const Array& a) {
  EXPECT_TRUE(mxIsLogical(a.get()));
  EXPECT_EQ(mxGetM(a.get()), 1u);
  std::vector<int> v;
  const mxLogical* p = mxGetLogicals(a.get());
  for (std::size_t i = 0; i < mxGetN(a.get()); ++i) v.push_back(p[i]);
  return v;
}

void expect_square_classified(bool with_cnect) {
  Args a;
  std::vector<const mxArray*> in = {a.X.get(), a.node.get()};
  if (with_cnect) in.push_back(a.cnect.get());
  testhost::CallResult r = testhost::call(2, in);
  ASSERT_TRUE(testhost::succeeded(r));
  EXPECT_EQ(flags(r.outputs[0]), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(flags(r.outputs[1]), (std::vector<int>{0, 0, 1}));
}

TEST(RingtestHost, FewerThanTwoInputsPrintTheHelp) {
  Args a;
  for (std::size_t n : {0u, 1u}) {
    std::vector<const mxArray*> in = {a.X.get()};
    in.resize(n);
    testhost::CallResult r = testhost::call(0, in);
    ASSERT_TRUE(testhost::succeeded(r));
    EXPECT_NE(r.console.find("ringtest(X , node , [cnect])"), std::string::npos);
  }
}

TEST(RingtestHost, AtMostTwoOutputs) {
  Args a;
  EXPECT_TRUE(testhost::failed_with(testhost::call(3, {a.X.get(), a.node.get()}),
                                    "ringtest:tooManyOutputs", {"at most 2"}));
  expect_square_classified(false);
}

TEST(RingtestHost, TablesMustBeTwoRowsOfRealDoubles) {
  const struct {
    const char* name;
    int position;
  } tables[] = {{"X", 0}, {"node", 1}, {"cnect", 2}};
  for (const auto& t : tables) {
    std::vector<Array> bad;
    bad.push_back(testhost::matrix(3, 2));
    bad.push_back(testhost::matrix(1, 4));
    bad.push_back(testhost::matrix(0, 0));
    bad.push_back(testhost::numeric(mxSINGLE_CLASS, {2, 3}));
    bad.push_back(testhost::numeric(mxINT32_CLASS, {2, 3}));
    bad.push_back(testhost::numeric(mxLOGICAL_CLASS, {2, 3}));
    bad.push_back(testhost::numeric(mxDOUBLE_CLASS, {2, 3}, mxCOMPLEX));
    bad.push_back(testhost::sparse(2, 3, 1));
    bad.push_back(testhost::cell(2, 3));
    for (const Array& b : bad) {
      Args a;
      std::vector<const mxArray*> in = {a.X.get(), a.node.get(), a.cnect.get()};
      in[t.position] = b.get();
      EXPECT_TRUE(testhost::failed_with(testhost::call(2, in), "ringtest:badInput",
                                        {std::string(t.name) + " must be"}))
          << t.name << " " << mxGetClassName(b.get()) << " " << mxGetM(b.get()) << "x"
          << mxGetN(b.get());
      expect_square_classified(true);
    }
  }
}

TEST(RingtestHost, EdgeEntriesMustBeNodeNumbers) {
  const struct {
    double value;
    const char* shown;
  } cases[] = {{0, "= 0 "},     {5, "= 5 "},       {-1, "= -1 "},   {1.5, "= 1.5 "},
               {kNaN, "= NaN "}, {kInf, "= Inf "}, {-kInf, "= -Inf "}, {4294967297.0, "= 4.29497e+09 "}};
  for (const auto& c : cases) {
    Args a;
    double* p = mxGetPr(a.cnect.get());
    p[5] = c.value;  // cnect(2,3)
    EXPECT_TRUE(testhost::failed_with(testhost::call(2, {a.X.get(), a.node.get(), a.cnect.get()}),
                                      "ringtest:badInput", {"cnect(2,3) ", c.shown, "1..4"}))
        << c.value;
    expect_square_classified(true);
  }
}

TEST(RingtestHost, MorePointsThanOneCallCanSortAreRefusedUnread) {
  Args a;
  // Never allocated: the check reads the size only.
  Array many = testhost::matrix(2, static_cast<mwSize>(ccs::polygon::kMaxPoints) + 1);
  EXPECT_TRUE(testhost::failed_with(testhost::call(2, {many.get(), a.node.get()}),
                                    "ringtest:badInput", {"X has more than"}));
  expect_square_classified(false);
}

TEST(RingtestHost, OutputsFollowTheRequest) {
  Args a;
  for (int nlhs : {0, 1}) {
    testhost::CallResult r = testhost::call(nlhs, {a.X.get(), a.node.get()});
    ASSERT_TRUE(testhost::succeeded(r));
    ASSERT_EQ(r.outputs.size(), 1u);
    EXPECT_EQ(flags(r.outputs[0]), (std::vector<int>{1, 0, 1}));
  }
  Array none = testhost::matrix(2, 0);
  testhost::CallResult r = testhost::call(2, {none.get(), a.node.get()});
  ASSERT_TRUE(testhost::succeeded(r));
  EXPECT_EQ(testhost::dims(r.outputs[0].get()), (std::vector<mwSize>{1, 0}));
  EXPECT_EQ(testhost::dims(r.outputs[1].get()), (std::vector<mwSize>{1, 0}));
}

}  // namespace
