// Writing whole: the one loop that the helper's outputs share.
#ifndef LOGINHELPER_WRITE_ALL_H_
#define LOGINHELPER_WRITE_ALL_H_

#include <errno.h>
#include <unistd.h>

#include <string_view>

namespace loginhelper {

// Writes all of `text` to `fd`, again after a signal. 0, or the errno of
// the failure that stopped it.
inline int writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

}  // namespace loginhelper

#endif  // LOGINHELPER_WRITE_ALL_H_
