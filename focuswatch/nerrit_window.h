// The title of the workspace application's focused window.
#ifndef FOCUSWATCH_NERRIT_WINDOW_H_
#define FOCUSWATCH_NERRIT_WINDOW_H_

#include <optional>
#include <string>

#include "focuswatch/desktop.h"

namespace focuswatch {

// The focused window's "AXTitle", when it is text, cut to 180 characters.
std::optional<std::string> focusedWindowTitle(Desktop& desktop, const RunningApplication& app);

}  // namespace focuswatch

#endif  // FOCUSWATCH_NERRIT_WINDOW_H_
