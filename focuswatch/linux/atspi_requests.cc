#include "focuswatch/linux/atspi_requests.h"

#include <errno.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace focuswatch {

Reply AtspiRequests::send(const AtspiNode& node, sd_bus_message* request) {
  if (silent_ && silent_->count(node.bus)) return {nullptr, kAXErrorCannotComplete};
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int status = sd_bus_call(bus_, request, timeout_, &error, &reply);
  MessagePtr owned(reply);
  int32_t code = kAXErrorSuccess;
  if (status < 0) {
    code = kAXErrorCannotComplete;  // a timeout too, as any failure of the application
    if (status == -ETIMEDOUT && silent_) silent_->insert(node.bus);
    if (sd_bus_error_has_names(&error, SD_BUS_ERROR_UNKNOWN_METHOD, SD_BUS_ERROR_UNKNOWN_INTERFACE,
                               SD_BUS_ERROR_INVALID_ARGS))
      code = kAXErrorAttributeUnsupported;
    if (sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_OBJECT)) code = kAXErrorInvalidUIElement;
    owned.reset();
  }
  sd_bus_error_free(&error);
  return {std::move(owned), code};
}

template <typename Each>
bool AtspiRequests::takePairs(const Reply& reply, const char* item, Each each) {
  sd_bus_message* message = reply.message.get();
  if (!message || sd_bus_message_enter_container(message, 'a', item) <= 0) return false;
  const char *first, *second;
  int read;
  while ((read = sd_bus_message_read(message, item, &first, &second)) > 0) each(first, second);
  return read == 0 && sd_bus_message_exit_container(message) >= 0;
}

Reply AtspiRequests::accessibleProperty(const AtspiNode& node, const char* name, const char* type) {
  Reply reply = call(node, "org.freedesktop.DBus.Properties", "Get", "ss", kAccessible, name);
  if (reply.message && sd_bus_message_enter_container(reply.message.get(), 'v', type) <= 0)
    return {nullptr, kAXErrorCannotComplete};
  return reply;
}

std::vector<AtspiNode> AtspiRequests::children(const AtspiNode& node, int32_t* error) {
  Reply reply = call(node, kAccessible, "GetChildren", "");
  std::vector<AtspiNode> result;
  auto each = [&](const char* bus, const char* path) { result.push_back({bus, path}); };
  bool whole = takePairs(reply, "(so)", each);
  if (error) *error = whole || !reply.message ? reply.error : kAXErrorCannotComplete;
  return result;
}

std::optional<std::map<std::string, std::string>> AtspiRequests::attributes(const AtspiNode& node,
                                                                            const char* interface,
                                                                            int32_t* error) {
  Reply reply = call(node, interface, "GetAttributes", "");
  *error = reply.error;
  std::map<std::string, std::string> result;
  if (!takePairs(reply, "{ss}", [&](const char* key, const char* value) { result[key] = value; })) {
    if (reply.message) *error = kAXErrorCannotComplete;
    return std::nullopt;
  }
  return result;
}

uint64_t AtspiRequests::states(const AtspiNode& node) {
  Reply reply = call(node, kAccessible, "GetState", "");
  const void* words = nullptr;
  size_t size = 0;
  if (!reply.message || sd_bus_message_read_array(reply.message.get(), 'u', &words, &size) < 0) return 0;
  uint32_t bits[2] = {0, 0};
  std::memcpy(bits, words, std::min(size, sizeof bits));
  return bits[0] | (uint64_t{bits[1]} << 32);
}

std::optional<int32_t> AtspiRequests::connectionProcess(const std::string& busName) {
  Reply reply = call({"org.freedesktop.DBus", "/org/freedesktop/DBus"}, "org.freedesktop.DBus",
                     "GetConnectionUnixProcessID", "s", busName.c_str());
  uint32_t pid = 0;
  if (!take(reply, "u", &pid)) return std::nullopt;
  return static_cast<int32_t>(pid);
}

}  // namespace focuswatch
