#include "focuswatch/nerrit_window.h"

#include "focuswatch/accessibility.h"
#include "focuswatch/reasons.h"
#include "focuswatch/text.h"

namespace focuswatch {

std::optional<std::string> focusedWindowTitle(Desktop& desktop, const RunningApplication& app) {
  Element application = desktop.createApplicationElement(app.processIdentifier);
  std::optional<Element> window = focusedWindow(desktop, application);
  constexpr std::string_view kField = "nerritWindowTitle";
  if (!window) {
    tell(desktop.reasons(), kField, "missing", nullptr,
         "no focused window (AXFocusedWindow is not an element)");
    return std::nullopt;
  }
  std::optional<std::string> title = asString(attribute(desktop, *window, "AXTitle"));
  tell(desktop.reasons(), kField, title ? "from" : "missing", &*window,
       title ? "the focused window's AXTitle" : "the focused window's AXTitle is not text");
  if (!title) return std::nullopt;
  return firstCharacters(*title, kTextLimit);
}

}  // namespace focuswatch
