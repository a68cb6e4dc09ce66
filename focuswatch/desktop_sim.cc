#include "focuswatch/desktop_sim.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unordered_map>

namespace focuswatch {

namespace {

using Json = nlohmann::ordered_json;

// A desktop file larger than this is refused rather than read.
constexpr off_t kLargestDesktopFile = 64 << 20;
// Deeper nesting is refused, so that reading a file never exhausts the stack.
constexpr int kDeepestNesting = 2000;
// A notification line longer than this is not a notification.
constexpr size_t kLongestNotifyLine = 4096;

}  // namespace

struct SimElement;

struct SimValue {
  enum class Kind { kString, kOther, kArray, kNull, kUrl, kRect, kRef, kError, kElement };
  Kind kind = Kind::kOther;
  std::string text;  // string, URL, or the id a reference names
  Rect rect;
  int32_t error = 0;
  std::vector<SimValue> items;
  const SimElement* element = nullptr;
};

struct SimElement {
  std::string traceName;
  std::map<std::string, SimValue, std::less<>> attributes;  // refs resolved
  const SimElement* parent = nullptr;  // where it is written in place
  const SimDocument* document = nullptr;
  bool unreachable = false;  // an application the file does not describe
};

struct SimDocument : std::enable_shared_from_this<SimDocument> {
  bool trusted = false;
  double idleSeconds = 0;
  std::optional<double> uptime;
  std::optional<double> observedAt;
  std::optional<RunningApplication> frontmost;
  std::map<int32_t, const SimElement*> applications;
  std::deque<SimElement> elements;
  std::unordered_map<std::string, const SimElement*> ids;
};

namespace {

[[noreturn]] void malformed(const std::string& why) { throw std::runtime_error(why); }

bool isNumberList(const Json& json, size_t count) {
  if (!json.is_array() || json.size() != count) return false;
  for (const Json& item : json) {
    if (!item.is_number() || !std::isfinite(item.get<double>())) return false;
  }
  return true;
}

std::optional<int32_t> asInt32(const Json& json) {
  if (!json.is_number_integer()) return std::nullopt;
  if (json.is_number_unsigned()) {
    auto value = json.get<uint64_t>();
    if (value > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
      return std::nullopt;
    return static_cast<int32_t>(value);
  }
  auto value = json.get<int64_t>();
  if (value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(value);
}

double finiteNumber(const Json& json, const char* key) {
  if (!json.is_number() || !std::isfinite(json.get<double>()))
    malformed(std::string(key) + " is not a finite number");
  return json.get<double>();
}

// Turns the JSON of a desktop file into elements, in document order.
class Reader {
 public:
  explicit Reader(SimDocument& document) : document_(document) {}

  const SimElement* element(const Json& json, const SimElement* parent,
                            std::string defaultName, int depth) {
    if (depth > kDeepestNesting) malformed("nesting is too deep");
    SimElement& element = document_.elements.emplace_back();
    element.document = &document_;
    element.parent = parent;
    element.traceName = defaultName.empty()
                            ? "#" + std::to_string(document_.elements.size())
                            : std::move(defaultName);
    if (auto id = json.find("id"); id != json.end()) {
      if (!id->is_string()) malformed("an element's id is not text");
      element.traceName = id->get<std::string>();
      document_.ids.try_emplace(element.traceName, &element);
    }
    for (const auto& [name, value] : json.items()) {
      if (name == "id") continue;
      element.attributes.emplace(name, this->value(value, &element, depth + 1));
    }
    return &element;
  }

 private:
  SimValue value(const Json& json, const SimElement* owner, int depth) {
    if (depth > kDeepestNesting) malformed("nesting is too deep");
    SimValue value;
    using Kind = SimValue::Kind;
    if (json.is_string()) {
      value.kind = Kind::kString;
      value.text = json.get<std::string>();
    } else if (json.is_null()) {
      value.kind = Kind::kNull;
    } else if (json.is_array()) {
      value.kind = Kind::kArray;
      value.items.reserve(json.size());
      for (const Json& item : json) value.items.push_back(this->value(item, owner, depth + 1));
    } else if (!json.is_object()) {
      value.kind = Kind::kOther;
    } else if (json.size() == 1 && json.contains("url") && json["url"].is_string()) {
      value.kind = Kind::kUrl;
      value.text = json["url"].get<std::string>();
    } else if (json.size() == 1 && json.contains("rect") && isNumberList(json["rect"], 4)) {
      value.kind = Kind::kRect;
      const Json& r = json["rect"];
      value.rect = {r[0].get<double>(), r[1].get<double>(), r[2].get<double>(),
                    r[3].get<double>()};
    } else if (json.size() == 1 && json.contains("point") && isNumberList(json["point"], 2)) {
      value.kind = Kind::kOther;  // an AXValue, but never a rectangle
    } else if (json.size() == 1 && json.contains("ref") && json["ref"].is_string()) {
      value.kind = Kind::kRef;
      value.text = json["ref"].get<std::string>();
    } else if (json.size() == 1 && json.contains("error") && asInt32(json["error"])) {
      value.kind = Kind::kError;
      value.error = *asInt32(json["error"]);
    } else {
      value.kind = Kind::kElement;
      value.element = element(json, owner, "", depth);
    }
    return value;
  }

  SimDocument& document_;
};

// Points every reference at the element it names, once, so that reading a
// list of a hundred thousand references costs no lookups.
void resolveReferences(SimValue& value, const SimDocument& document) {
  if (value.kind == SimValue::Kind::kRef) {
    auto found = document.ids.find(value.text);
    value.element = found == document.ids.end() ? nullptr : found->second;
  }
  for (SimValue& item : value.items) resolveReferences(item, document);
}

void readTopLevel(const Json& json, SimDocument& document) {
  if (!json.is_object()) malformed("the desktop is not a JSON object");
  Reader reader(document);
  for (const auto& [key, value] : json.items()) {
    if (key == "accessibilityTrusted") {
      if (!value.is_boolean()) malformed("accessibilityTrusted is not a boolean");
      document.trusted = value.get<bool>();
    } else if (key == "idleSeconds") {
      document.idleSeconds = finiteNumber(value, "idleSeconds");
    } else if (key == "uptime") {
      document.uptime = finiteNumber(value, "uptime");
    } else if (key == "observedAt") {
      document.observedAt = finiteNumber(value, "observedAt");
    } else if (key == "frontmostApplication") {
      if (value.is_null()) continue;
      if (!value.is_object()) malformed("frontmostApplication is not an object");
      RunningApplication app;
      auto pid = value.find("processIdentifier");
      if (pid == value.end() || !asInt32(*pid))
        malformed("frontmostApplication has no 32-bit processIdentifier");
      app.processIdentifier = *asInt32(*pid);
      for (const char* name : {"bundleIdentifier", "localizedName"}) {
        auto text = value.find(name);
        if (text == value.end()) continue;
        if (!text->is_string()) malformed(std::string(name) + " is not text");
        (name[0] == 'b' ? app.bundleIdentifier : app.localizedName) =
            text->get<std::string>();
      }
      document.frontmost = std::move(app);
    } else if (key == "applications") {
      if (!value.is_object()) malformed("applications is not an object");
      for (const auto& [pidText, element] : value.items()) {
        char* end = nullptr;
        errno = 0;
        long long pid = std::strtoll(pidText.c_str(), &end, 10);
        if (pidText.empty() || *end != '\0' || errno != 0 ||
            pid < std::numeric_limits<int32_t>::min() ||
            pid > std::numeric_limits<int32_t>::max() || !element.is_object())
          malformed("applications: \"" + pidText + "\" is not a process of elements");
        document.applications[static_cast<int32_t>(pid)] =
            reader.element(element, nullptr, "app:" + std::to_string(pid), 1);
      }
    }
  }
}

std::string readFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) malformed(std::strerror(errno));
  struct stat status;
  std::string text;
  try {
    if (::fstat(fd, &status) != 0) malformed(std::strerror(errno));
    if (!S_ISREG(status.st_mode)) malformed("not a regular file");
    if (status.st_size > kLargestDesktopFile) malformed("larger than 64 MiB");
    text.resize(static_cast<size_t>(status.st_size));
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::read(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) malformed(std::strerror(errno));
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    text.resize(done);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  return text;
}

void writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

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

std::shared_ptr<const SimDocument> loadSimDocument(const std::string& path) {
  if (path.empty()) return emptyDocument();
  auto document = std::make_shared<SimDocument>();
  try {
    readTopLevel(Json::parse(readFile(path)), *document);
    for (SimElement& element : document->elements) {
      for (auto& [name, value] : element.attributes) resolveReferences(value, *document);
    }
  } catch (const std::exception& e) {
    writeAll(STDERR_FILENO, "focuswatch: desktop: " + path + ": " + e.what() + "\n");
    return emptyDocument();
  }
  return document;
}

struct SimDesktop::Timer {
  std::chrono::steady_clock::duration interval;
  std::chrono::steady_clock::time_point next;
  Block block;
};

SimDesktop::SimDesktop(SimPaths paths)
    : paths_(std::move(paths)), trace_(paths_.trace), document_(emptyDocument()) {}

SimDesktop::~SimDesktop() = default;

bool SimDesktop::isProcessTrusted() {
  document_ = loadSimDocument(paths_.desktop);
  trace_.line("AXIsProcessTrusted");
  return document_->trusted;
}

std::optional<RunningApplication> SimDesktop::frontmostApplication() {
  trace_.line("frontmostApplication");
  return document_->frontmost;
}

double SimDesktop::currentTime() {
  if (document_->observedAt) return *document_->observedAt;
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

double SimDesktop::systemUptime() {
  if (document_->uptime) return *document_->uptime;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double SimDesktop::secondsSinceLastInput() {
  trace_.line("CGEventSourceSecondsSinceLastEventType");
  return document_->idleSeconds;
}

Element SimDesktop::createApplicationElement(int32_t processIdentifier) {
  trace_.line("AXUIElementCreateApplication " + std::to_string(processIdentifier));
  auto found = document_->applications.find(processIdentifier);
  if (found != document_->applications.end())
    return Element(std::shared_ptr<const void>(document_, found->second));
  auto unreachable = std::make_shared<SimElement>();
  unreachable->traceName = "app:" + std::to_string(processIdentifier);
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
    case Kind::kString: out = Value{stored.text}; return true;
    case Kind::kUrl: out = Value{Url{stored.text}}; return true;
    case Kind::kRect: out = Value{AxValue{stored.rect}}; return true;
    case Kind::kElement: elementValue(stored.element); return true;
    case Kind::kRef:
      if (!stored.element) return false;
      elementValue(stored.element);
      return true;
    case Kind::kArray: {
      ValueList items;
      items.reserve(stored.items.size());
      for (const SimValue& item : stored.items) {
        std::optional<Value> converted;
        if (!convert(item, owner, converted)) return false;
        items.push_back(converted ? std::move(*converted) : Value{OtherValue{}});
      }
      out = Value{std::move(items)};
      return true;
    }
    case Kind::kNull: out.reset(); return true;
    case Kind::kError:
    case Kind::kOther: out = Value{OtherValue{}}; return true;
  }
  return true;
}

}  // namespace

AttributeRead SimDesktop::copyAttributeValue(const Element& element,
                                             std::string_view attribute) {
  auto* node = static_cast<const SimElement*>(element.get());
  std::string line = "AXUIElementCopyAttributeValue ";
  line += node ? node->traceName : "?";
  line += ' ';
  line += attribute;
  trace_.line(line);

  if (!document_->trusted) return {kAXErrorAPIDisabled, std::nullopt};
  if (!node) return {kAXErrorIllegalArgument, std::nullopt};
  if (node->unreachable) return {kAXErrorCannotComplete, std::nullopt};

  // The element's own document, which may be older than the current one.
  std::shared_ptr<const SimDocument> owner = node->document->shared_from_this();
  auto stored = node->attributes.find(attribute);
  if (stored == node->attributes.end()) {
    if (attribute == "AXParent" && node->parent)
      return {kAXErrorSuccess, Value{Element(std::shared_ptr<const void>(owner, node->parent))}};
    return {kAXErrorAttributeUnsupported, std::nullopt};
  }
  if (stored->second.kind == SimValue::Kind::kError) return {stored->second.error, std::nullopt};
  AttributeRead read;
  if (!convert(stored->second, owner, read.value)) return {kAXErrorInvalidUIElement, std::nullopt};
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
  int pipeFd = -1;
  if (!paths_.notify.empty()) {
    // Opened for writing too, so that the pipe never reports an end when a
    // writer closes it; only a named pipe is read at all.
    pipeFd = ::open(paths_.notify.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    struct stat status;
    if (pipeFd >= 0 && (::fstat(pipeFd, &status) != 0 || !S_ISFIFO(status.st_mode))) {
      ::close(pipeFd);
      pipeFd = -1;
    }
  }
  std::string pending;
  bool discarding = false;  // inside a line that grew too long

  while (!timers_.empty() || (pipeFd >= 0 && !observers_.empty())) {
    using namespace std::chrono;
    int timeout = -1;
    if (!timers_.empty()) {
      auto next = steady_clock::time_point::max();
      for (const auto& [token, timer] : timers_) next = std::min(next, timer->next);
      auto wait = duration_cast<milliseconds>(next - steady_clock::now()) + milliseconds(1);
      timeout = static_cast<int>(std::clamp<milliseconds::rep>(wait.count(), 0, 60'000));
    }
    pollfd fds{pipeFd, POLLIN, 0};
    int ready = ::poll(&fds, pipeFd >= 0 ? 1 : 0, timeout);
    if (ready < 0 && errno != EINTR) break;

    if (ready > 0 && (fds.revents & POLLIN)) {
      char buffer[4096];
      ssize_t n;
      while ((n = ::read(pipeFd, buffer, sizeof buffer)) > 0) {
        for (char c : std::string_view(buffer, static_cast<size_t>(n))) {
          if (c == '\n') {
            if (!discarding) post(pending);
            pending.clear();
            discarding = false;
          } else if (pending.size() < kLongestNotifyLine) {
            pending += c;
          } else {
            pending.clear();
            discarding = true;
          }
        }
      }
    }

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
  if (pipeFd >= 0) ::close(pipeFd);
}

}  // namespace focuswatch
