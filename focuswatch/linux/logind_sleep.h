// Sleep and wake from logind (PrepareForSleep on the system bus, over
// sd-bus), seen from the GLib main loop.
#ifndef FOCUSWATCH_LINUX_LOGIND_SLEEP_H_
#define FOCUSWATCH_LINUX_LOGIND_SLEEP_H_

#include <functional>

#include "focuswatch/linux/sd_bus_ptr.h"

namespace focuswatch {

class LogindSleep {
 public:
  // Calls `changed(true)` before the system sleeps and `changed(false)`
  // after it wakes, from the GLib main loop; never where there is no
  // system bus.
  explicit LogindSleep(std::function<void(bool sleeping)> changed);
  ~LogindSleep();
  LogindSleep(const LogindSleep&) = delete;
  LogindSleep& operator=(const LogindSleep&) = delete;

 private:
  static int onSignal(sd_bus_message* message, void* self, sd_bus_error*);
  // Serves what the bus has sent; false once the connection is gone.
  bool process();

  std::function<void(bool)> changed_;
  BusPtr system_;
  SlotPtr match_;
  unsigned watch_ = 0;  // the GLib source of the connection's descriptor
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_LINUX_LOGIND_SLEEP_H_
