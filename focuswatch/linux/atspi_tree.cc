#include "focuswatch/linux/atspi_tree.h"

#include <atspi/atspi-constants.h>
#include <gio/gio.h>

#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

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

using MessagePtr = std::unique_ptr<sd_bus_message, vantrel::Deleter<sd_bus_message_unref>>;
using VariantPtr = std::unique_ptr<GVariant, vantrel::Deleter<g_variant_unref>>;
using ConnectionPtr = std::unique_ptr<GDBusConnection, vantrel::Deleter<g_object_unref>>;

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

// The requests of one read, on the bus given.
class Reader {
 public:
  explicit Reader(sd_bus* bus) : bus_(bus) {}

  // One AT-SPI request: `types` and the arguments after it as for
  // sd_bus_message_append.
  template <typename... Arguments>
  Reply call(const std::string& bus, const std::string& path, const char* interface,
             const char* method, const char* types, Arguments... arguments) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int status = sd_bus_call_method(bus_, bus.c_str(), path.c_str(), interface, method,
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


 private:
  sd_bus* bus_;
};

}  // namespace

bool AtspiTree::isTrusted() {
  ConnectionPtr session(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
  if (!session) return trusted_ = false;
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
  if (enabled && (!bus_ || sd_bus_is_open(bus_.get()) <= 0)) connectAccessibilityBus(session.get());
  trusted_ = enabled && bus_ && sd_bus_is_open(bus_.get()) > 0;
  return trusted_;
}

void AtspiTree::connectAccessibilityBus(GDBusConnection* session) {
  bus_.reset();
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
  bus_ = std::move(owned);
}

Element AtspiTree::applicationElement(int32_t pid) {
  auto element = std::make_shared<LiveElement>();
  element->pid = pid;
  element->application = true;
  return Element(std::move(element));
}

std::string AtspiTree::traceName(const Element& handle) {
  auto* element = static_cast<const LiveElement*>(handle.get());
  if (!element) return "?";
  return element->application ? "app:" + std::to_string(element->pid) : element->bus + element->path;
}

AttributeRead AtspiTree::read(const Element& handle, std::string_view attribute) {
  auto* element = static_cast<const LiveElement*>(handle.get());
  if (!trusted_ || !bus_) return {kAXErrorAPIDisabled, std::nullopt};
  if (!element) return {kAXErrorIllegalArgument, std::nullopt};
  Reader reader(bus_.get());
  std::string name(attribute);
  if (element->application) return reader.readApplication(*element, name);
  return reader.read(*element, name);
}

}  // namespace focuswatch
