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

Json strip(double bottom, const char* label) {
  Json tab = {{"AXDOMClassList", {"border-t", "cursor-pointer", "bg-[x]"}},
              {"AXChildren", {{{"AXRole", "AXStaticText"}, {"AXValue", label}}}}};
  return {{"AXDOMClassList", {"group/tab-strip"}}, {"AXFrame", {{"rect", {0, bottom - 30, 400, 30}}}},
          {"AXChildren", {tab}}};
}

TEST(RecorderTest, RecordReplaysTheSameLineAndReads) {
  std::vector<Json> desktops;
  for (const auto& demo : std::filesystem::directory_iterator(DEMO_DIR))
    desktops.push_back(Json::parse(std::ifstream(demo.path())));
  Json pane = {{"AXDOMClassList", {"pane"}}, {"AXFrame", {{"rect", {400, 100, -400, 400}}}},
               {"AXChildren", {nested({{"id", "editor"}}, 2)}}};
  Json row = {{"AXRole", "AXMenuItem"}, {"AXValue", ""}, {"AXDOMIdentifier", "worktree-list-option-|a::b"},
              {"AXChildren", {after(2, {{"AXDOMClassList", {"rounded-lg", "cursor-pointer"}}})}}};
  Json odd = {{"AXTitle", nullptr}, {"AXRole", {{"error", -25204}}}, {"AXDocument", 12},
              {"AXParent", "not an element"}, {"AXFrame", {{"point", {1, 2}}}}, {"AXChildren",
              {{{"AXDOMClassList", {"pane", 3}}, {"AXChildren", "x"}}, 5, {{"ref", "nowhere"}}}}};
  for (const Json& desktop : {
           withWindow({{"AXTitle", std::string(200, 't') + "\n\""},
                       {"AXChildren", {strip(70, "a"), strip(90, "b"), pane, row}}}, {{"ref", "editor"}}),
           withWindow(odd),
           withWindow({{"AXDocument", "about:blank"}, {"AXChildren", {{{"AXRole", "AXWebArea"},
                       {"AXURL", {{"url", "https://b.com/"}}}, {"AXTitle", "Title - B"}}}}}),
           withWindow(selfLoop(3, {{"AXRole", "AXMenuItem"}}), {{"ref", "loop"}}),
           withWindow(after(2498, nested(strip(0, "late"), 3))), withWindow(nullptr)})
    desktops.push_back(desktop);
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
