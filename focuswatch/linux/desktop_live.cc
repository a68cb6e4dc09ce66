#include "focuswatch/linux/desktop_live.h"

#include <glib.h>

#include <map>
#include <utility>

#include "common/deleter.h"
#include "focuswatch/clocks.h"
#include "focuswatch/linux/atspi_tree.h"
#include "focuswatch/linux/desktop_entries.h"
#include "focuswatch/linux/logind_sleep.h"
#include "focuswatch/linux/x11_session.h"
#include "focuswatch/observers.h"
#include "focuswatch/text.h"

namespace focuswatch {

namespace {

// Text crosses into the probe as valid UTF-8, which the line must be: what is
// not becomes U+FFFD, byte by byte, as the macOS strings turn a lone
// surrogate into it, so that a field keeps the rest of its text and no text
// of the platform can make the serialiser drop the whole sample.
void makeValid(std::string& text) {
  if (isValidUtf8(text)) return;
  std::unique_ptr<char, vantrel::Deleter<g_free>> valid(g_utf8_make_valid(text.data(), std::ssize(text)));
  text = valid.get();
}

void makeValid(std::optional<std::string>& text) {
  if (text) makeValid(*text);
}

void makeValid(Value& value) {
  if (auto* text = std::get_if<std::string>(&value.v)) makeValid(*text);
  if (auto* url = std::get_if<Url>(&value.v)) makeValid(url->absoluteString);
  if (auto* list = std::get_if<ValueList>(&value.v))
    for (Value& item : *list) makeValid(item);
}

// The X11 session, the desktop entries and the AT-SPI tree behind the
// platform boundary, with logind's sleep signal and the GLib main loop as
// the run loop.
class LiveDesktop : public Desktop {
 public:
  explicit LiveDesktop(std::unique_ptr<X11Session> x11) : x11_(std::move(x11)) {}

  ~LiveDesktop() override {
    for (auto& [token, source] : timers_) g_source_remove(source);
  }

  bool isProcessTrusted() override { return tree_.isTrusted(); }

  // The application's name is the one the desktop shows for it: its
  // desktop entry's, else the one it gives on the accessibility bus, else
  // its window class.
  std::optional<RunningApplication> frontmostApplication() override {
    std::optional<FrontWindow> window = x11_->frontWindow();
    if (!window) return std::nullopt;
    RunningApplication app;
    app.processIdentifier = window->pid;
    app.bundleIdentifier = window->applicationId ? window->applicationId : window->windowClass;
    app.localizedName = entries_.name(*window);
    if (!app.localizedName) app.localizedName = tree_.applicationName(window->pid);
    if (!app.localizedName) app.localizedName = window->windowClass;
    makeValid(app.bundleIdentifier);
    makeValid(app.localizedName);
    return app;
  }

  double currentTime() override { return wallClockSeconds(); }
  double systemUptime() override { return uptimeSeconds(); }

  double secondsSinceLastInput() override { return x11_->secondsSinceLastInput(); }

  Element createApplicationElement(int32_t processIdentifier) override {
    return AtspiTree::applicationElement(processIdentifier);
  }

  AttributeRead copyAttributeValue(const Element& element, std::string_view attribute) override {
    AttributeRead read = tree_.read(element, attribute);
    if (read.value) makeValid(*read.value);
    return read;
  }

  // An element is told by its bus name and object path (an application
  // element by its process), as the trace names it.
  bool sameElement(const Element& a, const Element& b) override { return traceName(a) == traceName(b); }
  size_t elementHash(const Element& element) override { return std::hash<std::string>()(traceName(element)); }
  std::string traceName(const Element& element) override { return AtspiTree::traceName(element); }

  Token addObserver(WorkspaceNotification name, Block block) override {
    if (name == WorkspaceNotification::kDidActivateApplication) {
      x11_->watchActiveWindow([this] { observers_.post(WorkspaceNotification::kDidActivateApplication); });
    } else if (!sleep_) {
      sleep_ = std::make_unique<LogindSleep>([this](bool sleeping) {
        observers_.post(sleeping ? WorkspaceNotification::kWillSleep : WorkspaceNotification::kDidWake);
      });
    }
    return observers_.add(name, std::move(block));
  }

  void removeObserver(Token token) override { observers_.remove(token); }

  Token scheduleRepeatingTimer(double interval, Block block) override {
    auto* owned = new Block(std::move(block));
    guint source = g_timeout_add_full(
        G_PRIORITY_DEFAULT, static_cast<guint>(interval * 1000),
        [](gpointer data) -> gboolean {
          (*static_cast<Block*>(data))();
          return G_SOURCE_CONTINUE;
        },
        owned, [](gpointer data) { delete static_cast<Block*>(data); });
    timers_.emplace(next_, source);
    return next_++;
  }

  void invalidateTimer(Token token) override {
    auto found = timers_.find(token);
    if (found == timers_.end()) return;
    g_source_remove(found->second);
    timers_.erase(found);
  }

  void runMainRunLoop() override {
    loop_.reset(g_main_loop_new(nullptr, false));
    g_main_loop_run(loop_.get());
    loop_.reset();
  }

  void stopMainRunLoop() override {
    if (loop_) g_main_loop_quit(loop_.get());
  }

 private:
  std::unique_ptr<X11Session> x11_;
  DesktopEntries entries_;
  AtspiTree tree_;
  std::unique_ptr<LogindSleep> sleep_;
  Token next_ = 1;
  WorkspaceObservers observers_;
  std::map<Token, guint> timers_;  // the GLib sources
  std::unique_ptr<GMainLoop, vantrel::Deleter<g_main_loop_unref>> loop_;
};

}  // namespace

std::unique_ptr<Desktop> makeLiveDesktop() {
  std::unique_ptr<X11Session> x11 = X11Session::connect();
  if (!x11) return nullptr;
  return std::make_unique<LiveDesktop>(std::move(x11));
}

}  // namespace focuswatch
