#include "loginhelper/commands.h"

#include <nlohmann/json.hpp>

#include "common/one_line.h"

namespace loginhelper {

namespace {

// The description on one line: a path or a platform text may hold a line
// break or bytes that are not UTF-8.
RunResult failure(const Error& error) {
  return RunResult{"", vantrel::oneLine(error.description, vantrel::Escaping::kMessage) + "\n", 1};
}

// Runs the word's login item calls.
Result<> perform(const std::string& word, LoginItemService& service) {
  if (word == "enable" || word == "disable") {
    Result<long> status = service.status();
    if (!status) return Failure(status.error());
    bool registered = *status != kNotRegistered && *status != kNotFound;
    if (word == "enable" && !registered) return service.registerService();
    if (word == "disable" && registered) return service.unregisterService();
    return Done{};
  }
  if (word == "settings") {
    service.openSystemSettingsLoginItems();
    return Done{};
  }
  if (word == "status") return Done{};
  return Failure(startupError(2, "Unknown startup operation"));
}

}  // namespace

Result<std::string> serviceStatus(LoginItemService& service) {
  Result<long> status = service.status();
  if (!status) return Failure(status.error());
  switch (*status) {
    case kNotRegistered: return std::string("notRegistered");
    case kEnabled: return std::string("enabled");
    case kRequiresApproval: return std::string("requiresApproval");
    case kNotFound: return std::string("notFound");
    default: return std::string("unknown");
  }
}

RunResult runLoginHelper(const std::vector<std::string>& arguments, const Collaborators& collaborators) {
  std::string word = arguments.size() > 1 ? arguments[1] : "launch";
  if (word == "launch") {
    if (Result<> launched = collaborators.launch(); !launched) return failure(launched.error());
    return {};
  }

  std::unique_ptr<LoginItemService> service = collaborators.makeService();
  if (Result<> done = perform(word, *service); !done) return failure(done.error());
  Result<std::string> status = serviceStatus(*service);
  if (!status) return failure(status.error());
  nlohmann::json report = {{"status", *status}};
  return RunResult{report.dump(), "", 0};
}

}  // namespace loginhelper
