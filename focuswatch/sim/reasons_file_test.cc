// The reasons a replay gives: for each field of the line, where it came
// from or the rule that left it out; and the line and the trace the same,
// byte for byte, whether anyone listens or not.
#include "focuswatch/sim/reasons_file.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "focuswatch/event_record.h"
#include "focuswatch/trace.h"

namespace focuswatch {
namespace {

using Json = nlohmann::ordered_json;

Json app(const char* bundle, Json element) {
  return {{"accessibilityTrusted", true},
          {"frontmostApplication", {{"bundleIdentifier", bundle}, {"processIdentifier", 5}}},
          {"applications", {{"5", element}}}};
}
Json window(Json children, Json more = Json::object()) {
  more["id"] = "w";
  more["AXChildren"] = std::move(children);
  return app("com.example.nerrit", {{"AXFocusedWindow", more}, {"AXFocusedUIElement", {{"ref", "f"}}}});
}
Json strip(const char* id, double bottom, Json tabs = Json::array()) {
  return {{"id", id}, {"AXDOMClassList", {"group/tab-strip"}}, {"AXFrame", {{"rect", {0, bottom - 30, 800, 30}}}},
          {"AXChildren", tabs}};
}
Json tab(const char* label) {
  return {{"AXDOMClassList", {"border-t", "cursor-pointer", "bg-[color-mix(x)]"}},
          {"AXChildren", {{{"AXRole", "AXStaticText"}, {"AXValue", label}}}}};
}
const Json kPane = {{"id", "f"}, {"AXDOMClassList", {"pane"}}, {"AXFrame", {{"rect", {0, 100, 800, 500}}}}};
Json row(const char* id, const char* value) {
  return {{"id", id}, {"AXRole", "AXMenuItem"}, {"AXValue", value},
          {"AXDOMIdentifier", std::string("worktree-list-option-r%7Cr::") + id}};
}
Json web(const char* id, const char* url) { return {{"id", id}, {"AXRole", "AXWebArea"}, {"AXURL", {{"url", url}}}}; }
Json leaves(int count) { return std::vector<Json>(count, {{"AXRole", "AXGroup"}}); }

struct Case {
  const char* name;
  Json desktop = nullptr;  // or a demo file's name
  const char* about;  // the fields compared: those that begin so
  std::vector<std::string> reasons;  // "FIELD from@ELEMENT", "FIELD missing[@ELEMENT]: WORDS"
};

std::string run(const std::string& dir, const std::string& desktop, bool listening) {
  const BrowserConfiguration config = buildBrowserConfiguration({"focuswatch", "--browser-tracking"});
  SimPaths paths{desktop, ""};
  std::string trace = dir + (listening ? "/trace-on" : "/trace-off");
  std::unique_ptr<Desktop> sim = listening ? std::make_unique<ReasoningSimDesktop>(paths, dir + "/reasons")
                                           : std::make_unique<SimDesktop>(paths);
  sim = tracingDesktop(std::move(sim), traceFile(trace));
  std::string line = eventLine(*sim, config, "activity").value_or("(dropped)");
  std::ifstream in(trace);
  return line + "\n" + std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ReasonsFileTest, EachFieldHasItsSourceOrItsRule) {
  const char* kNoStrip = "no tab strip (an element classed group/tab-strip) in the focused window";
  const char* kNoRow =
      "no selected worktree row (an AXMenuItem valued selected, or whose card has no hover style) with a "
      "worktree identifier";
  const char* kNoWindow = "no focused window (AXFocusedWindow is not an element)";
  const Case kCases[] = {
      {.name = "nerrit.json", .about = "", .reasons =
       {"browser* missing: not an enabled browser (see the browser options)", "nerritSelectedTabTitle from@#20",
        "nerritSelectedWorktreeId from@row-checkout", "nerritWindowTitle from@win"}},
      {.name = "browser-webarea.json", .about = "", .reasons =
       {"nerrit* missing: not the workspace application: the bundle identifier does not contain \"nerrit\"",
        "browser* from@page"}},
      {.name = "browser-document.json", .about = "browser", .reasons = {"browser* from@win"}},
      {.name = "untrusted.json", .about = "", .reasons = {"* missing: not trusted for accessibility"}},
      {.name = "plain.json", .about = "", .reasons =
       {"nerrit* missing: not the workspace application: the bundle identifier does not contain \"nerrit\"",
        "browser* missing: not an enabled browser (see the browser options)"}},
      {.name = "no frontmost application", .desktop = {{"accessibilityTrusted", true}}, .about = "",
       .reasons = {"* missing: no frontmost application"}},
      {.name = "no window", .desktop = app("com.example.nerrit", Json::object()), .about = "", .reasons =
       {"browser* missing: not an enabled browser (see the browser options)",
        std::string("nerritSelectedTabTitle missing: ") + kNoWindow,
        std::string("nerritSelectedWorktreeId missing: ") + kNoWindow,
        std::string("nerritWindowTitle missing: ") + kNoWindow}},
      {.name = "a window without strips, rows or text title",
       .desktop = window(Json::array(), {{"AXTitle", 3}}), .about = "nerrit", .reasons =
       {std::string("nerritSelectedTabTitle missing: ") + kNoStrip, std::string("nerritSelectedWorktreeId missing: ") + kNoRow,
        "nerritWindowTitle missing@w: the focused window's AXTitle is not text"}},
      {.name = "both budgets spent", .desktop = window(leaves(2600)), .about = "nerritSelected", .reasons =
       {std::string("nerritSelectedTabTitle missing@#2501: ") + kNoStrip +
            ": the visit budget of 2,500 was spent at this element",
        std::string("nerritSelectedWorktreeId missing@#2501: ") + kNoRow +
            ": the visit budget of 2,500 was spent at this element"}},
      {.name = "two strips equally close, two rows selected",
       .desktop = window({strip("a", 90), strip("b", 87), kPane, row("r1", "selected"), row("r2", "selected")}),
       .about = "nerritSelected", .reasons =
       {"nerritSelectedTabTitle missing@b: two tab strips equally close above the focused pane: their bottom "
        "edges are 3 pt apart, not more than 4 pt",
        "nerritSelectedWorktreeId missing: 2 selected worktree rows"}},
      {.name = "no pane", .desktop = window({strip("a", 90), strip("b", 60), {{"id", "f"}}}),
       .about = "nerritSelectedTab", .reasons =
       {"nerritSelectedTabTitle missing: several tab strips, and no focused pane: neither the focused element "
        "nor its first 23 ancestors is classed pane"}},
      {.name = "no strip above the pane", .desktop = window({strip("a", 700), strip("b", 800), kPane}),
       .about = "nerritSelectedTab", .reasons =
       {"nerritSelectedTabTitle missing: no tab strip above the focused pane over its middle"}},
      {.name = "no selected tab; the closer strip chosen",
       .desktop = window({strip("a", 95), strip("b", 60, {tab("x")}), kPane}), .about = "nerritSelectedTab",
       .reasons = {"nerritSelectedTabTitle missing@a: no selected tab with a label in the chosen strip"}},
      {.name = "two selected tabs", .desktop = window({strip("a", 95, {tab("x"), tab("y")})}),
       .about = "nerritSelectedTab", .reasons =
       {"nerritSelectedTabTitle missing@a: 2 selected tabs in the chosen strip"}},
      {.name = "not http(s), two pages",
       .desktop = app("com.google.Chrome", {{"AXFocusedWindow", {{"id", "w"}, {"AXDocument", "file:///etc"},
          {"AXChildren", {web("p1", "https://a.example/"), web("p2", "https://b.example/")}}}}}), .about = "",
       .reasons =
       {"nerrit* missing: not the workspace application: the bundle identifier does not contain \"nerrit\"",
        "browser* missing@p2: two pages found: a second web area gave a page here"}},
  };
  char pattern[] = "/tmp/focuswatch-reasons-XXXXXX";
  std::string dir = ::mkdtemp(pattern);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Json file = c.desktop;
    if (file.is_null()) file = Json::parse(std::ifstream(std::string(DEMO_DIR) + "/" + c.name));
    file["observedAt"] = 1, file["uptime"] = 2;  // the clocks, so that two samples can be equal
    std::string desktop = dir + "/desktop.json";
    std::ofstream(desktop) << file.dump();
    for (const char* name : {"/reasons", "/trace-on", "/trace-off"}) std::filesystem::remove(dir + name);
    EXPECT_EQ(run(dir, desktop, true), run(dir, desktop, false));
    std::vector<std::string> said;
    std::ifstream in(dir + "/reasons");
    for (std::string text; std::getline(in, text);) {
      Json reason = Json::parse(text);
      if ((reason["step"] != "from" && reason["step"] != "missing") ||
          !reason["field"].get<std::string>().starts_with(c.about))
        continue;
      std::string at = reason.contains("element") ? "@" + reason["element"].get<std::string>() : "";
      said.push_back(reason["field"].get<std::string>() + " " + reason["step"].get<std::string>() + at +
                     (reason["step"] == "missing" ? ": " + reason["says"].get<std::string>() : ""));
    }
    EXPECT_EQ(said, c.reasons);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace focuswatch
