// A write that fails for want of room, on any POSIX system (Linux's
// /dev/full is not on a Mac): a regular temporary file, and while it lives
// the process's file size limit is 0 and SIGXFSZ is ignored, so that every
// write to a regular file fails with EFBIG instead of ending the process.
// The limit and the signal's action are restored when it goes.
#ifndef COMMON_FULL_FILE_TEST_H_
#define COMMON_FULL_FILE_TEST_H_

#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>

namespace vantrel {

class FullFile {
 public:
  FullFile() : file_(::tmpfile()) {
    ::getrlimit(RLIMIT_FSIZE, &limit_);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &action_);
    rlimit none = {0, limit_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &none);
  }
  ~FullFile() {
    ::setrlimit(RLIMIT_FSIZE, &limit_);
    ::sigaction(SIGXFSZ, &action_, nullptr);
    ::fclose(file_);
  }
  FullFile(const FullFile&) = delete;
  FullFile& operator=(const FullFile&) = delete;
  int fd() const { return ::fileno(file_); }

 private:
  FILE* file_;
  rlimit limit_;
  struct sigaction action_;
};

}  // namespace vantrel

#endif  // COMMON_FULL_FILE_TEST_H_
