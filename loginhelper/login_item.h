// The boundary to the platform's login items: on macOS an SMAppService for
// the host's launch agent, elsewhere an XDG autostart entry.
#ifndef LOGINHELPER_LOGIN_ITEM_H_
#define LOGINHELPER_LOGIN_ITEM_H_

#include <memory>
#include <optional>
#include <string_view>

#include "loginhelper/startup_error.h"

namespace loginhelper {

// SMAppServiceStatus values.
inline constexpr long kNotRegistered = 0;
inline constexpr long kEnabled = 1;
inline constexpr long kRequiresApproval = 2;
inline constexpr long kNotFound = 3;

// A status read: the raw value, or the error that kept it from being read
// (SMAppService always answers; an autostart entry may be unreadable).
struct StatusRead {
  long raw = kNotRegistered;
  std::optional<Error> error;
};

class LoginItemService {
 public:
  virtual ~LoginItemService() = default;
  // `status`: asks afresh every time.
  virtual StatusRead status() = 0;
  // `registerAndReturnError:`; the error on failure.
  virtual std::optional<Error> registerService() = 0;
  // `unregisterAndReturnError:`; the error on failure.
  virtual std::optional<Error> unregisterService() = 0;
  // `openSystemSettingsLoginItems`; no result.
  virtual void openSystemSettingsLoginItems() = 0;
};

// `agentServiceWithPlistName:`.
std::unique_ptr<LoginItemService> agentServiceWithPlistName(std::string_view plistName);

}  // namespace loginhelper

#endif  // LOGINHELPER_LOGIN_ITEM_H_
