// The accessibility trees of other applications, read over the session's
// AT-SPI bus: one request per read, sent and answered in the calling
// thread through sd-bus, and nothing kept between reads.
#ifndef FOCUSWATCH_LINUX_ATSPI_TREE_H_
#define FOCUSWATCH_LINUX_ATSPI_TREE_H_

#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/deleter.h"
#include "focuswatch/desktop.h"

typedef struct _GDBusConnection GDBusConnection;

namespace focuswatch {

class AtspiTree {
 public:
  // Trusted when the session's accessibility bus is switched on
  // (org.a11y.Status.IsEnabled) and can be reached; connects to it when
  // it is not connected yet.
  bool isTrusted();

  // The element of an application, found on the bus at its first read.
  static Element applicationElement(int32_t pid);
  // How the trace names an element: "app:PID", or its bus name and path.
  static std::string traceName(const Element& element);
  // One read of `name` (atspi_tree.cc lists the request of each); fails
  // with kAXErrorAPIDisabled unless the last trust question was answered yes.
  AttributeRead read(const Element& element, std::string_view name);

 private:
  void connectAccessibilityBus(GDBusConnection* session);

  using BusPtr = std::unique_ptr<sd_bus, vantrel::Deleter<sd_bus_flush_close_unref>>;
  BusPtr bus_;
  bool trusted_ = false;
};

// The role the probe compares for an AT-SPI role number: "AXWebArea",
// "AXStaticText", "AXMenuItem", "AXWindow", or "AXGroup" for the rest.
std::string axRole(uint32_t atspiRole);

}  // namespace focuswatch

#endif  // FOCUSWATCH_LINUX_ATSPI_TREE_H_
