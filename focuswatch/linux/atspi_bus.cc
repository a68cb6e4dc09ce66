#include "focuswatch/linux/atspi_bus.h"

#include <utility>

#include "focuswatch/linux/atspi_requests.h"

namespace focuswatch {

namespace {

bool isOpen(const BusPtr& bus) { return bus && sd_bus_is_open(bus.get()) > 0; }

}  // namespace

sd_bus* AccessibilityBus::connectIfEnabled() {
  if (!enabled()) return nullptr;
  if (!isOpen(bus_)) connect();
  return isOpen(bus_) ? bus_.get() : nullptr;
}

bool AccessibilityBus::enabled() {
  if (!isOpen(session_)) {
    sd_bus* session = nullptr;
    if (sd_bus_open_user(&session) < 0) return false;
    session_.reset(session);
  }
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int flag = 0;
  int status = sd_bus_get_property_trivial(session_.get(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Status",
                                           "IsEnabled", &error, 'b', &flag);
  sd_bus_error_free(&error);
  return status >= 0 && flag;
}

void AccessibilityBus::connect() {
  bus_.reset();
  // The launcher may start the bus first: the D-Bus default, as libatspi.
  Reply reply = AtspiRequests(session_.get(), nullptr, 0)
                    .call({"org.a11y.Bus", "/org/a11y/bus"}, "org.a11y.Bus", "GetAddress", "");
  const char* address = nullptr;
  if (!AtspiRequests::take(reply, "s", &address)) return;
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0) return;
  BusPtr fresh(bus);
  if (sd_bus_set_address(bus, address) < 0 || sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0)
    return;
  bus_ = std::move(fresh);
}

}  // namespace focuswatch
