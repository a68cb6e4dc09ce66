#include "focuswatch/desktop_sim.h"

#include <gtest/gtest.h>

#include "focuswatch/accessibility.h"
#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

using Json = nlohmann::ordered_json;

AttributeRead read(TestDesktop& t, const Element& element, const char* name) {
  return t.desktop().copyAttributeValue(element, name);
}

TEST(SimDesktopTest, EveryValueKindReadsAsWritten) {
  TestDesktop t(withWindow(Json::parse(R"({
    "id": "win", "text": "hi", "number": 3, "flag": true, "none": null,
    "list": ["a", 1], "address": {"url": "https://a.example/"},
    "box": {"rect": [1, 2, 3, 4]}, "spot": {"point": [1, 2]},
    "failing": {"error": -25212}, "child": {"AXRole": "AXGroup"},
    "self": {"ref": "win"}, "dangling": {"ref": "nowhere"}
  })")));
  Element app = t.desktop().createApplicationElement(7);
  Element win = *asElement(read(t, app, "AXFocusedWindow").value);

  EXPECT_EQ(asString(read(t, win, "text").value), "hi");
  EXPECT_TRUE(std::holds_alternative<OtherValue>(read(t, win, "number").value->v));
  EXPECT_TRUE(std::holds_alternative<OtherValue>(read(t, win, "flag").value->v));
  AttributeRead none = read(t, win, "none");
  EXPECT_EQ(none.error, 0);
  EXPECT_FALSE(none.value);
  EXPECT_EQ(std::get<ValueList>(read(t, win, "list").value->v).size(), 2u);
  EXPECT_EQ(std::get<Url>(read(t, win, "address").value->v).absoluteString, "https://a.example/");
  Rect box = *asRectangle(read(t, win, "box").value);
  EXPECT_EQ(box.x + box.y + box.width + box.height, 10);
  EXPECT_FALSE(asRectangle(read(t, win, "spot").value));
  EXPECT_EQ(read(t, win, "failing").error, -25212);
  EXPECT_TRUE(asElement(read(t, win, "child").value));
  EXPECT_EQ(asElement(read(t, win, "self").value)->get(), win.get());
  EXPECT_EQ(read(t, win, "dangling").error, kAXErrorInvalidUIElement);
  EXPECT_EQ(read(t, win, "missing").error, kAXErrorAttributeUnsupported);
}

TEST(SimDesktopTest, ElementsWrittenInPlaceHaveImpliedParents) {
  TestDesktop t(withWindow(Json::parse(R"({
    "id": "win", "AXChildren": [{"id": "a"}, {"id": "b", "AXParent": null}]
  })")));
  Element app = t.desktop().createApplicationElement(7);
  Element win = *asElement(read(t, app, "AXFocusedWindow").value);
  EXPECT_EQ(asElement(read(t, win, "AXParent").value)->get(), app.get());
  std::vector<Element> kids = children(t.desktop(), win);
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_EQ(asElement(read(t, kids[0], "AXParent").value)->get(), win.get());
  EXPECT_FALSE(read(t, kids[1], "AXParent").value);  // listed itself
  EXPECT_EQ(read(t, app, "AXParent").error, kAXErrorAttributeUnsupported);
}

TEST(SimDesktopTest, UnknownProcessesAndUntrustedProbesFailEveryRead) {
  Json desktop = withWindow({{"id", "win"}});
  TestDesktop t(desktop);
  EXPECT_EQ(read(t, t.desktop().createApplicationElement(99), "AXFocusedWindow").error,
            kAXErrorCannotComplete);
  desktop["accessibilityTrusted"] = false;
  t.write(desktop);
  EXPECT_FALSE(t.desktop().isProcessTrusted());
  EXPECT_EQ(read(t, t.desktop().createApplicationElement(7), "AXFocusedWindow").error,
            kAXErrorAPIDisabled);
}

TEST(SimDesktopTest, TraceNamesElementsByIdApplicationOrDocumentOrder) {
  // A name written twice keeps its first place and takes its last value.
  TestDesktop t(withWindow(Json::parse(R"({"AXChildren": [{"id": "named\nline"}, {}]})")));
  Element app = t.desktop().createApplicationElement(7);
  Element win = *asElement(read(t, app, "AXFocusedWindow").value);
  for (const Element& child : children(t.desktop(), win)) read(t, child, "AXRole");
  std::vector<std::string> expected = {
      "AXUIElementCreateApplication 7",
      "AXUIElementCopyAttributeValue app:7 AXFocusedWindow",
      "AXUIElementCopyAttributeValue #2 AXChildren",
      "AXUIElementCopyAttributeValue named\\nline AXRole",
      "AXUIElementCopyAttributeValue #4 AXRole",
  };
  EXPECT_EQ(t.trace(), expected);

  std::ofstream(t.file("desktop.json"), std::ios::trunc) << R"({"accessibilityTrusted": true,
      "applications": {"7": {"AXFocusedWindow": {"AXChildren": [{}, {}], "x": {}, "AXChildren": [{}]},
                             "AXFocusedWindow": {"AXChildren": [{}], "x": {"id": "x"}}}}})";
  t.desktop().isProcessTrusted();
  t.clearTrace();
  Element last = *asElement(read(t, t.desktop().createApplicationElement(7), "AXFocusedWindow").value);
  read(t, children(t.desktop(), last)[0], "AXRole");
  EXPECT_EQ(t.trace().back(), "AXUIElementCopyAttributeValue #3 AXRole");
  EXPECT_TRUE(asElement(read(t, last, "x").value));
  EXPECT_EQ(t.trace().back(), "AXUIElementCopyAttributeValue #2 x");
}

