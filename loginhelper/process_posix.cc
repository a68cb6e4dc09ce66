#include "loginhelper/process.h"

#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

extern char** environ;

namespace loginhelper {

std::string resolveSymlinks(const std::string& path) {
  std::string absolute = path;
  if (!path.starts_with('/')) {
    std::unique_ptr<char, decltype(&free)> cwd(::getcwd(nullptr, 0), &free);
    if (cwd) absolute = std::string(cwd.get()) + "/" + path;
  }
  std::unique_ptr<char, decltype(&free)> resolved(::realpath(absolute.c_str(), nullptr), &free);
  // A path that does not exist or holds a link loop stays as it was written.
  return resolved ? std::string(resolved.get()) : absolute;
}

Result<Ended> runAndWait(const std::string& tool, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {tool};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);

  pid_t pid;
  int error = ::posix_spawn(&pid, tool.c_str(), nullptr, nullptr, pointers.data(), environ);
  if (error != 0) return Failure(Error{"NSPOSIXErrorDomain", error, tool + ": " + ::strerror(error)});

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return Failure(Error{"NSPOSIXErrorDomain", errno, tool + ": " + ::strerror(errno)});
  }
  if (WIFSIGNALED(status)) return Ended{.signal = WTERMSIG(status)};
  return Ended{.status = WEXITSTATUS(status)};
}

}  // namespace loginhelper
