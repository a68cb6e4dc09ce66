#include "test/scoped_state.h"

#include <gtest/gtest.h>

namespace testing_support {
namespace {

// A variable changed twice gets its first value back; one that was absent
// is absent again, not empty, as a program that tells the two apart sees.
TEST(ScopedStateTest, OldValuesAndAbsenceComeBack) {
  ::setenv("SCOPED_STATE_SET", "old", 1);
  ::unsetenv("SCOPED_STATE_ABSENT");
  {
    ScopedState state;
    state.setEnvironment("SCOPED_STATE_SET", std::nullopt);
    state.setEnvironment("SCOPED_STATE_ABSENT", "x");
    state.setEnvironment("SCOPED_STATE_SET", "new");
    state.setEnvironment("SCOPED_STATE_ABSENT", "");
    EXPECT_STREQ(::getenv("SCOPED_STATE_SET"), "new");
  }
  EXPECT_STREQ(::getenv("SCOPED_STATE_SET"), "old");
  EXPECT_EQ(::getenv("SCOPED_STATE_ABSENT"), nullptr);
  ::unsetenv("SCOPED_STATE_SET");
}

}  // namespace
}  // namespace testing_support
