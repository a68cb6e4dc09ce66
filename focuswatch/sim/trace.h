// The trace of a substitute desktop: one line per platform call served,
// appended to the FOCUSWATCH_TRACE file, and the clocks that both
// substitutes read. Every trace line is written here and nowhere else.
#ifndef FOCUSWATCH_SIM_TRACE_H_
#define FOCUSWATCH_SIM_TRACE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/unique_fd.h"

namespace focuswatch {

class TraceFile {
 public:
  // An empty path traces nothing, and so does a pipe with no reader. On a
  // pipe whose reader has gone or stopped reading the trace ends; the
  // probe goes on.
  explicit TraceFile(const std::string& path);

  void trustQuery() { line("AXIsProcessTrusted"); }
  void frontmostQuery() { line("frontmostApplication"); }
  void idleQuery() { line("CGEventSourceSecondsSinceLastEventType"); }
  void applicationElement(int32_t pid) { line("AXUIElementCreateApplication " + std::to_string(pid)); }
  // `element` as the substitute names it: "?" for none.
  void attributeRead(std::string_view element, std::string_view attribute);

 private:
  // Appends `text` as one line: a line feed in it is written "\n", a
  // backslash "\\", and any other control character, U+2028, U+2029 and
  // any byte that is not UTF-8 "\xHH", byte by byte.
  void line(std::string_view text);

  vantrel::UniqueFd fd_;
  bool stream_ = false;  // a pipe, socket or device, not a regular file
};

// The wall clock, in seconds since 1970, and the time since boot.
double wallClockSeconds();
double uptimeSeconds();

}  // namespace focuswatch

#endif  // FOCUSWATCH_SIM_TRACE_H_
