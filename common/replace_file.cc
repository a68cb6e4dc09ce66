// No platform code beyond POSIX.
#include "common/replace_file.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/io.h"
#include "common/unique_fd.h"

namespace vantrel {

namespace {

// Holds back, on the calling thread, every signal that can come from
// outside (all but the faults a program raises on itself): one that arrives
// takes its default action when the holder goes. A signal sent to the
// process goes to a thread that does not hold it back, so this holds only
// where the other threads hold back every signal. The programs start no
// thread of their own; GLib's worker thread (the live desktop's) holds back
// every signal, but GDBus's does not, and no program here starts that one.
// Which threads the macOS frameworks start, and what they hold back, is not
// known here.
class HeldSignals {
 public:
  HeldSignals() {
    sigset_t outside;
    sigfillset(&outside);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS}) sigdelset(&outside, fault);
    ::pthread_sigmask(SIG_BLOCK, &outside, &before_);
  }
  ~HeldSignals() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t before_;
};

// The mkstemp pattern beside `path`: a dot, then as much of the file's name
// as keeps the pattern no longer than that name (cut where no UTF-8
// character is split), then the six random characters.
std::string temporaryBeside(const std::string& path) {
  size_t start = path.rfind('/') + 1;  // 0 without a folder
  std::string_view name = std::string_view(path).substr(start);
  size_t keep = name.size() > 7 ? name.size() - 7 : 0;
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return path.substr(0, start) + "." + std::string(name.substr(0, keep)) + "XXXXXX";
}

}  // namespace

int replaceFile(const std::string& path, std::string_view text, mode_t mode,
                const std::function<int(const std::string& temporary)>& check) {
  struct stat status;
  if (::lstat(path.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) return EISDIR;
    if (!S_ISREG(status.st_mode)) return EEXIST;
  } else if (errno != ENOENT) {
    return errno;
  }
  HeldSignals held;
  std::string temporary = temporaryBeside(path);
  UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd) return errno;
  int error = writeAll(fd.get(), text);
  if (error == 0 && ::fchmod(fd.get(), mode) != 0) error = errno;
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  if (::close(fd.release()) != 0 && error == 0) error = errno;
  if (error == 0 && check) error = check(temporary);
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}

}  // namespace vantrel
