// One run of tokenvault: the operation word, the keychain calls and the
// exit status.
#ifndef TOKENVAULT_VAULT_H_
#define TOKENVAULT_VAULT_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tokenvault/keychain.h"

namespace tokenvault {

// The exit statuses: done, another keychain failure, no such item, usage.
enum ExitStatus : int { kExitSuccess = 0, kExitFailure = 1, kExitNotFound = 2, kExitUsage = 64 };

// The longest token; an input of 16384 bytes or more is refused.
inline constexpr size_t kLongestToken = 16383;

// Runs tokenvault on `arguments` (program path first), reading the token
// from `input` and writing it to `output`; -1 stands for a stream that was
// closed, which fails the operation that needs it before the keychain is
// touched. The keychain is made only once the usage is known to be right.
// The exit status.
int runTokenVault(const std::vector<std::string>& arguments,
                  const std::function<std::unique_ptr<Keychain>()>& makeKeychain, int input, int output);

}  // namespace tokenvault

#endif  // TOKENVAULT_VAULT_H_
