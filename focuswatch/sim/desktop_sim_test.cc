#include "focuswatch/sim/desktop_sim.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "focuswatch/accessibility.h"
#include "focuswatch/desktop_file/document.h"
#include "focuswatch/event_record.h"
#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

// The desktop file and the trace file, in a folder that goes with them.
class DesktopFile {
 public:
  ~DesktopFile() { std::filesystem::remove_all(folder_); }
  Desktop& desktop() { return *desktop_; }
  std::string path(const char* name) const { return folder_ + "/" + name; }
  void write(const std::string& text) { std::ofstream(path("desktop.json"), std::ios::trunc) << text; }
  std::string trace() const { std::ifstream in(path("trace")); return {std::istreambuf_iterator<char>(in), {}}; }

 private:
  std::string folder_ = [] { char p[] = "/tmp/focuswatch-sim-XXXXXX"; return std::string(::mkdtemp(p)); }();
  std::unique_ptr<Desktop> desktop_ = tracingDesktop(
      std::make_unique<SimDesktop>(SimPaths{path("desktop.json"), ""}), traceFile(path("trace")));
};

template <typename Test>
AttributeRead read(Test& t, const Element& element, const char* name) {
  return t.desktop().copyAttributeValue(element, name);
}
template <typename Test>
Element windowOf(Test& t) {
  return *asElement(read(t, t.desktop().createApplicationElement(7), "AXFocusedWindow").value);
}

// A read as text: its error, or its value's kind and content.
std::string described(const AttributeRead& read) {
  if (read.error != kAXErrorSuccess) return "error " + std::to_string(read.error);
  if (!read.value) return "no value";
  const auto& v = read.value->v;
  if (auto* element = std::get_if<Element>(&v))
    return "element " + static_cast<const SimElement*>(element->get())->traceName();
  if (auto* text = std::get_if<std::string>(&v)) return "text " + *text;
  if (auto* url = std::get_if<Url>(&v)) return "url " + url->absoluteString;
  if (auto* ax = std::get_if<AxValue>(&v))
    return ax->rect ? "rect " + std::to_string(int(ax->rect->x)) + "," + std::to_string(int(ax->rect->height)) : "axvalue";
  if (auto* list = std::get_if<ValueList>(&v)) return "list of " + std::to_string(list->size());
  return "other";
}

