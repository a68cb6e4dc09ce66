#include "focuswatch/sim/desktop_sim.h"

#include <errno.h>
#include <poll.h>

#include <algorithm>
#include <chrono>

#include "focuswatch/clocks.h"
#include "focuswatch/desktop_file/document.h"
#include "focuswatch/sim/notify_pipe.h"

namespace focuswatch {

namespace {

// How often a watched notification path is looked at for a new pipe: the
// longest a writer to a pipe made after the probe started waits.
constexpr std::chrono::milliseconds kLookForPipe(500);

std::shared_ptr<const SimDocument> emptyDocument() { return std::make_shared<SimDocument>(); }

std::optional<WorkspaceNotification> notificationNamed(std::string_view line) {
  if (line == "NSWorkspaceDidActivateApplicationNotification")
    return WorkspaceNotification::kDidActivateApplication;
  if (line == "NSWorkspaceWillSleepNotification") return WorkspaceNotification::kWillSleep;
  if (line == "NSWorkspaceDidWakeNotification") return WorkspaceNotification::kDidWake;
  return std::nullopt;
}

}  // namespace

SimDesktop::SimDesktop(SimPaths paths, SimSource source)
    : paths_(std::move(paths)), source_(std::move(source)), document_(emptyDocument()) {
  if (!source_) source_ = [path = paths_.desktop] { return loadSimDocument(path); };
}

bool SimDesktop::isProcessTrusted() {
  document_ = emptyDocument();  // the old one goes before the new one is read
  document_ = source_();
  return document_->trusted;
}

std::optional<RunningApplication> SimDesktop::frontmostApplication() { return document_->frontmost; }

double SimDesktop::currentTime() { return document_->observedAt.value_or(wallClockSeconds()); }

double SimDesktop::systemUptime() { return document_->uptime.value_or(uptimeSeconds()); }

double SimDesktop::secondsSinceLastInput() { return document_->idleSeconds; }

Element SimDesktop::createApplicationElement(int32_t processIdentifier) {
  auto found = document_->applications.find(processIdentifier);
  if (found != document_->applications.end())
    return Element(std::shared_ptr<const void>(document_, found->second));
  auto unreachable = std::make_shared<SimElement>();
  unreachable->isApplication = true;
  unreachable->process = processIdentifier;
  unreachable->unreachable = true;
  return Element(std::move(unreachable));
}

namespace {

// Converts a stored value into what the read returns; false when it names
// an element that the file does not hold.
bool convert(const SimValue& stored, const std::shared_ptr<const SimDocument>& owner,
             std::optional<Value>& out) {
  using Kind = SimValue::Kind;
  auto elementValue = [&](const SimElement* element) {
    out = Value{Element(std::shared_ptr<const void>(owner, element))};
  };
  switch (stored.kind) {
    case Kind::kString: out = Value{stored.text()}; return true;
    case Kind::kUrl: out = Value{Url{stored.text()}}; return true;
    case Kind::kRect: out = Value{AxValue{std::get<Rect>(stored.payload)}}; return true;
    case Kind::kElement: elementValue(stored.element()); return true;
    case Kind::kRef:
      if (!stored.element()) return false;
      elementValue(stored.element());
      return true;
    case Kind::kArray: {
      ValueList items;
      items.reserve(stored.items().size());
      for (const SimValue& item : stored.items()) {
        std::optional<Value> converted;
        if (!convert(item, owner, converted)) return false;
        items.push_back(converted ? std::move(*converted) : Value{OtherValue{}});
      }
      out = Value{std::move(items)};
      return true;
    }
    case Kind::kNull: out.reset(); return true;
    case Kind::kError:
    case Kind::kNumber:
    case Kind::kOther: out = Value{OtherValue{}}; return true;
  }
  return true;
}

}  // namespace

AttributeRead SimDesktop::copyAttributeValue(const Element& element, std::string_view attribute) {
  auto* node = static_cast<const SimElement*>(element.get());
  if (!document_->trusted) return {kAXErrorAPIDisabled, std::nullopt};
  if (!node) return {kAXErrorIllegalArgument, std::nullopt};
  if (node->unreachable) return {kAXErrorCannotComplete, std::nullopt};

  // The element's own document, which may be older than the current one.
  std::shared_ptr<const SimDocument> owner = node->document->shared_from_this();
  const SimValue* stored = node->attribute(attribute);
  if (!stored) {
    if (attribute == "AXParent" && node->parent)
      return {kAXErrorSuccess, Value{Element(std::shared_ptr<const void>(owner, node->parent))}};
    return {kAXErrorAttributeUnsupported, std::nullopt};
  }
  if (stored->kind == SimValue::Kind::kError) return {*stored->integer, std::nullopt};
  AttributeRead read;
  if (!convert(*stored, owner, read.value)) return {kAXErrorInvalidUIElement, std::nullopt};
  return read;
}

namespace {

// The element's number in its document, or minus its process for an
// application the file does not describe; 0 for no element.
int64_t identity(const Element& element) {
  auto* node = static_cast<const SimElement*>(element.get());
  if (!node) return 0;
  return node->unreachable ? -int64_t{node->process} - 1 : node->number;
}

}  // namespace

bool SimDesktop::sameElement(const Element& a, const Element& b) { return identity(a) == identity(b); }

size_t SimDesktop::elementHash(const Element& element) { return std::hash<int64_t>()(identity(element)); }

std::string SimDesktop::traceName(const Element& element) {
  auto* node = static_cast<const SimElement*>(element.get());
  return node ? node->traceName() : "?";
}

Desktop::Token SimDesktop::addObserver(WorkspaceNotification name, Block block) {
  return observers_.add(name, std::move(block));
}

void SimDesktop::removeObserver(Token token) { observers_.remove(token); }

Desktop::Token SimDesktop::scheduleRepeatingTimer(double interval, Block block) {
  auto period =
      std::chrono::duration_cast<TimerQueue::Clock::duration>(std::chrono::duration<double>(interval));
  return timers_.add(period, std::move(block), TimerQueue::Clock::now());
}

void SimDesktop::invalidateTimer(Token token) { timers_.remove(token); }

void SimDesktop::stopMainRunLoop() { stopped_ = true; }

void SimDesktop::post(std::string_view line) {
  if (std::optional<WorkspaceNotification> name = notificationNamed(line)) observers_.post(*name);
}

void SimDesktop::runMainRunLoop() {
  using namespace std::chrono;
  using Clock = TimerQueue::Clock;
  NotifyPipe pipe(paths_.notify);
  Clock::time_point nextLook = Clock::now() + kLookForPipe;
  stopped_ = false;
  while (!stopped_ && (!timers_.empty() || (pipe.watching() && !observers_.empty()))) {
    // A turn reads at most one buffer and posts its lines until a timer is
    // due, then serves the timers, as a run loop does: a pipe that never
    // runs dry cannot stop the timer. Between turns the path is looked at
    // now and then, for a pipe made or made again.
    Clock::time_point now = Clock::now();
    if (pipe.watching() && now >= nextLook) {
      pipe.follow();
      nextLook = now + kLookForPipe;
    }
    bool pending = pipe.lines().pending();
    std::optional<Clock::duration> wait = timers_.untilNext(now);
    if (pipe.watching()) wait = std::min(wait.value_or(Clock::duration::max()), nextLook - now);
    int timeout = -1;
    if (pending) {
      timeout = 0;
    } else if (wait) {
      auto ms = duration_cast<milliseconds>(*wait) + milliseconds(1);
      timeout = static_cast<int>(std::clamp<milliseconds::rep>(ms.count(), 0, 60'000));
    }
    pollfd fds{pending ? -1 : pipe.fd(), POLLIN, 0};
    int ready = ::poll(&fds, pipe ? 1 : 0, timeout);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0 && (fds.revents & (POLLIN | POLLHUP))) pipe.read();
    while (std::optional<std::string> line = pipe.lines().next()) {
      post(*line);
      if (stopped_ || timers_.untilNext(Clock::now()) == Clock::duration::zero()) break;
    }
    if (!stopped_) timers_.fireDue(Clock::now());
  }
}

}  // namespace focuswatch
