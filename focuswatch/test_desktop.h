// A simulated desktop for unit tests, held in memory: its document parsed
// from a JSON value, and the platform calls it serves logged, to be
// counted. Beside it, the tree shapes that the limit tests share.
#ifndef FOCUSWATCH_TEST_DESKTOP_H_
#define FOCUSWATCH_TEST_DESKTOP_H_

#include <algorithm>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "focuswatch/desktop_file/document.h"
#include "focuswatch/event_record.h"
#include "focuswatch/recorder.h"
#include "focuswatch/sim/desktop_sim.h"
#include "focuswatch/trace.h"

namespace focuswatch {

using Json = nlohmann::ordered_json;

// The document of `desktop`; a test desktop that the file format refuses
// fails the test, which goes on with the empty desktop.
inline std::shared_ptr<const SimDocument> documentOf(const Json& desktop) {
  SimDocumentResult document = parseSimDocument(desktop.dump());
  if (document) return *document;
  ADD_FAILURE() << "refused test desktop: " << document.error();
  return std::make_shared<SimDocument>();
}

class TestDesktop {
 public:
  explicit TestDesktop(const Json& desktop) {
    write(desktop);
    desktop_ = tracingDesktop(std::make_unique<SimDesktop>(SimPaths{}, [this] { return document_; }),
                              [this](std::string_view line) { trace_.emplace_back(line); });
    desktop_->isProcessTrusted();  // reads the document, as every sample does
    clearTrace();
  }
  TestDesktop(const TestDesktop&) = delete;

  Desktop& desktop() { return *desktop_; }
  // The document of the samples to come.
  void write(const Json& desktop) { document_ = documentOf(desktop); }
  void clearTrace() { trace_.clear(); }

  // Reads of `attribute` (of any, when empty) since the last clearTrace().
  size_t readsOf(const std::string& attribute = "") const {
    return std::count_if(trace_.begin(), trace_.end(), [&](const std::string& l) {
      return l.starts_with("AXUIElementCopyAttributeValue ") &&
             (attribute.empty() || l.ends_with(" " + attribute));
    });
  }

 private:
  std::shared_ptr<const SimDocument> document_;
  std::vector<std::string> trace_;
  std::unique_ptr<Desktop> desktop_;
};

// The simulated desktop of `desktop`, held in memory.
inline std::unique_ptr<Desktop> inMemory(const Json& desktop) {
  std::shared_ptr<const SimDocument> document = documentOf(desktop);
  return std::make_unique<SimDesktop>(SimPaths{}, [document] { return document; });
}

// One whole sample of `desktop` (recorded to `record` when given): its
// line, then its trace; with `renamed`, elements are named in the order
// they first appear.
inline std::string sample(std::unique_ptr<Desktop> desktop, const std::string& record = "",
                          bool renamed = false) {
  static const BrowserConfiguration kTracking = buildBrowserConfiguration(
      {"focuswatch", "--browser-tracking", "--browser-bundle=com.example.nerrit"});
  std::vector<std::string> trace;  // outlives the desktop that logs into it
  std::unique_ptr<Desktop> traced =
      tracingDesktop(std::move(desktop), [&](std::string_view line) { trace.emplace_back(line); });
  if (!record.empty()) traced = recordingDesktop(std::move(traced), record);
  std::string sample = eventLine(*traced, kTracking, "activity").value_or("(dropped)");
  traced->sampleTaken();
  std::map<std::string, size_t> names;
  for (std::string& line : trace) {
    size_t name = line.find(' ') + 1, length = line.rfind(' ') - name;
    if (renamed && line.starts_with("AXUIElementCopyAttributeValue ")) {
      size_t number = names.try_emplace(line.substr(name, length), names.size()).first->second;
      line.replace(name, length, "#" + std::to_string(number));
    }
    sample += "\n" + line;
  }
  return sample;
}

inline RunningApplication application(int32_t pid, std::string bundle = "com.example.nerrit") {
  return RunningApplication{bundle, "App", pid};
}

// A desktop whose application 7 has `window` as its focused window.
inline Json withWindow(Json window, Json focused = nullptr) {
  Json app = {{"AXFocusedWindow", std::move(window)}};
  if (!focused.is_null()) app["AXFocusedUIElement"] = std::move(focused);
  return {{"accessibilityTrusted", true},
          {"frontmostApplication",
           {{"bundleIdentifier", "com.example.nerrit"}, {"processIdentifier", 7}}},
          {"applications", {{"7", std::move(app)}}}};
}

// `inner` wrapped in `levels` elements, each its parent's only child.
inline Json nested(Json inner, int levels) {
  for (int i = 0; i < levels; ++i) inner = {{"AXChildren", {std::move(inner)}}};
  return inner;
}

// An element whose children are `fillers` copies of `filler`, then `last`.
inline Json after(int fillers, const Json& last, const Json& filler = {{"AXRole", "AXGroup"}}) {
  Json children(fillers, filler);
  children.push_back(last);
  return {{"AXChildren", std::move(children)}};
}

// An element that lists itself `fanOut` times: endless paths within any
// depth, for the bounds that hostile trees must meet.
inline Json selfLoop(int fanOut, Json element = Json::object()) {
  element["id"] = "loop";
  element["AXChildren"] = Json(fanOut, {{"ref", "loop"}});
  return element;
}

// The workspace's tab strips: a selected tab with its label, and a strip
// of tabs with its frame.
inline Json rect(double x, double y, double w, double h) { return {{"rect", {x, y, w, h}}}; }
inline Json selectedTab(const std::string& label) {
  return {{"AXDOMClassList", {"border-t", "cursor-pointer", "bg-[color-mix(in_srgb,red)]"}},
          {"AXChildren", {{{"AXRole", "AXStaticText"}, {"AXValue", label}}}}};
}
inline Json strip(Json frame, Json tabs) {
  return {{"AXDOMClassList", {"group/tab-strip"}}, {"AXFrame", frame}, {"AXChildren", tabs}};
}
inline Json strip(Json tabs) { return strip(rect(0, 0, 1, 1), tabs); }

// A walk's bound: `found` holds on the desktop `tree(limit)` and fails on
// `tree(limit + 1)`, which costs `reads` reads of `counted` when given.
inline void expectBound(const std::function<Json(int)>& tree, int limit,
                        const std::function<bool(TestDesktop&)>& found, const std::string& counted = "",
                        size_t reads = 0) {
  TestDesktop at(tree(limit)), past(tree(limit + 1));
  EXPECT_TRUE(found(at)) << "at the limit, " << limit;
  EXPECT_FALSE(found(past)) << "past the limit, " << limit + 1;
  if (reads) { EXPECT_EQ(past.readsOf(counted), reads); }
}

}  // namespace focuswatch

#endif  // FOCUSWATCH_TEST_DESKTOP_H_
