#include "common/io.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/deleter.h"
#include "common/unique_fd.h"
#include "test/scoped_state.h"

namespace vantrel {
namespace {

// Runs `peer` on a thread of its own, and `body` on this one; with
// `signals`, while it gets a SIGALRM every 200 microseconds, with no
// SA_RESTART. Without, nothing but the descriptor ends a wait on it, and a
// wait that never ends is ended by an alarm in a minute that kills the
// test program (the peers take well under a second).
void underAlarms(bool signals, const std::function<void()>& peer, const std::function<void()>& body) {
  testing_support::ScopedState state;
  state.setSignalAction(SIGALRM, signals ? +[](int) {} : SIG_DFL);
  std::thread other([&] {
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    ::pthread_sigmask(SIG_BLOCK, &alarm, nullptr);  // every alarm reaches `body`
    peer();
  });
  itimerval often = {{0, 200}, {0, 200}}, hung = {{0, 0}, {60, 0}}, never = {};
  ::setitimer(ITIMER_REAL, signals ? &often : &hung, nullptr);
  body();
  ::setitimer(ITIMER_REAL, &never, nullptr);
  other.join();
}

TEST(WriteAllTest, EveryByteOrTheFailureThatStoppedIt) {
  EXPECT_EQ(writeAll(-1, "x"), EBADF);
  EXPECT_EQ(writeAll(-1, ""), 0);
  // A full disk, as every POSIX system can make one (Linux's full device is
  // not on a Mac): a regular file past the file size limit, SIGXFSZ ignored
  // so that the write fails instead of ending the program.
  testing_support::ScopedState state;
  state.setSignalAction(SIGXFSZ, SIG_IGN);
  std::unique_ptr<FILE, Deleter<fclose>> full(std::tmpfile());
  state.limitFileSize(0);
  EXPECT_EQ(writeAll(::fileno(full.get()), "x"), EFBIG);
}

// A slow peer, and signals that interrupt a blocked call or the wait on a
// non-blocking pipe (full, or empty), lose nothing; with no signal, that
// wait ends when the peer comes. One byte is a whole write too, and the
// end of the input ends a read short of its size.
TEST(WriteAndReadAllTest, SlowPeersAndSignalsLoseNothing) {
  for (auto [nonBlocking, signals] : {std::pair{false, true}, {true, true}, {true, false}}) {
    int out[2], in[2];
    ASSERT_EQ(::pipe(out) | ::pipe(in), 0);
    if (nonBlocking) ::fcntl(out[1], F_SETFL, O_NONBLOCK), ::fcntl(in[0], F_SETFL, O_NONBLOCK);
    std::string text(1'000'000, 'x'), written, read(150, '\0');
    size_t first = 0, rest = 0;
    auto slowReader = [&] {
      char buffer[4096];
      for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0; ::usleep(100)) written.append(buffer, n);
    };
    underAlarms(signals, slowReader, [&] {
      EXPECT_EQ(writeAll(out[1], text) + writeAll(out[1], "y"), 0);
      ::close(out[1]);
    });
    underAlarms(signals, [&] {
      for (int i = 0; i < 20; ++i, ::usleep(2000)) EXPECT_EQ(::write(in[1], "0123456789", 10), 10);
      ::close(in[1]);
    }, [&] { EXPECT_EQ(readAll(in[0], read.data(), 150, &first) + readAll(in[0], read.data(), 150, &rest), 0); });
    EXPECT_TRUE(written == text + "y") << written.size() << " bytes written of " << text.size() + 1;
    EXPECT_EQ(first, 150u) << nonBlocking << signals;
    EXPECT_EQ(rest, 50u);
    EXPECT_EQ(read.substr(40, 20), "01234567890123456789");
    ::close(out[0]), ::close(in[0]);
  }
  size_t none = 1;
  EXPECT_EQ(readAll(-1, nullptr, 1, &none), EBADF);
  EXPECT_EQ(none, 0u);
}

void countFree(int* count) { ++*count; }  // the object freed is the count itself

TEST(OwnersTest, DescriptorAndObjectAreReleasedOnce) {
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  UniqueFd first(pipe[0]);
  { UniqueFd second(std::move(first)); }
  EXPECT_EQ(first.get(), -1);
  EXPECT_EQ(::fcntl(pipe[0], F_GETFD), -1);  // closed with its last owner
  UniqueFd kept(pipe[1]);
  EXPECT_EQ(kept.release(), pipe[1]);
  EXPECT_EQ(::close(pipe[1]), 0);  // still open after release
  int freed = 0;
  { std::unique_ptr<int, Deleter<countFree>> owned(&freed); }
  EXPECT_EQ(freed, 1);
}

}  // namespace
}  // namespace vantrel
