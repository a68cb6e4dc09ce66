#include "focuswatch/browser_config.h"

#include <gtest/gtest.h>

namespace focuswatch {
namespace {

BrowserConfiguration configure(std::vector<std::string> options) {
  options.insert(options.begin(), "/Applications/Vantrel.app/Contents/MacOS/focuswatch");
  return buildBrowserConfiguration(std::move(options));
}

TEST(BrowserEnabledTest, WholeOptionsEnableExactlyTheirBrowsers) {
  const std::vector<std::string> kBrowsers = {"com.apple.Safari", "com.google.Chrome",
                                              "com.brave.Browser", "org.mozilla.firefox", "a.b",
                                              "org.Mozilla.Firefox", ""};
  struct Case { std::vector<std::string> options; std::vector<bool> enabled; };
  for (const auto& [options, enabled] : {
           Case{{}, {0, 0, 0, 0, 0, 0, 0}}, Case{{"--browser-chrome"}, {0, 1, 0, 0, 0, 0, 0}},
           Case{{"--browser-safari", "--browser-brave"}, {1, 0, 1, 0, 0, 0, 0}},
           Case{{"--browser-tracking"}, {1, 1, 1, 0, 0, 0, 0}},
           Case{{"--browser-chrome=yes", "--BROWSER-SAFARI", "--browser-brave "}, {0, 0, 0, 0, 0, 0, 0}},
           Case{{"--browser-bundle=org.mozilla.firefox", "--browser-bundle=a.b,c.d"}, {0, 0, 0, 1, 0, 0, 0}},
           Case{{"--browser-bundle="}, {0, 0, 0, 0, 0, 0, 1}},
           Case{{"--browser-suffix=com.brave.Browser| - B"}, {0, 0, 0, 0, 0, 0, 0}}}) {
    BrowserConfiguration config = configure(options);
    for (size_t i = 0; i < kBrowsers.size(); ++i)
      EXPECT_EQ(browserEnabled(config, kBrowsers[i]), enabled[i]) << options.size() << kBrowsers[i];
  }
}

TEST(TitleSuffixTest, BuiltInOnesUnlessAnOptionNamesTheBrowser) {
  auto config = configure({"--browser-suffix=org.mozilla.firefox| — Firefox | x",
                           "--browser-suffix=no-bar-here", "--browser-suffix=com.brave.Browser| - Old",
                           "--browser-suffix=com.brave.Browser| - New",
                           "--browser-suffix=com.google.Chrome|", "--browser-suffix=|tail"});
  for (auto [bundle, suffix] : {std::pair{"org.mozilla.firefox", " — Firefox | x"},
                                std::pair{"com.brave.Browser", " - New"},
                                std::pair{"com.google.Chrome", ""}, std::pair{"", "tail"},
                                std::pair{"com.apple.Safari", ""}, std::pair{"no-bar-here", ""}})
    EXPECT_EQ(titleSuffix(config, bundle), suffix) << bundle;
  EXPECT_EQ(config.browserSuffixes.size(), 4u);
  EXPECT_EQ(titleSuffix(configure({}), "com.google.Chrome"), " - Google Chrome");
  EXPECT_EQ(titleSuffix(configure({}), "com.brave.Browser"), " - Brave");
}

}  // namespace
}  // namespace focuswatch
