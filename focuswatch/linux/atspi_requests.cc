#include "focuswatch/linux/atspi_requests.h"

#include <errno.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace focuswatch {

Reply AtspiRequests::send(const AtspiNode& node, sd_bus_message* request) {
  if (silent_ && silent_->count(node.bus)) return vantrel::Failure(kAXErrorCannotComplete);
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int status = sd_bus_call(bus_, request, timeout_, &error, &reply);
  MessagePtr owned(reply);
  if (status >= 0) return owned;
  int32_t code = kAXErrorCannotComplete;  // a timeout too, as any failure of the application
  if (status == -ETIMEDOUT && silent_) silent_->insert(node.bus);
  if (sd_bus_error_has_names(&error, SD_BUS_ERROR_UNKNOWN_METHOD, SD_BUS_ERROR_UNKNOWN_INTERFACE,
                             SD_BUS_ERROR_INVALID_ARGS))
    code = kAXErrorAttributeUnsupported;
  if (sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_OBJECT)) code = kAXErrorInvalidUIElement;
  sd_bus_error_free(&error);
  return vantrel::Failure(code);
}

template <typename Each>
bool AtspiRequests::takePairs(const Reply& reply, const char* item, Each each) {
  sd_bus_message* message = reply ? reply->get() : nullptr;
  if (!message || sd_bus_message_enter_container(message, 'a', item) <= 0) return false;
  const char *first, *second;
  int read;
  while ((read = sd_bus_message_read(message, item, &first, &second)) > 0) each(first, second);
  return read == 0 && sd_bus_message_exit_container(message) >= 0;
}

Reply AtspiRequests::accessibleProperty(const AtspiNode& node, const char* name, const char* type) {
  Reply reply = call(node, "org.freedesktop.DBus.Properties", "Get", "ss", kAccessible, name);
  if (reply && sd_bus_message_enter_container(reply->get(), 'v', type) <= 0)
    return vantrel::Failure(kAXErrorCannotComplete);
  return reply;
}

AtspiAnswer<std::vector<AtspiNode>> AtspiRequests::children(const AtspiNode& node) {
  Reply reply = call(node, kAccessible, "GetChildren", "");
  std::vector<AtspiNode> result;
  auto each = [&](const char* bus, const char* path) { result.push_back({bus, path}); };
  if (!takePairs(reply, "(so)", each)) return vantrel::Failure(failure(reply));
  return result;
}

AtspiAnswer<std::map<std::string, std::string>> AtspiRequests::attributes(const AtspiNode& node,
                                                                          const char* interface) {
  Reply reply = call(node, interface, "GetAttributes", "");
  std::map<std::string, std::string> result;
  if (!takePairs(reply, "{ss}", [&](const char* key, const char* value) { result[key] = value; }))
    return vantrel::Failure(failure(reply));
  return result;
}

AtspiAnswer<uint64_t> AtspiRequests::states(const AtspiNode& node) {
  Reply reply = call(node, kAccessible, "GetState", "");
  const void* words = nullptr;
  size_t size = 0;
  if (!reply || sd_bus_message_read_array(reply->get(), 'u', &words, &size) < 0)
    return vantrel::Failure(failure(reply));
  uint32_t bits[2] = {0, 0};
  std::memcpy(bits, words, std::min(size, sizeof bits));
  return bits[0] | (uint64_t{bits[1]} << 32);
}

AtspiAnswer<int32_t> AtspiRequests::connectionProcess(const std::string& busName) {
  Reply reply = call({"org.freedesktop.DBus", "/org/freedesktop/DBus"}, "org.freedesktop.DBus",
                     "GetConnectionUnixProcessID", "s", busName.c_str());
  uint32_t pid = 0;
  if (!take(reply, "u", &pid)) return vantrel::Failure(failure(reply));
  return static_cast<int32_t>(pid);
}

}  // namespace focuswatch
