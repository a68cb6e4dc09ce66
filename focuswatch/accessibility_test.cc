#include "focuswatch/accessibility.h"

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

// The focused window of application 7, read once.
Element window(TestDesktop& t) {
  Element app = t.desktop().createApplicationElement(7);
  Element win = *asElement(attribute(t.desktop(), app, "AXFocusedWindow"));
  t.clearTrace();
  return win;
}

Json text(Json value) { return {{"AXRole", "AXStaticText"}, {"AXValue", value}}; }

TEST(AttributeTest, FailuresAndWrongTypesAreAbsent) {
  TestDesktop t(withWindow({{"AXTitle", nullptr}, {"AXRole", {{"error", -25204}}},
                            {"AXDescription", 12}, {"AXParent", "not an element"},
                            {"AXFrame", {{"point", {1, 2}}}}}));
  Element win = window(t);
  for (const char* name : {"AXTitle", "AXRole", "AXValue"})
    EXPECT_FALSE(attribute(t.desktop(), win, name)) << name;
  EXPECT_FALSE(asString(attribute(t.desktop(), win, "AXDescription")));
  EXPECT_FALSE(asElement(attribute(t.desktop(), win, "AXParent")));
  EXPECT_FALSE(asRectangle(attribute(t.desktop(), win, "AXFrame")));
  EXPECT_EQ(t.readsOf(), 6u);
}

TEST(ClassesAndChildrenTest, OnlyTheRightShapesCount) {
  TestDesktop t(withWindow({{"AXChildren",
                             {{{"AXDOMClassList", {"pane", "flex"}}, {"AXChildren", "x"}},
                              {{"AXDOMClassList", {"pane", 3}}},
                              {{"AXDOMClassList", "pane"}}, 5}}}));
  std::vector<Element> kids = children(t.desktop(), window(t));
  ASSERT_EQ(kids.size(), 3u);  // the number is not an element
  EXPECT_EQ(classes(t.desktop(), kids[0]), (std::vector<std::string>{"pane", "flex"}));
  EXPECT_TRUE(children(t.desktop(), kids[0]).empty());
  for (int i = 1; i < 3; ++i) EXPECT_TRUE(classes(t.desktop(), kids[i]).empty()) << i;
}

TEST(TabLabelTest, FirstNonEmptyStaticTextWithinFourLevels) {
  struct Case { Json tree; std::optional<std::string> label; size_t reads; };
  Json labelled = text("Tab");
  labelled["AXChildren"] = {text("below")};
  Json empty = text("");
  empty["AXChildren"] = {text(4), text("  "), text("late")};
  for (const auto& [tree, label, reads] : {
           Case{.tree = labelled, .label = "Tab", .reads = 2},  // no children read
           Case{.tree = empty, .label = "  ", .reads = 8},      // blanks are kept
           // later ones unread
           Case{.tree = {{"AXChildren", {text("first"), text("x")}}}, .label = "first", .reads = 4},
           Case{.tree = text(std::string(200, 'x')), .label = std::string(180, 'x'), .reads = 2},
           Case{.tree = nested(text("deep"), 4), .label = "deep", .reads = 10},
           Case{.tree = nested(text("deep"), 5), .label = std::nullopt, .reads = 10}}) {
    TestDesktop t(withWindow(tree));
    EXPECT_EQ(tabLabel(t.desktop(), window(t)), label) << tree;
    EXPECT_EQ(t.readsOf(), reads) << tree;
  }
}

TEST(TabLabelTest, HostileFanOutStaysBounded) {
  // Every element lists itself 30 times: 30^4 paths within the depth.
  TestDesktop t(withWindow(selfLoop(30)));
  EXPECT_EQ(tabLabel(t.desktop(), window(t)), std::nullopt);
  EXPECT_LE(t.readsOf(), 3u * kLabelVisitLimit);
}

}  // namespace
}  // namespace focuswatch
