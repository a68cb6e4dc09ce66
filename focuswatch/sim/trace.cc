#include "focuswatch/sim/trace.h"

#include <fcntl.h>
#include <time.h>

#include <chrono>

#include "common/io.h"
#include "common/one_line.h"

namespace focuswatch {

TraceFile::TraceFile(const std::string& path) {
  if (!path.empty()) fd_.reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
}

void TraceFile::line(std::string_view text) {
  if (!fd_) return;
  // A name from the desktop file may hold a line break of any kind;
  // escaped, one call stays one line, and it decodes back to one name.
  std::string whole = vantrel::oneLine(text, vantrel::Escaping::kReversible);
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
