// misc/explain on the workspace demo, opened by the project's Chromium: the
// page renders, and its document marks the chosen strip and the selected
// tab and gives every missing field a reason.
#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "test/subprocess.h"

namespace {

using testing_support::run;

TEST(ExplainTest, ChromiumShowsTheChosenStripTabAndEveryMissingFieldsReason) {
  if (!std::filesystem::exists("/usr/bin/chromium")) GTEST_SKIP() << "no Chromium (misc/install-deps)";
  char pattern[] = "/tmp/focuswatch-explain-XXXXXX";
  std::string dir = ::mkdtemp(pattern), page = dir + "/nerrit.html";
  auto made = run({{EXPLAIN_PATH, DEMO_DIR "/nerrit.json", page}, {{"FOCUSWATCH_BUILD", BUILD_DIR}}});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, page + "\n");

  const std::vector<std::string> kChromium = {"/usr/bin/chromium", "--no-sandbox", "--disable-gpu", "--headless"};
  std::vector<std::string> dump = kChromium, shot = kChromium;
  dump.insert(dump.end(), {"--dump-dom", "file://" + page});
  shot.insert(shot.end(), {"--screenshot=" + dir + "/nerrit.png", "--window-size=1300,1800", "file://" + page});
  std::string dom = run({dump}, std::chrono::seconds(60)).out;
  EXPECT_TRUE(std::regex_search(dom, std::regex(R"(class="box mark-chosen[^"]*" data-element="right-strip")")));
  EXPECT_TRUE(std::regex_search(dom, std::regex(R"(class="row mark-tab[^"]*" data-element="#20")")));
  size_t missing = 0;
  for (size_t at = dom.find("<tr class=\"missing\""); at != std::string::npos; at = dom.find("<tr class=\"missing\"", at + 1)) {
    ++missing;
    EXPECT_NE(dom.substr(at, dom.find("</tr>", at) - at).find("class=\"reason\""), std::string::npos);
  }
  EXPECT_EQ(missing, 3u);  // the browser's three fields

  run({shot}, std::chrono::seconds(60));
  std::ifstream png(dir + "/nerrit.png", std::ios::binary);
  std::string signature(8, '\0');
  png.read(signature.data(), 8);
  EXPECT_EQ(signature, "\x89PNG\r\n\x1a\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
