#include "focuswatch/options.h"

#include <algorithm>

namespace focuswatch {

ProbeOptions readProbeOptions(const std::vector<std::string>& arguments) {
  ProbeOptions options;
  options.trustOnly = hasArgument(arguments, "--trust-only");
  options.once = !options.trustOnly && hasArgument(arguments, "--once");
  return options;
}

bool hasArgument(const std::vector<std::string>& arguments, std::string_view option) {
  return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

}  // namespace focuswatch
