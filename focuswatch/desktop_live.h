// The live Linux desktop: the frontmost window, its process and the idle
// time from X11, workspace notifications from X11 and logind, and the
// accessibility tree of other applications over the AT-SPI bus.
#ifndef FOCUSWATCH_DESKTOP_LIVE_H_
#define FOCUSWATCH_DESKTOP_LIVE_H_

#include <memory>
#include <string>

#include "focuswatch/desktop.h"

namespace focuswatch {

// The live desktop on the X display `display` (empty: $DISPLAY), or null
// when no display can be reached. Platform calls are traced to `tracePath`
// when it is not empty.
std::unique_ptr<Desktop> makeLiveDesktop(const std::string& display, const std::string& tracePath);

// The role the probe compares for an AT-SPI role number: "AXWebArea",
// "AXStaticText", "AXMenuItem", "AXWindow", or "AXGroup" for the rest.
std::string axRole(uint32_t atspiRole);

}  // namespace focuswatch

#endif  // FOCUSWATCH_DESKTOP_LIVE_H_
