#include "focuswatch/browser_config.h"

#include <gtest/gtest.h>

namespace focuswatch {
namespace {

BrowserConfiguration configure(std::vector<std::string> options) {
  options.insert(options.begin(), "/Applications/Vantrel.app/Contents/MacOS/focuswatch");
  return buildBrowserConfiguration(std::move(options));
}

TEST(BrowserEnabledTest, NothingIsTrackedWithoutOptions) {
  auto config = configure({});
  for (auto id : {"com.apple.Safari", "com.google.Chrome", "com.brave.Browser", ""})
    EXPECT_FALSE(browserEnabled(config, id)) << id;
}

TEST(BrowserEnabledTest, SwitchesEnableTheirOwnBrowserOnly) {
  auto config = configure({"--browser-chrome"});
  EXPECT_TRUE(browserEnabled(config, "com.google.Chrome"));
  EXPECT_FALSE(browserEnabled(config, "com.apple.Safari"));
  EXPECT_FALSE(browserEnabled(config, "com.brave.Browser"));
}

TEST(BrowserEnabledTest, TrackingEnablesTheBuiltInBrowsersAndNoOther) {
  auto config = configure({"--browser-tracking"});
  EXPECT_TRUE(browserEnabled(config, "com.apple.Safari"));
  EXPECT_TRUE(browserEnabled(config, "com.google.Chrome"));
  EXPECT_TRUE(browserEnabled(config, "com.brave.Browser"));
  EXPECT_FALSE(browserEnabled(config, "org.mozilla.firefox"));
}

TEST(BrowserEnabledTest, SwitchesMatchWholeArgumentsExactly) {
  auto config = configure({"--browser-chrome=yes", "--BROWSER-SAFARI", "--browser-brave "});
  EXPECT_FALSE(browserEnabled(config, "com.google.Chrome"));
  EXPECT_FALSE(browserEnabled(config, "com.apple.Safari"));
  EXPECT_FALSE(browserEnabled(config, "com.brave.Browser"));
}

TEST(BrowserEnabledTest, BundleOptionEnablesAnyIdentifierExactly) {
  auto config = configure({"--browser-bundle=org.mozilla.firefox",
                           "--browser-bundle=com.apple.Safari", "--browser-bundle="});
  EXPECT_TRUE(browserEnabled(config, "org.mozilla.firefox"));
  EXPECT_TRUE(browserEnabled(config, "com.apple.Safari"));
  EXPECT_FALSE(browserEnabled(config, "org.Mozilla.Firefox"));
  EXPECT_EQ(config.browserBundles.size(), 3u);  // the empty identifier too
}

TEST(BrowserEnabledTest, BundleOptionHasNoListSyntax) {
  auto config = configure({"--browser-bundle=a.b,c.d|e.f"});
  EXPECT_TRUE(browserEnabled(config, "a.b,c.d|e.f"));
  EXPECT_FALSE(browserEnabled(config, "a.b"));
}

TEST(TitleSuffixTest, BuiltInSuffixes) {
  auto config = configure({});
  EXPECT_EQ(titleSuffix(config, "com.google.Chrome"), " - Google Chrome");
  EXPECT_EQ(titleSuffix(config, "com.brave.Browser"), " - Brave");
  EXPECT_EQ(titleSuffix(config, "com.apple.Safari"), "");
  EXPECT_EQ(titleSuffix(config, "org.mozilla.firefox"), "");
}

TEST(TitleSuffixTest, SplitsAtTheFirstBarAndKeepsSpaces) {
  auto config = configure({"--browser-suffix=org.mozilla.firefox| — Firefox | x",
                           "--browser-suffix=no-bar-here"});
  EXPECT_EQ(titleSuffix(config, "org.mozilla.firefox"), " — Firefox | x");
  EXPECT_EQ(config.browserSuffixes.size(), 1u);
  EXPECT_FALSE(browserEnabled(config, "org.mozilla.firefox"));
}

TEST(TitleSuffixTest, LastOneWinsAndEmptySwitchesTheBuiltInOff) {
  auto config = configure({"--browser-suffix=com.brave.Browser| - Old",
                           "--browser-suffix=com.brave.Browser| - New",
                           "--browser-suffix=com.google.Chrome|"});
  EXPECT_EQ(titleSuffix(config, "com.brave.Browser"), " - New");
  EXPECT_EQ(titleSuffix(config, "com.google.Chrome"), "");
  EXPECT_FALSE(browserEnabled(config, "com.brave.Browser"));
}

TEST(TitleSuffixTest, EmptyIdentifierAndEmptySuffixAreKept) {
  auto config = configure({"--browser-suffix=|tail", "--browser-suffix=|"});
  EXPECT_EQ(titleSuffix(config, ""), "");
  EXPECT_TRUE(config.browserSuffixes.contains(""));
}

}  // namespace
}  // namespace focuswatch
