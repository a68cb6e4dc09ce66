// The boundary to the platform's login items: on macOS an SMAppService for
// the host's launch agent, elsewhere an XDG autostart entry.
#ifndef LOGINHELPER_LOGIN_ITEM_H_
#define LOGINHELPER_LOGIN_ITEM_H_

#include <memory>
#include <optional>
#include <string_view>

#include "loginhelper/error.h"

namespace loginhelper {

// SMAppServiceStatus values.
inline constexpr long kNotRegistered = 0;
inline constexpr long kEnabled = 1;
inline constexpr long kRequiresApproval = 2;
inline constexpr long kNotFound = 3;

class LoginItemService {
 public:
  virtual ~LoginItemService() = default;
  // `status`, asked afresh every time (SMAppService always answers; an
  // autostart entry may be unreadable).
  virtual Result<long> status() = 0;
  // `registerAndReturnError:`.
  virtual Result<> registerService() = 0;
  // `unregisterAndReturnError:`.
  virtual Result<> unregisterService() = 0;
  // `openSystemSettingsLoginItems`; no result.
  virtual void openSystemSettingsLoginItems() = 0;
};

// `agentServiceWithPlistName:`.
std::unique_ptr<LoginItemService> agentServiceWithPlistName(std::string_view plistName);

}  // namespace loginhelper

#endif  // LOGINHELPER_LOGIN_ITEM_H_
