#include "focuswatch/browser_config.h"

#include "focuswatch/options.h"

namespace focuswatch {

namespace {

constexpr std::string_view kBundlePrefix = "--browser-bundle=";
constexpr std::string_view kSuffixPrefix = "--browser-suffix=";

}  // namespace

BrowserConfiguration buildBrowserConfiguration(std::vector<std::string> arguments) {
  BrowserConfiguration config;
  config.browserFlags = {
      {"com.apple.Safari", "--browser-safari"},
      {"com.google.Chrome", "--browser-chrome"},
      {"com.brave.Browser", "--browser-brave"},
  };
  config.browserArguments = std::move(arguments);
  for (std::string_view argument : config.browserArguments) {
    if (argument.starts_with(kBundlePrefix)) {
      config.browserBundles.emplace(argument.substr(kBundlePrefix.size()));
    } else if (argument.starts_with(kSuffixPrefix)) {
      std::string_view rest = argument.substr(kSuffixPrefix.size());
      size_t bar = rest.find('|');
      if (bar == std::string_view::npos) continue;
      config.browserSuffixes.insert_or_assign(std::string(rest.substr(0, bar)),
                                              std::string(rest.substr(bar + 1)));
    }
  }
  return config;
}

bool browserEnabled(const BrowserConfiguration& config, std::string_view bundleId) {
  if (config.browserBundles.contains(bundleId)) return true;
  auto flag = config.browserFlags.find(bundleId);
  if (flag == config.browserFlags.end()) return false;
  return hasArgument(config.browserArguments, flag->second) ||
         hasArgument(config.browserArguments, "--browser-tracking");
}

std::string titleSuffix(const BrowserConfiguration& config, std::string_view bundleId) {
  auto configured = config.browserSuffixes.find(bundleId);
  if (configured != config.browserSuffixes.end()) return configured->second;
  if (bundleId == "com.brave.Browser") return " - Brave";
  if (bundleId == "com.google.Chrome") return " - Google Chrome";
  return "";
}

}  // namespace focuswatch
