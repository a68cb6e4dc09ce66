// The trace of a substitute desktop: one line per platform call served,
// appended to the FOCUSWATCH_TRACE file.
#ifndef FOCUSWATCH_TRACE_H_
#define FOCUSWATCH_TRACE_H_

#include <string>
#include <string_view>

#include "focuswatch/unique_fd.h"

namespace focuswatch {

class TraceFile {
 public:
  // An empty path traces nothing.
  explicit TraceFile(const std::string& path);

  // Appends `text` as one line: a line feed in it is written "\n", any
  // other control character "\xHH".
  void line(std::string_view text);

 private:
  UniqueFd fd_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_TRACE_H_
