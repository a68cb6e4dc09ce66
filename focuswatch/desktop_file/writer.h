// The desktop file written from what one sample read: the recorder's
// output, which the simulated desktop reads back (document.h), so that a
// sample can be replayed anywhere.
#ifndef FOCUSWATCH_DESKTOP_FILE_WRITER_H_
#define FOCUSWATCH_DESKTOP_FILE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "focuswatch/desktop.h"

namespace focuswatch {

// A value as read, its elements by their place in the sample.
struct RecordedValue {
  std::variant<OtherValue, size_t, std::string, Url, AxValue, std::vector<RecordedValue>> v;
};

struct RecordedRead {
  std::string attribute;
  int32_t error = kAXErrorSuccess;
  std::optional<RecordedValue> value;
};

struct RecordedElement {
  std::optional<int32_t> process;   // an application's element
  std::vector<RecordedRead> reads;  // the first answer to each attribute, in read order
};

// What one sample read, from its trust question on.
struct RecordedSample {
  bool trusted = false;
  bool frontmostAsked = false;
  std::optional<RunningApplication> frontmost;
  std::optional<double> currentTime, uptime, idle;
  std::vector<RecordedElement> elements;  // in the order first seen
};

// The sample's desktop file, one line with its line feed. Every element
// carries an id ("e1", "e2"... in the order first seen); it is written in
// place where the file first meets it (an application's under
// "applications"), and referred to everywhere else. Text that is not
// UTF-8 is written with replacement characters.
std::string desktopFileOf(const RecordedSample& sample);

}  // namespace focuswatch

#endif  // FOCUSWATCH_DESKTOP_FILE_WRITER_H_
