#include "focuswatch/linux/logind_sleep.h"

#include <glib-unix.h>

#include <utility>

namespace focuswatch {

LogindSleep::LogindSleep(std::function<void(bool)> changed) : changed_(std::move(changed)) {
  sd_bus* system = nullptr;
  if (sd_bus_open_system(&system) < 0) return;
  system_.reset(system);
  sd_bus_slot* match = nullptr;
  if (sd_bus_match_signal(system, &match, "org.freedesktop.login1", "/org/freedesktop/login1",
                          "org.freedesktop.login1.Manager", "PrepareForSleep", onSignal, this) < 0)
    return;
  match_.reset(match);
  // Signals that came while the match was being added wait in the queue.
  if (!process()) return;
  watch_ = g_unix_fd_add(
      sd_bus_get_fd(system), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
      [](gint, GIOCondition, gpointer self) -> gboolean {
        return static_cast<LogindSleep*>(self)->process() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
      },
      this);
}

LogindSleep::~LogindSleep() {
  if (watch_) g_source_remove(watch_);
}

int LogindSleep::onSignal(sd_bus_message* message, void* self, sd_bus_error*) {
  int sleeping = 0;
  if (sd_bus_message_read(message, "b", &sleeping) > 0) static_cast<LogindSleep*>(self)->changed_(sleeping);
  return 0;
}

bool LogindSleep::process() {
  int status;
  while ((status = sd_bus_process(system_.get(), nullptr)) > 0) {}
  if (status >= 0) return true;
  watch_ = 0;  // logind's bus is gone: no more sleep or wake to see
  return false;
}

}  // namespace focuswatch
