// The one shape of an operation that can fail: its value, or the error it
// failed with, as LLVM's Expected<T>. Where results are checked (builds with
// assertions, NDEBUG unset, and sanitizer builds), a result that holds a
// failure and is destroyed before anyone asked for it (operator bool or
// error()) ends the program, saying where the failure was made: an error
// dropped on the floor shows in the first test that reaches it, not on a
// user's machine.
#ifndef COMMON_RESULT_H_
#define COMMON_RESULT_H_

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <variant>

#ifndef VANTREL_CHECK_RESULTS
#ifdef NDEBUG
#define VANTREL_CHECK_RESULTS 0
#else
#define VANTREL_CHECK_RESULTS 1
#endif
#endif

namespace vantrel {

// A failure on its way into a Result (`return Failure(error);`), with the
// place where it was made, for the message about an unchecked one.
template <typename E>
struct Failure {
  Failure(E error, const char* file = __builtin_FILE(), int line = __builtin_LINE())
      : error(std::move(error)), file(file), line(line) {}
  E error;
  const char* file;
  int line;
};

template <typename T, typename E>
class [[nodiscard]] Result {
 public:
  Result(T value) : outcome_(std::in_place_index<0>, std::move(value)) {}
  template <typename U>
  Result(Failure<U> failure)
      : outcome_(std::in_place_index<1>, std::move(failure.error)),
        file_(failure.file),
        line_(failure.line) {}
  // The failure travels on, and with it the duty to look at it: the one it
  // came from is done, the one it goes to has not looked yet (as LLVM's).
  Result(Result&& other) : outcome_(std::move(other.outcome_)), file_(other.file_), line_(other.line_) {
    other.checked_ = true;
  }
  Result& operator=(Result&&) = delete;
  ~Result() {
    if (VANTREL_CHECK_RESULTS && !checked_ && outcome_.index() == 1) {
      std::fprintf(stderr, "%s:%d: a failure was never checked (%s)\n", file_, line_, __PRETTY_FUNCTION__);
      std::abort();
    }
  }

  // Whether it holds the value; asking counts as looking at the failure.
  explicit operator bool() const {
    checked_ = true;
    return outcome_.index() == 0;
  }
  T& operator*() { return std::get<0>(outcome_); }
  const T& operator*() const { return std::get<0>(outcome_); }
  T* operator->() { return &std::get<0>(outcome_); }
  const T* operator->() const { return &std::get<0>(outcome_); }
  const E& error() const {
    checked_ = true;
    return std::get<1>(outcome_);
  }

 private:
  std::variant<T, E> outcome_;
  const char* file_ = nullptr;
  int line_ = 0;
  mutable bool checked_ = false;
};

}  // namespace vantrel

#endif  // COMMON_RESULT_H_
