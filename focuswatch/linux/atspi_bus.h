// The session's accessibility bus, over sd-bus: whether it is switched on,
// and one connection to it.
#ifndef FOCUSWATCH_LINUX_ATSPI_BUS_H_
#define FOCUSWATCH_LINUX_ATSPI_BUS_H_

#include "focuswatch/linux/sd_bus_ptr.h"

namespace focuswatch {

class AccessibilityBus {
 public:
  // Asks the session bus whether the accessibility bus is switched on
  // (org.a11y.Status.IsEnabled) and, when it is, connects to it unless
  // connected already (org.a11y.Bus.GetAddress). The connection, or null
  // when it is switched off or cannot be reached.
  sd_bus* connectIfEnabled();

 private:
  bool enabled();
  void connect();

  BusPtr session_;
  BusPtr bus_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_LINUX_ATSPI_BUS_H_
