#include "focuswatch/nerrit_tab.h"

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

using Json = nlohmann::ordered_json;

Json rect(double x, double y, double w, double h) { return {{"rect", {x, y, w, h}}}; }

Json selectedTab(const std::string& label) {
  return {{"AXDOMClassList", {"border-t", "cursor-pointer", "bg-[color-mix(in_srgb,red)]"}},
          {"AXChildren", {{{"AXRole", "AXStaticText"}, {"AXValue", label}}}}};
}

Json strip(const std::string& id, Json frame, Json tabs) {
  return {{"id", id}, {"AXDOMClassList", {"group/tab-strip"}}, {"AXFrame", frame},
          {"AXChildren", tabs}};
}

Json pane(const std::string& id, Json frame, Json inside = Json::array()) {
  return {{"id", id}, {"AXDOMClassList", {"pane"}}, {"AXFrame", frame}, {"AXChildren", inside}};
}

Json editor() { return {{"id", "editor"}, {"AXRole", "AXTextArea"}}; }

std::optional<std::string> tab(TestDesktop& t) {
  t.clearTrace();
  return focusedNerritTab(t.desktop(), application(7));
}

// A window of `strips` and one focused pane at x 0..400, y 100..500.
Json twoStripWindow(double firstBottom, double secondBottom) {
  return withWindow({{"AXChildren",
                      {strip("upper", rect(0, firstBottom - 30, 400, 30), {selectedTab("upper")}),
                       strip("lower", rect(0, secondBottom - 30, 400, 30), {selectedTab("lower")}),
                       pane("pane", rect(0, 100, 400, 400), {editor()})}}},
                    {{"ref", "editor"}});
}

TEST(FocusedNerritTabTest, OneStripNeedsNoFocusOrGeometry) {
  TestDesktop t(withWindow({{"AXChildren", {strip("s", rect(0, 0, 10, 10), {selectedTab("Main")})}}}));
  EXPECT_EQ(tab(t), "Main");
  EXPECT_EQ(t.readsOf("AXFocusedUIElement"), 0u);
  EXPECT_EQ(t.readsOf("AXFrame"), 0u);
}

TEST(FocusedNerritTabTest, PicksTheStripOverTheFocusedPaneOfTwoSideBySide) {
  Json window = {{"AXChildren",
                  {strip("left", rect(0, 70, 400, 30), {selectedTab("left.ts")}),
                   pane("leftPane", rect(0, 100, 400, 400)),
                   strip("right", rect(400, 70, 400, 30), {selectedTab("right.ts")}),
                   pane("rightPane", rect(400, 100, 400, 400), {editor()})}}};
  TestDesktop t(withWindow(window, {{"ref", "editor"}}));
  EXPECT_EQ(tab(t), "right.ts");
}

TEST(FocusedNerritTabTest, StackedStripsNeedMoreThanFourPointsBetweenThem) {
  TestDesktop tenApart(twoStripWindow(90, 100));
  EXPECT_EQ(tab(tenApart), "lower");
  TestDesktop fourApart(twoStripWindow(96, 100));
  EXPECT_EQ(tab(fourApart), std::nullopt);
  TestDesktop apart(twoStripWindow(95.5, 100));
  EXPECT_EQ(tab(apart), "lower");
  TestDesktop equal(twoStripWindow(100, 100));
  EXPECT_EQ(tab(equal), std::nullopt);
}

TEST(FocusedNerritTabTest, StripMayOverlapThePaneByTwelvePoints) {
  TestDesktop twelve(twoStripWindow(50, 112));
  EXPECT_EQ(tab(twelve), "lower");
  TestDesktop more(twoStripWindow(50, 112.5));
  EXPECT_EQ(tab(more), "upper");
}

TEST(FocusedNerritTabTest, HorizontalBoundsAreInclusive) {
  struct Case {
    Json pane, edge;  // the strip whose minX is meant to equal the pane's midX
  };
  const Case kCases[] = {
      {rect(0, 100, 400, 400), rect(200, 70, 300, 30)},
      {rect(400, 100, -400, 400), rect(500, 70, -300, 30)},  // negative widths
      // x + width/2 is 1.0 exactly, where (minX + maxX)/2 gives 0.9999999999999999.
      {rect(0.7, 100, 0.6, 400), rect(1.0, 70, 300, 30)},
  };
  for (const Case& c : kCases) {
    Json off = rect(c.edge["rect"][0].get<double>() + 1, 40, 300, 30);
    Json window = {{"AXChildren",
                    {strip("edge", c.edge, {selectedTab("edge")}),
                     strip("off", off, {selectedTab("off")}),
                     pane("pane", c.pane, {editor()})}}};
    TestDesktop t(withWindow(window, {{"ref", "editor"}}));
    EXPECT_EQ(tab(t), "edge") << c.pane << " " << c.edge;
  }
}

