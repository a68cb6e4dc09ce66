// The operation word, the login item commands and the status report.
#ifndef LOGINHELPER_COMMANDS_H_
#define LOGINHELPER_COMMANDS_H_

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "loginhelper/login_item.h"

namespace loginhelper {

inline constexpr const char* kAgentPlistName = "mirrowin.vantrel.startup.plist";

// What one run writes, and its exit status.
struct RunResult {
  std::string standardOutput;
  std::string standardError;
  int exitStatus = 0;
};

// The status word of the service's current status.
Result<std::string> serviceStatus(LoginItemService& service);

struct Collaborators {
  // Makes the login item service (`agentServiceWithPlistName:`).
  std::function<std::unique_ptr<LoginItemService>()> makeService;
  // The background launch.
  std::function<Result<>()> launch;
};

// One run of loginhelper on `arguments` (program path first).
RunResult runLoginHelper(const std::vector<std::string>& arguments, const Collaborators& collaborators);

}  // namespace loginhelper

#endif  // LOGINHELPER_COMMANDS_H_
