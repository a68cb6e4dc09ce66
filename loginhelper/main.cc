// loginhelper: registers, unregisters and reports the host's login item,
// and starts the host hidden with "--background".
#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "common/io.h"
#include "common/standard_streams.h"
#include "loginhelper/commands.h"
#include "loginhelper/launch.h"

int main(int argc, char** argv) {
  bool outputClosed = vantrel::openClosedStandardStreams()[STDOUT_FILENO];
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
    int error = outputClosed ? EBADF : vantrel::writeAll(STDOUT_FILENO, result.standardOutput);
    if (error != 0) {
      result.standardError = std::string("standard output: ") + ::strerror(error) + "\n";
      result.exitStatus = 1;
    }
  }
  // A message that standard error cannot take has nowhere else to go; the
  // status still tells the outcome.
  (void)vantrel::writeAll(STDERR_FILENO, result.standardError);
  return result.exitStatus;
}
