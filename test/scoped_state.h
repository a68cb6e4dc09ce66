// A guard for tests that change what the whole process shares: environment
// variables, the working folder, signal dispositions, the file size limit.
// It puts back what each change found, last change first, when it ends, so
// that no test runs in what another left behind. POSIX only: the Mac's unit
// tests use it too.
#ifndef TEST_SCOPED_STATE_H_
#define TEST_SCOPED_STATE_H_

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testing_support {

class ScopedState {
 public:
  ScopedState() = default;
  ScopedState(const ScopedState&) = delete;
  ScopedState& operator=(const ScopedState&) = delete;
  ~ScopedState() {
    for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo) (*undo)();
  }

  // Sets `name` to `value`, or removes it where `value` is absent; put back
  // as it was, absent again (not empty) where it was absent.
  void setEnvironment(const std::string& name, const std::optional<std::string>& value) {
    auto put = [name](const std::optional<std::string>& to) {
      to ? ::setenv(name.c_str(), to->c_str(), 1) : ::unsetenv(name.c_str());
    };
    const char* old = ::getenv(name.c_str());
    undo_.push_back([put, old = old ? std::optional<std::string>(old) : std::nullopt] { put(old); });
    put(value);
  }

  void workIn(const std::filesystem::path& folder) {
    undo_.push_back([previous = std::filesystem::current_path()] {
      std::error_code error;
      std::filesystem::current_path(previous, error);
      EXPECT_FALSE(error) << "could not work in " << previous << " again: " << error.message();
    });
    std::filesystem::current_path(folder);
  }

  // SIG_IGN, SIG_DFL or a function, which then interrupts system calls (no
  // SA_RESTART); the old disposition comes back with its flags and mask.
  void setSignalAction(int number, void (*handler)(int)) {
    struct sigaction action = {}, previous = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(number, &action, &previous);
    undo_.push_back([number, previous] { ::sigaction(number, &previous, nullptr); });
  }

  // Lowers the soft limit on the size of a file that the process writes.
  void limitFileSize(rlim_t bytes) {
    rlimit previous = {};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit lowered = {bytes, previous.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &lowered);
    undo_.push_back([previous] { ::setrlimit(RLIMIT_FSIZE, &previous); });
  }

 private:
  std::vector<std::function<void()>> undo_;
};

}  // namespace testing_support

#endif  // TEST_SCOPED_STATE_H_
