// The simulated desktop's run loop: the notification pipe's lines and the
// timers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "focuswatch/sim/desktop_sim.h"
#include "focuswatch/sim/notify_pipe.h"
#include "focuswatch/sim/timer_queue.h"

namespace focuswatch {
namespace {

std::vector<std::string> linesOf(LineSplitter& splitter) {
  std::vector<std::string> lines;
  while (std::optional<std::string> line = splitter.next()) lines.push_back(*line);
  return lines;
}

TEST(LineSplitterTest, WholeLinesOnlyWhateverThePieces) {
  // "|" ends a writer: every writer before it has gone.
  struct Case { std::vector<std::string> pieces; std::vector<std::string> lines; };
  for (const auto& [pieces, lines] : {
           Case{{"a\nb", "c\n", "\n"}, {"a", "bc", ""}},
           Case{{"long", "er\nfour\nfive5\n"}, {"four"}},  // longer than four bytes: dropped whole
           Case{{"slee", "|", "wake\n"}, {"wake"}},        // its writer quit mid-line
           Case{{"a\nsle", "|", "wake\n"}, {"a", "wake"}},
           Case{{"a\n", "|", "|", "b\n"}, {"a", "b"}}}) {
    LineSplitter splitter(4);
    std::vector<std::string> got;
    for (size_t i = 0; i < pieces.size(); ++i) {
      pieces[i] == "|" ? splitter.endOfInput() : splitter.add(pieces[i]);
      if (i % 2) {  // taken apart now and then, as the run loop does
        for (std::string& line : linesOf(splitter)) got.push_back(line);
      }
    }
    for (std::string& line : linesOf(splitter)) got.push_back(line);
    EXPECT_EQ(got, lines) << ::testing::PrintToString(pieces);
    EXPECT_FALSE(splitter.pending());
  }
}

// A writer that quits mid-line does not swallow the next writer's line, and
// a line feed that comes on its own ends its line. A pipe made after the
// reader started is read (one made again, the end-to-end test shows).
TEST(NotifyPipeTest, NextWriterStartsAfreshAndThePipeAtThePathIsRead) {
  char folder[] = "/tmp/notify-pipe-XXXXXX";
  ASSERT_TRUE(::mkdtemp(folder));
  std::string path = std::string(folder) + "/notify";
  NotifyPipe pipe(path);
  auto write = [&](const std::vector<std::string>& pieces) {
    vantrel::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK));  // ENXIO while nobody reads
    for (const std::string& piece : pieces) {
      EXPECT_EQ(::write(fd.get(), piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
      pipe.read();
    }
  };
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  pipe.follow();
  write({"NSWorkspaceWillSlee"});
  pipe.read();  // its writer's end
  write({"NSWorkspaceDidWakeNotification", "\n"});
  EXPECT_EQ(linesOf(pipe.lines()), std::vector<std::string>{"NSWorkspaceDidWakeNotification"});
  std::filesystem::remove_all(folder);
  EXPECT_FALSE(NotifyPipe("/dev/null"));  // only a named pipe is read
}

// A timer that is due comes before the notifications still queued, however
// many they are.
TEST(SimRunLoopTest, DueTimerGoesBeforeQueuedNotifications) {
  char folder[] = "/tmp/run-loop-XXXXXX";
  ASSERT_TRUE(::mkdtemp(folder));
  std::string path = std::string(folder) + "/notify";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  vantrel::UniqueFd holder(::open(path.c_str(), O_RDONLY | O_NONBLOCK));  // so the lines wait in the pipe
  std::string lines;
  while (lines.size() < 5'000) lines += "NSWorkspaceDidWakeNotification\n";  // 162 lines: any pipe holds them
  EXPECT_EQ(::write(vantrel::UniqueFd(::open(path.c_str(), O_WRONLY)).get(), lines.data(), lines.size()),
            static_cast<ssize_t>(lines.size()));
  SimDesktop desktop(SimPaths{"", path});
  int posted = 0, postedAtTick = -1;
  // Each notification takes longer than the timer's interval.
  desktop.addObserver(WorkspaceNotification::kDidWake, [&] { ++posted, std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
  desktop.scheduleRepeatingTimer(0.001, [&] { postedAtTick = posted, desktop.stopMainRunLoop(); });
  desktop.runMainRunLoop();
  std::filesystem::remove_all(folder);
  EXPECT_EQ(postedAtTick, 1);
}

TEST(TimerQueueTest, FixedScheduleSkipsMissedTicks) {
  using namespace std::chrono_literals;
  TimerQueue::Clock::time_point start;
  TimerQueue timers;
  std::string fired;
  auto tick = [&](char name) { return [&fired, name] { fired += name; }; };
  timers.add(2s, tick('2'), start);
  int third = timers.add(3s, tick('3'), start);
  EXPECT_EQ(timers.untilNext(start), 2s);
  timers.fireDue(start + 1999ms);
  timers.fireDue(start + 2s);
  EXPECT_EQ(timers.untilNext(start + 2s), 1s);
  timers.fireDue(start + 9500ms);  // slow: ticks at 4, 6, 8 and 3, 6, 9 missed
  EXPECT_EQ(timers.untilNext(start + 9500ms), 500ms);  // two's next tick, at 10
  timers.remove(third);
  timers.fireDue(start + 12s);
  EXPECT_EQ(fired, "2232");
  EXPECT_FALSE(TimerQueue().untilNext(start));
}

// A block may remove timers, its own and one that is due too.
TEST(TimerQueueTest, BlockMayRemoveTimers) {
  TimerQueue timers;
  int first = 0, second = 0, runs = 0;
  auto both = [&] { ++runs, timers.remove(first), timers.remove(second); };
  first = timers.add(std::chrono::seconds(1), both, {});
  second = timers.add(std::chrono::seconds(1), both, {});
  timers.fireDue(TimerQueue::Clock::time_point() + std::chrono::seconds(1));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(timers.empty());
}

}  // namespace
}  // namespace focuswatch
