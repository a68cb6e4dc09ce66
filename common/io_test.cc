#include "common/io.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/deleter.h"
#include "common/unique_fd.h"

namespace vantrel {
namespace {

// Runs `peer` on a thread of its own, and `body` on this one while it gets
// a SIGALRM every 200 microseconds, with no SA_RESTART.
void underAlarms(const std::function<void()>& peer, const std::function<void()>& body) {
  struct sigaction ignore = {};
  ignore.sa_handler = [](int) {};
  ::sigaction(SIGALRM, &ignore, nullptr);
  std::thread other([&] {
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    ::pthread_sigmask(SIG_BLOCK, &alarm, nullptr);  // every alarm reaches `body`
    peer();
  });
  itimerval often = {{0, 200}, {0, 200}}, never = {};
  ::setitimer(ITIMER_REAL, &often, nullptr);
  body();
  ::setitimer(ITIMER_REAL, &never, nullptr);
  other.join();
}

TEST(WriteAllTest, EveryByteOrTheFailureThatStoppedIt) {
  ::signal(SIGPIPE, SIG_IGN);
  int closed[2];
  ASSERT_EQ(::pipe(closed), 0);
  ::close(closed[0]);
  EXPECT_EQ(writeAll(closed[1], "x"), EPIPE);
  ::close(closed[1]);
  EXPECT_EQ(writeAll(-1, "x"), EBADF);
  EXPECT_EQ(writeAll(-1, ""), 0);
  UniqueFd full(::open("/dev/full", O_WRONLY));
  EXPECT_EQ(writeAll(full.get(), "x"), ENOSPC);
}

// A slow reader, and signals that interrupt a blocked write or the wait on
// a full non-blocking pipe, cost nothing; one byte is a whole write too.
TEST(WriteAllTest, FullPipesAndSignalsLoseNothing) {
  for (bool nonBlocking : {false, true}) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    if (nonBlocking) ::fcntl(pipe[1], F_SETFL, O_NONBLOCK);
    std::string text(1'000'000, 'x'), read;
    underAlarms(
        [&] {
          char buffer[4096];
          for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0; ::usleep(100))
            read.append(buffer, n);
        },
        [&] {
          EXPECT_EQ(writeAll(pipe[1], text), 0) << (nonBlocking ? "non-blocking" : "blocking");
          EXPECT_EQ(writeAll(pipe[1], "y"), 0);
          ::close(pipe[1]);
        });
    ::close(pipe[0]);
    EXPECT_TRUE(read == text + "y") << read.size() << " bytes of " << text.size() + 1;
  }
}

// Up to the size asked for, across short reads, signals that interrupt a
// blocked read or the wait on an empty non-blocking pipe; the end of the
// input ends it.
TEST(ReadAllTest, UpToTheSizeOrTheEnd) {
  for (bool nonBlocking : {false, true}) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    if (nonBlocking) ::fcntl(pipe[0], F_SETFL, O_NONBLOCK);
    std::string buffer(150, '\0');
    size_t first = 0, rest = 0;
    underAlarms(
        [&] {
          for (int i = 0; i < 20; ++i, ::usleep(2000)) EXPECT_EQ(::write(pipe[1], "0123456789", 10), 10);
          ::close(pipe[1]);
        },
        [&] {
          EXPECT_EQ(readAll(pipe[0], buffer.data(), buffer.size(), &first), 0);
          EXPECT_EQ(readAll(pipe[0], buffer.data(), buffer.size(), &rest), 0);
        });
    EXPECT_EQ(first + rest, 200u) << (nonBlocking ? "non-blocking" : "blocking");
    EXPECT_EQ(buffer.substr(40, 20), "01234567890123456789");
    ::close(pipe[0]);
  }
  size_t none = 1;
  EXPECT_EQ(readAll(-1, nullptr, 1, &none), EBADF);
  EXPECT_EQ(none, 0u);
}

int freed = 0;
void countFree(int* object) {
  ++freed;
  delete object;
}

TEST(OwnersTest, DescriptorAndObjectAreReleasedOnce) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  {
    UniqueFd first(pipe[0]);
    UniqueFd second(std::move(first));
    EXPECT_EQ(first.get(), -1);
  }
  EXPECT_EQ(::fcntl(pipe[0], F_GETFD), -1);  // closed with its last owner
  UniqueFd kept(pipe[1]);
  EXPECT_EQ(kept.release(), pipe[1]);
  EXPECT_EQ(::close(pipe[1]), 0);  // still open after release
  { std::unique_ptr<int, Deleter<countFree>> owned(new int(1)); }
  EXPECT_EQ(freed, 1);
}

}  // namespace
}  // namespace vantrel
