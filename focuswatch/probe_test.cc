#include "focuswatch/probe.h"

#include <stdio.h>
#include <unistd.h>

#include <algorithm>

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

// The event loop that the probe sets up; its lines go to a pipe, where
// they are one sample taken before the loop.
std::string loopOf(std::vector<std::string> options) {
  options.insert(options.begin(), "focuswatch");
  LoopRecorder desktop;
  int ends[2];
  EXPECT_EQ(::pipe(ends), 0);
  vantrel::UniqueFd reader(ends[0]), writer(ends[1]), saved(::dup(STDOUT_FILENO));
  ::fflush(stdout);
  ::dup2(writer.get(), STDOUT_FILENO);
  EXPECT_EQ(runProbe(desktop, options), 0);
  ::dup2(saved.get(), STDOUT_FILENO);
  writer.reset();
  char lines[4096];
  ssize_t size = ::read(reader.get(), lines, sizeof lines);
  EXPECT_EQ(std::count(lines, lines + std::max<ssize_t>(size, 0), '\n'), 1) << size;
  return desktop.calls;
}

TEST(ProbeTest, OnlyWatchingObservesTheWorkspaceAndTicksEveryTwoSeconds) {
  EXPECT_EQ(loopOf({}), " observe:0 observe:1 observe:2 timer:2.000000 run");
  EXPECT_EQ(loopOf({"--browser-tracking", "--once"}), "");
}

}  // namespace
}  // namespace focuswatch
