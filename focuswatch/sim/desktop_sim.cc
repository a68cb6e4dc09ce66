#include "focuswatch/sim/desktop_sim.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "common/unique_fd.h"
#include "focuswatch/sim/sim_document.h"

namespace focuswatch {

namespace {

// A notification line longer than this is not a notification.
constexpr size_t kLongestNotifyLine = 4096;
// Notification text read in one turn of the run loop; the timer is served
// between turns, however busy the pipe.
constexpr size_t kNotifyReadPerTurn = 4096;

std::shared_ptr<const SimDocument> emptyDocument() {
  return std::make_shared<SimDocument>();
}

std::optional<WorkspaceNotification> notificationNamed(std::string_view line) {
  if (line == "NSWorkspaceDidActivateApplicationNotification")
    return WorkspaceNotification::kDidActivateApplication;
  if (line == "NSWorkspaceWillSleepNotification") return WorkspaceNotification::kWillSleep;
  if (line == "NSWorkspaceDidWakeNotification") return WorkspaceNotification::kDidWake;
  return std::nullopt;
}

}  // namespace

struct SimDesktop::Timer {
  std::chrono::steady_clock::duration interval;
  std::chrono::steady_clock::time_point next;
  Block block;
};

SimDesktop::SimDesktop(SimPaths paths)
    : paths_(std::move(paths)), trace_(paths_.trace), document_(emptyDocument()) {}

SimDesktop::~SimDesktop() = default;

bool SimDesktop::isProcessTrusted() {
  document_ = emptyDocument();  // the old one goes before the new one is read
  document_ = loadSimDocument(paths_.desktop);
  trace_.trustQuery();
  return document_->trusted;
}

std::optional<RunningApplication> SimDesktop::frontmostApplication() {
  trace_.frontmostQuery();
  return document_->frontmost;
}

double SimDesktop::currentTime() {
  return document_->observedAt.value_or(wallClockSeconds());
}

double SimDesktop::systemUptime() {
  return document_->uptime.value_or(uptimeSeconds());
}

double SimDesktop::secondsSinceLastInput() {
  trace_.idleQuery();
  return document_->idleSeconds;
}

Element SimDesktop::createApplicationElement(int32_t processIdentifier) {
  trace_.applicationElement(processIdentifier);
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

AttributeRead SimDesktop::copyAttributeValue(const Element& element,
                                             std::string_view attribute) {
  auto* node = static_cast<const SimElement*>(element.get());
  trace_.attributeRead(node ? node->traceName() : "?", attribute);

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

Desktop::Token SimDesktop::addObserver(WorkspaceNotification name, Block block) {
  return observers_.add(name, std::move(block));
}

void SimDesktop::removeObserver(Token token) { observers_.remove(token); }

Desktop::Token SimDesktop::scheduleRepeatingTimer(double interval, Block block) {
  auto period = std::max<std::chrono::steady_clock::duration>(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(interval)),
      std::chrono::milliseconds(1));
  timers_.emplace(nextToken_, std::make_unique<Timer>(
                                  Timer{period, std::chrono::steady_clock::now() + period,
                                        std::move(block)}));
  return nextToken_++;
}

void SimDesktop::invalidateTimer(Token token) { timers_.erase(token); }

void SimDesktop::post(std::string_view line) {
  if (std::optional<WorkspaceNotification> name = notificationNamed(line)) observers_.post(*name);
}

void SimDesktop::runMainRunLoop() {
  vantrel::UniqueFd pipe;
  if (!paths_.notify.empty()) {
    // Opened for writing too, so that the pipe never reports an end when a
    // writer closes it; only a named pipe is read at all.
    pipe.reset(::open(paths_.notify.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    struct stat status;
    if (pipe && (::fstat(pipe.get(), &status) != 0 || !S_ISFIFO(status.st_mode))) pipe.reset();
  }
  std::string inbox;        // read from the pipe, not yet taken apart
  std::string line;         // the notification line being gathered
  bool discarding = false;  // inside a line that grew too long
  auto timerDue = [this] {
    auto now = std::chrono::steady_clock::now();
    return std::any_of(timers_.begin(), timers_.end(),
                       [&](const auto& timer) { return timer.second->next <= now; });
  };

  while (!timers_.empty() || (pipe && !observers_.empty())) {
    using namespace std::chrono;
    // A turn reads at most one buffer and posts its lines until a timer is
    // due, then serves the timers, as a run loop does: a pipe that never
    // runs dry cannot stop the timer.
    int timeout = -1;
    if (!inbox.empty()) {
      timeout = 0;
    } else if (!timers_.empty()) {
      auto next = steady_clock::time_point::max();
      for (const auto& [token, timer] : timers_) next = std::min(next, timer->next);
      auto wait = duration_cast<milliseconds>(next - steady_clock::now()) + milliseconds(1);
      timeout = static_cast<int>(std::clamp<milliseconds::rep>(wait.count(), 0, 60'000));
    }
    pollfd fds{inbox.empty() ? pipe.get() : -1, POLLIN, 0};
    int ready = ::poll(&fds, pipe ? 1 : 0, timeout);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0 && (fds.revents & POLLIN)) {
      char buffer[kNotifyReadPerTurn];
      ssize_t n = ::read(pipe.get(), buffer, sizeof buffer);
      if (n > 0) inbox.assign(buffer, static_cast<size_t>(n));
    }

    size_t taken = 0;
    while (taken < inbox.size()) {
      char c = inbox[taken++];
      if (c != '\n') {
        if (line.size() < kLongestNotifyLine) {
          line += c;
        } else {
          line.clear();
          discarding = true;
        }
        continue;
      }
      if (!discarding) post(line);
      line.clear();
      discarding = false;
      if (timerDue()) break;
    }
    inbox.erase(0, taken);

    // Fire every timer that is due once, on a fixed schedule: ticks missed
    // while a sample was slow are skipped, not made up.
    auto now = steady_clock::now();
    std::vector<Token> due;
    for (const auto& [token, timer] : timers_) {
      if (timer->next <= now) due.push_back(token);
    }
    for (Token token : due) {
      auto timer = timers_.find(token);
      if (timer == timers_.end()) continue;
      Timer& t = *timer->second;
      while (t.next <= now) t.next += t.interval;
      t.block();
    }
  }
}

}  // namespace focuswatch
