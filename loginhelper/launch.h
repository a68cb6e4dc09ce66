// Starting the host application hidden, with "--background".
#ifndef LOGINHELPER_LAUNCH_H_
#define LOGINHELPER_LAUNCH_H_

#include <optional>
#include <string>

#include "loginhelper/error.h"

namespace loginhelper {

// The application bundle around a resolved program path: the path without
// its last three components.
std::string bundlePath(const std::string& programPath);

// The extension of the last path component, without the dot.
std::string pathExtension(const std::string& path);

// Finds the bundle from `ownPath` (the zeroth argument; absent when the
// program was given none) and starts it through `tool`, waiting for the
// tool to end.
Result<> launchDashboardInBackground(const std::optional<std::string>& ownPath,
                                     const std::string& tool = "/usr/bin/open");

}  // namespace loginhelper

#endif  // LOGINHELPER_LAUNCH_H_
