#include "loginhelper/launch.h"

#include "loginhelper/process.h"

namespace loginhelper {

namespace {

std::string deletingLastPathComponent(std::string path) {
  while (path.size() > 1 && path.ends_with('/')) path.pop_back();
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string bundlePath(const std::string& programPath) {
  std::string path = programPath;
  for (int i = 0; i < 3; ++i) path = deletingLastPathComponent(path);
  return path;
}

std::string pathExtension(const std::string& path) {
  std::string component = path.substr(path.rfind('/') + 1);
  size_t dot = component.rfind('.');
  return dot == std::string::npos ? "" : component.substr(dot + 1);
}

Result<> launchDashboardInBackground(const std::optional<std::string>& ownPath, const std::string& tool) {
  std::string bundle = ownPath ? bundlePath(resolveSymlinks(*ownPath)) : "";
  if (pathExtension(bundle) != "app")
    return Failure(startupError(1, "Startup helper is outside Vantrel.app"));

  Result<Ended> ended = runAndWait(tool, {"-g", "-a", bundle, "--args", "--background"});
  if (!ended) return Failure(ended.error());
  // The code is the signal's number, as the Mac's task reports one.
  if (ended->signal != 0)
    return Failure(startupError(ended->signal, "Could not start Vantrel in the background: " + tool +
                                                   " ended by signal " + std::to_string(ended->signal)));
  if (ended->status != 0)
    return Failure(startupError(ended->status, "Could not start Vantrel in the background"));
  return Done{};
}

}  // namespace loginhelper
