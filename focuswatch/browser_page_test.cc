#include "focuswatch/browser_page.h"

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

using Json = nlohmann::ordered_json;

const BrowserConfiguration kChrome = buildBrowserConfiguration({"focuswatch", "--browser-chrome"});

Json webArea(Json address, const std::string& title = "Title", const char* key = "AXURL") {
  return {{"AXRole", "AXWebArea"}, {key, address}, {"AXTitle", title}};
}

Json chromeDesktop(Json window) {
  Json desktop = withWindow(std::move(window));
  desktop["frontmostApplication"]["bundleIdentifier"] = "com.google.Chrome";
  return desktop;
}

std::optional<PageMap> pageOf(TestDesktop& t, const BrowserConfiguration& config = kChrome,
                              std::string bundle = "com.google.Chrome") {
  t.clearTrace();
  return browserPage(t.desktop(), config, application(7, bundle));
}

std::optional<PageMap> pageIn(Json window) {
  TestDesktop t(chromeDesktop(std::move(window)));
  return pageOf(t);
}

TEST(PageAddressTest, NormalisesDomainAndRemovesCredentials) {
  auto page = pageAddress("https://user:pw@WWW.Example.COM:8443/a/b?q=1#f");
  ASSERT_TRUE(page);
  EXPECT_EQ((*page)["domain"], "example.com");
  EXPECT_EQ((*page)["url"], "https://WWW.Example.COM:8443/a/b?q=1#f");
  EXPECT_EQ((*pageAddress("http://a.com@b.com/"))["domain"], "b.com");
  EXPECT_EQ((*pageAddress("http://a.com@b.com/"))["url"], "http://b.com/");
  EXPECT_EQ((*pageAddress("https://user:@host/"))["url"], "https://host/");
}

TEST(PageAddressTest, RemovesWwwOnceAfterLowerCasing) {
  EXPECT_EQ((*pageAddress("https://WWW.WWW.example.com/"))["domain"], "www.example.com");
  EXPECT_EQ((*pageAddress("https://www./"))["domain"], "");
  EXPECT_EQ((*pageAddress("https://%C3%89COLE.fr/"))["domain"], "\xC3\xA9" "cole.fr");
  EXPECT_EQ((*pageAddress("http://[::1]:8080/x"))["domain"], "::1");
}

TEST(PageAddressTest, OnlyHttpAndHttpsWithAHost) {
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
}

TEST(PageAddressTest, AddressesUpTo2048CharactersAreAccepted) {
  std::string base = "https://example.com/";
  EXPECT_TRUE(pageAddress(base + std::string(2048 - base.size(), 'a')));
  EXPECT_FALSE(pageAddress(base + std::string(2049 - base.size(), 'a')));
  EXPECT_FALSE(pageAddress(base + std::string(10'000'000, 'a')));
}

TEST(CleanTitleTest, CutsAtTheLastOccurrenceOfTheSuffix) {
  EXPECT_EQ(cleanTitle("Docs - Google Chrome", " - Google Chrome"), "Docs");
  EXPECT_EQ(cleanTitle("Docs - Google Chrome - more", " - Google Chrome"), "Docs");
  EXPECT_EQ(cleanTitle("A - Google Chrome B - Google Chrome", " - Google Chrome"),
            "A - Google Chrome B");
  EXPECT_EQ(cleanTitle(" - Brave", " - Brave"), "");
  EXPECT_EQ(cleanTitle("Docs - google chrome", " - Google Chrome"), "Docs - google chrome");
  EXPECT_EQ(cleanTitle("  spaced  ", ""), "  spaced  ");
}

TEST(CleanTitleTest, CanonicallyEquivalentSuffixIsFoundAndOriginalTextKept) {
  // Title written with a decomposed é, suffix with the composed one.
  EXPECT_EQ(cleanTitle("Cafe\xCC\x81 - Caf" "e\xCC\x81", " - Caf\xC3\xA9"), "Cafe\xCC\x81");
}

TEST(CleanTitleTest, CutsTo180CharactersAfterTheSuffix) {
  EXPECT_EQ(cleanTitle(std::string(300, 'x') + " - Brave", " - Brave"), std::string(180, 'x'));
}

TEST(BrowserPageTest, WindowAttributesComeFirstAndTheTreeIsNotSearched) {
  TestDesktop t(chromeDesktop({{"AXDocument", "https://a.com/x"},
                               {"AXTitle", "Page - Google Chrome"},
                               {"AXChildren", {webArea("https://b.com/")}}}));
  auto page = pageOf(t);
  ASSERT_TRUE(page);
  EXPECT_EQ(*page, (PageMap{{"domain", "a.com"}, {"url", "https://a.com/x"}, {"title", "Page"}}));
  EXPECT_EQ(t.readsOf("AXChildren"), 0u);
}

