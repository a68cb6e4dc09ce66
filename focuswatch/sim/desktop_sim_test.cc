#include "focuswatch/sim/desktop_sim.h"

#include <gtest/gtest.h>

#include "focuswatch/accessibility.h"
#include "focuswatch/event_record.h"
#include "focuswatch/sim/sim_document.h"
#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

AttributeRead read(TestDesktop& t, const Element& element, const char* name) {
  return t.desktop().copyAttributeValue(element, name);
}
Element windowOf(TestDesktop& t) {
  return *asElement(read(t, t.desktop().createApplicationElement(7), "AXFocusedWindow").value);
}

TEST(SimDesktopTest, EveryValueKindReadsAsWritten) {
  TestDesktop t(withWindow(Json::parse(R"({
    "id": "win", "text": "hi", "number": 3, "flag": true, "none": null,
    "list": ["a", 1], "address": {"url": "https://a.example/"},
    "box": {"rect": [1, 2, 3, 4]}, "spot": {"point": [1, 2]}, "odd": {"rect": [1, 2, 3]},
    "failing": {"error": -25212}, "child": {"AXRole": "AXGroup"},
    "self": {"ref": "win"}, "dangling": {"ref": "nowhere"}, "AXChildren": [{"id": "a"}, {"AXParent": null}]
  })")));
  Element app = t.desktop().createApplicationElement(7);
  Element win = windowOf(t);
  EXPECT_EQ(asString(read(t, win, "text").value), "hi");
  for (const char* other : {"number", "flag", "spot"})
    EXPECT_TRUE(std::holds_alternative<OtherValue>(read(t, win, other).value->v)) << other;
  AttributeRead none = read(t, win, "none");
  EXPECT_EQ(none.error, 0);
  EXPECT_FALSE(none.value);
  EXPECT_EQ(std::get<ValueList>(read(t, win, "list").value->v).size(), 2u);
  EXPECT_EQ(std::get<Url>(read(t, win, "address").value->v).absoluteString, "https://a.example/");
  EXPECT_EQ(asRectangle(read(t, win, "box").value)->height, 4);
  EXPECT_TRUE(asElement(read(t, win, "odd").value));  // not a rectangle: an element
  EXPECT_EQ(read(t, win, "failing").error, -25212);
  EXPECT_TRUE(asElement(read(t, win, "child").value));
  EXPECT_EQ(asElement(read(t, win, "self").value)->get(), win.get());
  EXPECT_EQ(read(t, win, "dangling").error, kAXErrorInvalidUIElement);
  EXPECT_EQ(read(t, win, "missing").error, kAXErrorAttributeUnsupported);
  // Written in place, an element's parent is implied, unless it lists one.
  EXPECT_EQ(asElement(read(t, win, "AXParent").value)->get(), app.get());
  std::vector<Element> kids = children(t.desktop(), win);
  EXPECT_EQ(asElement(read(t, kids[0], "AXParent").value)->get(), win.get());
  EXPECT_FALSE(read(t, kids[1], "AXParent").value);
  EXPECT_EQ(read(t, app, "AXParent").error, kAXErrorAttributeUnsupported);
  EXPECT_EQ(read(t, t.desktop().createApplicationElement(99), "AXRole").error, kAXErrorCannotComplete);
  t.write(Json::parse(R"({"accessibilityTrusted": false, "applications": {"7": {}}})"));
  EXPECT_FALSE(t.desktop().isProcessTrusted());
  EXPECT_EQ(read(t, t.desktop().createApplicationElement(7), "AXRole").error, kAXErrorAPIDisabled);
}

TEST(SimDesktopTest, TraceNamesElementsByIdApplicationOrDocumentOrder) {
  TestDesktop t(withWindow(Json::parse(R"({"AXChildren": [{"id": "named\n\\line\u2028"}, {}]})")));
  Element win = windowOf(t);
  for (const Element& child : children(t.desktop(), win)) read(t, child, "AXRole");
  EXPECT_EQ(t.trace(), (std::vector<std::string>{
                           "AXUIElementCreateApplication 7",
                           "AXUIElementCopyAttributeValue app:7 AXFocusedWindow",
                           "AXUIElementCopyAttributeValue #2 AXChildren",
                           "AXUIElementCopyAttributeValue named\\n\\\\line\\xe2\\x80\\xa8 AXRole",
                           "AXUIElementCopyAttributeValue #4 AXRole"}));
  // A name written twice keeps its first place and takes its last value.
  std::ofstream(t.file("desktop.json"), std::ios::trunc) << R"({"accessibilityTrusted": true,
      "applications": {"7": {"AXFocusedWindow": {"AXChildren": [{}, {}], "x": {}, "AXChildren": [{}]},
                             "AXFocusedWindow": {"AXChildren": [{}], "x": {"id": "x"}}}}})";
  t.desktop().isProcessTrusted();
  t.clearTrace();
  Element last = windowOf(t);
  read(t, children(t.desktop(), last)[0], "AXRole");
  EXPECT_EQ(t.trace().back(), "AXUIElementCopyAttributeValue #3 AXRole");
}

