#include "focuswatch/trace.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace focuswatch {

TraceFile::TraceFile(const std::string& path) {
  if (!path.empty()) fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

TraceFile::~TraceFile() {
  if (fd_ >= 0) ::close(fd_);
}

void TraceFile::line(std::string_view text) {
  if (fd_ < 0) return;
  std::string whole(text);
  whole += '\n';
  std::string_view rest = whole;  // one write, so lines never interleave
  while (!rest.empty()) {
    ssize_t n = ::write(fd_, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    rest.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace focuswatch
