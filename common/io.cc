// No platform code beyond POSIX.
#include "common/io.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

namespace vantrel {

int writeAll(int fd, std::string_view text, int stallMs) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd writable = {fd, POLLOUT, 0};
      int ready = ::poll(&writable, 1, stallMs);
      if (ready == 0) return EAGAIN;
      if (ready < 0 && errno != EINTR) return errno;
      continue;
    }
    if (n < 0) return errno;
    if (n == 0) return EIO;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

int readAll(int fd, char* buffer, size_t size, size_t* done) {
  *done = 0;
  while (*done < size) {
    ssize_t n = ::read(fd, buffer + *done, size - *done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd readable = {fd, POLLIN, 0};
      if (::poll(&readable, 1, -1) < 0 && errno != EINTR) return errno;
      continue;
    }
    if (n < 0) return errno;
    if (n == 0) break;
    *done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace vantrel
