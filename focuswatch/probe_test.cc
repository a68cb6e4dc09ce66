#include "focuswatch/probe.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/unique_fd.h"
#include "focuswatch/sim/desktop_sim.h"

namespace focuswatch {
namespace {

// The empty simulated desktop, recording the event loop's set-up.
class LoopRecorder : public SimDesktop {
 public:
  LoopRecorder() : SimDesktop(SimPaths{}) {}
  Token addObserver(WorkspaceNotification name, Block block) override {
    calls += " observe:" + std::to_string(static_cast<int>(name));
    return SimDesktop::addObserver(name, std::move(block));
  }
  Token scheduleRepeatingTimer(double interval, Block block) override {
    calls += " timer:" + std::to_string(interval);
    return SimDesktop::scheduleRepeatingTimer(interval, std::move(block));
  }
  void runMainRunLoop() override { calls += " run"; }
  std::string calls;
};

// The event loop that the probe sets up; its lines go to /dev/null.
std::string loopOf(std::vector<std::string> options) {
  options.insert(options.begin(), "focuswatch");
  LoopRecorder desktop;
  vantrel::UniqueFd saved(::dup(STDOUT_FILENO)), null(::open("/dev/null", O_WRONLY));
  ::fflush(stdout), ::dup2(null.get(), STDOUT_FILENO);
  EXPECT_EQ(runProbe(desktop, options), 0);
  ::dup2(saved.get(), STDOUT_FILENO);
  return desktop.calls;
}

TEST(ProbeTest, OnlyWatchingObservesTheWorkspaceAndTicksEveryTwoSeconds) {
  EXPECT_EQ(loopOf({}), " observe:0 observe:1 observe:2 timer:2.000000 run");
  EXPECT_EQ(loopOf({"--browser-tracking", "--once"}), "");
}

}  // namespace
}  // namespace focuswatch
