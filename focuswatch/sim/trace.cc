#include "focuswatch/sim/trace.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>

#include <chrono>

#include "common/io.h"
#include "common/one_line.h"

namespace focuswatch {

namespace {

// How long a pipe's reader may take no byte before the trace gives up on it.
constexpr int kStalledReaderMs = 1000;

// Writes `text` to a pipe, socket or terminal, which a reader may leave
// full or close: a reader gone fails the write with EPIPE instead of ending
// the probe, and one that takes nothing for a while fails it too. Whether
// every byte went.
bool writeToStream(int fd, std::string_view text) {
  sigset_t pipeSignal, before, pending;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
  int error = vantrel::writeAll(fd, text, kStalledReaderMs);
  // The SIGPIPE that the failed write raised is taken back, unless one was
  // held back before (and so may not be ours).
  if (error == EPIPE && !sigismember(&before, SIGPIPE) && ::sigpending(&pending) == 0 &&
      sigismember(&pending, SIGPIPE)) {
    int taken;
    ::sigwait(&pipeSignal, &taken);
  }
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return error == 0;
}

}  // namespace

TraceFile::TraceFile(const std::string& path) {
  if (path.empty()) return;
  // Without waiting, so that a pipe nobody reads is refused (ENXIO) instead
  // of holding the probe before its first line.
  fd_.reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644));
  struct stat status;
  stream_ = fd_ && ::fstat(fd_.get(), &status) == 0 && !S_ISREG(status.st_mode);
}

void TraceFile::line(std::string_view text) {
  if (!fd_) return;
  // A name from the desktop file may hold a line break of any kind;
  // escaped, one call stays one line, and it decodes back to one name.
  std::string whole = vantrel::oneLine(text, vantrel::Escaping::kReversible);
  whole += '\n';
  // One write, so lines never interleave. A trace is a diagnostic: a
  // stream that cannot take a line ends the trace, never the probe.
  if (!stream_) {
    vantrel::writeAll(fd_.get(), whole);
  } else if (!writeToStream(fd_.get(), whole)) {
    fd_.reset();
  }
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
