// The accessibility trees of other applications, read over the session's
// AT-SPI bus: one read is one or a few requests (atspi_tree.cc has the
// table), and nothing is kept between reads but an application's root.
#ifndef FOCUSWATCH_LINUX_ATSPI_TREE_H_
#define FOCUSWATCH_LINUX_ATSPI_TREE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "focuswatch/desktop.h"
#include "focuswatch/linux/atspi_bus.h"
#include "focuswatch/linux/atspi_requests.h"

namespace focuswatch {

// What an Element of the live desktop holds: a node of a tree, or an
// application, known by its process, whose root node is found on its
// first read.
struct LiveElement {
  // For an application element: its root once found, empty before.
  mutable AtspiNode node;
  int32_t pid = 0;
  bool application = false;
};

class AtspiTree {
 public:
  // Trusted when the session's accessibility bus is switched on and can
  // be reached (AccessibilityBus).
  bool isTrusted();

  // The element of an application.
  static Element applicationElement(int32_t pid);
  // The live element behind `element`, or null.
  static const LiveElement* live(const Element& element);
  // How the trace names an element: "app:PID", or its bus name and path.
  static std::string traceName(const Element& element);
  // One read of `attribute`; fails with kAXErrorAPIDisabled unless the
  // last trust question was answered yes.
  AttributeRead read(const Element& element, std::string_view attribute);
  // The name that the application of process `pid` gives its root on the
  // bus; none unless trusted.
  std::optional<std::string> applicationName(int32_t pid);

 private:
  AccessibilityBus bus_;
  sd_bus* trustedBus_ = nullptr;  // the bus while the last answer was yes
};

// The role the probe compares for an AT-SPI role number: "AXWebArea",
// "AXStaticText", "AXMenuItem", "AXWindow", or "AXGroup" for the rest.
std::string axRole(uint32_t atspiRole);

}  // namespace focuswatch

#endif  // FOCUSWATCH_LINUX_ATSPI_TREE_H_
