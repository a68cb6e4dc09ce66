// focuswatch: the activity probe. Writes one JSON line per sample of what
// the user is doing; see README.md for the options.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "focuswatch/desktop.h"
#include "focuswatch/probe.h"

namespace {

// Opens /dev/null on each of descriptors 0 to 2 that is closed, so that no
// file the probe opens later (the desktop file, the trace) becomes one of
// them. Whether standard output was among the closed ones.
bool openClosedStandardStreams() {
  bool outputClosed = false;
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) outputClosed = true;
    ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);  // takes `fd`
  }
  return outputClosed;
}

}  // namespace

int main(int argc, char** argv) {
  // With no standard output there is no reader: end as when the reader
  // goes away.
  if (openClosedStandardStreams()) return 0;
  std::vector<std::string> arguments(argv, argv + argc);
  std::unique_ptr<focuswatch::Desktop> desktop = focuswatch::makeDesktop();
  return focuswatch::runProbe(*desktop, std::move(arguments));
}
