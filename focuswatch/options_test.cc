#include "focuswatch/options.h"

#include <gtest/gtest.h>

namespace focuswatch {
namespace {

TEST(ProbeOptionsTest, ModesAreWholeExactArgumentsAndTrustOnlyWins) {
  struct Case { std::vector<std::string> arguments; bool trustOnly, once; };
  for (const auto& [arguments, trustOnly, once] : {
           Case{{"focuswatch"}, false, false}, Case{{"focuswatch", "--browser-tracking", "--once"}, false, true},
           Case{{"focuswatch", "--ONCE", "--once=1", "--trust-only "}, false, false},
           Case{{"focuswatch", "--once", "--trust-only"}, true, false}}) {
    const ProbeOptions read = readProbeOptions(arguments);
    EXPECT_EQ(std::pair(read.trustOnly, read.once), std::pair(trustOnly, once)) << arguments.size();
  }
}

}  // namespace
}  // namespace focuswatch
