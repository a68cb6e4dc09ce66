// The errors that end a loginhelper run, its own startup errors and the
// platform's, both told by their description; and the one shape in which
// every operation answers.
#ifndef LOGINHELPER_ERROR_H_
#define LOGINHELPER_ERROR_H_

#include <string>
#include <utility>

#include "common/result.h"

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

// The value of an operation that has none.
struct Done {
  bool operator==(const Done&) const = default;
};

// What an operation gives: its value, or the error that ended it
// (`return Failure(error);`).
template <typename T = Done>
using Result = vantrel::Result<T, Error>;
using vantrel::Failure;

}  // namespace loginhelper

#endif  // LOGINHELPER_ERROR_H_
