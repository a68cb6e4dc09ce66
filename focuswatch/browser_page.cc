#include "focuswatch/browser_page.h"

#include <boost/url/parse.hpp>
#include <boost/url/url.hpp>

#include <algorithm>
#include <vector>

#include "focuswatch/accessibility.h"
#include "focuswatch/reasons.h"
#include "focuswatch/text.h"

namespace focuswatch {

namespace {

constexpr size_t kAddressLimit = 2048;
constexpr int kDepthLimit = 12;
constexpr int kVisitLimit = 400;
constexpr size_t kPageLimit = 2;
constexpr std::string_view kField = "browser*";

std::nullopt_t refuse(const char** why, const char* rule) {
  if (why) *why = rule;
  return std::nullopt;
}

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
  PageSearch(Desktop& desktop, std::string_view suffix)
      : desktop_(desktop), suffix_(suffix), reasons_(desktop.reasons()) {}

  std::optional<PageMap> run(const Element& window) {
    scan(window, 0);
    if (pages_.size() != 1) {
      tell(reasons_, kField, "missing", pageAt_ ? &*pageAt_ : nullptr, [&] {
        if (pages_.size() > 1) return std::string("two pages found: a second web area gave a page here");
        return std::string("no web area with an http(s) address in the focused window") +
               (pageAt_ ? ": the visit budget of 400 was spent at this element" : "");
      });
      return std::nullopt;
    }
    tell(reasons_, kField, "from", pageAt_ ? &*pageAt_ : nullptr, "the one web area that gave a page");
    return std::move(pages_.front());
  }

 private:
  // Depth-first; a web area is never entered, whether or not it gave a page.
  void scan(const Element& element, int depth) {
    if (depth >= kDepthLimit || pages_.size() >= kPageLimit || !budget_.take()) return;
    if (reasons_ && budget_.exhausted() && pages_.empty()) {
      pageAt_ = element;
      tell(reasons_, kField, "budget", &element, "the walk for web areas spent its last of 400 visits here");
    }
    if (asString(attribute(desktop_, element, "AXRole")) == "AXWebArea") {
      std::optional<Value> address = attribute(desktop_, element, "AXDocument");
      if (!address) address = attribute(desktop_, element, "AXURL");
      std::optional<Value> title = attribute(desktop_, element, "AXTitle");
      const char* why = nullptr;
      if (auto found = page(address, title, suffix_, reasons_ ? &why : nullptr)) {
        tell(reasons_, kField, "page", &element, [&] { return "a web area showing " + found->at("url"); });
        if (reasons_) pageAt_ = element;
        pages_.push_back(std::move(*found));
      } else {
        tell(reasons_, kField, "passed", &element, [&] { return std::string("a web area: ") + why; });
      }
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
  // Kept only while someone listens for reasons: the last web area that
  // gave a page, or the element where the budget was spent.
  ReasonSink* reasons_;
  std::optional<Element> pageAt_;
};

}  // namespace

std::optional<PageMap> pageAddress(std::string_view address, const char** why) {
  if (hasMoreCharactersThan(address, kAddressLimit))
    return refuse(why, "the address is over 2,048 characters");
  boost::system::result<boost::urls::url_view> parsed = boost::urls::parse_uri(address);
  if (!parsed) return refuse(why, "the address is not a URI");
  if (parsed->scheme() != "http" && parsed->scheme() != "https")
    return refuse(why, "the address is not http(s)");
  if (!parsed->has_authority() || !authorityEndsCleanly(*parsed))
    return refuse(why, "the address has no authority that ends cleanly");
  std::optional<std::string> host = lowercase(parsed->host_address());
  if (!host || host->empty()) return refuse(why, "the address has no host");

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
                            std::string_view suffix, const char** why) {
  std::optional<std::string> text = addressText(address);
  if (!text) return refuse(why, "no address (neither text nor a URL)");
  std::optional<PageMap> map = pageAddress(*text, why);
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
  ReasonSink* reasons = desktop.reasons();
  if (!window) {
    tell(reasons, kField, "missing", nullptr, "no focused window (AXFocusedWindow is not an element)");
    return std::nullopt;
  }

  std::optional<Value> document = attribute(desktop, *window, "AXDocument");
  std::optional<Value> title = attribute(desktop, *window, "AXTitle");
  const char* why = nullptr;
  std::optional<PageMap> found = page(document, title, suffix, reasons ? &why : nullptr);
  if (found) {
    tell(reasons, kField, "from", &*window, "the focused window's AXDocument");
  } else {
    tell(reasons, kField, "passed", &*window,
         [&] { return std::string("the focused window's AXDocument: ") + why; });
    found = PageSearch(desktop, suffix).run(*window);
  }
  if (found && !found->contains("title"))
    tell(reasons, "browserTitle", "missing", nullptr, "the page's AXTitle is absent, not text, or empty");
  return found;
}

}  // namespace focuswatch
