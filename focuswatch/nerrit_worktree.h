// The worktree selected in the workspace application's sidebar.
#ifndef FOCUSWATCH_NERRIT_WORKTREE_H_
#define FOCUSWATCH_NERRIT_WORKTREE_H_

#include <optional>
#include <string>

#include "focuswatch/desktop.h"

namespace focuswatch {

// The identifier of the one selected worktree row, or absent when there is
// none or more than one.
std::optional<std::string> selectedNerritWorktree(Desktop& desktop, const RunningApplication& app);

// The worktree identifier carried by a row's raw "AXDOMIdentifier": the
// percent-decoded text after the last "|", which must contain "::".
std::optional<std::string> worktreeIdentifier(std::string_view raw);

}  // namespace focuswatch

#endif  // FOCUSWATCH_NERRIT_WORKTREE_H_
