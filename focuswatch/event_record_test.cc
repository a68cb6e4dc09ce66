#include "focuswatch/event_record.h"

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

using Json = nlohmann::ordered_json;

const BrowserConfiguration kNoBrowsers = buildBrowserConfiguration({"focuswatch"});

Json record(TestDesktop& t, const BrowserConfiguration& config = kNoBrowsers,
            std::string_view kind = "activity") {
  t.clearTrace();
  std::optional<std::string> line = eventLine(t.desktop(), config, kind);
  EXPECT_TRUE(line);
  EXPECT_EQ(line->find('\n'), std::string::npos);
  return Json::parse(*line);
}

Json app(Json bundle, Json name, int pid = 7) {
  Json a = {{"processIdentifier", pid}};
  if (!bundle.is_null()) a["bundleIdentifier"] = bundle;
  if (!name.is_null()) a["localizedName"] = name;
  return a;
}

std::vector<std::string> keys(const Json& line) {
  std::vector<std::string> names;
  for (const auto& [key, value] : line.items()) names.push_back(key);
  return names;
}

const std::vector<std::string> kAlwaysPresent = {
    "kind", "observedAt", "uptime", "foregroundBundleId",
    "foregroundName", "idleSeconds", "accessibilityTrusted"};

TEST(EventLineTest, NoFrontmostApplicationGivesTheSevenKeysWithReplacements) {
  TestDesktop t(Json::parse(R"({"accessibilityTrusted": true, "idleSeconds": 4.5,
                                "uptime": 100.25, "observedAt": 1700000000.5})"));
  Json line = record(t, kNoBrowsers, "wake");
  EXPECT_EQ(keys(line), kAlwaysPresent);
  EXPECT_EQ(line["kind"], "wake");
  EXPECT_EQ(line["observedAt"], 1700000000.5);
  EXPECT_EQ(line["uptime"], 100.25);
  EXPECT_EQ(line["foregroundBundleId"], "unknown");
  EXPECT_EQ(line["foregroundName"], "Unknown app");
  EXPECT_EQ(line["idleSeconds"], 4.5);
  EXPECT_EQ(line["accessibilityTrusted"], true);
}

TEST(EventLineTest, OnlyMissingNamesAreReplacedNotEmptyOnes) {
  TestDesktop t(Json{{"frontmostApplication", app("", "")}});
  Json line = record(t);
  EXPECT_EQ(line["foregroundBundleId"], "");
  EXPECT_EQ(line["foregroundName"], "");
  t.write(Json{{"frontmostApplication", app(nullptr, nullptr)}});
  line = record(t);
  EXPECT_EQ(line["foregroundBundleId"], "unknown");
  EXPECT_EQ(line["foregroundName"], "Unknown app");
}

TEST(EventLineTest, UntrustedProbeMakesNoAccessibilityCallAndAsksTrustOnce) {
  Json desktop = Json::parse(R"({"accessibilityTrusted": false,
    "frontmostApplication": {"bundleIdentifier": "com.example.Nerrit", "processIdentifier": 7},
    "applications": {"7": {"AXFocusedWindow": {"AXTitle": "t"}}}})");
  TestDesktop t(desktop);
  auto tracking = buildBrowserConfiguration({"x", "--browser-bundle=com.example.Nerrit"});
  Json line = record(t, tracking);
  EXPECT_EQ(keys(line), kAlwaysPresent);
  EXPECT_EQ(t.trace(), (std::vector<std::string>{"AXIsProcessTrusted", "frontmostApplication",
                                                  "CGEventSourceSecondsSinceLastEventType"}));
}

