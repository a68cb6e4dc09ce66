#include "loginhelper/commands.h"

#include <nlohmann/json.hpp>

namespace loginhelper {

namespace {

// The description on one line: a path or a platform text may hold a line
// feed or another control character, written here as an escape.
std::string oneLine(std::string_view description) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line;
  for (char c : description) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      line += c;
      continue;
    }
    switch (c) {
      case '\n': line += "\\n"; break;
      case '\r': line += "\\r"; break;
      case '\t': line += "\\t"; break;
      default: line += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
    }
  }
  return line;
}

RunResult failure(const Error& error) { return RunResult{"", oneLine(error.description) + "\n", 1}; }

// Runs the word's login item calls; the error that ends the run, if any.
std::optional<Error> perform(const std::string& word, LoginItemService& service) {
  if (word == "enable" || word == "disable") {
    StatusRead status = service.status();
    if (status.error) return status.error;
    bool registered = status.raw != kNotRegistered && status.raw != kNotFound;
    if (word == "enable" && !registered) return service.registerService();
    if (word == "disable" && registered) return service.unregisterService();
    return std::nullopt;
  }
  if (word == "settings") {
    service.openSystemSettingsLoginItems();
    return std::nullopt;
  }
  if (word == "status") return std::nullopt;
  return startupError(2, "Unknown startup operation");
}

}  // namespace

std::variant<std::string, Error> serviceStatus(LoginItemService& service) {
  StatusRead status = service.status();
  if (status.error) return *status.error;
  switch (status.raw) {
    case kNotRegistered: return "notRegistered";
    case kEnabled: return "enabled";
    case kRequiresApproval: return "requiresApproval";
    case kNotFound: return "notFound";
    default: return "unknown";
  }
}

RunResult runLoginHelper(const std::vector<std::string>& arguments,
                         const Collaborators& collaborators) {
  std::string word = arguments.size() > 1 ? arguments[1] : "launch";
  if (word == "launch") {
    if (std::optional<Error> error = collaborators.launch()) return failure(*error);
    return {};
  }

  std::unique_ptr<LoginItemService> service = collaborators.makeService();
  if (std::optional<Error> error = perform(word, *service)) return failure(*error);

  std::variant<std::string, Error> status = serviceStatus(*service);
  if (auto* error = std::get_if<Error>(&status)) return failure(*error);
  nlohmann::json report = {{"status", std::get<std::string>(status)}};
  return RunResult{report.dump(), "", 0};
}

}  // namespace loginhelper