TEST(SimDesktopTest, FileIsReadAfreshForEverySample) {
  Json desktop = withWindow({});
  TestDesktop t(desktop);
  EXPECT_EQ(t.desktop().frontmostApplication()->processIdentifier, 7);
  desktop["frontmostApplication"] = nullptr;
  desktop["idleSeconds"] = 9.5;
  t.write(desktop);
  EXPECT_TRUE(t.desktop().isProcessTrusted());
  EXPECT_FALSE(t.desktop().frontmostApplication());
  EXPECT_EQ(t.desktop().secondsSinceLastInput(), 9.5);
}

TEST(SimDesktopTest, BrokenFilesGiveTheEmptyDesktop) {
  TestDesktop t(withWindow({}));
  auto expectEmpty = [&](const std::string& text) {
    std::ofstream(t.file("desktop.json"), std::ios::trunc) << text;
    EXPECT_FALSE(t.desktop().isProcessTrusted()) << text;
    EXPECT_FALSE(t.desktop().frontmostApplication()) << text;
    EXPECT_EQ(t.desktop().secondsSinceLastInput(), 0) << text;
  };
  expectEmpty("");
  expectEmpty("{\"accessibilityTrusted\": true,");
  expectEmpty("[]");
  expectEmpty(R"({"accessibilityTrusted": "yes"})");
  expectEmpty(R"({"accessibilityTrusted": true, "idleSeconds": "1"})");
  expectEmpty(R"({"accessibilityTrusted": true, "frontmostApplication": {"bundleIdentifier": "x"}})");
  expectEmpty(R"({"accessibilityTrusted": true, "frontmostApplication": {"processIdentifier": 4294967296}})");
  expectEmpty(R"({"accessibilityTrusted": true, "applications": {"abc": {}}})");
  expectEmpty(R"({"accessibilityTrusted": true, "applications": {"7": []}})");
  expectEmpty(std::string(10000, '[') + std::string(10000, ']'));
  expectEmpty(R"({"applications": {"7": {"a": )" + std::string(2001, '[') + std::string(2001, ']') +
              "}}}");
  // Elements nest 10,000 deep, written in place or in lists; one more is refused.
  auto nested = [](int levels, bool inLists) {
    std::string text = R"({"accessibilityTrusted": true, "applications": {"7": )";
    for (int i = 1; i < levels; ++i) text += inLists ? R"({"AXChildren": [)" : R"({"w": )";
    text += "{}";
    for (int i = 1; i < levels; ++i) text += inLists ? "]}" : "}";
    return text + "}}";
  };
  for (bool inLists : {false, true}) {
    std::ofstream(t.file("desktop.json"), std::ios::trunc) << nested(10000, inLists);
    EXPECT_TRUE(t.desktop().isProcessTrusted());
    expectEmpty(nested(10001, inLists));
    expectEmpty(nested(100000, inLists));
  }
  std::filesystem::remove(t.file("desktop.json"));
  EXPECT_FALSE(t.desktop().isProcessTrusted());
  std::filesystem::create_directory(t.file("desktop.json"));
  EXPECT_FALSE(t.desktop().isProcessTrusted());
}

TEST(SimDesktopTest, MissingNamesMeanTheApplicationHasNone) {
  TestDesktop t(Json::parse(R"({"frontmostApplication": {"processIdentifier": 3}})"));
  std::optional<RunningApplication> app = t.desktop().frontmostApplication();
  ASSERT_TRUE(app);
  EXPECT_FALSE(app->bundleIdentifier);
  EXPECT_FALSE(app->localizedName);
}

}  // namespace
}  // namespace focuswatch
