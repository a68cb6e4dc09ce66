// misc/explain on the workspace demo and on the benchmark's 3,051-element
// window, opened by the project's Chromium: the page renders, and its
// document marks the deciding elements (the chosen strip and the selected
// tab; the element where the budget ran out) and gives every missing field
// a reason.
#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "test/subprocess.h"

namespace {

using testing_support::run;

// The benchmark's window: 50 groups of 60 leaves, 3,051 elements, with no
// strip and no row, so both walks spend their budget of 2,500.
std::string budgetDesktop() {
  std::string leaves = R"({"AXRole": "AXStaticText", "AXDOMClassList": ["text-sm", "truncate"], "AXValue": "line"})";
  std::string group = R"({"AXRole": "AXGroup", "AXDOMClassList": ["flex", "flex-col"], "AXChildren": [)" + leaves;
  for (int l = 1; l < 60; ++l) group += ", " + leaves;
  std::string groups = group + "]}";
  for (int g = 1; g < 50; ++g) groups += ", " + group + "]}";
  return R"({"accessibilityTrusted": true, "frontmostApplication": {"bundleIdentifier": "com.example.nerrit",
    "processIdentifier": 501}, "applications": {"501": {"AXFocusedWindow": {"AXRole": "AXWindow",
    "AXTitle": "main", "AXChildren": [)" + groups + "]}}}}";
}

TEST(ExplainTest, ChromiumShowsTheDecidingElementsAndEveryMissingFieldsReason) {
  if (!std::filesystem::exists("/usr/bin/chromium")) GTEST_SKIP() << "no Chromium (misc/install-deps)";
  char pattern[] = "/tmp/focuswatch-explain-XXXXXX";
  std::string dir = ::mkdtemp(pattern);
  std::ofstream(dir + "/budget.json") << budgetDesktop();
  const struct {
    std::string desktop;
    std::vector<std::string> marked;  // elements the page must mark, as its document writes them
    size_t missing;
  } kCases[] = {
      {.desktop = DEMO_DIR "/nerrit.json",
       .marked = {R"(class="box mark-chosen[^"]*" data-element="right-strip")",
                  R"(class="row mark-tab[^"]*" data-element="#20")"},
       .missing = 3},  // the browser's three fields
      {.desktop = dir + "/budget.json",
       .marked = {R"(class="row mark-missing[^"]*mark-budget[^"]*" data-element="#2501")"},
       .missing = 5},
  };
  const std::vector<std::string> kChromium = {"/usr/bin/chromium", "--no-sandbox", "--disable-gpu", "--headless"};
  for (const auto& c : kCases) {
    std::string name = std::filesystem::path(c.desktop).stem(), page = dir + "/" + name + ".html";
    auto made = run({{EXPLAIN_PATH, c.desktop, page}, {{"FOCUSWATCH_BUILD", BUILD_DIR}}});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out, page + "\n");

    std::vector<std::string> dump = kChromium, shot = kChromium;
    dump.insert(dump.end(), {"--dump-dom", "file://" + page});
    shot.insert(shot.end(), {"--screenshot=" + dir + "/" + name + ".png", "--window-size=1300,1800", "file://" + page});
    std::string dom = run({dump}, std::chrono::seconds(60)).out;
    for (const std::string& mark : c.marked) EXPECT_TRUE(std::regex_search(dom, std::regex(mark))) << name << ": " << mark;
    size_t missing = 0;
    for (size_t at = dom.find("<tr class=\"missing\""); at != std::string::npos; at = dom.find("<tr class=\"missing\"", at + 1)) {
      ++missing;
      EXPECT_NE(dom.substr(at, dom.find("</tr>", at) - at).find("class=\"reason\""), std::string::npos) << name;
    }
    EXPECT_EQ(missing, c.missing) << name;

    run({shot}, std::chrono::seconds(60));
    std::ifstream png(dir + "/" + name + ".png", std::ios::binary);
    std::string signature(8, '\0');
    png.read(signature.data(), 8);
    EXPECT_EQ(signature, "\x89PNG\r\n\x1a\n") << name;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
