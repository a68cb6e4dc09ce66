#include "focuswatch/nerrit_tab.h"

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

using Tab = std::optional<std::string>;

Tab tab(TestDesktop& t) {
  t.clearTrace();
  return focusedNerritTab(t.desktop(), application(7));
}
Tab tabOf(const Json& desktop) {
  TestDesktop t(desktop);
  return tab(t);
}
Tab tabIn(Json window, Json focused = nullptr) { return tabOf(withWindow(window, focused)); }

// A window with strips named by their tab's label above one pane, whose
// focused editor sits `depth` levels below it.
Json overPane(std::vector<std::pair<std::string, Json>> strips, Json paneFrame, int depth = 0) {
  Json children = Json::array();
  for (auto& [label, frame] : strips) children.push_back(strip(frame, {selectedTab(label)}));
  Json editor = nested({{"id", "editor"}}, depth);
  children.push_back({{"AXDOMClassList", {"pane"}}, {"AXFrame", paneFrame}, {"AXChildren", {editor}}});
  return withWindow({{"AXChildren", children}}, {{"ref", "editor"}});
}

TEST(FocusedNerritTabTest, OneStripNeedsNoFocusOrGeometry) {
  TestDesktop t(withWindow({{"AXChildren", {strip({selectedTab("Main")})}}}));
  EXPECT_EQ(tab(t), "Main");
  EXPECT_EQ(t.readsOf("AXFocusedUIElement") + t.readsOf("AXFrame"), 0u);
}

TEST(FocusedNerritTabTest, TheStripClearlyClosestAboveTheFocusedPaneIsChosen) {
  Json pane = rect(0, 100, 400, 400);
  struct Case { double upper, lower; Tab expected; };
  for (auto [upper, lower, expected] : {
           Case{.upper = 90, .lower = 100, .expected = "lower"},
           Case{.upper = 96, .lower = 100, .expected = std::nullopt},
           Case{.upper = 95.5, .lower = 100, .expected = "lower"},
           Case{.upper = 50, .lower = 112, .expected = "lower"},
           Case{.upper = 50, .lower = 112.5, .expected = "upper"},
           Case{.upper = 200, .lower = 300, .expected = std::nullopt}}) {  // both below the pane
    EXPECT_EQ(tabOf(overPane({{"upper", rect(0, upper - 30, 400, 30)},
                           {"lower", rect(0, lower - 30, 400, 30)}}, pane)),
              expected) << upper << " " << lower;
  }
  // Side by side: the strip over the focused pane's centre.
  EXPECT_EQ(tabOf(overPane({{"left", rect(0, 70, 400, 30)}, {"right", rect(400, 70, 400, 30)}},
                        rect(400, 100, 400, 400))),
            "right");
  // The centre is x + width/2 of the normalised frame, and its bounds are
  // inclusive: (minX + maxX)/2 would be 0.9999999999999999 in the last case.
  // The strip just right of the centre lies closer to the pane.
  struct Edge { Json pane, edge; };
  for (const auto& [paneFrame, edge] : {
           Edge{.pane = rect(0, 100, 400, 400), .edge = rect(200, 40, 300, 30)},
           Edge{.pane = rect(400, 100, -400, 400), .edge = rect(500, 40, -300, 30)},
           Edge{.pane = rect(0.7, 100, 0.6, 400), .edge = rect(1.0, 40, 300, 30)}}) {
    Json off = rect(edge["rect"][0].get<double>() + 1, 70, 300, 30);
    EXPECT_EQ(tabOf(overPane({{"edge", edge}, {"off", off}}, paneFrame)), "edge") << paneFrame;
  }
}

