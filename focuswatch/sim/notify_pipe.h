// The notification pipe of the simulated desktop: a named pipe that any
// number of writers open, write lines to and close, read without blocking
// and taken apart into lines.
#ifndef FOCUSWATCH_SIM_NOTIFY_PIPE_H_
#define FOCUSWATCH_SIM_NOTIFY_PIPE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "common/unique_fd.h"

namespace focuswatch {

// Whole lines out of bytes that come in pieces. A line longer than the
// limit is dropped whole, and so is one left unfinished when its writer
// went away, so that it never runs into the next writer's first line.
class LineSplitter {
 public:
  explicit LineSplitter(size_t longestLine) : longestLine_(longestLine) {}

  void add(std::string_view bytes) { inbox_.append(bytes); }
  // The next whole line among the bytes added, without its line feed.
  std::optional<std::string> next();
  // Whether bytes were added that next() has not taken apart yet.
  bool pending() const { return taken_ < inbox_.size(); }
  // Every writer has gone: the unfinished line is dropped.
  void endOfInput();

 private:
  size_t longestLine_;
  std::string inbox_;  // added, from `taken_` on not yet taken apart
  size_t taken_ = 0;
  std::string line_;         // the line being gathered
  bool discarding_ = false;  // inside a line that grew too long
};

class NotifyPipe {
 public:
  // A path that is empty or not a named pipe gives a closed pipe.
  explicit NotifyPipe(std::string path);

  // Whether a path is watched: a pipe may stand there, now or later.
  bool watching() const { return !path_.empty(); }
  explicit operator bool() const { return static_cast<bool>(fd_); }
  int fd() const { return fd_.get(); }
  LineSplitter& lines() { return lines_; }
  // Reads one buffer of what the pipe holds. When every writer has gone,
  // the unfinished line is dropped and the pipe opened again, to wait for
  // the next writer.
  void read();
  // Looks at the path (one stat) and opens the named pipe that stands there
  // now, if it is not the one open: a pipe made after the probe started, or
  // removed and made again, is read from then on. Whatever the old pipe
  // still held goes with it.
  void follow();

 private:
  void open();

  std::string path_;
  vantrel::UniqueFd fd_;
  dev_t device_ = 0;  // the open pipe's identity
  ino_t inode_ = 0;
  LineSplitter lines_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_SIM_NOTIFY_PIPE_H_
