#include "common/result.h"

#include <string>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using Text = Result<int, std::string>;
constexpr bool kChecked = VANTREL_CHECK_RESULTS;

void take(Text result, bool look) {
  if (look) static_cast<void>(static_cast<bool>(result));
}

// Only a failure that no one looked at ends the program, and only where
// results are checked; one passed on is the receiver's to look at.
TEST(ResultTest, AFailureNeverLookedAtEndsTheProgramWhereResultsAreChecked) {
  struct Case { const char* what; void (*make)(); bool aborts; };
  for (const auto& [what, make, aborts] : {
           Case{"failure dropped", [] { Text dropped = Failure(std::string("gone")); }, kChecked},
           Case{"failure looked at, then passed on and dropped",
                [] {
                  Text passed = Failure(std::string("gone"));
                  if (passed) return;
                  take(std::move(passed), false);
                },
                kChecked},
           Case{"failure moved on and asked whether it holds a value",
                [] {
                  Text seen = Failure(std::string("seen"));
                  take(std::move(seen), true);
                },
                false},
           Case{"failure whose error was read", [] { EXPECT_EQ(Text(Failure(std::string("read"))).error(), "read"); },
                false},
           Case{"value never looked at", [] { Text value = 7; }, false}}) {
    if (aborts)
      EXPECT_DEATH(make(), "result_test.cc:[0-9]+: a failure was never checked .*std::") << what;
    else
      EXPECT_EXIT((make(), std::exit(0)), ::testing::ExitedWithCode(0), "") << what;
  }
}

}  // namespace
}  // namespace vantrel
