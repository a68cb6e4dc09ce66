#include "focuswatch/sim/notify_pipe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace focuswatch {

namespace {

// A notification line longer than this is not a notification.
constexpr size_t kLongestNotifyLine = 4096;
// Read in one turn of the run loop, so that the timer is served between
// turns however busy the pipe.
constexpr size_t kNotifyReadPerTurn = 4096;

}  // namespace

std::optional<std::string> LineSplitter::next() {
  while (taken_ < inbox_.size()) {
    char c = inbox_[taken_++];
    if (c != '\n') {
      if (line_.size() < longestLine_) {
        line_ += c;
      } else {
        line_.clear();
        discarding_ = true;
      }
      continue;
    }
    bool whole = !discarding_;
    discarding_ = false;
    std::string line = std::move(line_);
    line_.clear();
    if (whole) return line;
  }
  inbox_.clear();
  taken_ = 0;
  return std::nullopt;
}

void LineSplitter::endOfInput() {
  size_t end = inbox_.rfind('\n');
  if (end != std::string::npos && end >= taken_) {
    inbox_.resize(end + 1);  // whole lines not yet taken stay
    return;
  }
  inbox_.clear();
  taken_ = 0;
  line_.clear();
  discarding_ = false;
}

NotifyPipe::NotifyPipe(std::string path) : path_(std::move(path)), lines_(kLongestNotifyLine) {
  if (!path_.empty()) open();
}

void NotifyPipe::open() {
  // Only a named pipe is opened. Read-only, so that the end of the last
  // writer shows; non-blocking, so that opening does not wait for a writer.
  fd_.reset();
  struct stat status;
  if (::stat(path_.c_str(), &status) != 0 || !S_ISFIFO(status.st_mode)) return;
  fd_.reset(::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd_ && (::fstat(fd_.get(), &status) != 0 || !S_ISFIFO(status.st_mode))) fd_.reset();
  device_ = status.st_dev;
  inode_ = status.st_ino;
}

void NotifyPipe::follow() {
  struct stat status;
  if (::stat(path_.c_str(), &status) != 0 || !S_ISFIFO(status.st_mode)) return;
  if (fd_ && status.st_dev == device_ && status.st_ino == inode_) return;
  lines_.endOfInput();
  open();
}

void NotifyPipe::read() {
  char buffer[kNotifyReadPerTurn];
  ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
  if (n > 0) {
    lines_.add(std::string_view(buffer, static_cast<size_t>(n)));
  } else if (n == 0) {
    lines_.endOfInput();
    open();  // a pipe whose writers have gone reports its end until opened again
  }
}

}  // namespace focuswatch
