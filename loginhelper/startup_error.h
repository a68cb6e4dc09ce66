// The errors that end a loginhelper run: its own startup errors and the
// platform's, both told by their description.
#ifndef LOGINHELPER_STARTUP_ERROR_H_
#define LOGINHELPER_STARTUP_ERROR_H_

#include <string>

namespace loginhelper {

struct Error {
  std::string domain;
  long code = 0;
  std::string description;
  bool operator==(const Error&) const = default;
};

inline constexpr const char* kStartupDomain = "VantrelStartup";

inline Error startupError(long code, std::string message) {
  return Error{kStartupDomain, code, std::move(message)};
}

}  // namespace loginhelper

#endif  // LOGINHELPER_STARTUP_ERROR_H_
