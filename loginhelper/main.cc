// loginhelper: registers, unregisters and reports the host's login item,
// and starts the host hidden with "--background".
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "loginhelper/commands.h"
#include "loginhelper/launch.h"

namespace {

void writeAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n <= 0) return;
    written += static_cast<size_t>(n);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  std::optional<std::string> ownPath;
  if (argc > 0) ownPath = argv[0];

  loginhelper::Collaborators collaborators{
      [] { return loginhelper::agentServiceWithPlistName(loginhelper::kAgentPlistName); },
      [&ownPath] { return loginhelper::launchDashboardInBackground(ownPath); },
  };
  loginhelper::RunResult result = loginhelper::runLoginHelper(arguments, collaborators);
  writeAll(STDOUT_FILENO, result.standardOutput);
  writeAll(STDERR_FILENO, result.standardError);
  return result.exitStatus;
}
