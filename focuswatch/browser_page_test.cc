#include "focuswatch/browser_page.h"

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

const BrowserConfiguration kChrome = buildBrowserConfiguration({"focuswatch", "--browser-chrome"});

Json webArea(Json address, const char* key = "AXURL") {
  return {{"AXRole", "AXWebArea"}, {key, address}, {"AXTitle", "Title"}};
}

std::optional<PageMap> pageOf(TestDesktop& t, const BrowserConfiguration& config = kChrome,
                              std::optional<std::string> bundle = "com.google.Chrome") {
  t.clearTrace();
  return browserPage(t.desktop(), config, RunningApplication{bundle, "Browser", 7});
}
std::optional<PageMap> pageIn(Json window) {
  TestDesktop t(withWindow(window));
  return pageOf(t);
}

TEST(PageAddressTest, DomainAndAddressWithoutCredentials) {
  struct Case { const char* address, *domain, *url; };
  for (auto [address, domain, url] : {
           Case{.address = "https://user:pw@WWW.Example.COM:8443/a/b?q=1#f", .domain = "example.com",
                .url = "https://WWW.Example.COM:8443/a/b?q=1#f"},
           Case{.address = "http://a.com@b.com/", .domain = "b.com", .url = "http://b.com/"},
           Case{.address = "https://user:@host/", .domain = "host", .url = "https://host/"},
           Case{.address = "https://WWW.WWW.example.com/", .domain = "www.example.com",
                .url = "https://WWW.WWW.example.com/"},
           Case{.address = "https://www./", .domain = "", .url = "https://www./"},
           Case{.address = "https://%C3%89COLE.fr/", .domain = "\xC3\xA9" "cole.fr",
                .url = "https://%C3%89COLE.fr/"},
           Case{.address = "http://[::1]:8080/x", .domain = "::1", .url = "http://[::1]:8080/x"}}) {
    EXPECT_EQ(pageAddress(address), (PageMap{{"domain", domain}, {"url", url}})) << address;
  }
}

TEST(PageAddressTest, OnlyHttpAndHttpsWithAHostAndNoCredentialLeft) {
  for (const char* rejected : {"file:///etc/passwd", "HTTPS://example.com/", "ftp://a.com/",
                               "https:///path", "https:example.com", "example.com/path",
                               "https://exa mple.com/", "https://a.com/%zz", "", "https://%FF/",
                               "javascript:alert(1)", "https://[::1/",
                               // credentials that a lenient parser reads as a host or port
                               "https://user:p@ss@example.com/", "http://alice@secret@example.com/x",
                               "http://alice@x:secret@host/", "http://example.com:abc/",
                               "http://host:80:90/", "https://u@h@h2?q", "https://u:p@h:x@y"}) {
    EXPECT_FALSE(pageAddress(rejected)) << rejected;
  }
  std::string base = "https://example.com/";
  EXPECT_TRUE(pageAddress(base + std::string(2048 - base.size(), 'a')));
  EXPECT_FALSE(pageAddress(base + std::string(2049 - base.size(), 'a')));
  EXPECT_FALSE(pageAddress(base + std::string(10'000'000, 'a')));
}

TEST(CleanTitleTest, CutAtTheLastSuffixThenTo180Characters) {
  struct Case { std::string title, suffix, cleaned; };
  for (const auto& [title, suffix, cleaned] : {
           Case{.title = "Docs - Google Chrome", .suffix = " - Google Chrome", .cleaned = "Docs"},
           Case{.title = "Docs - Google Chrome - more", .suffix = " - Google Chrome", .cleaned = "Docs"},
           Case{.title = "A - Google Chrome B - Google Chrome", .suffix = " - Google Chrome",
                .cleaned = "A - Google Chrome B"},
           Case{.title = " - Brave", .suffix = " - Brave", .cleaned = ""},
           Case{.title = "  spaced  ", .suffix = "", .cleaned = "  spaced  "},
           Case{.title = "Docs - google chrome", .suffix = " - Google Chrome",
                .cleaned = "Docs - google chrome"},
           // a decomposed é found by a composed one; the original text is kept
           Case{.title = "Cafe\xCC\x81 - Caf" "e\xCC\x81", .suffix = " - Caf\xC3\xA9",
                .cleaned = "Cafe\xCC\x81"},
           Case{.title = std::string(300, 'x') + " - Brave", .suffix = " - Brave",
                .cleaned = std::string(180, 'x')}}) {
    EXPECT_EQ(cleanTitle(title, suffix), cleaned) << title;
  }
}

