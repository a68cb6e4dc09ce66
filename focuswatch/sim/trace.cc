#include "focuswatch/sim/trace.h"

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

#include "common/io.h"

namespace focuswatch {

TraceFile::TraceFile(const std::string& path) {
  if (!path.empty()) fd_.reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
}

void TraceFile::line(std::string_view text) {
  if (!fd_) return;
  // A name from the desktop file may hold a line feed; escaped, one call
  // stays one line.
  static constexpr char kHex[] = "0123456789abcdef";
  std::string whole;
  whole.reserve(text.size() + 1);
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      whole += c;
    } else if (c == '\n') {
      whole += "\\n";
    } else {
      whole += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
    }
  }
  whole += '\n';
  vantrel::writeAll(fd_.get(), whole);  // one write, so lines never interleave
}

void TraceFile::attributeRead(std::string_view element, std::string_view attribute) {
  std::string text = "AXUIElementCopyAttributeValue ";
  text += element;
  text += ' ';
  text += attribute;
  line(text);
}

double wallClockSeconds() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

double uptimeSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace focuswatch
