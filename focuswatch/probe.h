// Start-up and the event loop of focuswatch.
#ifndef FOCUSWATCH_PROBE_H_
#define FOCUSWATCH_PROBE_H_

#include <string>
#include <vector>

#include "focuswatch/desktop.h"

namespace focuswatch {

// The trust-answer line, without its line feed.
std::string trustLine(bool trusted);

// Runs the probe on `arguments` (program path first): answers trust, takes
// one sample, or watches until the run loop returns. The exit status.
int runProbe(Desktop& desktop, std::vector<std::string> arguments);

}  // namespace focuswatch

#endif  // FOCUSWATCH_PROBE_H_
