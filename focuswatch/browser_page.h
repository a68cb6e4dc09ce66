// The page shown in an enabled browser's focused window: its domain, its
// address without credentials, and its title without the browser's suffix.
#ifndef FOCUSWATCH_BROWSER_PAGE_H_
#define FOCUSWATCH_BROWSER_PAGE_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "focuswatch/browser_config.h"
#include "focuswatch/desktop.h"

namespace focuswatch {

// "domain" and "url" always, "title" when the page has a non-empty title.
using PageMap = std::map<std::string, std::string>;

std::optional<PageMap> browserPage(Desktop& desktop, const BrowserConfiguration& config,
                                   const RunningApplication& app);

// The page made of an address value and a title value, or absent; then
// `why`, when given, names the rule that refused it.
std::optional<PageMap> page(const std::optional<Value>& address, const std::optional<Value>& title,
                            std::string_view suffix, const char** why = nullptr);

// The address rules alone: "domain" and "url" of an address text.
std::optional<PageMap> pageAddress(std::string_view address, const char** why = nullptr);

// The title without the last occurrence of `suffix` and all after it, cut
// to 180 characters.
std::string cleanTitle(std::string_view title, std::string_view suffix);

}  // namespace focuswatch

#endif  // FOCUSWATCH_BROWSER_PAGE_H_
