#include "focuswatch/options.h"

#include <gtest/gtest.h>

namespace focuswatch {
namespace {

TEST(ProbeOptionsTest, ModesAreWholeExactArgumentsAndTrustOnlyWins) {
  struct Case { std::vector<std::string> arguments; bool trustOnly = false, once = false; };
  for (const auto& [arguments, trustOnly, once] : {
           Case{.arguments = {"focuswatch"}},
           Case{.arguments = {"focuswatch", "--browser-tracking", "--once"}, .once = true},
           Case{.arguments = {"focuswatch", "--ONCE", "--once=1", "--trust-only "}},
           Case{.arguments = {"focuswatch", "--once", "--trust-only"}, .trustOnly = true}}) {
    const ProbeOptions read = readProbeOptions(arguments);
    EXPECT_EQ(std::pair(read.trustOnly, read.once), std::pair(trustOnly, once)) << arguments.size();
  }
}

}  // namespace
}  // namespace focuswatch
