// Starting the host: the program's own path, and a child process started
// directly (no shell) and waited for. POSIX on every platform.
#ifndef LOGINHELPER_PROCESS_H_
#define LOGINHELPER_PROCESS_H_

#include <string>
#include <vector>

#include "loginhelper/error.h"

namespace loginhelper {

// `path` made absolute against the current directory, with every symbolic
// link resolved; as far as it can be resolved when it does not exist.
std::string resolveSymlinks(const std::string& path);

// How a child ended: by exiting with `status`, or by the signal `signal`
// (not 0 then, and `status` 0).
struct Ended {
  int status = 0;
  int signal = 0;
};

// Starts `tool` with `arguments`, inheriting environment, directory and
// standard streams, and waits for it: how it ended, or the error that kept
// it from starting.
Result<Ended> runAndWait(const std::string& tool, const std::vector<std::string>& arguments);

}  // namespace loginhelper

#endif  // LOGINHELPER_PROCESS_H_
