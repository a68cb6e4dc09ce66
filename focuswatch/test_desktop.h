// A simulated desktop for unit tests: the desktop file is written from a
// JSON value, and the trace is read back to count platform calls. Beside it,
// the tree shapes that the limit tests share.
#ifndef FOCUSWATCH_TEST_DESKTOP_H_
#define FOCUSWATCH_TEST_DESKTOP_H_

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "focuswatch/event_record.h"
#include "focuswatch/recorder.h"
#include "focuswatch/sim/desktop_sim.h"
#include "focuswatch/trace.h"

namespace focuswatch {

using Json = nlohmann::ordered_json;

class TestDesktop {
 public:
  explicit TestDesktop(const Json& desktop) {
    char pattern[] = "/tmp/focuswatch-test-XXXXXX";
    directory_ = ::mkdtemp(pattern);
    write(desktop);
    sim_ = tracingDesktop(std::make_unique<SimDesktop>(SimPaths{file("desktop.json"), ""}), traceFile(file("trace")));
    sim_->isProcessTrusted();  // reads the file, as every sample does
    clearTrace();
  }
  // Every test desktop is also recorded and replayed from its record: the
  // same line, and the same reads in the same order.
  ~TestDesktop() {
    std::string recorded = sample(file("desktop.json"), file("record.json"), true);
    EXPECT_EQ(sample(file("record.json"), "", true), recorded);
    std::filesystem::remove_all(directory_);
  }

  Desktop& desktop() { return *sim_; }
  std::string file(const std::string& name) const { return directory_ + "/" + name; }
  void write(const Json& desktop) { std::ofstream(file("desktop.json")) << desktop.dump(); }

  std::vector<std::string> trace() const {
    std::ifstream in(file("trace"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void clearTrace() { std::ofstream(file("trace"), std::ios::trunc); }

  // Reads of `attribute` (of any, when empty) since the last clearTrace().
  size_t readsOf(const std::string& attribute = "") const {
    auto lines = trace();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return l.starts_with("AXUIElementCopyAttributeValue ") &&
             (attribute.empty() || l.ends_with(" " + attribute));
    });
  }
  size_t reads() const { return readsOf(); }

  // One whole sample of the desktop file `desktop` (recorded to `record`
  // when given): its line, then its trace; with `renamed`, elements are
  // named in the order they first appear.
  std::string sample(const std::string& desktop, const std::string& record = "", bool renamed = false) {
    static const BrowserConfiguration kTracking = buildBrowserConfiguration(
        {"focuswatch", "--browser-tracking", "--browser-bundle=com.example.nerrit"});
    std::unique_ptr<Desktop> sim =
        tracingDesktop(std::make_unique<SimDesktop>(SimPaths{desktop, ""}), traceFile(file("sample-trace")));
    if (!record.empty()) sim = recordingDesktop(std::move(sim), record);
    std::string sample = eventLine(*sim, kTracking, "activity").value_or("(dropped)");
    sim->sampleTaken();
    std::ifstream in(file("sample-trace"));
    std::map<std::string, size_t> names;
    for (std::string line; std::getline(in, line); sample += "\n" + line) {
      size_t name = line.find(' ') + 1, length = line.rfind(' ') - name;
      if (renamed && line.starts_with("AXUIElementCopyAttributeValue "))
        line.replace(name, length, "#" + std::to_string(names.try_emplace(line.substr(name, length), names.size()).first->second));
    }
    std::ofstream(file("sample-trace"), std::ios::trunc);
    return sample;
  }
 private:
  std::string directory_;
  std::unique_ptr<Desktop> sim_;
};

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
