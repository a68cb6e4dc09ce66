#include "focuswatch/accessibility.h"

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

using Json = nlohmann::ordered_json;

// The focused window of application 7, read once.
Element window(TestDesktop& t) {
  Element app = t.desktop().createApplicationElement(7);
  Element win = *asElement(attribute(t.desktop(), app, "AXFocusedWindow"));
  t.clearTrace();
  return win;
}

Json text(const std::string& value) {
  return {{"AXRole", "AXStaticText"}, {"AXValue", value}};
}

// `inner` wrapped in `levels` plain groups.
Json nested(Json inner, int levels) {
  for (int i = 0; i < levels; ++i) inner = {{"AXRole", "AXGroup"}, {"AXChildren", {inner}}};
  return inner;
}

TEST(AttributeTest, FailuresAndStoredNothingAreAbsent) {
  TestDesktop t(withWindow({{"AXTitle", nullptr}, {"AXRole", {{"error", -25204}}}}));
  Element win = window(t);
  EXPECT_FALSE(attribute(t.desktop(), win, "AXTitle"));
  EXPECT_FALSE(attribute(t.desktop(), win, "AXRole"));
  EXPECT_FALSE(attribute(t.desktop(), win, "AXValue"));
  EXPECT_EQ(t.reads(), 3u);
}

TEST(ValueRulesTest, WrongTypesCountAsAbsent) {
  TestDesktop t(withWindow({{"AXTitle", 12}, {"AXParent", "not an element"},
                            {"AXFrame", {{"point", {1, 2}}}}}));
  Element win = window(t);
  EXPECT_FALSE(asString(attribute(t.desktop(), win, "AXTitle")));
  EXPECT_FALSE(asElement(attribute(t.desktop(), win, "AXParent")));
  EXPECT_FALSE(asRectangle(attribute(t.desktop(), win, "AXFrame")));
}

TEST(ClassesTest, OnlyAnArrayOfStringsCounts) {
  TestDesktop t(withWindow({{"AXChildren",
                             {{{"AXDOMClassList", {"pane", "flex"}}},
                              {{"AXDOMClassList", {"pane", 3}}},
                              {{"AXDOMClassList", "pane"}},
                              {{"AXRole", "AXButton"}}}}}));
  std::vector<Element> kids = children(t.desktop(), window(t));
  ASSERT_EQ(kids.size(), 4u);
  EXPECT_EQ(classes(t.desktop(), kids[0]), (std::vector<std::string>{"pane", "flex"}));
  for (int i = 1; i < 4; ++i) EXPECT_TRUE(classes(t.desktop(), kids[i]).empty()) << i;
}

TEST(ChildrenTest, LeavesAndNonArraysHaveNoChildren) {
  TestDesktop t(withWindow({{"AXChildren", {{{"AXChildren", "x"}}, {{"AXRole", "AXButton"}}, 5}}}));
  std::vector<Element> kids = children(t.desktop(), window(t));
  ASSERT_EQ(kids.size(), 2u);  // the number is not an element
  EXPECT_TRUE(children(t.desktop(), kids[0]).empty());
  EXPECT_TRUE(children(t.desktop(), kids[1]).empty());
}

TEST(TabLabelTest, StaticTextAnswersWithoutReadingItsChildren) {
  Json label = text("Tab");
  label["AXChildren"] = {text("below")};
  TestDesktop t(withWindow(label));
  EXPECT_EQ(tabLabel(t.desktop(), window(t)), "Tab");
  EXPECT_EQ(t.readsOf("AXChildren"), 0u);
}

TEST(TabLabelTest, EmptyOrNonStringTextSearchesChildren) {
  Json empty = text("");
  empty["AXChildren"] = {{{"AXRole", "AXStaticText"}, {"AXValue", 4}}, text("  "), text("late")};
  TestDesktop t(withWindow(empty));
  EXPECT_EQ(tabLabel(t.desktop(), window(t)), "  ");  // blanks are not trimmed
}

TEST(TabLabelTest, SearchesFourLevelsDown) {
  TestDesktop four(withWindow(nested(text("deep"), 4)));
  EXPECT_EQ(tabLabel(four.desktop(), window(four)), "deep");
  TestDesktop five(withWindow(nested(text("deep"), 5)));
  EXPECT_EQ(tabLabel(five.desktop(), window(five)), std::nullopt);
}

TEST(TabLabelTest, DepthFiveMakesNoRead) {
  TestDesktop t(withWindow(text("x")));
  EXPECT_EQ(tabLabel(t.desktop(), window(t), 5), std::nullopt);
  EXPECT_EQ(tabLabel(t.desktop(), window(t), 6), std::nullopt);
  EXPECT_EQ(t.reads(), 0u);
}

TEST(TabLabelTest, FirstChildWinsAndLaterChildrenAreNotRead) {
  TestDesktop t(withWindow({{"AXChildren", {text("first"), {{"id", "later"}}}}}));
  EXPECT_EQ(tabLabel(t.desktop(), window(t)), "first");
  EXPECT_FALSE(t.traced("AXUIElementCopyAttributeValue later AXRole"));
}

TEST(TabLabelTest, CutsTo180Characters) {
  TestDesktop t(withWindow({{"AXChildren", {text(std::string(200, 'x'))}}}));
  EXPECT_EQ(tabLabel(t.desktop(), window(t)), std::string(180, 'x'));
}

TEST(TabLabelTest, HostileFanOutStaysBounded) {
  // Every element lists itself 30 times: 30^4 paths within the depth.
  Json loop = {{"id", "loop"}, {"AXChildren", Json::array()}};
  for (int i = 0; i < 30; ++i) loop["AXChildren"].push_back({{"ref", "loop"}});
  TestDesktop t(withWindow(loop));
  EXPECT_EQ(tabLabel(t.desktop(), window(t)), std::nullopt);
  EXPECT_LE(t.reads(), 3u * kLabelVisitLimit);
}

}  // namespace
}  // namespace focuswatch
