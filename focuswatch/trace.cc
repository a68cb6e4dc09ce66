#include "focuswatch/trace.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include "common/io.h"
#include "common/one_line.h"
#include "common/unique_fd.h"
#include "focuswatch/forwarding_desktop.h"

namespace focuswatch {

namespace {

class TracingDesktop : public ForwardingDesktop {
 public:
  TracingDesktop(std::unique_ptr<Desktop> inner, TraceSink sink)
      : ForwardingDesktop(std::move(inner)), sink_(std::move(sink)) {}

  // Told once the question is answered: on the simulated desktop that is
  // once the file of the sample has been read.
  bool isProcessTrusted() override {
    bool trusted = inner().isProcessTrusted();
    sink_("AXIsProcessTrusted");
    return trusted;
  }
  std::optional<RunningApplication> frontmostApplication() override {
    sink_("frontmostApplication");
    return inner().frontmostApplication();
  }
  double secondsSinceLastInput() override {
    sink_("CGEventSourceSecondsSinceLastEventType");
    return inner().secondsSinceLastInput();
  }
  Element createApplicationElement(int32_t processIdentifier) override {
    sink_("AXUIElementCreateApplication " + std::to_string(processIdentifier));
    return inner().createApplicationElement(processIdentifier);
  }
  AttributeRead copyAttributeValue(const Element& element, std::string_view attribute) override {
    std::string line = "AXUIElementCopyAttributeValue " + inner().traceName(element);
    line += ' ';
    line += attribute;
    sink_(line);
    return inner().copyAttributeValue(element, attribute);
  }

 private:
  TraceSink sink_;
};

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

class TraceFile {
 public:
  explicit TraceFile(const std::string& path) {
    // Without waiting, so that a pipe nobody reads is refused (ENXIO)
    // instead of holding the probe before its first line.
    fd_.reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644));
    struct stat status;
    stream_ = fd_ && ::fstat(fd_.get(), &status) == 0 && !S_ISREG(status.st_mode);
  }

  void write(std::string_view line) {
    if (!fd_) return;
    // A name from the desktop file may hold a line break of any kind;
    // escaped, one call stays one line, and it decodes back to one name.
    std::string whole = vantrel::oneLine(line, vantrel::Escaping::kReversible);
    whole += '\n';
    // One write, so lines never interleave. A trace is a diagnostic: a
    // line that a full disk cannot take is lost, and a stream that cannot
    // take one ends the trace, never the probe.
    if (!stream_) {
      (void)vantrel::writeAll(fd_.get(), whole);
    } else if (!writeToStream(fd_.get(), whole)) {
      fd_.reset();
    }
  }

 private:
  vantrel::UniqueFd fd_;
  bool stream_ = false;  // a pipe, socket or device, not a regular file
};

}  // namespace

std::unique_ptr<Desktop> tracingDesktop(std::unique_ptr<Desktop> desktop, TraceSink sink) {
  return std::make_unique<TracingDesktop>(std::move(desktop), std::move(sink));
}

TraceSink traceFile(const std::string& path) {
  auto file = std::make_shared<TraceFile>(path);
  return [file](std::string_view line) { file->write(line); };
}

}  // namespace focuswatch
