#include "tokenvault/vault.h"

#include "common/io.h"

namespace tokenvault {

namespace {

const ItemQuery kQuery{"mirrowin.vantrel.linear.oauth", "default"};

// How many times a write that finds the item added and taken away by other
// clients tries again.
constexpr int kWriteRounds = 3;

enum class Input { kToken, kEmpty, kTooLong, kUnreadable };

// Reads at most one byte more than the longest token: with that byte the
// input is too long, and the rest is never read.
Input readToken(int fd, SecretBuffer& token) {
  size_t size = 0;
  int error = vantrel::readAll(fd, reinterpret_cast<char*>(token.data()), token.capacity(), &size);
  token.resize(size);
  if (error != 0) return Input::kUnreadable;
  if (size == 0) return Input::kEmpty;
  if (size > kLongestToken) return Input::kTooLong;
  return Input::kToken;
}

int exitStatus(int32_t status) {
  if (status == kErrSecItemNotFound) return kExitNotFound;
  return status == kErrSecSuccess ? kExitSuccess : kExitFailure;
}

}  // namespace

int runTokenVault(const std::vector<std::string>& arguments,
                  const std::function<std::unique_ptr<Keychain>()>& makeKeychain, int input, int output) {
  if (arguments.size() != 2) return kExitUsage;
  const std::string& operation = arguments[1];

  if (operation == "read") {
    if (output < 0) return kExitFailure;  // the token could reach no one
    SecretBuffer token(kLongestToken + 1);
    int32_t status = makeKeychain()->copyMatching(kQuery, token);
    if (status == kErrSecSuccess && vantrel::writeAll(output, token.text()) != 0) return kExitFailure;
    return exitStatus(status);
  }
  if (operation == "write") {
    if (input < 0) return kExitFailure;
    SecretBuffer token(kLongestToken + 1);
    switch (readToken(input, token)) {
      case Input::kToken: break;
      case Input::kUnreadable: return kExitFailure;
      case Input::kEmpty:
      case Input::kTooLong: return kExitUsage;
    }
    std::unique_ptr<Keychain> keychain = makeKeychain();
    int32_t status = keychain->update(kQuery, token.bytes());
    if (status == kErrSecItemNotFound) status = keychain->add(kQuery, token.bytes());
    // Another writer added the item between the two calls: it takes this
    // token now, unless a deleter took the item away meanwhile, and then it
    // is added again. Clients that keep racing end the write a failure.
    for (int round = 0; status == kErrSecDuplicateItem && round < kWriteRounds; ++round) {
      status = keychain->update(kQuery, token.bytes());
      if (status == kErrSecItemNotFound) status = keychain->add(kQuery, token.bytes());
    }
    return exitStatus(status);
  }
  if (operation == "delete") {
    int32_t status = makeKeychain()->deleteItem(kQuery);
    if (status == kErrSecItemNotFound) status = kErrSecSuccess;
    return exitStatus(status);
  }
  return kExitUsage;
}

}  // namespace tokenvault
