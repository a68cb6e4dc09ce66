#include "focuswatch/desktop_live.h"

#include <atspi/atspi-constants.h>
#include <gio/gio.h>
#include <glib-unix.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "focuswatch/observers.h"
#include "focuswatch/trace.h"

namespace focuswatch {

// What the probe reads, and the AT-SPI request that answers it:
//
//   AXChildren          Accessible.GetChildren
//   AXParent            the Accessible "Parent" property
//   AXRole              Accessible.GetRole, mapped by axRole()
//   AXTitle             the Accessible "Name" property
//   AXValue             Text.GetText(0, -1)
//   AXDOMClassList      Accessible.GetAttributes, "class" split at blanks
//   AXDOMIdentifier     Accessible.GetAttributes, "id"
//   AXFrame             Component.GetExtents in screen coordinates
//   AXDocument, AXURL   Document.GetAttributeValue("URI"), as text or URL
//   AXFocusedWindow     of an application: its frame in the ACTIVE state,
//                       else its first frame with a name
//   AXFocusedUIElement  of an application: the FOCUSED element of that
//                       window, searched depth-first (AT-SPI has no request
//                       for it, and Chromium answers no Collection match)
//
// Anything else is an unsupported attribute.

std::string axRole(uint32_t atspiRole) {
  switch (atspiRole) {
    case ATSPI_ROLE_DOCUMENT_WEB: return "AXWebArea";
    case ATSPI_ROLE_STATIC:
    case ATSPI_ROLE_LABEL: return "AXStaticText";
    case ATSPI_ROLE_MENU_ITEM: return "AXMenuItem";
    case ATSPI_ROLE_FRAME:
    case ATSPI_ROLE_WINDOW: return "AXWindow";
    default: return "AXGroup";
  }
}

namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kNullPath = "/org/a11y/atspi/null";
// The focused-element search stops where the probe's own walks stop.
constexpr int kFocusDepthLimit = 26;
constexpr int kFocusVisitLimit = 2500;

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
void unrefConnection(GDBusConnection* connection) { g_object_unref(connection); }
using VariantPtr = std::unique_ptr<GVariant, Deleter<GVariant, g_variant_unref>>;
using ErrorPtr = std::unique_ptr<GError, Deleter<GError, g_error_free>>;
void closeBus(sd_bus* bus) { sd_bus_flush_close_unref(bus); }
void unrefMessage(sd_bus_message* message) { sd_bus_message_unref(message); }
using BusPtr = std::unique_ptr<sd_bus, Deleter<sd_bus, closeBus>>;
using MessagePtr = std::unique_ptr<sd_bus_message, Deleter<sd_bus_message, unrefMessage>>;
using ConnectionPtr = std::unique_ptr<GDBusConnection, Deleter<GDBusConnection, unrefConnection>>;
using XPtr = std::unique_ptr<xcb_connection_t, Deleter<xcb_connection_t, xcb_disconnect>>;
// What xcb hands back from malloc.
template <typename T>
using Malloced = std::unique_ptr<T, Deleter<void, free>>;

// One node of another application's tree: its bus name and object path.
// An application element knows only its process until it is first read.
struct LiveElement {
  LiveElement() = default;
  LiveElement(std::string bus, std::string path) : bus(std::move(bus)), path(std::move(path)) {}

