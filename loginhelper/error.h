// The errors that end a loginhelper run, its own startup errors and the
// platform's, both told by their description; and the one shape in which
// every operation answers.
#ifndef LOGINHELPER_ERROR_H_
#define LOGINHELPER_ERROR_H_

#include <string>
#include <utility>
#include <variant>

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

// What an operation gives: its value, or the error that ended it (as
// LLVM's Expected). True when it holds the value.
template <typename T = Done>
class Result {
 public:
  Result(T value) : outcome_(std::move(value)) {}
  Result(Error error) : outcome_(std::move(error)) {}

  explicit operator bool() const { return std::holds_alternative<T>(outcome_); }
  const T& operator*() const { return std::get<T>(outcome_); }
  const T* operator->() const { return &std::get<T>(outcome_); }
  const Error& error() const { return std::get<Error>(outcome_); }
  bool operator==(const Result&) const = default;

 private:
  std::variant<T, Error> outcome_;
};

}  // namespace loginhelper

#endif  // LOGINHELPER_ERROR_H_