TEST(FocusedNerritTabTest, WithoutFocusPaneOrFramesThereIsNoChoice) {
  Json two = {strip(rect(0, 40, 400, 30), {selectedTab("a")}),
              strip(rect(0, 70, 400, 30), {selectedTab("b")})};
  EXPECT_EQ(tabIn({{"AXChildren", two}}), std::nullopt);
  two.push_back({{"AXDOMClassList", {"pane"}}, {"AXChildren", {{{"id", "editor"}}}}});
  EXPECT_EQ(tabIn({{"AXChildren", two}}, {{"ref", "editor"}}), std::nullopt);
}

TEST(FocusedNerritTabTest, WalksStopAtTheirLimits) {
  auto found = [](TestDesktop& t) { return tab(t).has_value(); };
  // The editor 23 steps below its pane; the strip 25 levels down; 2,500
  // elements looked at; the tab 4 levels below its strip.
  expectBound([](int n) { return overPane({{"a", rect(0, 40, 400, 30)}, {"b", rect(0, 70, 400, 30)}},
                                          rect(0, 100, 400, 400), n); }, 22, found);
  expectBound([](int n) { return withWindow(nested(strip({selectedTab("deep")}), n)); }, 25, found);
  expectBound([](int n) { return withWindow(after(n, strip({selectedTab("late")}))); }, 2498, found,
              "AXDOMClassList", 2500);
  expectBound([](int n) { return withWindow({{"AXChildren", {strip({nested(selectedTab("t"), n)})}}}); }, 3,
              found);
}

TEST(FocusedNerritTabTest, OneSelectedTabWithALabelIsTheAnswer) {
  Json plain = {{"AXDOMClassList", {"border-t", "cursor-pointer"}},
                {"AXChildren", {{{"AXRole", "AXStaticText"}, {"AXValue", "plain"}}}}};
  EXPECT_EQ(tabIn({{"AXChildren", {strip({plain, selectedTab("b")})}}}), "b");
  EXPECT_EQ(tabIn({{"AXChildren", {strip({selectedTab("a"), selectedTab("b")})}}}), std::nullopt);
  // A strip in a strip is not collected, but its tabs are the outer one's.
  Json outer = strip({selectedTab("outer"), strip({selectedTab("x")})});
  EXPECT_EQ(tabIn({{"AXChildren", {outer}}}), std::nullopt);
  // A selected tab whose text is out of its label's reach is entered.
  Json unlabelled = selectedTab("");
  unlabelled["AXChildren"] = {nested(selectedTab("inner"), 1)};
  unlabelled["AXChildren"][0]["AXChildren"][0]["AXChildren"] = {
      nested({{"AXRole", "AXStaticText"}, {"AXValue", "inner"}}, 2)};
  EXPECT_EQ(tabIn({{"AXChildren", {strip({unlabelled})}}}), "inner");
}

TEST(FocusedNerritTabTest, TabWalkThatRunsOutOfVisitsHasNoAnswer) {
  Json plain = after(3, {{"AXRole", "AXGroup"}});  // an unselected tab of five elements
  struct Case { int before, after; Tab expected; };
  for (auto [before, behind, expected] : {
           // the selected tab ends on the last visit; one more and it is never seen
           Case{.before = 1999, .after = 0, .expected = "b"},
           Case{.before = 2000, .after = 0, .expected = std::nullopt},
           // a second one may lie beyond reach
           Case{.before = 0, .after = 2100, .expected = std::nullopt}}) {
    Json tabs(before, plain);
    tabs.push_back(selectedTab("b"));
    for (int i = 0; i < behind; ++i) tabs.push_back(plain);
    EXPECT_EQ(tabIn({{"AXChildren", {strip(tabs)}}}), expected) << before << " " << behind;
  }
}

TEST(FocusedNerritTabTest, CyclesAndHugeFanOutStayBounded) {
  TestDesktop t(withWindow(selfLoop(10), {{"ref", "loop"}}));
  EXPECT_EQ(tab(t), std::nullopt);
  EXPECT_LE(t.readsOf(), 2u * 2500 + 2);
}

}  // namespace
}  // namespace focuswatch