TEST(SimDesktopTest, FileIsReadAfreshAndABrokenOneIsTheEmptyDesktop) {
  Json desktop = withWindow({});
  TestDesktop t(desktop);
  EXPECT_EQ(t.desktop().frontmostApplication()->processIdentifier, 7);
  auto expect = [&](const std::string& text, bool trusted) {
    std::ofstream(t.file("desktop.json"), std::ios::trunc) << text;
    EXPECT_EQ(t.desktop().isProcessTrusted(), trusted) << text.substr(0, 80);
    if (!trusted) {
      EXPECT_FALSE(t.desktop().frontmostApplication()) << text.substr(0, 80);
    }
  };
  expect(R"({"accessibilityTrusted": true, "idleSeconds": 9.5, "frontmostApplication": {"processIdentifier": 3}})", true);
  EXPECT_EQ(t.desktop().secondsSinceLastInput(), 9.5);
  EXPECT_FALSE(t.desktop().frontmostApplication()->bundleIdentifier);
  for (const char* broken : {"", "{\"accessibilityTrusted\": true,", "[]", R"({"accessibilityTrusted": "yes"})",
                             R"({"accessibilityTrusted": true, "idleSeconds": "1"})",
                             R"({"accessibilityTrusted": true, "frontmostApplication": {"bundleIdentifier": "x"}})",
                             R"({"accessibilityTrusted": true, "frontmostApplication": {"processIdentifier": 4294967296}})",
                             R"({"accessibilityTrusted": true, "applications": {"abc": {}}})",
                             R"({"accessibilityTrusted": true, "applications": {"7": []}})"})
    expect(broken, false);
  EXPECT_EQ(t.desktop().secondsSinceLastInput(), 0);
  expect(std::string(10000, '[') + std::string(10000, ']'), false);
  expect(R"({"applications": {"7": {"a": )" + std::string(2001, '[') + std::string(2001, ']') + "}}}", false);
  // Elements nest 10,000 deep, written in place or in lists; one more is refused.
  auto nestedText = [](int levels, bool inLists) {
    std::string text = R"({"accessibilityTrusted": true, "applications": {"7": )";
    for (int i = 1; i < levels; ++i) text += inLists ? R"({"AXChildren": [)" : R"({"w": )";
    text += "{}";
    for (int i = 1; i < levels; ++i) text += inLists ? "]}" : "}";
    return text + "}}";
  };
  for (bool inLists : {false, true}) {
    expect(nestedText(10000, inLists), true);
    expect(nestedText(10001, inLists), false);
    expect(nestedText(100000, inLists), false);
  }
  std::filesystem::remove(t.file("desktop.json"));
  EXPECT_FALSE(t.desktop().isProcessTrusted());
  std::filesystem::create_directory(t.file("desktop.json"));
  EXPECT_FALSE(t.desktop().isProcessTrusted());
}

TEST(SimDocumentTest, WrongTypesAndProcessKeysRefuseTheFile) {
  for (const char* wrong : {
           R"({"applications": {"+5": {}}})", R"({"applications": {" 5": {}}})",
           R"({"applications": {"05": {}}})", R"({"applications": {"-0": {}}})",
           R"({"applications": {"2147483648": {}}})", R"({"applications": {"5x": {}}})",
           R"({"accessibilityTrusted": [true]})", R"({"accessibilityTrusted": {"x": true}})",
           R"({"idleSeconds": [1]})", R"({"observedAt": {"observedAt": 5}})",
           R"({"frontmostApplication": {"processIdentifier": 5, "localizedName": ["X"]}})",
           R"({"frontmostApplication": {"processIdentifier": [5]}})",
           R"({"frontmostApplication": {"processIdentifier": 5, "bundleIdentifier": ["a", "b"]}})",
           R"({"applications": {"7": {"id": ["a"]}}})"}) {
    EXPECT_THROW(parseSimDocument(wrong), std::runtime_error) << wrong;
  }
  auto document = parseSimDocument(R"({"applications": {"0": {}, "-5": {}, "2147483647": {}}})");
  EXPECT_EQ(document->applications.size(), 3u);
}

// One sample's line and trace, with the document's clocks fixed.
std::string sample(TestDesktop& t) {
  static const BrowserConfiguration kTracking =
      buildBrowserConfiguration({"focuswatch", "--browser-tracking"});
  t.clearTrace();
  std::string line = eventLine(t.desktop(), kTracking, "activity").value_or("(dropped)");
  for (const std::string& call : t.trace()) line += "\n" + call;
  return line;
}

// Keys the format does not know change nothing, whatever they hold: not
// even values that look like the format's own.
TEST(SimDocumentTest, UnknownKeysChangeNothingWhateverTheyHold) {
  std::vector<Json> desktops;
  for (const char* demo : {"plain", "nerrit", "browser-document", "untrusted"})
    desktops.push_back(Json::parse(std::ifstream(std::string(DEMO_DIR) + "/" + demo + ".json")));
  for (Json& desktop : desktops) {
    desktop["observedAt"] = 1.5;
    desktop["uptime"] = 2.5;
  }
  for (const Json& desktop : desktops) {
    const Json values[] = {
        nullptr, true, -1, "com.x.nerrit", Json::array(), Json::object(),
        {{"accessibilityTrusted", !desktop["accessibilityTrusted"]}, {"idleSeconds", 42},
         {"observedAt", 5}, {"uptime", 6}},
        {{"bundleIdentifier", "com.x.nerrit"}, {"localizedName", "X"}, {"processIdentifier", 5}},
        Json::array({{{"accessibilityTrusted", true}}, Json::array({true, 5, "com.x.nerrit"})}),
        {{"frontmostApplication", {{"processIdentifier", 1}}}, {"applications", {{"1", {{"id", 1}}}}}},
        nested({{"id", Json::array({"a"})}, {"AXParent", {{"ref", "x"}}}}, 30),
        desktop};
    TestDesktop t(desktop);
    const std::string expected = sample(t);
    for (const Json& value : values) {
      for (const char* place : {"", "frontmostApplication"}) {
        Json changed = desktop;
        (*place ? changed[place] : changed)["extra"] = value;
        t.write(changed);
        EXPECT_EQ(sample(t), expected) << (*place ? place : "top level") << ": " << value.dump().substr(0, 200);
      }
    }
  }
}

}  // namespace
}  // namespace focuswatch