TEST(EventLineTest, WorkspaceApplicationIsRecognisedByLowerCasedBundleIdentifier) {
  Json window = {{"AXTitle", "Repo"}};
  Json desktop = withWindow(window);
  desktop["frontmostApplication"] = app("com.example.NERRIT", "Editor");
  TestDesktop t(desktop);
  EXPECT_EQ(record(t)["nerritWindowTitle"], "Repo");

  desktop["frontmostApplication"] = app("com.example.editor", "nerrit");
  t.write(desktop);
  EXPECT_FALSE(record(t).contains("nerritWindowTitle"));
  EXPECT_EQ(t.reads(), 0u);

  desktop["frontmostApplication"] = app(nullptr, "nerrit");
  t.write(desktop);
  EXPECT_EQ(t.reads(), 0u);

  // Capital I with dot above lower-cases to "i" and a combining dot.
  desktop["frontmostApplication"] = app("com.example.NERR\u0130T", "Editor");
  t.write(desktop);
  EXPECT_FALSE(record(t).contains("nerritWindowTitle"));
  EXPECT_EQ(t.reads(), 0u);
}

TEST(EventLineTest, WindowTitleIsCutAndItsFailuresLeaveOnlyItsKeyOut) {
  Json tabs = {{"AXDOMClassList", {"group/tab-strip"}},
               {"AXChildren", {{{"AXDOMClassList", {"border-t", "cursor-pointer", "bg-[color-mix(a)]"}},
                                {"AXRole", "AXStaticText"}, {"AXValue", "tab"}}}}};
  Json row = {{"AXRole", "AXMenuItem"}, {"AXValue", "selected"},
              {"AXDOMIdentifier", "worktree-list-option-|r::w"}};
  Json window = {{"AXTitle", std::string(200, 't') + "\n\""}, {"AXChildren", {tabs, row}}};
  TestDesktop t(withWindow(window));
  Json line = record(t);
  EXPECT_EQ(line["nerritSelectedTabTitle"], "tab");
  EXPECT_EQ(line["nerritSelectedWorktreeId"], "r::w");
  EXPECT_EQ(line["nerritWindowTitle"], std::string(180, 't'));

  window["AXTitle"] = {{"url", "https://not.text/"}};
  t.write(withWindow(window));
  line = record(t);
  EXPECT_FALSE(line.contains("nerritWindowTitle"));
  EXPECT_EQ(line["nerritSelectedWorktreeId"], "r::w");
}

TEST(EventLineTest, BrowserKeysNeedAnEnabledBrowser) {
  Json desktop = withWindow({{"AXDocument", "https://a.com/"}, {"AXTitle", "A - Brave"}});
  desktop["frontmostApplication"] = app("com.brave.Browser", "Brave");
  TestDesktop t(desktop);
  EXPECT_EQ(keys(record(t)), kAlwaysPresent);
  EXPECT_EQ(t.reads(), 0u);

  Json line = record(t, buildBrowserConfiguration({"x", "--browser-brave"}));
  EXPECT_EQ(line["browserDomain"], "a.com");
  EXPECT_EQ(line["browserUrl"], "https://a.com/");
  EXPECT_EQ(line["browserTitle"], "A");
}

TEST(EventLineTest, AWorkspaceApplicationIsStillPutToTheBrowserTest) {
  Json desktop = withWindow({{"AXDocument", "https://a.com/"}, {"AXTitle", "Repo"}});
  TestDesktop t(desktop);
  Json line = record(t, buildBrowserConfiguration({"x", "--browser-bundle=com.example.nerrit"}));
  EXPECT_EQ(line["nerritWindowTitle"], "Repo");
  EXPECT_EQ(line["browserTitle"], "Repo");
  EXPECT_FALSE(line.contains("nerritSelectedTabTitle"));
}

// A desktop whose frontmost application has a name that is not UTF-8.
class BrokenNameDesktop : public SimDesktop {
 public:
  using SimDesktop::SimDesktop;
  std::optional<RunningApplication> frontmostApplication() override {
    return RunningApplication{"com.example.app", std::string("Bad \xFF name"), 1};
  }
};

TEST(EventLineTest, RecordThatCannotBeSerialisedIsDropped) {
  BrokenNameDesktop desktop(SimPaths{});
  EXPECT_EQ(eventLine(desktop, kNoBrowsers, "activity"), std::nullopt);
}

}  // namespace
}  // namespace focuswatch
