#include "common/io.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/deleter.h"
#include "common/unique_fd.h"

namespace vantrel {
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

// A signal that interrupts a blocked write, or the wait on a full
// non-blocking pipe (no SA_RESTART), costs nothing.
TEST(WriteAllTest, InterruptedWritesAndWaitsGoOn) {
  struct sigaction ignore = {};
  ignore.sa_handler = [](int) {};
  ::sigaction(SIGALRM, &ignore, nullptr);
  for (bool nonBlocking : {false, true}) {
    int slow[2];
    ASSERT_EQ(::pipe(slow), 0);
    if (nonBlocking) ::fcntl(slow[1], F_SETFL, O_NONBLOCK);
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
    EXPECT_EQ(writeAll(slow[1], text), 0) << (nonBlocking ? "non-blocking" : "blocking");
    ::setitimer(ITIMER_REAL, &never, nullptr);
    ::close(slow[1]);
    reader.join();
    ::close(slow[0]);
    EXPECT_TRUE(read == text) << read.size() << " bytes of " << text.size();
  }
}

// Reads up to the size asked for, across short reads, a non-blocking pipe
// that is empty for a while, and signals; the end of the input ends it.
TEST(ReadAllTest, UpToTheSizeOrTheEnd) {
  struct sigaction ignore = {};
  ignore.sa_handler = [](int) {};
  ::sigaction(SIGALRM, &ignore, nullptr);
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  ::fcntl(pipe[0], F_SETFL, O_NONBLOCK);
  std::thread writer([&] {
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    ::pthread_sigmask(SIG_BLOCK, &alarm, nullptr);
    for (int i = 0; i < 20; ++i, ::usleep(2000)) ::write(pipe[1], "0123456789", 10);
    ::close(pipe[1]);
  });
  itimerval often = {{0, 300}, {0, 300}}, never = {};
  ::setitimer(ITIMER_REAL, &often, nullptr);
  std::string buffer(150, '\0');
  size_t done = 99;
  EXPECT_EQ(readAll(pipe[0], buffer.data(), buffer.size(), &done), 0);
  EXPECT_EQ(done, 150u);
  EXPECT_EQ(readAll(pipe[0], buffer.data(), buffer.size(), &done), 0);
  ::setitimer(ITIMER_REAL, &never, nullptr);
  EXPECT_EQ(done, 50u);  // the rest, then the end
  EXPECT_EQ(buffer.substr(0, 50), "01234567890123456789012345678901234567890123456789");
  writer.join();
  ::close(pipe[0]);
  EXPECT_EQ(readAll(-1, buffer.data(), 1, &done), EBADF);
  EXPECT_EQ(done, 0u);
}

int freed = 0;
void countFree(int* object) {
  ++freed;
  delete object;
}

// The owners release what they hold, once.
TEST(OwnersTest, DescriptorAndObjectAreReleasedOnce) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  {
    UniqueFd first(pipe[0]);
    UniqueFd second(std::move(first));
    EXPECT_EQ(first.get(), -1);
    EXPECT_EQ(second.get(), pipe[0]);
  }
  EXPECT_EQ(::fcntl(pipe[0], F_GETFD), -1);  // closed with its last owner
  UniqueFd kept(pipe[1]);
  EXPECT_EQ(kept.release(), pipe[1]);
  EXPECT_NE(::fcntl(pipe[1], F_GETFD), -1);
  ::close(pipe[1]);
  { std::unique_ptr<int, Deleter<countFree>> owned(new int(1)); }
  EXPECT_EQ(freed, 1);
}

}  // namespace
}  // namespace vantrel
