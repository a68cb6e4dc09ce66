// Which browsers have page tracking, and the title suffix cut from each
// browser's window titles. Built once from the argument list at start-up and
// only read afterwards.
#ifndef FOCUSWATCH_BROWSER_CONFIG_H_
#define FOCUSWATCH_BROWSER_CONFIG_H_

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace focuswatch {

struct BrowserConfiguration {
  // Bundle identifier to the switch that turns tracking on for it.
  std::map<std::string, std::string, std::less<>> browserFlags;
  // The whole argument list, program path first.
  std::vector<std::string> browserArguments;
  // Every identifier given with "--browser-bundle=".
  std::set<std::string, std::less<>> browserBundles;
  // Bundle identifier to title suffix, from "--browser-suffix=".
  std::map<std::string, std::string, std::less<>> browserSuffixes;
};

BrowserConfiguration buildBrowserConfiguration(std::vector<std::string> arguments);

// Whether page tracking is on for `bundleId`.
bool browserEnabled(const BrowserConfiguration& config, std::string_view bundleId);

// The suffix cut from `bundleId`'s titles; empty means nothing is cut.
std::string titleSuffix(const BrowserConfiguration& config, std::string_view bundleId);

}  // namespace focuswatch

#endif  // FOCUSWATCH_BROWSER_CONFIG_H_
