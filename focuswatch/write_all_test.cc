#include "focuswatch/write_all.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace focuswatch {
namespace {

TEST(WriteAllTest, EveryByteOrTheFailureThatStoppedIt) {
  ::signal(SIGPIPE, SIG_IGN);
  int full[2], closed[2];
  ASSERT_EQ(::pipe(full), 0);
  ASSERT_EQ(::pipe(closed), 0);
  ::close(closed[0]);
  ::fcntl(full[1], F_SETFL, O_NONBLOCK);
  std::string text(300'000, 'x'), read;
  std::thread reader([&] {
    char buffer[65536];
    for (ssize_t n; (n = ::read(full[0], buffer, sizeof buffer)) > 0;) read.append(buffer, n);
  });
  EXPECT_EQ(writeAll(full[1], text), 0);  // full many times over, waited for
  EXPECT_EQ(writeAll(full[1], "y"), 0);   // one byte is a whole write too
  ::close(full[1]);
  reader.join();
  EXPECT_TRUE(read == text + "y") << read.size() << " bytes";
  EXPECT_EQ(writeAll(closed[1], "x"), EPIPE);
  EXPECT_EQ(writeAll(-1, "x"), EBADF);
  EXPECT_EQ(writeAll(-1, ""), 0);
  int devFull = ::open("/dev/full", O_WRONLY);
  EXPECT_EQ(writeAll(devFull, "x"), ENOSPC);
  ::close(devFull);
  ::close(closed[1]);
}

// A signal that interrupts a blocked write (no SA_RESTART) costs nothing.
TEST(WriteAllTest, InterruptedWritesGoOn) {
  struct sigaction ignore = {};
  ignore.sa_handler = [](int) {};
  ::sigaction(SIGALRM, &ignore, nullptr);
  int slow[2];
  ASSERT_EQ(::pipe(slow), 0);
  std::string text(1'000'000, 'x'), read;
  std::thread reader([&] {
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    ::pthread_sigmask(SIG_BLOCK, &alarm, nullptr);  // every alarm reaches the writer
    char buffer[4096];
    for (ssize_t n; (n = ::read(slow[0], buffer, sizeof buffer)) > 0; ::usleep(100)) read.append(buffer, n);
  });
  itimerval often = {{0, 200}, {0, 200}}, never = {};
  ::setitimer(ITIMER_REAL, &often, nullptr);
  EXPECT_EQ(writeAll(slow[1], text), 0);
  ::setitimer(ITIMER_REAL, &never, nullptr);
  ::close(slow[1]);
  reader.join();
  ::close(slow[0]);
  EXPECT_TRUE(read == text) << read.size() << " bytes of " << text.size();
}

}  // namespace
}  // namespace focuswatch
