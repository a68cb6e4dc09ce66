// The label of the selected tab over the workspace application's focused
// pane.
#ifndef FOCUSWATCH_NERRIT_TAB_H_
#define FOCUSWATCH_NERRIT_TAB_H_

#include <optional>
#include <string>

#include "focuswatch/desktop.h"

namespace focuswatch {

// Absent unless the focused window singles out exactly one tab strip and,
// in it, exactly one selected tab with a label.
std::optional<std::string> focusedNerritTab(Desktop& desktop, const RunningApplication& app);

}  // namespace focuswatch

#endif  // FOCUSWATCH_NERRIT_TAB_H_
