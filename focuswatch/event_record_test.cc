#include "focuswatch/event_record.h"

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

const BrowserConfiguration kNoBrowsers = buildBrowserConfiguration({"focuswatch"});

Json record(TestDesktop& t, const BrowserConfiguration& config = kNoBrowsers,
            std::string_view kind = "activity") {
  t.clearTrace();
  std::optional<std::string> line = eventLine(t.desktop(), config, kind);
  EXPECT_EQ(line->find('\n'), std::string::npos);
  return Json::parse(*line);
}

Json app(Json bundle, Json name) {
  Json a = {{"processIdentifier", 7}};
  if (!bundle.is_null()) a["bundleIdentifier"] = bundle;
  if (!name.is_null()) a["localizedName"] = name;
  return a;
}

const Json kAlwaysPresent = {"kind", "observedAt", "uptime", "foregroundBundleId",
                             "foregroundName", "idleSeconds", "accessibilityTrusted"};
Json keys(const Json& line) {
  Json names = Json::array();
  for (const auto& [key, value] : line.items()) names.push_back(key);
  return names;
}

TEST(EventLineTest, SevenKeysAlwaysAndOnlyMissingNamesReplaced) {
  TestDesktop t(Json::parse(R"({"accessibilityTrusted": true, "idleSeconds": 4.5,
                                "uptime": 100.25, "observedAt": 1700000000.5})"));
  Json line = record(t, kNoBrowsers, "wake");
  EXPECT_EQ(line, Json::parse(R"({"kind": "wake", "observedAt": 1700000000.5, "uptime": 100.25,
      "foregroundBundleId": "unknown", "foregroundName": "Unknown app", "idleSeconds": 4.5,
      "accessibilityTrusted": true})"));
  struct Names { Json bundle, name; const char* bundleId, *foregroundName; };
  for (const auto& [bundle, name, bundleId, foregroundName] :
       {Names{.bundle = "", .name = "", .bundleId = "", .foregroundName = ""},
        Names{.bundle = nullptr, .name = nullptr, .bundleId = "unknown", .foregroundName = "Unknown app"}}) {
    t.write(Json{{"frontmostApplication", app(bundle, name)}});
    line = record(t);
    EXPECT_EQ(line["foregroundBundleId"], bundleId);
    EXPECT_EQ(line["foregroundName"], foregroundName);
  }
}

TEST(EventLineTest, WorkspaceKeysNeedTrustAndTheLowerCasedIdentifier) {
  Json tabs = {{"AXDOMClassList", {"group/tab-strip"}},
               {"AXChildren", {{{"AXDOMClassList", {"border-t", "cursor-pointer", "bg-[color-mix(a)]"}},
                                {"AXRole", "AXStaticText"}, {"AXValue", "tab"}}}}};
  Json row = {{"AXRole", "AXMenuItem"}, {"AXValue", "selected"},
              {"AXDOMIdentifier", "worktree-list-option-|r::w"}};
  Json window = {{"AXTitle", std::string(200, 't') + "\n\""}, {"AXChildren", {tabs, row}}};
  Json desktop = withWindow(window);
  desktop["frontmostApplication"] = app("com.example.NERRIT", "Editor");
  TestDesktop t(desktop);
  Json line = record(t);
  EXPECT_EQ(line["nerritSelectedTabTitle"], "tab");
  EXPECT_EQ(line["nerritSelectedWorktreeId"], "r::w");
  EXPECT_EQ(line["nerritWindowTitle"], std::string(180, 't'));
  desktop["applications"]["7"]["AXFocusedWindow"]["AXTitle"] = {{"url", "https://not.text/"}};
  t.write(desktop);
  line = record(t);
  EXPECT_FALSE(line.contains("nerritWindowTitle"));
  // No accessibility read at all: untrusted, a name that only looks like
  // it, no identifier, or capital I with dot above (it lower-cases to "i"
  // and a combining dot).
  auto tracking = buildBrowserConfiguration({"x", "--browser-bundle=com.example.NERRIT"});
  struct Case { Json front; bool trusted; };
  for (const auto& [front, trusted] : {
           Case{.front = app("com.example.NERRIT", "Editor"), .trusted = false},
           Case{.front = app("com.example.editor", "nerrit"), .trusted = true},
           Case{.front = app(nullptr, "nerrit"), .trusted = true},
           Case{.front = app("com.example.NERR\u0130T", "Editor"), .trusted = true}}) {
    desktop["frontmostApplication"] = front;
    desktop["accessibilityTrusted"] = trusted;
    t.write(desktop);
    EXPECT_EQ(keys(record(t, tracking)), kAlwaysPresent) << front;
    EXPECT_EQ(t.readsOf(), 0u);
  }
}

TEST(EventLineTest, BrowserKeysNeedAnEnabledBrowserWorkspaceOrNot) {
  Json desktop = withWindow({{"AXDocument", "https://a.com/"}, {"AXTitle", "A - Brave"}});
  desktop["frontmostApplication"] = app("com.brave.Browser", "Brave");
  TestDesktop t(desktop);
  Json line = record(t, buildBrowserConfiguration({"x", "--browser-brave"}));
  EXPECT_EQ(line["browserDomain"], "a.com");
  EXPECT_EQ(line["browserUrl"], "https://a.com/");
  EXPECT_EQ(line["browserTitle"], "A");
  auto nerrit = buildBrowserConfiguration({"x", "--browser-bundle=com.example.nerrit"});
  t.write(withWindow({{"AXDocument", "https://a.com/"}, {"AXTitle", "Repo"}}));
  line = record(t, nerrit);
  EXPECT_EQ(line["nerritWindowTitle"], "Repo");
  EXPECT_EQ(line["browserTitle"], "Repo");
  t.write(withWindow(nullptr));  // no focused window: nothing more to read
  EXPECT_EQ(keys(record(t, nerrit)), kAlwaysPresent);
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
