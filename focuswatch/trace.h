// The trace: one line for each platform call that a desktop serves, so that
// what a sample costs can be counted. Like the recorder it wraps any
// desktop; every trace line is written here and nowhere else.
#ifndef FOCUSWATCH_TRACE_H_
#define FOCUSWATCH_TRACE_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "focuswatch/desktop.h"

namespace focuswatch {

// Takes one line of the trace, without its line feed.
using TraceSink = std::function<void(std::string_view line)>;

// `desktop`, with each call to the platform told to `sink` as it is made:
// "AXIsProcessTrusted", "frontmostApplication",
// "CGEventSourceSecondsSinceLastEventType", "AXUIElementCreateApplication
// PID" and "AXUIElementCopyAttributeValue ELEMENT ATTRIBUTE", the element
// named by the desktop (traceName). The clocks, the run loop and the
// comparing of elements ask no other application, and are not traced.
std::unique_ptr<Desktop> tracingDesktop(std::unique_ptr<Desktop> desktop, TraceSink sink);

// The FOCUSWATCH_TRACE file at `path`, appended to, a line each: a line
// feed in a line is written "\n", a backslash "\\", and any other control
// character, U+2028, U+2029 and any byte that is not UTF-8 "\xHH", byte by
// byte. A pipe with no reader is no trace; on a pipe, socket or terminal
// whose reader has gone or takes nothing for a second, the trace ends and
// the probe goes on.
TraceSink traceFile(const std::string& path);

}  // namespace focuswatch

#endif  // FOCUSWATCH_TRACE_H_