TEST(FocusedNerritTabTest, PaneIsSoughtAmongTwentyFourElements) {
  auto desktop = [](int levels) {
    Json inner = editor();
    for (int i = 0; i < levels; ++i) inner = {{"AXChildren", {inner}}};
    return withWindow({{"AXChildren",
                        {strip("a", rect(0, 40, 400, 30), {selectedTab("a")}),
                         strip("b", rect(0, 70, 400, 30), {selectedTab("b")}),
                         pane("pane", rect(0, 100, 400, 400), {inner})}}},
                      {{"ref", "editor"}});
  };
  TestDesktop found(desktop(22));  // the editor is 23 steps below the pane
  EXPECT_EQ(tab(found), "b");
  TestDesktop lost(desktop(23));
  EXPECT_EQ(tab(lost), std::nullopt);
  EXPECT_EQ(lost.readsOf("AXParent"), 24u);
}

TEST(FocusedNerritTabTest, NoFocusNoPaneOrNoFrameGiveNothing) {
  Json strips = {strip("a", rect(0, 40, 400, 30), {selectedTab("a")}),
                 strip("b", rect(0, 70, 400, 30), {selectedTab("b")})};
  TestDesktop noFocus(withWindow({{"AXChildren", strips}}));
  EXPECT_EQ(tab(noFocus), std::nullopt);
  Json framelessPane = {{"id", "p"}, {"AXDOMClassList", {"pane"}}, {"AXChildren", {editor()}}};
  Json withPane = strips;
  withPane.push_back(framelessPane);
  TestDesktop noFrame(withWindow({{"AXChildren", withPane}}, {{"ref", "editor"}}));
  EXPECT_EQ(tab(noFrame), std::nullopt);
}

TEST(FocusedNerritTabTest, StripWalkStopsAtDepthTwentySix) {
  auto desktop = [](int depth) {
    Json inner = strip("s", rect(0, 0, 1, 1), {selectedTab("deep")});
    for (int i = 0; i < depth; ++i) inner = {{"AXChildren", {inner}}};
    return withWindow(inner);
  };
  TestDesktop at25(desktop(25));
  EXPECT_EQ(tab(at25), "deep");
  TestDesktop at26(desktop(26));
  EXPECT_EQ(tab(at26), std::nullopt);
  EXPECT_EQ(at26.readsOf("AXDOMClassList"), 26u);
}

TEST(FocusedNerritTabTest, StripWalkExaminesAtMost2500Elements) {
  auto desktop = [](int fillers) {
    Json kids = Json::array();
    for (int i = 0; i < fillers; ++i) kids.push_back(Json::object({{"AXRole", "AXGroup"}}));
    kids.push_back(strip("s", rect(0, 0, 1, 1), {selectedTab("late")}));
    return withWindow({{"AXChildren", kids}});
  };
  TestDesktop within(desktop(2498));  // window + 2498 + strip = 2500
  EXPECT_EQ(tab(within), "late");
  TestDesktop beyond(desktop(2499));
  EXPECT_EQ(tab(beyond), std::nullopt);
  EXPECT_EQ(beyond.readsOf("AXDOMClassList"), 2500u);
}

TEST(FocusedNerritTabTest, StripsNestedInAStripAreNotCollected) {
  Json outer = strip("outer", rect(0, 0, 1, 1),
                     {selectedTab("outer"), strip("inner", rect(0, 0, 1, 1), {selectedTab("x")})});
  TestDesktop t(withWindow({{"AXChildren", {outer}}}));
  EXPECT_EQ(tab(t), std::nullopt);  // one strip, but two selected-style labels
  EXPECT_EQ(t.readsOf("AXFocusedUIElement"), 0u);
}

