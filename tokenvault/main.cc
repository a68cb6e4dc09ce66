// tokenvault: reads, writes and deletes the host's OAuth token in the
// keychain. The token travels only over the standard streams; the outcome
// is told by the exit status alone.
#include <signal.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

#include "common/standard_streams.h"
#include "tokenvault/keychain.h"
#include "tokenvault/vault.h"

int main(int argc, char** argv) {
  std::array<bool, 3> closed = vantrel::openClosedStandardStreams();
  // A reader that has gone away must show as a failed write, not a signal.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments(argv, argv + argc);
  // A stream that was closed is given as -1: the operation that needs it fails.
  return tokenvault::runTokenVault(arguments, tokenvault::makeKeychain,
                                   closed[STDIN_FILENO] ? -1 : STDIN_FILENO,
                                   closed[STDOUT_FILENO] ? -1 : STDOUT_FILENO);
}
