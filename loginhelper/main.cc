// loginhelper: registers, unregisters and reports the host's login item,
// and starts the host hidden with "--background".
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "loginhelper/commands.h"
#include "loginhelper/launch.h"
#include "loginhelper/write_all.h"

namespace {

// Opens /dev/null on each of descriptors 0 to 2 that is closed, so that no
// file the helper opens later (the autostart entry) becomes one of them.
// Whether standard output was among the closed ones.
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
  bool outputClosed = openClosedStandardStreams();
  std::vector<std::string> arguments(argv, argv + argc);
  std::optional<std::string> ownPath;
  if (argc > 0) ownPath = argv[0];

  loginhelper::Collaborators collaborators{
      [] { return loginhelper::agentServiceWithPlistName(loginhelper::kAgentPlistName); },
      [&ownPath] { return loginhelper::launchDashboardInBackground(ownPath); },
  };
  loginhelper::RunResult result = loginhelper::runLoginHelper(arguments, collaborators);
  if (!result.standardOutput.empty()) {
    // A report that cannot reach the host is a failure, not a success.
    int error = outputClosed ? EBADF : loginhelper::writeAll(STDOUT_FILENO, result.standardOutput);
    if (error != 0) {
      result.standardError = std::string("standard output: ") + ::strerror(error) + "\n";
      result.exitStatus = 1;
    }
  }
  loginhelper::writeAll(STDERR_FILENO, result.standardError);
  return result.exitStatus;
}
