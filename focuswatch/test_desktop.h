// A simulated desktop for unit tests: the desktop file is written from a
// JSON value, and the trace is read back to count platform calls.
#ifndef FOCUSWATCH_TEST_DESKTOP_H_
#define FOCUSWATCH_TEST_DESKTOP_H_

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "focuswatch/desktop_sim.h"

namespace focuswatch {

class TestDesktop {
 public:
  explicit TestDesktop(const nlohmann::ordered_json& desktop) {
    char pattern[] = "/tmp/focuswatch-test-XXXXXX";
    directory_ = ::mkdtemp(pattern);
    write(desktop);
    sim_ = std::make_unique<SimDesktop>(SimPaths{file("desktop.json"), file("trace"), ""});
    sim_->isProcessTrusted();  // reads the file, as every sample does
    clearTrace();
  }
  ~TestDesktop() { std::filesystem::remove_all(directory_); }

  SimDesktop& desktop() { return *sim_; }
  std::string file(const std::string& name) const { return directory_ + "/" + name; }

  void write(const nlohmann::ordered_json& desktop) {
    std::ofstream(file("desktop.json")) << desktop.dump();
  }

  std::vector<std::string> trace() const {
    std::ifstream in(file("trace"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void clearTrace() { std::ofstream(file("trace"), std::ios::trunc); }

  // Accessibility reads served since the last clearTrace().
  size_t reads() const { return readsOf(""); }
  // Reads of one attribute, for instance "AXFrame".
  size_t readsOf(const std::string& attribute) const {
    auto lines = trace();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return l.starts_with("AXUIElementCopyAttributeValue ") &&
             (attribute.empty() || l.ends_with(" " + attribute));
    });
  }
  bool traced(const std::string& line) const {
    auto lines = trace();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

 private:
  std::string directory_;
  std::unique_ptr<SimDesktop> sim_;
};

// The frontmost application of a test desktop.
inline RunningApplication application(int32_t pid, std::string bundle = "com.example.nerrit") {
  return RunningApplication{bundle, "App", pid};
}

// A desktop whose application 7 has `window` as its focused window.
inline nlohmann::ordered_json withWindow(nlohmann::ordered_json window,
                                         nlohmann::ordered_json focused = nullptr) {
  nlohmann::ordered_json app = {{"AXFocusedWindow", std::move(window)}};
  if (!focused.is_null()) app["AXFocusedUIElement"] = std::move(focused);
  return {{"accessibilityTrusted", true},
          {"frontmostApplication",
           {{"bundleIdentifier", "com.example.nerrit"}, {"processIdentifier", 7}}},
          {"applications", {{"7", std::move(app)}}}};
}

}  // namespace focuswatch

#endif  // FOCUSWATCH_TEST_DESKTOP_H_
