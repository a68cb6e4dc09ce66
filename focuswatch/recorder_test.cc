// A record replays its sample: the same line, and the same reads in the
// same order, over the demo desktops and the shapes of tree the walks meet.
#include "focuswatch/recorder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

TEST(RecorderTest, RecordReplaysTheSameLineAndReads) {
  Json pane = {{"AXDOMClassList", {"pane"}}, {"AXFrame", rect(400, 100, -400, 400)},
               {"AXChildren", {nested({{"id", "editor"}}, 2)}}};
  Json row = {{"AXRole", "AXMenuItem"}, {"AXValue", ""}, {"AXDOMIdentifier", "worktree-list-option-|a::b"},
              {"AXChildren", {after(2, {{"AXDOMClassList", {"rounded-lg", "cursor-pointer"}}})}}};
  Json odd = {{"AXTitle", nullptr}, {"AXRole", {{"error", -25204}}}, {"AXDocument", 12},
              {"AXParent", "not an element"}, {"AXFrame", {{"point", {1, 2}}}}, {"AXChildren",
              {{{"AXDOMClassList", {"pane", 3}}, {"AXChildren", "x"}}, 5, {{"ref", "nowhere"}}}}};
  Json page = {{"AXRole", "AXWebArea"}, {"AXURL", {{"url", "https://b.com/"}}}, {"AXTitle", "Title - B"}};
  std::vector<Json> desktops = {
      withWindow({{"AXTitle", std::string(200, 't') + "\n\""},
                  {"AXChildren", {strip(rect(0, 40, 400, 30), {selectedTab("a")}),
                                  strip(rect(0, 60, 400, 30), {selectedTab("b")}), pane, row}}},
                 {{"ref", "editor"}}),
      withWindow(odd), withWindow({{"AXDocument", "about:blank"}, {"AXChildren", {page}}}),
      withWindow(selfLoop(3, {{"AXRole", "AXMenuItem"}}), {{"ref", "loop"}}),
      withWindow(after(2498, nested(strip({selectedTab("late")}), 3))), withWindow(nullptr)};
  for (const auto& demo : std::filesystem::directory_iterator(DEMO_DIR))
    desktops.push_back(Json::parse(std::ifstream(demo.path())));
  char pattern[] = "/tmp/focuswatch-recorder-XXXXXX";
  std::string folder = ::mkdtemp(pattern), record = folder + "/record.json";
  for (const Json& desktop : desktops) {
    std::string recorded = sample(inMemory(desktop), record, true);
    EXPECT_EQ(sample(std::make_unique<SimDesktop>(SimPaths{record, ""}), "", true), recorded)
        << desktop.dump().substr(0, 300);
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace focuswatch