TEST(BrowserPageTest, TheWindowComesFirstThenOneWebAreaInTheTree) {
  TestDesktop t(withWindow({{"AXDocument", "https://a.com/x"}, {"AXTitle", "Page - Google Chrome"},
                            {"AXChildren", {webArea("https://b.com/")}}}));
  EXPECT_EQ(pageOf(t), (PageMap{{"domain", "a.com"}, {"url", "https://a.com/x"}, {"title", "Page"}}));
  EXPECT_EQ(t.readsOf("AXChildren"), 0u);
  Json deeper = {{"AXChildren", {webArea({{"url", "https://b.com/"}})}}};
  EXPECT_EQ(pageIn({{"AXDocument", 5}, {"AXChildren", {deeper}}}),  // a document that is no text
            (PageMap{{"domain", "b.com"}, {"url", "https://b.com/"}, {"title", "Title"}}));
  EXPECT_FALSE(pageIn({{"AXDocument", "file:///tmp/a.html"}}));
  EXPECT_FALSE(pageIn({{"AXChildren", {webArea("https://a.com/"), webArea("https://b.com/")}}}));
  EXPECT_TRUE(pageIn({{"AXChildren", {webArea("https://a.com/"), webArea("mailto:x@y")}}}));
  // A web area's document is not retried with its URL, and it is not entered.
  Json area = webArea({{"url", "https://b.com/"}});
  area["AXDocument"] = "about:blank";
  area["AXChildren"] = {webArea("https://c.com/")};
  TestDesktop blank(withWindow({{"AXChildren", {area}}}));
  EXPECT_FALSE(pageOf(blank));
  EXPECT_EQ(blank.readsOf("AXURL"), 0u);
}

TEST(BrowserPageTest, SearchStopsAtItsLimits) {
  auto found = [](TestDesktop& t) { return pageOf(t).has_value(); };
  expectBound([](int n) { return withWindow(nested(webArea("https://deep.com/"), n)); }, 11, found);
  // The window, 398 others and the web area: 400 looked at.
  expectBound([](int n) { return withWindow(after(n, webArea("https://late.com/"))); }, 398, found, "AXRole", 400);
  TestDesktop second(withWindow({{"AXChildren", {webArea("https://a.com/"), webArea("https://b.com/"),
                                                 {{"AXRole", "AXGroup"}}}}}));
  EXPECT_FALSE(pageOf(second));
  EXPECT_EQ(second.readsOf("AXRole"), 3u);  // the window and the two pages
}

TEST(BrowserPageTest, TitleIsOptionalAndCutOnlyWithASuffix) {
  for (Json title : {Json(""), Json(5)})
    EXPECT_FALSE(pageIn({{"AXDocument", "https://a.com/"}, {"AXTitle", title}})->contains("title"));
  TestDesktop t(withWindow({{"AXDocument", "https://a.com/"}, {"AXTitle", "A - Brave"}}));
  auto tracking = buildBrowserConfiguration({"focuswatch", "--browser-tracking"});
  EXPECT_EQ((*pageOf(t, tracking, "com.apple.Safari"))["title"], "A - Brave");
  EXPECT_EQ((*pageOf(t, tracking, "com.brave.Browser"))["title"], "A");
  // A browser that is not enabled, or has no bundle identifier, is not read.
  EXPECT_FALSE(pageOf(t, kChrome, "com.apple.Safari"));
  EXPECT_FALSE(pageOf(t, kChrome, std::nullopt));
  EXPECT_EQ(t.readsOf(), 0u);
}

}  // namespace
}  // namespace focuswatch
