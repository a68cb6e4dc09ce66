#include "common/result.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using Number = Result<int, int>;
constexpr bool kChecked = VANTREL_CHECK_RESULTS;

bool take(Number result, bool look) { return look && result; }

// Only a failure that no one looked at ends the program, and only where
// results are checked; one passed on is the receiver's to look at.
TEST(ResultTest, AFailureNeverLookedAtEndsTheProgramWhereResultsAreChecked) {
  struct Case { const char* what; void (*make)(); bool aborts; };
  for (const auto& [what, make, aborts] : {
           Case{"failure dropped", [] { Number dropped = Failure(1); }, kChecked},
           Case{"failure looked at, then passed on and dropped",
                [] { Number passed = Failure(1); if (!passed) take(std::move(passed), false); }, kChecked},
           Case{"failure moved on and looked at there",
                [] { Number moved = Failure(1); take(std::move(moved), true); }, false},
           Case{"failure whose error was read", [] { EXPECT_EQ(Number(Failure(2)).error(), 2); }, false},
           Case{"value never looked at", [] { Number value = 7; }, false}}) {
    if (aborts)
      EXPECT_DEATH(make(), "result_test.cc:[0-9]+: a failure was never checked \\(.*Result") << what;
    else
      EXPECT_EXIT((make(), std::exit(0)), ::testing::ExitedWithCode(0), "") << what;
  }
}

}  // namespace
}  // namespace vantrel
