// Owners of sd-bus objects.
#ifndef FOCUSWATCH_LINUX_SD_BUS_PTR_H_
#define FOCUSWATCH_LINUX_SD_BUS_PTR_H_

#include <systemd/sd-bus.h>

#include <memory>

#include "common/deleter.h"

namespace focuswatch {

// A connection, flushed and closed with its last owner.
using BusPtr = std::unique_ptr<sd_bus, vantrel::Deleter<sd_bus_flush_close_unref>>;
using MessagePtr = std::unique_ptr<sd_bus_message, vantrel::Deleter<sd_bus_message_unref>>;
// A match or other registration, undone when released.
using SlotPtr = std::unique_ptr<sd_bus_slot, vantrel::Deleter<sd_bus_slot_unref>>;

}  // namespace focuswatch

#endif  // FOCUSWATCH_LINUX_SD_BUS_PTR_H_
