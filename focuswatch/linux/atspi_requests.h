// AT-SPI requests to other applications over one sd-bus connection, each
// sent and answered in the calling thread (a tree walk makes thousands, so
// no worker thread or message queue stands between), and the decoding of
// their replies.
#ifndef FOCUSWATCH_LINUX_ATSPI_REQUESTS_H_
#define FOCUSWATCH_LINUX_ATSPI_REQUESTS_H_

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/result.h"
#include "focuswatch/desktop.h"
#include "focuswatch/linux/sd_bus_ptr.h"

namespace focuswatch {

inline constexpr const char* kAccessible = "org.a11y.atspi.Accessible";

// A node of another application's accessibility tree: the bus name of the
// application's connection and the node's object path.
struct AtspiNode {
  std::string bus;
  std::string path;
};

// What a request gives: its value, or the accessibility error (kAXError*)
// that it came to.
template <typename T>
using AtspiAnswer = vantrel::Result<T, int32_t>;
// The reply to one request.
using Reply = AtspiAnswer<MessagePtr>;

class AtspiRequests {
 public:
  // A request times out as libatspi's do, after 800 ms, which accessibility
  // clients and at-spi2-registryd's own 3-second keyboard timeout assume;
  // sd-bus would wait the D-Bus default of 25 s, and a hung or stopped
  // application would hold up the 2-second timer, sleep and wake. A request
  // that times out cannot complete, as any other failure of the
  // application. (libatspi allows 15 s while an application starts; here a
  // starting application's fields are absent for a sample or two.)
  static constexpr uint64_t kApplicationTimeoutUsec = 800'000;

  // Bus names of the connections that let a request time out.
  using Silent = std::set<std::string>;

  // A connection in `silent` is not asked again: a walk over the nodes that
  // an application listed before it stopped would otherwise wait the whole
  // timeout for each (over 40 s a sample for a stopped Chromium). The
  // caller forgets them once a sample. `timeoutUsec` 0 is sd-bus's default.
  explicit AtspiRequests(sd_bus* bus, Silent* silent = nullptr,
                         uint64_t timeoutUsec = kApplicationTimeoutUsec)
      : bus_(bus), silent_(silent), timeout_(timeoutUsec) {}

  // One request: `types` and the arguments after it as for
  // sd_bus_message_append.
  template <typename... Arguments>
  Reply call(const AtspiNode& node, const char* interface, const char* method, const char* types,
             Arguments... arguments) {
    sd_bus_message* request = nullptr;
    if (sd_bus_message_new_method_call(bus_, &request, node.bus.c_str(), node.path.c_str(), interface,
                                       method) < 0)
      return vantrel::Failure(kAXErrorCannotComplete);
    MessagePtr owned(request);
    if (sd_bus_message_append(request, types, arguments...) < 0)
      return vantrel::Failure(kAXErrorCannotComplete);
    return send(node, request);
  }

  // A property of the Accessible interface, its reply entered as far as
  // the value of `type`.
  Reply accessibleProperty(const AtspiNode& node, const char* name, const char* type);
  // Accessible.GetChildren, the whole list (sd-bus checks a reply's shape
  // as it arrives, so no list is cut short).
  AtspiAnswer<std::vector<AtspiNode>> children(const AtspiNode& node);
  // GetAttributes of `interface` (Accessible or Document).
  AtspiAnswer<std::map<std::string, std::string>> attributes(const AtspiNode& node, const char* interface);
  // Accessible.GetState as one set of bits (ATSPI_STATE_*).
  AtspiAnswer<uint64_t> states(const AtspiNode& node);
  // The process of the connection that owns `busName`, from the bus itself.
  AtspiAnswer<int32_t> connectionProcess(const std::string& busName);

  // The error of a request that gave no value: its own, or a reply of
  // another shape than asked for.
  static int32_t failure(const Reply& reply) { return reply ? kAXErrorCannotComplete : reply.error(); }
  // Reads one value of `types` from `reply`; false for a failed request or
  // a reply of another shape.
  template <typename... Places>
  static bool take(const Reply& reply, const char* types, Places... places) {
    return reply && sd_bus_message_read(reply->get(), types, places...) > 0;
  }

 private:
  // Sends `request` and waits for its reply; maps a failed request's D-Bus
  // error to an accessibility error.
  Reply send(const AtspiNode& node, sd_bus_message* request);
  // Reads an array of pairs of strings (`item` is "{ss}" or "(so)"), one
  // `each` call an entry.
  template <typename Each>
  static bool takePairs(const Reply& reply, const char* item, Each each);

  sd_bus* bus_;
  Silent* silent_;
  uint64_t timeout_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_LINUX_ATSPI_REQUESTS_H_
