// The cost of one event line for the workspace application when both
// window walks exhaust their 2500-element budget: time per line and
// accessibility reads per line.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "focuswatch/browser_config.h"
#include "focuswatch/desktop_file/document.h"
#include "focuswatch/event_record.h"
#include "focuswatch/recorder.h"
#include "focuswatch/sim/desktop_sim.h"

namespace {

using namespace focuswatch;

// Forwards to the simulated desktop and counts the accessibility reads.
class CountingDesktop : public SimDesktop {
 public:
  using SimDesktop::SimDesktop;
  AttributeRead copyAttributeValue(const Element& element, std::string_view name) override {
    ++reads;
    return SimDesktop::copyAttributeValue(element, name);
  }
  size_t reads = 0;
};

// A window of 50 groups with 60 leaves each: 3051 elements, none a tab
// strip or a worktree row, so both walks stop at their budget.
std::string writeBudgetDesktop() {
  nlohmann::json groups = nlohmann::json::array();
  for (int g = 0; g < 50; ++g) {
    nlohmann::json leaves = nlohmann::json::array();
    for (int l = 0; l < 60; ++l)
      leaves.push_back(
          {{"AXRole", "AXStaticText"}, {"AXDOMClassList", {"text-sm", "truncate"}}, {"AXValue", "line"}});
    groups.push_back(
        {{"AXRole", "AXGroup"}, {"AXDOMClassList", {"flex", "flex-col"}}, {"AXChildren", leaves}});
  }
  nlohmann::json desktop = {
      {"accessibilityTrusted", true},
      {"frontmostApplication",
       {{"bundleIdentifier", "com.example.nerrit"}, {"localizedName", "Nerrit"}, {"processIdentifier", 501}}},
      {"applications",
       {{"501",
         {{"AXFocusedWindow",
           {{"AXRole", "AXWindow"}, {"AXTitle", "main — repo"}, {"AXChildren", groups}}}}}}}};
  std::string path = std::filesystem::temp_directory_path() / "focuswatch-bench-desktop.json";
  std::ofstream(path) << desktop.dump();
  return path;
}

void BM_EmitWorkspaceWindowAtBudget(benchmark::State& state) {
  std::string path = writeBudgetDesktop();
  CountingDesktop desktop(SimPaths{path, ""});
  const BrowserConfiguration config = buildBrowserConfiguration({"focuswatch"});
  desktop.isProcessTrusted();
  std::optional<std::string> line = eventLine(desktop, config, "activity");  // warm up
  size_t lines = 0;
  desktop.reads = 0;
  for (auto _ : state) {
    line = eventLine(desktop, config, "activity");
    benchmark::DoNotOptimize(line);
    ++lines;
  }
  state.counters["reads_per_line"] = static_cast<double>(desktop.reads) / static_cast<double>(lines);
  std::filesystem::remove(path);
}
BENCHMARK(BM_EmitWorkspaceWindowAtBudget)->Unit(benchmark::kMicrosecond);

// The same line with FOCUSWATCH_RECORD set: every answer remembered, and
// the sample's file written after it.
void BM_EmitRecordedWorkspaceWindowAtBudget(benchmark::State& state) {
  std::string path = writeBudgetDesktop(), record = path + ".record";
  std::unique_ptr<Desktop> desktop =
      recordingDesktop(std::make_unique<SimDesktop>(SimPaths{path, ""}), record);
  const BrowserConfiguration config = buildBrowserConfiguration({"focuswatch"});
  for (auto _ : state) {
    std::optional<std::string> line = eventLine(*desktop, config, "activity");
    desktop->sampleTaken();
    benchmark::DoNotOptimize(line);
  }
  state.counters["record_bytes"] = static_cast<double>(std::filesystem::file_size(record));
  std::filesystem::remove(path);
  std::filesystem::remove(record);
}
BENCHMARK(BM_EmitRecordedWorkspaceWindowAtBudget)->Unit(benchmark::kMicrosecond);

// The simulated desktop's share of each line: reading the file afresh.
void BM_ReadDesktopFile(benchmark::State& state) {
  std::string path = writeBudgetDesktop();
  for (auto _ : state) benchmark::DoNotOptimize(loadSimDocument(path));
  std::filesystem::remove(path);
}
BENCHMARK(BM_ReadDesktopFile)->Unit(benchmark::kMicrosecond);

// One element of `keys` attributes under a key the probe ignores and under
// an element: reading stays linear in the file.
void BM_ParseWideObject(benchmark::State& state) {
  std::string pairs;
  for (int64_t i = 0; i < state.range(0); ++i) pairs += "\"k" + std::to_string(i) + "\": 1,";
  pairs.pop_back();
  std::string text = R"({"ignored": {)" + pairs + R"(}, "applications": {"7": {)" + pairs + "}}}";
  for (auto _ : state) benchmark::DoNotOptimize(parseSimDocument(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseWideObject)->Arg(10'000)->Arg(50'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