TEST(SimDesktopTest, ValuesReadAsTheFileWritesThem) {
  TestDesktop t(withWindow(Json::parse(R"({
    "id": "win", "text": "hi", "number": 3, "flag": true, "none": null,
    "list": ["a", 1], "address": {"url": "https://a.example/"},
    "box": {"rect": [1, 2, 3, 4]}, "spot": {"point": [1, 2]}, "odd": {"rect": [1, 2, 3]},
    "failing": {"error": -25212}, "child": {"AXRole": "AXGroup"}, "bent": {"point": [1, 2, 3]},
    "self": {"ref": "win"}, "dangling": {"ref": "nowhere"}
  })")));
  Element win = windowOf(t);
  struct Case { const char* attribute; std::string read; };
  for (const auto& [attribute, expected] : {
           Case{"text", "text hi"}, Case{"number", "other"}, Case{"flag", "other"}, Case{"none", "no value"},
           Case{"list", "list of 2"}, Case{"address", "url https://a.example/"}, Case{"box", "rect 1,4"},
           Case{"spot", "other"}, Case{"odd", "element #3"}, Case{"bent", "element #5"},  // no rect, no point
           Case{"failing", "error -25212"}, Case{"child", "element #4"}, Case{"self", "element win"},
           Case{"dangling", "error -25202"}, Case{"missing", "error -25205"}}) {
    EXPECT_EQ(described(read(t, win, attribute)), expected) << attribute;
  }
}

TEST(SimDesktopTest, ParentsApplicationsAndTrust) {
  TestDesktop t(withWindow(Json::parse(R"({"AXChildren": [{"id": "a"}, {"AXParent": null}]})")));
  Element win = windowOf(t);
  std::vector<Element> kids = children(t.desktop(), win);
  // Written in place, an element's parent is implied, unless it lists one.
  EXPECT_EQ(described(read(t, win, "AXParent")), "element app:7");
  EXPECT_EQ(described(read(t, kids[0], "AXParent")), "element #2");
  EXPECT_EQ(described(read(t, kids[1], "AXParent")), "no value");
  EXPECT_EQ(described(read(t, t.desktop().createApplicationElement(7), "AXParent")), "error -25205");
  EXPECT_EQ(described(read(t, t.desktop().createApplicationElement(99), "AXRole")), "error -25204");
  t.write(Json::parse(R"({"accessibilityTrusted": false, "applications": {"7": {"AXRole": "x"}}})"));
  EXPECT_FALSE(t.desktop().isProcessTrusted());
  EXPECT_EQ(described(read(t, t.desktop().createApplicationElement(7), "AXRole")), "error -25211");
}

TEST(SimDesktopTest, TraceNamesElementsByIdApplicationOrDocumentOrder) {
  DesktopFile t;
  t.write(withWindow(Json::parse(R"({"AXChildren": [{"id": "named\n\\line\u2028"}, {}]})")).dump());
  t.desktop().isProcessTrusted();
  Element win = windowOf(t);
  for (const Element& child : children(t.desktop(), win)) read(t, child, "AXRole");
  EXPECT_EQ(t.trace(),
            "AXIsProcessTrusted\nAXUIElementCreateApplication 7\n"
            "AXUIElementCopyAttributeValue app:7 AXFocusedWindow\n"
            "AXUIElementCopyAttributeValue #2 AXChildren\n"
            "AXUIElementCopyAttributeValue named\\n\\\\line\\xe2\\x80\\xa8 AXRole\n"
            "AXUIElementCopyAttributeValue #4 AXRole\n");
  // A name written twice keeps its first place and takes its last value.
  t.write(R"({"accessibilityTrusted": true,
      "applications": {"7": {"AXFocusedWindow": {"AXChildren": [{}, {}], "x": {}, "AXChildren": [{}]},
                             "AXFocusedWindow": {"AXTitle": "first", "AXChildren": [{}], "x": {"id": "x"},
                                 "a": 1, "b": 2, "c": 3, "d": 4, "e": 5, "f": 6, "AXTitle": "last"}}}})");
  t.desktop().isProcessTrusted();
  Element last = windowOf(t);
  read(t, children(t.desktop(), last)[0], "AXRole");
  EXPECT_TRUE(t.trace().ends_with("AXUIElementCopyAttributeValue #3 AXRole\n"));
  EXPECT_EQ(described(read(t, last, "AXTitle")), "text last");  // also past eight attributes
}

TEST(SimDesktopTest, FileIsReadAfreshAndABrokenOneIsTheEmptyDesktop) {
  DesktopFile t;
  auto trusted = [&](const std::string& text) {
    t.write(text);
    bool answer = t.desktop().isProcessTrusted();
    EXPECT_EQ(answer, t.desktop().frontmostApplication().has_value()) << text.substr(0, 80);
    return answer;
  };
  EXPECT_TRUE(trusted(R"({"accessibilityTrusted": true, "idleSeconds": 9.5, "frontmostApplication": {"processIdentifier": 3}})"));
  EXPECT_EQ(t.desktop().secondsSinceLastInput(), 9.5);
  for (const char* broken : {"", "{\"accessibilityTrusted\": true,", "[]", R"({"accessibilityTrusted": "yes"})"})
    EXPECT_FALSE(trusted(broken)) << broken;
  EXPECT_EQ(t.desktop().secondsSinceLastInput(), 0);
  std::filesystem::remove(t.path("desktop.json"));
  EXPECT_FALSE(t.desktop().isProcessTrusted());
  std::filesystem::create_directory(t.path("desktop.json"));
  EXPECT_FALSE(t.desktop().isProcessTrusted());
}

