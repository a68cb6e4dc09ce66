// The simulated desktop's run loop: the notification pipe's lines and the
// timers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

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
      if (pieces[i] == "|") {
        splitter.endOfInput();
      } else {
        splitter.add(pieces[i]);
      }
      if (i % 2) {  // taken apart now and then, as the run loop does
        for (std::string& line : linesOf(splitter)) got.push_back(line);
      }
    }
    for (std::string& line : linesOf(splitter)) got.push_back(line);
    EXPECT_EQ(got, lines) << ::testing::PrintToString(pieces);
    EXPECT_FALSE(splitter.pending());
  }
}

// A writer that quits mid-line does not swallow the next writer's line.
TEST(NotifyPipeTest, NextWriterStartsAfreshAndTheEndIsSeen) {
  char folder[] = "/tmp/notify-pipe-XXXXXX";
  ASSERT_TRUE(::mkdtemp(folder));
  std::string path = std::string(folder) + "/notify";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  NotifyPipe pipe(path);
  ASSERT_TRUE(pipe);
  auto write = [&](const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY);
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  };
  write("NSWorkspaceWillSlee");
  pipe.read();  // the fragment
  pipe.read();  // its writer's end
  write("NSWorkspaceDidWakeNotification\n");
  pipe.read();
  EXPECT_EQ(linesOf(pipe.lines()), std::vector<std::string>{"NSWorkspaceDidWakeNotification"});
  std::filesystem::remove_all(folder);
  EXPECT_FALSE(NotifyPipe("/dev/null"));  // only a named pipe is read
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
