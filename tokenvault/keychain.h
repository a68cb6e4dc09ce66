// The boundary to the keychain: the four Security framework item calls,
// each answering a result code. The query names one generic password by
// service and account, and nothing else.
#ifndef TOKENVAULT_KEYCHAIN_H_
#define TOKENVAULT_KEYCHAIN_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "tokenvault/secret_buffer.h"

namespace tokenvault {

inline constexpr int32_t kErrSecSuccess = 0;
inline constexpr int32_t kErrSecItemNotFound = -25300;
inline constexpr int32_t kErrSecDuplicateItem = -25299;
inline constexpr int32_t kErrSecNotAvailable = -25291;
inline constexpr int32_t kErrSecInteractionNotAllowed = -25308;

// kSecClassGenericPassword with kSecAttrService and kSecAttrAccount.
struct ItemQuery {
  std::string service;
  std::string account;
};

class Keychain {
 public:
  virtual ~Keychain() = default;
  // SecItemCopyMatching with kSecReturnData and kSecMatchLimitOne: on
  // success all of the item's data is put in `data`, whatever its length
  // (left empty when the result is not a byte string).
  virtual int32_t copyMatching(const ItemQuery& query, SecretBuffer& data) = 0;
  // SecItemUpdate setting kSecValueData.
  virtual int32_t update(const ItemQuery& query, std::span<const uint8_t> data) = 0;
  // SecItemAdd of the query with kSecValueData; no result asked for.
  virtual int32_t add(const ItemQuery& query, std::span<const uint8_t> data) = 0;
  // SecItemDelete.
  virtual int32_t deleteItem(const ItemQuery& query) = 0;
};

// The user's keychain: the Security framework, or the Secret Service.
std::unique_ptr<Keychain> makeKeychain();

}  // namespace tokenvault

#endif  // TOKENVAULT_KEYCHAIN_H_
