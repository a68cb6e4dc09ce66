// The desktop of builds without the macOS frameworks: the simulated desktop
// that the FOCUSWATCH_* environment variables describe.
#include <cstdlib>

#include "focuswatch/desktop_sim.h"

namespace focuswatch {

std::unique_ptr<Desktop> makeDesktop() {
  auto variable = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  return std::make_unique<SimDesktop>(SimPaths{variable("FOCUSWATCH_DESKTOP"),
                                               variable("FOCUSWATCH_TRACE"),
                                               variable("FOCUSWATCH_NOTIFY")});
}

}  // namespace focuswatch
