#include "focuswatch/nerrit_window.h"

#include "focuswatch/accessibility.h"
#include "focuswatch/text.h"

namespace focuswatch {

std::optional<std::string> focusedWindowTitle(Desktop& desktop, const RunningApplication& app) {
  Element application = desktop.createApplicationElement(app.processIdentifier);
  std::optional<Element> window = focusedWindow(desktop, application);
  if (!window) return std::nullopt;
  std::optional<std::string> title = asString(attribute(desktop, *window, "AXTitle"));
  if (!title) return std::nullopt;
  return firstCharacters(*title, kTextLimit);
}

}  // namespace focuswatch
