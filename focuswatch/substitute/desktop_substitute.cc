// The desktop of builds without the macOS frameworks: the simulated desktop
// when FOCUSWATCH_DESKTOP names a file, else the live X11 and AT-SPI
// desktop (where the build has it) when a display can be reached, else the
// empty desktop; traced to FOCUSWATCH_TRACE when it names a file.
#include <cstdlib>

#include "focuswatch/sim/desktop_sim.h"
#include "focuswatch/sim/reasons_file.h"
#include "focuswatch/trace.h"
#ifdef VANTREL_LIVE_DESKTOP
#include "focuswatch/linux/desktop_live.h"
#endif

namespace focuswatch {

namespace {

std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return std::string(value ? value : "");
}

std::unique_ptr<Desktop> untracedDesktop() {
  SimPaths paths{variable("FOCUSWATCH_DESKTOP"), variable("FOCUSWATCH_NOTIFY")};
#ifdef VANTREL_LIVE_DESKTOP
  if (paths.desktop.empty()) {
    if (std::unique_ptr<Desktop> live = makeLiveDesktop()) return live;
  }
#endif
  // FOCUSWATCH_REASONS: why the replay of a desktop file decides as it does.
  if (std::string reasons = variable("FOCUSWATCH_REASONS"); !reasons.empty() && !paths.desktop.empty())
    return std::make_unique<ReasoningSimDesktop>(std::move(paths), reasons);
  return std::make_unique<SimDesktop>(std::move(paths));
}

}  // namespace

std::unique_ptr<Desktop> makeDesktop() {
  std::unique_ptr<Desktop> desktop = untracedDesktop();
  if (std::string trace = variable("FOCUSWATCH_TRACE"); !trace.empty())
    return tracingDesktop(std::move(desktop), traceFile(trace));
  return desktop;
}

}  // namespace focuswatch
