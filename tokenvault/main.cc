// tokenvault: reads, writes and deletes the host's OAuth token in the
// keychain. The token travels only over the standard streams; the outcome
// is told by the exit status alone.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tokenvault/keychain.h"
#include "tokenvault/vault.h"

namespace {

// Opens /dev/null on each of descriptors 0 to 2 that is closed, before any
// library opens a descriptor of its own there (GLib's eventfd, a D-Bus
// socket) that the token would then be written to or read from. Each
// standard stream as the descriptor to use, or -1 where it was closed.
void openClosedStandardStreams(int (&streams)[3]) {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    streams[fd] = fd;
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    streams[fd] = -1;
    ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);  // takes `fd`
  }
}

}  // namespace

int main(int argc, char** argv) {
  int streams[3];
  openClosedStandardStreams(streams);
  // A reader that has gone away must show as a failed write, not a signal.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments(argv, argv + argc);
  return tokenvault::runTokenVault(arguments, tokenvault::makeKeychain,
                                   streams[STDIN_FILENO], streams[STDOUT_FILENO]);
}
