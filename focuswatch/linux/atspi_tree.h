// The accessibility trees of other applications, read over the session's
// AT-SPI bus: one read is one or a few requests (atspi_tree.cc has the
// table), and nothing is kept between reads but the applications' roots,
// found once a sample, and the applications that let a request time out in
// this sample.
#ifndef FOCUSWATCH_LINUX_ATSPI_TREE_H_
#define FOCUSWATCH_LINUX_ATSPI_TREE_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "focuswatch/desktop.h"
#include "focuswatch/linux/atspi_bus.h"
#include "focuswatch/linux/atspi_requests.h"

namespace focuswatch {

class AtspiTree {
 public:
  // Trusted when the session's accessibility bus is switched on and can
  // be reached (AccessibilityBus). Every sample asks it first, so it also
  // forgets the last sample's roots and silent applications.
  bool isTrusted();

  // The element of an application.
  static Element applicationElement(int32_t pid);
  // How the trace names an element: "app:PID", or its bus name and path.
  static std::string traceName(const Element& element);
  // One read of `attribute`; fails with kAXErrorAPIDisabled unless the
  // last trust question was answered yes.
  AttributeRead read(const Element& element, std::string_view attribute);
  // The name that the application of process `pid` gives its root on the
  // bus; none unless trusted.
  std::optional<std::string> applicationName(int32_t pid);

 private:
  // The root of process `pid`'s application: the registry's child whose
  // connection belongs to the process. Walking the registry asks every
  // application's connection for its process, so a sample walks it once.
  std::optional<AtspiNode> root(AtspiRequests& bus, int32_t pid);

  AccessibilityBus bus_;
  sd_bus* trustedBus_ = nullptr;  // the bus while the last answer was yes
  std::map<int32_t, AtspiNode> roots_;
  AtspiRequests::Silent silent_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_LINUX_ATSPI_TREE_H_
