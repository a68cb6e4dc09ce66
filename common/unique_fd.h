// An owned file descriptor, closed when its owner goes.
#ifndef COMMON_UNIQUE_FD_H_
#define COMMON_UNIQUE_FD_H_

#include <unistd.h>

#include <utility>

namespace vantrel {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Gives up ownership without closing.
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

}  // namespace vantrel

#endif  // COMMON_UNIQUE_FD_H_
