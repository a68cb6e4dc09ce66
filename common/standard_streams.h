// The standard streams of a helper that its parent may have started with
// some of them closed.
#ifndef COMMON_STANDARD_STREAMS_H_
#define COMMON_STANDARD_STREAMS_H_

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>

namespace vantrel {

// Opens /dev/null on each of descriptors 0 to 2 that is closed, before the
// program or a library opens a file, socket or eventfd that would take the
// free number and receive what was meant for a standard stream. Which of
// the three were closed.
inline std::array<bool, 3> openClosedStandardStreams() {
  std::array<bool, 3> closed = {};
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    closed[fd] = true;
    ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);  // takes `fd`
  }
  return closed;
}

}  // namespace vantrel

#endif  // COMMON_STANDARD_STREAMS_H_
