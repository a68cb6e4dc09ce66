// The notification pipe of the simulated desktop: a named pipe that any
// number of writers open, write lines to and close, read without blocking
// and taken apart into lines.
#ifndef FOCUSWATCH_SIM_NOTIFY_PIPE_H_
#define FOCUSWATCH_SIM_NOTIFY_PIPE_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

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

  explicit operator bool() const { return static_cast<bool>(fd_); }
  int fd() const { return fd_.get(); }
  LineSplitter& lines() { return lines_; }
  // Reads one buffer of what the pipe holds. When every writer has gone,
  // the unfinished line is dropped and the pipe opened again, to wait for
  // the next writer.
  void read();

 private:
  void open();

  std::string path_;
  vantrel::UniqueFd fd_;
  LineSplitter lines_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_SIM_NOTIFY_PIPE_H_
