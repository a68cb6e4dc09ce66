// The event line: one sample of what the user is doing, as one compact JSON
// object.
#ifndef FOCUSWATCH_EVENT_RECORD_H_
#define FOCUSWATCH_EVENT_RECORD_H_

#include <optional>
#include <string>
#include <string_view>

#include "focuswatch/browser_config.h"
#include "focuswatch/desktop.h"

namespace focuswatch {

// Takes one sample; the JSON text without its line feed, or absent when the
// record cannot be serialised (the sample is then dropped).
std::optional<std::string> eventLine(Desktop& desktop, const BrowserConfiguration& config,
                                     std::string_view kind);

// Takes one sample and writes it to standard output as one line. False
// when the reader has gone away.
bool emit(Desktop& desktop, const BrowserConfiguration& config, std::string_view kind);

// Writes `text` and a line feed to standard output in one piece. False when
// the reader has gone away; any other failure drops this one line.
bool writeLine(std::string text);

}  // namespace focuswatch

#endif  // FOCUSWATCH_EVENT_RECORD_H_
