// libFuzzer target for the simulated desktop: the input is a desktop file,
// and one whole sample is taken on it. The line must be one valid JSON
// object, and a key that the format ignores, added at the top level with
// the whole file as its value, must change neither the line nor the trace.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "focuswatch/browser_config.h"
#include "focuswatch/desktop_file/document.h"
#include "focuswatch/event_record.h"
#include "focuswatch/sim/desktop_sim.h"
#include "focuswatch/trace.h"

namespace {

using namespace focuswatch;

void check(bool condition) {
  if (!condition) std::abort();
}

std::string folder() {
  static const std::string path = [] {
    char pattern[] = "/tmp/desktop-fuzzer-XXXXXX";
    return std::string(::mkdtemp(pattern));
  }();
  return path;
}

// The line and the trace of one sample on `text`; the clocks are left out
// of the line unless the file sets them.
std::string sample(std::string_view text) {
  static const BrowserConfiguration kTracking =
      buildBrowserConfiguration({"focuswatch", "--browser-tracking"});
  const std::string desktop = folder() + "/desktop.json", trace = folder() + "/trace";
  std::ofstream(desktop, std::ios::trunc | std::ios::binary).write(text.data(), text.size());
  std::ofstream(trace, std::ios::trunc);
  std::optional<std::string> line;
  {
    std::unique_ptr<Desktop> sim =
        tracingDesktop(std::make_unique<SimDesktop>(SimPaths{desktop, ""}), traceFile(trace));
    line = eventLine(*sim, kTracking, "activity");
  }
  check(line.has_value() && line->find('\n') == std::string::npos);
  nlohmann::ordered_json record = nlohmann::ordered_json::parse(*line);  // throws when not JSON
  check(record.is_object());
  SimDocumentResult document = parseSimDocument(text);
  if (!document || !(*document)->observedAt) record.erase("observedAt");
  if (!document || !(*document)->uptime) record.erase("uptime");
  std::ifstream calls(trace, std::ios::binary);
  return record.dump() + "\n" + std::string(std::istreambuf_iterator<char>(calls), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (size > (1 << 16)) return 0;
  std::string plain = sample(text);

  size_t open = text.find_first_not_of(" \t\r\n");
  if (open == std::string_view::npos || text[open] != '{') return 0;
  size_t next = text.find_first_not_of(" \t\r\n", open + 1);
  bool empty = next != std::string_view::npos && text[next] == '}';
  std::string extended(text.substr(0, open + 1));
  extended += "\"extra\": ";
  extended += text;
  extended += empty ? "" : ", ";
  extended += text.substr(open + 1);
  check(sample(extended) == plain);
  return 0;
}
