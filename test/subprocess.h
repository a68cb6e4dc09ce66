// Runs a built program for the end-to-end tests: arguments, environment and
// standard input in, standard output, standard error and exit status out.
#ifndef TEST_SUBPROCESS_H_
#define TEST_SUBPROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/unique_fd.h"

namespace testing_support {

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;   // the signal that ended it
};

struct Launch {
  std::vector<std::string> argv;  // argv[0] is the program
  // Changes to this environment; a name without a value is removed.
  std::map<std::string, std::optional<std::string>> env = {};
  std::optional<std::string> input = {};  // standard input; none: /dev/null
  std::vector<int> closed = {};           // standard streams it starts without
  bool nonBlockingOutput = false;         // O_NONBLOCK on its standard output
  bool quiet = false;                     // its output goes to /dev/null
  bool ownGroup = false;                  // a process group of its own, ended whole
  bool ignoreSigpipe = false;             // started with SIGPIPE ignored
};

// A started program, whose standard output is read as it comes; standard
// error is kept until it ends.
class Running {
 public:
  explicit Running(const Launch& launch);
  ~Running();
  // The next line, without its line feed; absent at the end or after `limit`.
  std::optional<std::string> nextLine(std::chrono::milliseconds limit);
  void closeOutput();
  // Sends `number` to it, or to its whole group when it has its own.
  void signal(int number);
  pid_t pid() const { return pid_; }
  // Waits for it to end, killing it after `limit`; `out` is what was not
  // taken as lines.
  Outcome wait(std::chrono::milliseconds limit);

 private:
  bool read(std::chrono::steady_clock::time_point deadline);
  friend Outcome run(const Launch&, std::chrono::milliseconds);

  pid_t pid_ = -1;
  bool ownGroup_ = false;
  vantrel::UniqueFd out_;
  vantrel::UniqueFd err_;
  std::string buffer_;
};

// Runs to the end; the child is killed after `limit`.
Outcome run(const Launch& launch, std::chrono::milliseconds limit = std::chrono::seconds(30));

}  // namespace testing_support

#endif  // TEST_SUBPROCESS_H_