  std::string bus;
  std::string path;
  int32_t pid = 0;
  bool application = false;
  // An application element's root, found on its first read.
  mutable std::optional<std::pair<std::string, std::string>> root;
};

Element makeElement(std::string bus, std::string path) {
  return Element(std::make_shared<LiveElement>(std::move(bus), std::move(path)));
}

// The result of one request: the reply, or the accessibility error.
struct Reply {
  MessagePtr message;
  int32_t error = kAXErrorSuccess;
};

// A successful read of a list (built in place: GCC 12 warns falsely about
// moving a vector into a fresh variant).
AttributeRead listRead(ValueList& items) {
  AttributeRead read;
  read.value.emplace();
  read.value->v.emplace<ValueList>().swap(items);
  return read;
}

xcb_atom_t internAtom(xcb_connection_t* x, const char* name) {
  Malloced<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, static_cast<uint16_t>(strlen(name)), name), nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

class LiveDesktop : public Desktop {
 public:
  LiveDesktop(XPtr x, const std::string& tracePath) : x_(std::move(x)), trace_(tracePath) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(x_.get())).data->root;
    activeWindowAtom_ = internAtom(x_.get(), "_NET_ACTIVE_WINDOW");
    pidAtom_ = internAtom(x_.get(), "_NET_WM_PID");
    applicationIdAtom_ = internAtom(x_.get(), "_GTK_APPLICATION_ID");
    nameAtom_ = internAtom(x_.get(), "_NET_WM_NAME");
    utf8Atom_ = internAtom(x_.get(), "UTF8_STRING");
  }

  ~LiveDesktop() override {
    for (auto& [token, timer] : timers_) g_source_remove(timer.first);
    if (xWatch_) g_source_remove(xWatch_);
    if (sleepSubscription_) g_dbus_connection_signal_unsubscribe(system_.get(), sleepSubscription_);
  }

  // Trusted when the accessibility bus is switched on and can be reached.
  bool isProcessTrusted() override {
    trace_.trustQuery();
    ConnectionPtr session(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!session) return false;
    bool enabled = false;
    VariantPtr reply(g_dbus_connection_call_sync(
        session.get(), "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
    if (reply) {
      VariantPtr inner(g_variant_get_child_value(reply.get(), 0));
      VariantPtr flag(g_variant_get_variant(inner.get()));
      enabled = g_variant_is_of_type(flag.get(), G_VARIANT_TYPE_BOOLEAN) &&
                g_variant_get_boolean(flag.get());
    }
    if (enabled && (!a11y_ || sd_bus_is_open(a11y_.get()) <= 0)) connectAccessibilityBus(session.get());
    trusted_ = enabled && a11y_ && sd_bus_is_open(a11y_.get()) > 0;
    return trusted_;
  }

  std::optional<RunningApplication> frontmostApplication() override {
    trace_.frontmostQuery();
    std::optional<uint32_t> window = cardinal(root_, activeWindowAtom_, XCB_ATOM_WINDOW);
    if (!window || *window == XCB_WINDOW_NONE) return std::nullopt;
    RunningApplication app;
    app.processIdentifier = static_cast<int32_t>(cardinal(*window, pidAtom_, XCB_ATOM_CARDINAL).value_or(0));
    app.bundleIdentifier = property(*window, applicationIdAtom_, utf8Atom_);
    if (!app.bundleIdentifier) {
      // WM_CLASS holds the instance and then the class, each ending in NUL.
      if (std::optional<std::string> wmClass = property(*window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)) {
        size_t nul = wmClass->find('\0');
        if (nul != std::string::npos) {
          std::string className = wmClass->substr(nul + 1);
          app.bundleIdentifier = className.substr(0, className.find('\0'));
        }
      }
    }
    app.localizedName = property(*window, nameAtom_, utf8Atom_);
    if (!app.localizedName) app.localizedName = property(*window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
    return app;
  }

  double currentTime() override { return wallClockSeconds(); }
  double systemUptime() override { return uptimeSeconds(); }

  double secondsSinceLastInput() override {
    trace_.idleQuery();
    Malloced<xcb_screensaver_query_info_reply_t> info(xcb_screensaver_query_info_reply(
        x_.get(), xcb_screensaver_query_info(x_.get(), root_), nullptr));
    return info ? info->ms_since_user_input / 1000.0 : 0;
  }

  Element createApplicationElement(int32_t processIdentifier) override {
    trace_.applicationElement(processIdentifier);
    auto element = std::make_shared<LiveElement>();
    element->pid = processIdentifier;
    element->application = true;
    return Element(std::move(element));
  }

  AttributeRead copyAttributeValue(const Element& handle, std::string_view attribute) override {
    auto* element = static_cast<const LiveElement*>(handle.get());
    std::string name(attribute);
    trace_.attributeRead(element ? element->application ? "app:" + std::to_string(element->pid)
                                                        : element->bus + element->path
                                 : "?",
                         name);
    if (!trusted_ || !a11y_) return {kAXErrorAPIDisabled, std::nullopt};
    if (!element) return {kAXErrorIllegalArgument, std::nullopt};
    if (element->application) return readApplication(*element, name);
    return read(*element, name);
  }

  Token addObserver(WorkspaceNotification name, Block block) override {
    if (name == WorkspaceNotification::kDidActivateApplication) watchActiveWindow();
    if (name != WorkspaceNotification::kDidActivateApplication) watchSleep();
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
    timers_.emplace(next_, std::make_pair(source, owned));
    return next_++;
  }

  void invalidateTimer(Token token) override {
    auto found = timers_.find(token);
    if (found == timers_.end()) return;
    g_source_remove(found->second.first);
    timers_.erase(found);
  }

  void runMainRunLoop() override {
    GMainLoop* loop = g_main_loop_new(nullptr, false);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
  }

 private:
  // X11 properties.

  std::optional<std::string> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    if (name == XCB_ATOM_NONE) return std::nullopt;
    Malloced<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        x_.get(), xcb_get_property(x_.get(), 0, window, name, type, 0, 1 << 16), nullptr));
    xcb_get_property_reply_t* r = reply.get();
    if (!r || r->type == XCB_ATOM_NONE || r->format == 0) return std::nullopt;
    return std::string(static_cast<const char*>(xcb_get_property_value(r)),
                       static_cast<size_t>(xcb_get_property_value_length(r)));
  }

  std::optional<uint32_t> cardinal(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    std::optional<std::string> bytes = property(window, name, type);
    if (!bytes || bytes->size() < 4) return std::nullopt;
    uint32_t value;
    memcpy(&value, bytes->data(), 4);
    return value;
  }

  // Notifications.

  // The raw property, whatever its type, so that any change counts.
  std::string activeWindowValue() {
    return property(root_, activeWindowAtom_, XCB_GET_PROPERTY_TYPE_ANY).value_or("");
  }

  void watchActiveWindow() {
    if (xWatch_) return;
    uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x_.get(), root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x_.get());
    lastActive_ = activeWindowValue();
    xWatch_ = g_unix_fd_add(
        xcb_get_file_descriptor(x_.get()), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
        [](gint, GIOCondition, gpointer self) -> gboolean {
          return static_cast<LiveDesktop*>(self)->onXEvents();
        },
        this);
  }

  gboolean onXEvents() {
    bool changed = false;
    while (Malloced<xcb_generic_event_t> event{xcb_poll_for_event(x_.get())}) {
      if ((event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY &&
          reinterpret_cast<xcb_property_notify_event_t*>(event.get())->atom == activeWindowAtom_) {
        changed = true;
      }
    }
    if (xcb_connection_has_error(x_.get())) {
      xWatch_ = 0;
      return G_SOURCE_REMOVE;  // the display is gone: no more switches to see
    }
    if (changed) {
      std::string active = activeWindowValue();
      if (active != lastActive_) {
        lastActive_ = active;
        observers_.post(WorkspaceNotification::kDidActivateApplication);
      }
    }
    return G_SOURCE_CONTINUE;
  }

  // logind announces sleep and wake with PrepareForSleep(true / false).
  void watchSleep() {
    if (sleepSubscription_ || sleepTried_) return;
    sleepTried_ = true;
    system_.reset(g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr));
    if (!system_) return;
    sleepSubscription_ = g_dbus_connection_signal_subscribe(
        system_.get(), "org.freedesktop.login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
        "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
           GVariant* parameters, gpointer self) {
          if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
          gboolean sleeping;
          g_variant_get(parameters, "(b)", &sleeping);
          static_cast<LiveDesktop*>(self)->observers_.post(sleeping ? WorkspaceNotification::kWillSleep
                                                         : WorkspaceNotification::kDidWake);
        },
        this, nullptr);
  }

  // The accessibility bus.

  void connectAccessibilityBus(GDBusConnection* session) {
    a11y_.reset();
    VariantPtr reply(g_dbus_connection_call_sync(session, "org.a11y.Bus", "/org/a11y/bus",
                                                 "org.a11y.Bus", "GetAddress", nullptr,
                                                 G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE,
                                                 -1, nullptr, nullptr));
    if (!reply) return;
    const gchar* address;
    g_variant_get(reply.get(), "(&s)", &address);
    // Requests go out and come back in this thread, with no worker thread
    // or message queue between: a tree walk makes thousands of them.
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0) return;
    BusPtr owned(bus);
    if (sd_bus_set_address(bus, address) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
        sd_bus_start(bus) < 0)
      return;
    a11y_ = std::move(owned);
  }

  // One AT-SPI request: `types` and the arguments after it as for
  // sd_bus_message_append.
  template <typename... Arguments>
  Reply call(const std::string& bus, const std::string& path, const char* interface,
             const char* method, const char* types, Arguments... arguments) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int status = sd_bus_call_method(a11y_.get(), bus.c_str(), path.c_str(), interface, method,
                                    &error, &reply, types, arguments...);
    MessagePtr owned(reply);
    int32_t code = kAXErrorSuccess;
    if (status < 0) {
      code = kAXErrorCannotComplete;
      if (sd_bus_error_has_names(&error, SD_BUS_ERROR_UNKNOWN_METHOD, SD_BUS_ERROR_UNKNOWN_INTERFACE,
                                 SD_BUS_ERROR_INVALID_ARGS))
        code = kAXErrorAttributeUnsupported;
      if (sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_OBJECT)) code = kAXErrorInvalidUIElement;
      owned.reset();
    }
    sd_bus_error_free(&error);
    return {std::move(owned), code};
  }

  // A property of the Accessible interface, its reply entered as far as
  // the value of `type`.
  Reply accessibleProperty(const LiveElement& element, const char* name, const char* type) {
    Reply reply = call(element.bus, element.path, "org.freedesktop.DBus.Properties", "Get", "ss",
                       kAccessible, name);
    if (reply.message && sd_bus_message_enter_container(reply.message.get(), 'v', type) <= 0)
      return {nullptr, kAXErrorCannotComplete};
    return reply;
  }

  // The error of a request that gave no value: its own, or a reply of
  // another shape than asked for.
  static int32_t failure(const Reply& reply) {
    return reply.message ? kAXErrorCannotComplete : reply.error;
  }

  // Reads one value of `types` from `reply`; false for a reply of another shape.
  template <typename... Places>
  static bool take(const Reply& reply, const char* types, Places... places) {
    return reply.message && sd_bus_message_read(reply.message.get(), types, places...) > 0;
  }

  // Reads the array of `item` entries of a reply, one `each` call an entry.
  template <typename Each>
  static bool takeArray(const Reply& reply, const char* item, const char* itemTypes, Each each) {
    sd_bus_message* message = reply.message.get();
    if (!message || sd_bus_message_enter_container(message, 'a', item) <= 0) return false;
    const char *first, *second;
    int read;
    while ((read = sd_bus_message_read(message, itemTypes, &first, &second)) > 0) each(first, second);
    return read == 0 && sd_bus_message_exit_container(message) >= 0;
  }

  std::optional<std::map<std::string, std::string>> attributes(const LiveElement& element,
                                                               int32_t* error) {
    Reply reply = call(element.bus, element.path, kAccessible, "GetAttributes", "");
    *error = reply.error;
    std::map<std::string, std::string> result;
    if (!takeArray(reply, "{ss}", "{ss}", [&](const char* key, const char* value) { result[key] = value; })) {
      if (reply.message) *error = kAXErrorCannotComplete;
      return std::nullopt;
    }
    return result;
  }

  std::vector<std::pair<std::string, std::string>> children(const LiveElement& element,
                                                            int32_t* error) {
    Reply reply = call(element.bus, element.path, kAccessible, "GetChildren", "");
    *error = reply.error;
    std::vector<std::pair<std::string, std::string>> result;
    if (!takeArray(reply, "(so)", "(so)", [&](const char* bus, const char* path) { result.emplace_back(bus, path); }) &&
        reply.message) {
      *error = kAXErrorCannotComplete;
    }
    return result;
  }

  uint64_t states(const LiveElement& element) {
    Reply reply = call(element.bus, element.path, kAccessible, "GetState", "");
    const void* words = nullptr;
    size_t size = 0;
    if (!reply.message || sd_bus_message_read_array(reply.message.get(), 'u', &words, &size) < 0) return 0;
    uint32_t bits[2] = {0, 0};
    std::memcpy(bits, words, std::min(size, sizeof bits));
    return bits[0] | (uint64_t{bits[1]} << 32);
  }

  AttributeRead read(const LiveElement& element, const std::string& name) {
    int32_t error = kAXErrorSuccess;
    if (name == "AXChildren") {
      ValueList items;
      for (auto& [bus, path] : children(element, &error))
        items.emplace_back().v.emplace<Element>(makeElement(bus, path));
      if (error != kAXErrorSuccess) return {error, std::nullopt};
      return listRead(items);
    }
    if (name == "AXParent") {
      Reply reply = accessibleProperty(element, "Parent", "(so)");
      const char *bus, *path;
      if (!take(reply, "(so)", &bus, &path)) return {failure(reply), std::nullopt};
      if (std::string_view(path) == kNullPath) return {kAXErrorSuccess, std::nullopt};
      return {kAXErrorSuccess, Value{makeElement(bus, path)}};
    }
    if (name == "AXRole") {
      Reply reply = call(element.bus, element.path, kAccessible, "GetRole", "");
      uint32_t role;
      if (!take(reply, "u", &role)) return {failure(reply), std::nullopt};
      return {kAXErrorSuccess, Value{axRole(role)}};
    }
    if (name == "AXTitle") {
      Reply reply = accessibleProperty(element, "Name", "s");
      const char* title;
      if (!take(reply, "s", &title)) return {failure(reply), std::nullopt};
      return {kAXErrorSuccess, Value{std::string(title)}};
    }
    if (name == "AXValue") {
      Reply reply = call(element.bus, element.path, "org.a11y.atspi.Text", "GetText", "ii", 0, -1);
      const char* text;
      if (!take(reply, "s", &text)) return {failure(reply), std::nullopt};
      return {kAXErrorSuccess, Value{std::string(text)}};
    }
    if (name == "AXDOMClassList" || name == "AXDOMIdentifier") {
      auto found = attributes(element, &error);
      if (!found) return {error, std::nullopt};
      const char* key = name == "AXDOMIdentifier" ? "id" : "class";
      auto value = found->find(key);
      if (value == found->end()) return {kAXErrorAttributeUnsupported, std::nullopt};
      if (name == "AXDOMIdentifier") return {kAXErrorSuccess, Value{value->second}};
      ValueList tokens;
      std::string_view rest = value->second;
      while (!rest.empty()) {
        size_t start = rest.find_first_not_of(" \t\n\r\f");
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        size_t end = rest.find_first_of(" \t\n\r\f");
        tokens.emplace_back().v.emplace<std::string>(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
      }
      return listRead(tokens);
    }
    if (name == "AXFrame") {
      Reply reply = call(element.bus, element.path, "org.a11y.atspi.Component", "GetExtents", "u",
                         static_cast<uint32_t>(ATSPI_COORD_TYPE_SCREEN));
      int32_t x, y, width, height;
      if (!take(reply, "(iiii)", &x, &y, &width, &height)) return {failure(reply), std::nullopt};
      return {kAXErrorSuccess, Value{AxValue{Rect{double(x), double(y), double(width), double(height)}}}};
    }
    if (name == "AXDocument" || name == "AXURL") {
      Reply reply = call(element.bus, element.path, "org.a11y.atspi.Document", "GetAttributeValue",
                         "s", "URI");
      const char* text;
      if (!take(reply, "s", &text)) return {failure(reply), std::nullopt};
      std::string uri = text;
      if (uri.empty()) return {kAXErrorNoValue, std::nullopt};
      if (name == "AXURL") return {kAXErrorSuccess, Value{Url{uri}}};
      return {kAXErrorSuccess, Value{uri}};
    }
    return {kAXErrorAttributeUnsupported, std::nullopt};
  }

  // The application's root on the bus: the registry's child whose
  // connection belongs to the process.
  std::optional<LiveElement> applicationRoot(int32_t pid) {
    int32_t error;
    LiveElement registry{"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"};
    for (auto& [bus, path] : children(registry, &error)) {
      Reply owner = call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "GetConnectionUnixProcessID", "s", bus.c_str());
      uint32_t ownerPid = 0;
      if (take(owner, "u", &ownerPid) && static_cast<int32_t>(ownerPid) == pid) return LiveElement{bus, path};
    }
    return std::nullopt;
  }

  std::optional<LiveElement> focusedWindow(const LiveElement& app) {
    int32_t error;
    auto frames = children(app, &error);
    for (auto& [bus, path] : frames) {
      if (states(LiveElement{bus, path}) & (uint64_t{1} << ATSPI_STATE_ACTIVE))
        return LiveElement{bus, path};
    }
    for (auto& [bus, path] : frames) {
      const char* name;
      if (take(accessibleProperty(LiveElement{bus, path}, "Name", "s"), "s", &name) && *name)
        return LiveElement{bus, path};
    }
    return std::nullopt;
  }

  std::optional<LiveElement> focusedElement(const LiveElement& element, int depth, int& visits) {
    if (depth >= kFocusDepthLimit || visits++ >= kFocusVisitLimit) return std::nullopt;
    if (states(element) & (uint64_t{1} << ATSPI_STATE_FOCUSED)) return element;
    int32_t error;
    for (auto& [bus, path] : children(element, &error)) {
      if (auto found = focusedElement(LiveElement{bus, path}, depth + 1, visits)) return found;
      if (visits >= kFocusVisitLimit) break;
    }
    return std::nullopt;
  }

  AttributeRead readApplication(const LiveElement& application, const std::string& name) {
    if (!application.root) {
      std::optional<LiveElement> found = applicationRoot(application.pid);
      if (!found) return {kAXErrorCannotComplete, std::nullopt};
      application.root.emplace(found->bus, found->path);
    }
    LiveElement app{application.root->first, application.root->second};
    if (name != "AXFocusedWindow" && name != "AXFocusedUIElement") return read(app, name);
    std::optional<LiveElement> window = focusedWindow(app);
    if (window && name == "AXFocusedUIElement") {
      int visits = 0;
      window = focusedElement(*window, 0, visits);
    }
    if (!window) return {kAXErrorNoValue, std::nullopt};
    return {kAXErrorSuccess, Value{makeElement(window->bus, window->path)}};
  }

  XPtr x_;
  TraceFile trace_;
  xcb_window_t root_;
  xcb_atom_t activeWindowAtom_, pidAtom_, applicationIdAtom_, nameAtom_, utf8Atom_;
  BusPtr a11y_;
  ConnectionPtr system_;
  bool trusted_ = false;
  bool sleepTried_ = false;
  guint sleepSubscription_ = 0;
  guint xWatch_ = 0;
  std::string lastActive_;
  Token next_ = 1;
  WorkspaceObservers observers_;
  std::map<Token, std::pair<guint, Block*>> timers_;
};

}  // namespace

std::unique_ptr<Desktop> makeLiveDesktop(const std::string& display, const std::string& tracePath) {
  XPtr x(xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr));
  if (!x || xcb_connection_has_error(x.get())) return nullptr;
  return std::make_unique<LiveDesktop>(std::move(x), tracePath);
}

}  // namespace focuswatch
