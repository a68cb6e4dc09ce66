// The live Linux desktop: the X11 session (x11_session.h), the desktop
// entries (desktop_entries.h) and the AT-SPI tree (atspi_tree.h) behind the
// platform boundary, with logind's sleep signal (logind_sleep.h) and the
// GLib main loop.
#ifndef FOCUSWATCH_LINUX_DESKTOP_LIVE_H_
#define FOCUSWATCH_LINUX_DESKTOP_LIVE_H_

#include <memory>

#include "focuswatch/desktop.h"

namespace focuswatch {

// The live desktop on the X display $DISPLAY, or null when it cannot be
// reached.
std::unique_ptr<Desktop> makeLiveDesktop();

}  // namespace focuswatch

#endif  // FOCUSWATCH_LINUX_DESKTOP_LIVE_H_
