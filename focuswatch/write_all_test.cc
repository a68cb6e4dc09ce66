#include "focuswatch/write_all.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
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
  ::close(full[1]);
  reader.join();
  EXPECT_EQ(read.size(), text.size());
  EXPECT_EQ(writeAll(closed[1], "x"), EPIPE);
  EXPECT_EQ(writeAll(-1, "x"), EBADF);
  EXPECT_EQ(writeAll(-1, ""), 0);
  int devFull = ::open("/dev/full", O_WRONLY);
  EXPECT_EQ(writeAll(devFull, "x"), ENOSPC);
  ::close(devFull);
  ::close(closed[1]);
}

}  // namespace
}  // namespace focuswatch
