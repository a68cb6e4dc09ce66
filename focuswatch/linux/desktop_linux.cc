// The desktop of builds without the macOS frameworks: the simulated desktop
// when FOCUSWATCH_DESKTOP names a file, else the live X11 and AT-SPI
// desktop (where the build has it) when a display can be reached, else the
// empty desktop.
#include <cstdlib>

#include "focuswatch/sim/desktop_sim.h"
#include "focuswatch/sim/reasons_file.h"
#ifdef VANTREL_LIVE_DESKTOP
#include "focuswatch/linux/desktop_live.h"
#endif

namespace focuswatch {

std::unique_ptr<Desktop> makeDesktop() {
  auto variable = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  SimPaths paths{variable("FOCUSWATCH_DESKTOP"), variable("FOCUSWATCH_TRACE"), variable("FOCUSWATCH_NOTIFY")};
#ifdef VANTREL_LIVE_DESKTOP
  if (paths.desktop.empty()) {
    if (std::unique_ptr<Desktop> live = makeLiveDesktop(paths.trace)) return live;
  }
#endif
  // FOCUSWATCH_REASONS: why the replay of a desktop file decides as it does.
  if (std::string reasons = variable("FOCUSWATCH_REASONS"); !reasons.empty() && !paths.desktop.empty())
    return std::make_unique<ReasoningSimDesktop>(std::move(paths), reasons);
  return std::make_unique<SimDesktop>(std::move(paths));
}

}  // namespace focuswatch
