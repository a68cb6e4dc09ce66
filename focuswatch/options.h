// The program's own options: which of its three modes a run is in. The
// browser options are read by browser_config; the rule for an exact option
// (a whole argument, matched exactly, wherever it stands) is here.
#ifndef FOCUSWATCH_OPTIONS_H_
#define FOCUSWATCH_OPTIONS_H_

#include <string>
#include <string_view>
#include <vector>

namespace focuswatch {

// Neither set: watching.
struct ProbeOptions {
  // "--trust-only": answer trust and end, whatever else is given.
  bool trustOnly = false;
  // "--once", without "--trust-only": one sample and end.
  bool once = false;
};

// Reads the modes from `arguments` (program path first); any other argument
// is ignored.
ProbeOptions readProbeOptions(const std::vector<std::string>& arguments);

// Whether `arguments` holds `option` as a whole argument.
bool hasArgument(const std::vector<std::string>& arguments, std::string_view option);

}  // namespace focuswatch

#endif  // FOCUSWATCH_OPTIONS_H_
