// A recorder of what the probe reads: it wraps any desktop, passes every
// call through unchanged, and after each sample writes what that sample
// read as a simulated-desktop file, so that the sample can be replayed
// anywhere with FOCUSWATCH_DESKTOP.
#ifndef FOCUSWATCH_RECORDER_H_
#define FOCUSWATCH_RECORDER_H_

#include <memory>
#include <string>

#include "focuswatch/desktop.h"

namespace focuswatch {

// `desktop`, recorded to `path`. The file holds raw answers (titles and
// addresses as read), so it is made readable by its owner only, and it is
// replaced whole: a reader never sees half a file, and a stop leaves no
// part of one behind. Only a regular file, or nothing, at `path` is
// replaced: a folder, a link, a device or a pipe there is a path that
// cannot be written. Such a path is said once on standard error; the
// samples go on.
std::unique_ptr<Desktop> recordingDesktop(std::unique_ptr<Desktop> desktop, std::string path);

}  // namespace focuswatch

#endif  // FOCUSWATCH_RECORDER_H_