TEST(BrowserPageTest, FileWindowFallsBackToTheSearch) {
  EXPECT_FALSE(pageIn({{"AXDocument", "file:///tmp/a.html"}}));
  auto page = pageIn({{"AXDocument", "file:///tmp/a.html"},
                      {"AXChildren", {{{"AXChildren", {webArea({{"url", "https://b.com/"}})}}}}}});
  ASSERT_TRUE(page);
  EXPECT_EQ((*page)["domain"], "b.com");
  EXPECT_EQ((*page)["title"], "Title");
}

TEST(BrowserPageTest, WebAreaDocumentIsNotRetriedWithItsUrlNorEntered) {
  Json area = webArea({{"url", "https://b.com/"}});
  area["AXDocument"] = "about:blank";
  area["AXChildren"] = {webArea("https://c.com/")};
  TestDesktop t(chromeDesktop({{"AXChildren", {area}}}));
  EXPECT_FALSE(pageOf(t));
  EXPECT_EQ(t.readsOf("AXURL"), 0u);
}

TEST(BrowserPageTest, TwoPagesGiveNone) {
  EXPECT_FALSE(pageIn({{"AXChildren", {webArea("https://a.com/"), webArea("https://b.com/")}}}));
  EXPECT_TRUE(pageIn({{"AXChildren", {webArea("https://a.com/"), webArea("mailto:x@y")}}}));
}

TEST(BrowserPageTest, SearchStopsAtDepthTwelve) {
  auto at = [](int depth) {
    Json inner = webArea("https://deep.com/");
    for (int i = 0; i < depth; ++i) inner = {{"AXChildren", {inner}}};
    return inner;
  };
  EXPECT_TRUE(pageIn(at(11)));
  EXPECT_FALSE(pageIn(at(12)));
}

TEST(BrowserPageTest, SearchExaminesAtMost400Elements) {
  auto after = [](int fillers) {
    Json kids = Json::array();
    for (int i = 0; i < fillers; ++i) kids.push_back(Json::object({{"AXRole", "AXGroup"}}));
    kids.push_back(webArea("https://late.com/"));
    return Json{{"AXChildren", kids}};
  };
  EXPECT_TRUE(pageIn(after(398)));  // window + 398 + web area = 400
  TestDesktop t(chromeDesktop(after(399)));
  EXPECT_FALSE(pageOf(t));
  EXPECT_EQ(t.readsOf("AXRole"), 400u);
}

TEST(BrowserPageTest, SearchStopsAtTheSecondPage) {
  TestDesktop t(chromeDesktop({{"AXChildren", {webArea("https://a.com/"), webArea("https://b.com/"),
                                               {{"id", "after"}, {"AXRole", "AXGroup"}}}}}));
  EXPECT_FALSE(pageOf(t));
  EXPECT_FALSE(t.traced("AXUIElementCopyAttributeValue after AXRole"));
}

TEST(BrowserPageTest, TitleIsOptional) {
  auto page = pageIn({{"AXDocument", "https://a.com/"}, {"AXTitle", ""}});
  ASSERT_TRUE(page);
  EXPECT_FALSE(page->contains("title"));
  page = pageIn({{"AXDocument", "https://a.com/"}, {"AXTitle", 5}});
  ASSERT_TRUE(page);
  EXPECT_FALSE(page->contains("title"));
}

TEST(BrowserPageTest, DisabledOrUnidentifiedBrowsersAreNotRead) {
  TestDesktop t(chromeDesktop({{"AXDocument", "https://a.com/"}}));
  EXPECT_FALSE(pageOf(t, kChrome, "com.apple.Safari"));
  RunningApplication anonymous{std::nullopt, "Browser", 7};
  EXPECT_FALSE(browserPage(t.desktop(), kChrome, anonymous));
  EXPECT_EQ(t.reads(), 0u);
}

TEST(BrowserPageTest, SafariTitlesAreOnlyCut) {
  TestDesktop t(chromeDesktop({{"AXDocument", "https://a.com/"}, {"AXTitle", "A - Brave"}}));
  auto tracking = buildBrowserConfiguration({"focuswatch", "--browser-tracking"});
  EXPECT_EQ((*pageOf(t, tracking, "com.apple.Safari"))["title"], "A - Brave");
  EXPECT_EQ((*pageOf(t, tracking, "com.brave.Browser"))["title"], "A");
}

}  // namespace
}  // namespace focuswatch