// Elements nest 10,000 deep, written in place or in lists, and arrays 2,000
// deep within an attribute; one more level is refused.
TEST(SimDocumentTest, NestingLimits) {
  auto nestedText = [](int levels, bool inLists) {
    std::string text = R"({"applications": {"7": )";
    for (int i = 1; i < levels; ++i) text += inLists ? R"({"AXChildren": [)" : R"({"w": )";
    text += "{}";
    for (int i = 1; i < levels; ++i) text += inLists ? "]}" : "}";
    return text + "}}";
  };
  for (bool inLists : {false, true}) {
    EXPECT_TRUE(parseSimDocument(nestedText(10000, inLists)));
    EXPECT_FALSE(parseSimDocument(nestedText(10001, inLists)));
    EXPECT_FALSE(parseSimDocument(nestedText(100000, inLists)));
  }
  auto arrays = [](int depth) {
    return R"({"applications": {"7": {"a": )" + std::string(depth, '[') + std::string(depth, ']') + "}}}";
  };
  EXPECT_TRUE(parseSimDocument(arrays(2000)));
  EXPECT_FALSE(parseSimDocument(arrays(2001)));
}

TEST(SimDocumentTest, WrongTypesAndProcessKeysRefuseTheFile) {
  for (const char* wrong : {
           R"({"applications": {"+5": {}}})", R"({"applications": {" 5": {}}})",
           R"({"applications": {"05": {}}})", R"({"applications": {"-0": {}}})",
           R"({"applications": {"2147483648": {}}})", R"({"applications": {"5x": {}}})",
           R"({"accessibilityTrusted": [true]})", R"({"accessibilityTrusted": {"x": true}})",
           R"({"idleSeconds": [1]})", R"({"observedAt": {"observedAt": 5}})",
           R"({"idleSeconds": "1"})", R"({"frontmostApplication": {"bundleIdentifier": "x"}})",
           R"({"frontmostApplication": {"processIdentifier": 4294967296}})",
           R"({"frontmostApplication": {"processIdentifier": 5, "localizedName": ["X"]}})",
           R"({"frontmostApplication": {"processIdentifier": [5]}})",
           R"({"frontmostApplication": {"processIdentifier": 5, "bundleIdentifier": ["a", "b"]}})",
           R"({"applications": {"7": {"id": ["a"]}}})", R"({"applications": [{"7": {}}]})"}) {
    EXPECT_FALSE(parseSimDocument(wrong)) << wrong;
  }
  SimDocumentResult document = parseSimDocument(R"({"applications": {"0": {}, "-5": {}, "2147483647": {}}})");
  ASSERT_TRUE(document);
  EXPECT_EQ((*document)->applications.size(), 3u);
}

// Keys the format does not know change nothing, whatever they hold: not
// even values that look like the format's own.
TEST(SimDocumentTest, UnknownKeysChangeNothingWhateverTheyHold) {
  for (const char* demo : {"plain", "nerrit", "browser-document", "untrusted"}) {
    Json desktop = Json::parse(std::ifstream(std::string(DEMO_DIR) + "/" + demo + ".json"));
    desktop["observedAt"] = 1.5;  // the clocks as the file sets them
    desktop["uptime"] = 2.5;
    const Json values[] = {
        nullptr, true, -1, "com.x.nerrit", Json::array(), Json::object(),
        {{"accessibilityTrusted", !desktop["accessibilityTrusted"]}, {"idleSeconds", 42},
         {"observedAt", 5}, {"uptime", 6}},
        {{"bundleIdentifier", "com.x.nerrit"}, {"localizedName", "X"}, {"processIdentifier", 5}},
        Json::array({{{"accessibilityTrusted", true}}, Json::array({true, 5, "com.x.nerrit"})}),
        {{"frontmostApplication", {{"processIdentifier", 1}}}, {"applications", {{"1", {{"id", 1}}}}}},
        nested({{"id", Json::array({"a"})}, {"AXParent", {{"ref", "x"}}}}, 30),
        desktop};
    const std::string expected = sample(inMemory(desktop));
    for (const Json& value : values) {
      for (const char* place : {"", "frontmostApplication"}) {
        Json changed = desktop;
        (*place ? changed[place] : changed)["extra"] = value;
        EXPECT_EQ(sample(inMemory(changed)), expected)
            << (*place ? place : "top level") << ": " << value.dump().substr(0, 200);
      }
    }
  }
}

}  // namespace
}  // namespace focuswatch
