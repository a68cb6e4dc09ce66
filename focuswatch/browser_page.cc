#include "focuswatch/browser_page.h"

#include <boost/url/parse.hpp>
#include <boost/url/url.hpp>

#include <algorithm>
#include <vector>

#include "focuswatch/accessibility.h"
#include "focuswatch/text.h"

namespace focuswatch {

namespace {

constexpr size_t kAddressLimit = 2048;
constexpr int kDepthLimit = 12;
constexpr int kVisitLimit = 400;
constexpr size_t kPageLimit = 2;

std::optional<std::string> addressText(const std::optional<Value>& value) {
  if (!value) return std::nullopt;
  if (auto* text = std::get_if<std::string>(&value->v)) return *text;
  if (auto* url = std::get_if<Url>(&value->v)) return url->absoluteString;
  return std::nullopt;
}

// Boost.URL before 1.83 lets a path that does not begin with "/" follow an
// authority, so "https://user:p@ss@example.com/" parses as host "ss" with
// the path "@example.com/", and a port may run into such a path. Either
// would put credential text into the domain or keep it in the address.
bool authorityEndsCleanly(const boost::urls::url_view& url) {
  std::string_view path = url.encoded_path();
  if (!path.empty() && path.front() != '/') return false;
  std::string_view port = url.port();
  return std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
}

class PageSearch {
 public:
  PageSearch(Desktop& desktop, std::string_view suffix) : desktop_(desktop), suffix_(suffix) {}

  std::optional<PageMap> run(const Element& window) {
    scan(window, 0);
    if (pages_.size() != 1) return std::nullopt;
    return std::move(pages_.front());
  }

 private:
  // Depth-first; a web area is never entered, whether or not it gave a page.
  void scan(const Element& element, int depth) {
    if (depth >= kDepthLimit || pages_.size() >= kPageLimit || !budget_.take()) return;
    if (asString(attribute(desktop_, element, "AXRole")) == "AXWebArea") {
      std::optional<Value> address = attribute(desktop_, element, "AXDocument");
      if (!address) address = attribute(desktop_, element, "AXURL");
      std::optional<Value> title = attribute(desktop_, element, "AXTitle");
      if (auto found = page(address, title, suffix_)) pages_.push_back(std::move(*found));
      return;
    }
    for (const Element& child : children(desktop_, element)) {
      scan(child, depth + 1);
      if (budget_.exhausted() || pages_.size() >= kPageLimit) return;
    }
  }

  Desktop& desktop_;
  std::string_view suffix_;
  VisitBudget budget_{kVisitLimit};
  std::vector<PageMap> pages_;
};

}  // namespace

std::optional<PageMap> pageAddress(std::string_view address) {
  if (hasMoreCharactersThan(address, kAddressLimit)) return std::nullopt;
  boost::system::result<boost::urls::url_view> parsed = boost::urls::parse_uri(address);
  if (!parsed) return std::nullopt;
  if (parsed->scheme() != "http" && parsed->scheme() != "https") return std::nullopt;
  if (!parsed->has_authority() || !authorityEndsCleanly(*parsed)) return std::nullopt;
  std::optional<std::string> host = lowercase(parsed->host_address());
  if (!host || host->empty()) return std::nullopt;

  boost::urls::url withoutCredentials(*parsed);
  withoutCredentials.remove_userinfo();
  std::string_view domain = *host;
  if (domain.starts_with("www.")) domain.remove_prefix(4);
  return PageMap{{"domain", std::string(domain)}, {"url", std::string(withoutCredentials.buffer())}};
}

std::string cleanTitle(std::string_view title, std::string_view suffix) {
  if (!suffix.empty()) {
    if (std::optional<size_t> at = findLastCanonical(title, suffix)) title = title.substr(0, *at);
  }
  return firstCharacters(title, kTextLimit);
}

std::optional<PageMap> page(const std::optional<Value>& address, const std::optional<Value>& title,
                            std::string_view suffix) {
  std::optional<std::string> text = addressText(address);
  if (!text) return std::nullopt;
  std::optional<PageMap> map = pageAddress(*text);
  if (!map) return std::nullopt;
  std::optional<std::string> titleText = asString(title);
  if (titleText && !titleText->empty()) map->emplace("title", cleanTitle(*titleText, suffix));
  return map;
}

std::optional<PageMap> browserPage(Desktop& desktop, const BrowserConfiguration& config,
                                   const RunningApplication& app) {
  if (!app.bundleIdentifier || !browserEnabled(config, *app.bundleIdentifier)) return std::nullopt;
  std::string suffix = titleSuffix(config, *app.bundleIdentifier);
  Element application = desktop.createApplicationElement(app.processIdentifier);
  std::optional<Element> window = focusedWindow(desktop, application);
  if (!window) return std::nullopt;

  std::optional<Value> document = attribute(desktop, *window, "AXDocument");
  std::optional<Value> title = attribute(desktop, *window, "AXTitle");
  if (auto found = page(document, title, suffix)) return found;
  return PageSearch(desktop, suffix).run(*window);
}

}  // namespace focuswatch
