// tokenvault: reads, writes and deletes the host's OAuth token in the
// keychain. The token travels only over the standard streams; the outcome
// is told by the exit status alone.
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tokenvault/keychain.h"
#include "tokenvault/vault.h"

int main(int argc, char** argv) {
  // A reader that has gone away must show as a failed write, not a signal.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments(argv, argv + argc);
  return tokenvault::runTokenVault(arguments, tokenvault::makeKeychain, STDIN_FILENO,
                                   STDOUT_FILENO);
}
