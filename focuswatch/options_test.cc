#include "focuswatch/options.h"

#include <gtest/gtest.h>

namespace focuswatch {
namespace {

TEST(ProbeOptionsTest, ModesAreWholeExactArgumentsAndTrustOnlyWins) {
  struct Case { std::vector<std::string> arguments; bool trustOnly, once; };
  for (const auto& [arguments, trustOnly, once] : {
           Case{.arguments = {"focuswatch"}, .trustOnly = false, .once = false},
           Case{.arguments = {"focuswatch", "--browser-tracking", "--once"}, .trustOnly = false,
                .once = true},
           Case{.arguments = {"focuswatch", "--ONCE", "--once=1", "--trust-only "}, .trustOnly = false,
                .once = false},
           Case{.arguments = {"focuswatch", "--once", "--trust-only"}, .trustOnly = true, .once = false}}) {
    const ProbeOptions read = readProbeOptions(arguments);
    EXPECT_EQ(std::pair(read.trustOnly, read.once), std::pair(trustOnly, once)) << arguments.size();
  }
}

}  // namespace
}  // namespace focuswatch
