// The platform boundary of focuswatch: everything the probe asks of the
// desktop it watches. On macOS this maps one to one onto NSWorkspace,
// AXIsProcessTrusted, the clocks, CGEventSource, the Accessibility API and
// the main run loop; elsewhere the simulated or the live Linux desktop
// answers.
//
// Every accessibility read is a message to another application, so the read
// itself is the boundary (copyAttributeValue): its count stays visible.
#ifndef FOCUSWATCH_DESKTOP_H_
#define FOCUSWATCH_DESKTOP_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace focuswatch {

class ReasonSink;

// An owned accessibility element (an AXUIElementRef on macOS). Copies share
// ownership; the last copy releases the element.
class Element {
 public:
  Element() = default;
  explicit Element(std::shared_ptr<const void> ref) : ref_(std::move(ref)) {}

  const void* get() const { return ref_.get(); }
  explicit operator bool() const { return ref_ != nullptr; }

 private:
  std::shared_ptr<const void> ref_;
};

// A rectangle in global screen points, origin top-left, y growing downward.
struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
};

// A URL object (CFURL), kept as its absolute string.
struct Url {
  std::string absoluteString;
};

// An AXValue: holds a rectangle only when it is of the rectangle type.
struct AxValue {
  std::optional<Rect> rect;
};

// Any value that the probe never interprets (numbers, booleans, points...).
struct OtherValue {};

struct Value;
using ValueList = std::vector<Value>;

// An attribute value, converted at the platform edge.
struct Value {
  std::variant<OtherValue, Element, std::string, Url, AxValue, ValueList> v;
};

// What AXUIElementCopyAttributeValue answers: an error code (0 is success)
// and, on success, a value that may still be absent.
struct AttributeRead {
  int32_t error = 0;
  std::optional<Value> value;
};

// Accessibility error codes that the substitutes produce.
inline constexpr int32_t kAXErrorSuccess = 0;
inline constexpr int32_t kAXErrorIllegalArgument = -25201;
inline constexpr int32_t kAXErrorInvalidUIElement = -25202;
inline constexpr int32_t kAXErrorCannotComplete = -25204;
inline constexpr int32_t kAXErrorAttributeUnsupported = -25205;
inline constexpr int32_t kAXErrorAPIDisabled = -25211;
inline constexpr int32_t kAXErrorNoValue = -25212;

// The frontmost NSRunningApplication.
struct RunningApplication {
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> localizedName;
  int32_t processIdentifier = 0;
};

enum class WorkspaceNotification {
  kDidActivateApplication,
  kWillSleep,
  kDidWake,
};

class Desktop {
 public:
  using Block = std::function<void()>;
  using Token = int;

  virtual ~Desktop() = default;

  // AXIsProcessTrusted; never asks the user.
  virtual bool isProcessTrusted() = 0;
  // NSWorkspace frontmostApplication.
  virtual std::optional<RunningApplication> frontmostApplication() = 0;
  // Seconds since 1970 (the current date).
  virtual double currentTime() = 0;
  // NSProcessInfo systemUptime.
  virtual double systemUptime() = 0;
  // CGEventSourceSecondsSinceLastEventType, combined session, any input.
  virtual double secondsSinceLastInput() = 0;

  // AXUIElementCreateApplication.
  virtual Element createApplicationElement(int32_t processIdentifier) = 0;
  // AXUIElementCopyAttributeValue: exactly one read of one attribute.
  virtual AttributeRead copyAttributeValue(const Element& element, std::string_view attribute) = 0;
  // Whether two handles name the same element (CFEqual), and a hash that
  // agrees with it (CFHash). No platform call is traced for either.
  virtual bool sameElement(const Element& a, const Element& b) = 0;
  virtual size_t elementHash(const Element& element) = 0;
  // How the trace names `element` ("?" for none): a name that the desktop
  // gives it, the same for the same element. A desktop that is never
  // traced names none.
  virtual std::string traceName(const Element&) { return "?"; }

  // Workspace notification centre observers, delivered on the main queue.
  virtual Token addObserver(WorkspaceNotification name, Block block) = 0;
  virtual void removeObserver(Token token) = 0;
  // A repeating timer on the main run loop; first tick one interval later.
  virtual Token scheduleRepeatingTimer(double interval, Block block) = 0;
  virtual void invalidateTimer(Token token) = 0;
  // Serves timer and notification blocks; returns when none is left, or
  // once stopMainRunLoop() was called.
  virtual void runMainRunLoop() = 0;
  // Makes runMainRunLoop() return when the block that calls it is done.
  virtual void stopMainRunLoop() = 0;

  // The probe has taken the sample that began with the last trust
  // question, and written its line (or dropped it). Only a recorder of
  // the desktop does anything here.
  virtual void sampleTaken() {}

  // Where the readers tell why they decided as they did (reasons.h); null
  // when nobody listens, as everywhere but a replay that asks.
  virtual ReasonSink* reasons() { return nullptr; }
};

// The desktop of this build: the macOS frameworks; elsewhere the simulated
// desktop of the FOCUSWATCH_DESKTOP file, else the live desktop, traced to
// FOCUSWATCH_TRACE.
std::unique_ptr<Desktop> makeDesktop();

}  // namespace focuswatch

#endif  // FOCUSWATCH_DESKTOP_H_
