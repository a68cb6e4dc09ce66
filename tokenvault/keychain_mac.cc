// The keychain on macOS: the Security framework's item calls with exactly
// the dictionaries the helper needs, through its C interface.
#include <CoreFoundation/CoreFoundation.h>
#include <Security/Security.h>

#include "common/scoped_cf.h"
#include "tokenvault/keychain.h"

namespace tokenvault {

namespace {

using vantrel::ScopedCF;

ScopedCF<CFStringRef> text(const std::string& value) {
  return ScopedCF<CFStringRef>(
      CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(value.data()),
                              static_cast<CFIndex>(value.size()), kCFStringEncodingUTF8, false));
}

// The token's bytes, not copied: our own buffer stays the only copy we make.
ScopedCF<CFDataRef> bytes(std::span<const uint8_t> data) {
  return ScopedCF<CFDataRef>(CFDataCreateWithBytesNoCopy(
      kCFAllocatorDefault, data.data(), static_cast<CFIndex>(data.size()), kCFAllocatorNull));
}

// The base query: the class, the service and the account, nothing else.
// Null when a name is not valid UTF-8 or memory runs out.
ScopedCF<CFMutableDictionaryRef> baseQuery(const ItemQuery& query, CFIndex extra) {
  ScopedCF<CFStringRef> service = text(query.service);
  ScopedCF<CFStringRef> account = text(query.account);
  if (!service.get() || !account.get()) return ScopedCF<CFMutableDictionaryRef>();
  CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable(
      kCFAllocatorDefault, 3 + extra, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  if (!dictionary) return ScopedCF<CFMutableDictionaryRef>();
  CFDictionarySetValue(dictionary, kSecClass, kSecClassGenericPassword);
  CFDictionarySetValue(dictionary, kSecAttrService, service.get());
  CFDictionarySetValue(dictionary, kSecAttrAccount, account.get());
  return ScopedCF<CFMutableDictionaryRef>(dictionary);
}

class SecurityKeychain : public Keychain {
 public:
  int32_t copyMatching(const ItemQuery& query, SecretBuffer& data) override {
    ScopedCF<CFMutableDictionaryRef> dictionary = baseQuery(query, 2);
    if (!dictionary.get()) return errSecParam;
    CFDictionarySetValue(dictionary.get(), kSecReturnData, kCFBooleanTrue);
    CFDictionarySetValue(dictionary.get(), kSecMatchLimit, kSecMatchLimitOne);
    ScopedCF<CFTypeRef> result;
    OSStatus status = SecItemCopyMatching(dictionary.get(), result.initializeInto());
    if (status == errSecSuccess && result.get() && CFGetTypeID(result.get()) == CFDataGetTypeID()) {
      CFDataRef found = static_cast<CFDataRef>(result.get());
      data.assign(CFDataGetBytePtr(found), static_cast<size_t>(CFDataGetLength(found)));
    }
    return status;
  }

  int32_t update(const ItemQuery& query, std::span<const uint8_t> data) override {
    ScopedCF<CFMutableDictionaryRef> dictionary = baseQuery(query, 0);
    ScopedCF<CFDataRef> value = bytes(data);
    if (!dictionary.get() || !value.get()) return errSecParam;
    const void* keys[] = {kSecValueData};
    const void* values[] = {value.get()};
    ScopedCF<CFDictionaryRef> attributes(CFDictionaryCreate(kCFAllocatorDefault, keys, values, 1,
                                                            &kCFTypeDictionaryKeyCallBacks,
                                                            &kCFTypeDictionaryValueCallBacks));
    if (!attributes.get()) return errSecAllocate;
    return SecItemUpdate(dictionary.get(), attributes.get());
  }

  int32_t add(const ItemQuery& query, std::span<const uint8_t> data) override {
    ScopedCF<CFMutableDictionaryRef> dictionary = baseQuery(query, 1);
    ScopedCF<CFDataRef> value = bytes(data);
    if (!dictionary.get() || !value.get()) return errSecParam;
    CFDictionarySetValue(dictionary.get(), kSecValueData, value.get());
    return SecItemAdd(dictionary.get(), nullptr);
  }

  int32_t deleteItem(const ItemQuery& query) override {
    ScopedCF<CFMutableDictionaryRef> dictionary = baseQuery(query, 0);
    if (!dictionary.get()) return errSecParam;
    return SecItemDelete(dictionary.get());
  }
};

}  // namespace

std::unique_ptr<Keychain> makeKeychain() { return std::make_unique<SecurityKeychain>(); }

}  // namespace tokenvault