TEST(FocusedNerritTabTest, SelectedTabMustBeUnique) {
  TestDesktop two(withWindow({{"AXChildren",
                               {strip("s", rect(0, 0, 1, 1), {selectedTab("a"), selectedTab("b")})}}}));
  EXPECT_EQ(tab(two), std::nullopt);
  Json plain = {{"AXDOMClassList", {"border-t", "cursor-pointer"}},
                {"AXChildren", {{{"AXRole", "AXStaticText"}, {"AXValue", "plain"}}}}};
  TestDesktop one(withWindow({{"AXChildren", {strip("s", rect(0, 0, 1, 1), {plain, selectedTab("b")})}}}));
  EXPECT_EQ(tab(one), "b");
}

TEST(FocusedNerritTabTest, UnlabelledSelectedTabIsEntered) {
  Json outer = {{"AXDOMClassList", {"border-t", "cursor-pointer", "bg-[color-mix(x)]"}},
                {"AXChildren", {{{"AXRole", "AXGroup"}, {"AXChildren", {selectedTab("inner")}}}}}};
  outer["AXChildren"][0]["AXChildren"][0]["AXChildren"][0]["AXRole"] = "AXGroup";
  outer["AXChildren"][0]["AXChildren"][0]["AXChildren"][0]["AXChildren"] = {
      {{"AXRole", "AXGroup"}, {"AXChildren", {{{"AXRole", "AXGroup"}, {"AXChildren",
        {{{"AXRole", "AXStaticText"}, {"AXValue", "inner"}}}}}}}}};
  // The outer tab's text sits five levels below it, out of its label's reach.
  TestDesktop t(withWindow({{"AXChildren", {strip("s", rect(0, 0, 1, 1), {outer})}}}));
  EXPECT_EQ(tab(t), "inner");
}

TEST(FocusedNerritTabTest, SelectedTabFiveLevelsBelowTheStripIsNotFound) {
  auto desktop = [](int levels) {
    Json inner = selectedTab("t");
    for (int i = 0; i < levels; ++i) inner = {{"AXChildren", {inner}}};
    return withWindow({{"AXChildren", {strip("s", rect(0, 0, 1, 1), {inner})}}});
  };
  TestDesktop four(desktop(3));  // strip 0, wrappers 1..3, tab at 4
  EXPECT_EQ(tab(four), "t");
  TestDesktop five(desktop(4));
  EXPECT_EQ(tab(five), std::nullopt);
}

TEST(FocusedNerritTabTest, TabWalkThatRunsOutOfVisitsHasNoAnswer) {
  // An unselected tab of five elements; the strip is the first visit.
  Json plain = {{"AXDOMClassList", {"border-t"}}, {"AXChildren", Json::array()}};
  for (int i = 0; i < 4; ++i) plain["AXChildren"].push_back({{"AXRole", "AXGroup"}});
  struct Case {
    int before, after;        // unselected tabs around the selected ones
    bool secondSelected;
    std::optional<std::string> expected;
  };
  const Case kCases[] = {
      {520, 0, false, "b"},                // far more tabs than any real strip
      {0, 520, true, std::nullopt},        // two selected tabs, however far apart
      {1999, 0, false, "b"},               // the selected tab ends on the last visit
      {2000, 0, false, std::nullopt},      // one more and it is never seen
      {0, 2100, true, std::nullopt},       // the second one beyond reach
      {0, 2100, false, std::nullopt},      // a second one may lie beyond reach
  };
  for (const Case& c : kCases) {
    Json tabs = Json::array();
    for (int i = 0; i < c.before; ++i) tabs.push_back(plain);
    tabs.push_back(selectedTab("b"));
    for (int i = 0; i < c.after; ++i) tabs.push_back(plain);
    if (c.secondSelected) tabs.push_back(selectedTab("c"));
    TestDesktop t(withWindow({{"AXChildren", {strip("s", rect(0, 0, 1, 1), tabs)}}}));
    EXPECT_EQ(tab(t), c.expected) << c.before << " before, " << c.after << " after";
  }
}

TEST(FocusedNerritTabTest, CyclesAndHugeFanOutStayBounded) {
  Json loop = {{"id", "loop"}, {"AXChildren", Json::array()}};
  for (int i = 0; i < 10; ++i) loop["AXChildren"].push_back({{"ref", "loop"}});
  TestDesktop t(withWindow(loop, {{"ref", "loop"}}));
  EXPECT_EQ(tab(t), std::nullopt);
  EXPECT_LE(t.reads(), 2u * 2500 + 2);
}

}  // namespace
}  // namespace focuswatch
