#include "focuswatch/linux/atspi_tree.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <utility>

namespace focuswatch {

namespace {

constexpr const char* kNullPath = "/org/a11y/atspi/null";
// The focused-element search stops where the probe's own walks stop.
constexpr int kFocusDepthLimit = 26;
constexpr int kFocusVisitLimit = 2500;

// AT-SPI roles and the roles that the probe compares; every other role is
// "AXGroup".
constexpr std::pair<AtspiRole, const char*> kRoles[] = {
    {ATSPI_ROLE_DOCUMENT_WEB, "AXWebArea"}, {ATSPI_ROLE_STATIC, "AXStaticText"},
    {ATSPI_ROLE_LABEL, "AXStaticText"},     {ATSPI_ROLE_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_FRAME, "AXWindow"},         {ATSPI_ROLE_WINDOW, "AXWindow"},
};

// What an Element of the live desktop holds: a node of a tree, or an
// application, known by its process, whose root node is found on its
// first read.
struct LiveElement {
  // For an application element: its root once found, empty before.
  mutable AtspiNode node;
  int32_t pid = 0;
  bool application = false;
};

const LiveElement* live(const Element& element) { return static_cast<const LiveElement*>(element.get()); }

// A node whose states cannot be read is in none: the probe takes a failed
// read as it takes a missing value.
bool hasState(AtspiRequests& bus, const AtspiNode& node, AtspiStateType state) {
  AtspiAnswer<uint64_t> states = bus.states(node);
  return states && (*states & (uint64_t{1} << state));
}

Element makeElement(AtspiNode node) {
  auto element = std::make_shared<LiveElement>();
  element->node = std::move(node);
  return Element(std::move(element));
}

AttributeRead noValue(int32_t error) { return {error, std::nullopt}; }
AttributeRead valueRead(Value value) { return {kAXErrorSuccess, std::move(value)}; }

// A successful read of a list (built in place: GCC 12 warns falsely about
// moving a vector into a fresh variant).
AttributeRead listRead(ValueList& items) {
  AttributeRead read;
  read.value.emplace();
  read.value->v.emplace<ValueList>().swap(items);
  return read;
}

// The read of a reply that holds one string.
AttributeRead textRead(const Reply& reply) {
  const char* text;
  if (!AtspiRequests::take(reply, "s", &text)) return noValue(AtspiRequests::failure(reply));
  return valueRead(Value{std::string(text)});
}

// The `key` of Accessible.GetAttributes; unsupported where it is absent.
AtspiAnswer<std::string> domAttribute(AtspiRequests& bus, const AtspiNode& node, const char* key) {
  auto found = bus.attributes(node, kAccessible);
  if (!found) return vantrel::Failure(found.error());
  auto value = found->find(key);
  if (value != found->end()) return value->second;
  return vantrel::Failure(kAXErrorAttributeUnsupported);
}

// A page's address: Document.GetAttributes' "URI" (Chromium), else its
// "DocURL" (Firefox, whose "URI" is empty). None for a page that is not
// showing: Firefox keeps every tab's page in the tree, and only the front
// tab's page shows.
AtspiAnswer<std::string> documentAddress(AtspiRequests& bus, const AtspiNode& node) {
  auto found = bus.attributes(node, "org.a11y.atspi.Document");
  if (!found) return vantrel::Failure(found.error());
  for (const char* key : {"URI", "DocURL"}) {
    auto address = found->find(key);
    if (address == found->end() || address->second.empty()) continue;
    if (!hasState(bus, node, ATSPI_STATE_SHOWING)) break;
    return address->second;
  }
  return vantrel::Failure(kAXErrorNoValue);
}

// The application's window: its frame in the ACTIVE state, else its first
// frame with a name (Chromium under a plain window manager marks none
// active).
std::optional<AtspiNode> focusedWindow(AtspiRequests& bus, const AtspiNode& application) {
  // A failed listing is no window, which the probe takes as it takes any failed read.
  AtspiAnswer<std::vector<AtspiNode>> frames = bus.children(application);
  if (!frames) return std::nullopt;
  for (const AtspiNode& frame : *frames) {
    if (hasState(bus, frame, ATSPI_STATE_ACTIVE)) return frame;
  }
  for (const AtspiNode& frame : *frames) {
    const char* name;
    if (AtspiRequests::take(bus.accessibleProperty(frame, "Name", "s"), "s", &name) && *name) return frame;
  }
  return std::nullopt;
}

// The FOCUSED node at or below `node`, depth-first.
std::optional<AtspiNode> focusedNode(AtspiRequests& bus, const AtspiNode& node, int depth, int& visits) {
  if (depth >= kFocusDepthLimit || visits++ >= kFocusVisitLimit) return std::nullopt;
  if (hasState(bus, node, ATSPI_STATE_FOCUSED)) return node;
  // A node whose children cannot be listed has none to search, as one without children.
  AtspiAnswer<std::vector<AtspiNode>> children = bus.children(node);
  if (!children) return std::nullopt;
  for (const AtspiNode& child : *children) {
    if (auto found = focusedNode(bus, child, depth + 1, visits)) return found;
    if (visits >= kFocusVisitLimit) break;
  }
  return std::nullopt;
}

// The reading functions, one an attribute.

AttributeRead readChildren(AtspiRequests& bus, const AtspiNode& node) {
  AtspiAnswer<std::vector<AtspiNode>> children = bus.children(node);
  if (!children) return noValue(children.error());
  ValueList items;
  for (AtspiNode& child : *children) items.emplace_back().v.emplace<Element>(makeElement(std::move(child)));
  return listRead(items);
}

AttributeRead readParent(AtspiRequests& bus, const AtspiNode& node) {
  Reply reply = bus.accessibleProperty(node, "Parent", "(so)");
  const char *name, *path;
  if (!AtspiRequests::take(reply, "(so)", &name, &path)) return noValue(AtspiRequests::failure(reply));
  if (std::string_view(path) == kNullPath) return noValue(kAXErrorSuccess);
  return valueRead(Value{makeElement({name, path})});
}

AttributeRead readRole(AtspiRequests& bus, const AtspiNode& node) {
  Reply reply = bus.call(node, kAccessible, "GetRole", "");
  uint32_t role;
  if (!AtspiRequests::take(reply, "u", &role)) return noValue(AtspiRequests::failure(reply));
  auto found = std::find_if(std::begin(kRoles), std::end(kRoles),
                            [role](const auto& row) { return uint32_t(row.first) == role; });
  return valueRead(Value{std::string(found == std::end(kRoles) ? "AXGroup" : found->second)});
}

AttributeRead readTitle(AtspiRequests& bus, const AtspiNode& node) {
  return textRead(bus.accessibleProperty(node, "Name", "s"));
}

AttributeRead readValue(AtspiRequests& bus, const AtspiNode& node) {
  return textRead(bus.call(node, "org.a11y.atspi.Text", "GetText", "ii", 0, -1));
}

AttributeRead readClassList(AtspiRequests& bus, const AtspiNode& node) {
  AtspiAnswer<std::string> classes = domAttribute(bus, node, "class");
  if (!classes) return noValue(classes.error());
  constexpr const char* kBlanks = " \t\n\r\f";
  ValueList tokens;
  for (size_t start = classes->find_first_not_of(kBlanks); start != std::string::npos;) {
    size_t end = classes->find_first_of(kBlanks, start);
    tokens.emplace_back().v.emplace<std::string>(classes->substr(start, end - start));
    start = classes->find_first_not_of(kBlanks, end);
  }
  return listRead(tokens);
}

AttributeRead readIdentifier(AtspiRequests& bus, const AtspiNode& node) {
  AtspiAnswer<std::string> id = domAttribute(bus, node, "id");
  if (!id) return noValue(id.error());
  return valueRead(Value{*id});
}

AttributeRead readFrame(AtspiRequests& bus, const AtspiNode& node) {
  Reply reply = bus.call(node, "org.a11y.atspi.Component", "GetExtents", "u",
                         static_cast<uint32_t>(ATSPI_COORD_TYPE_SCREEN));
  int32_t x, y, width, height;
  if (!AtspiRequests::take(reply, "(iiii)", &x, &y, &width, &height))
    return noValue(AtspiRequests::failure(reply));
  return valueRead(Value{AxValue{Rect{double(x), double(y), double(width), double(height)}}});
}

AttributeRead readDocument(AtspiRequests& bus, const AtspiNode& node) {
  AtspiAnswer<std::string> address = documentAddress(bus, node);
  if (!address) return noValue(address.error());
  return valueRead(Value{*address});
}

AttributeRead readUrl(AtspiRequests& bus, const AtspiNode& node) {
  AttributeRead read = readDocument(bus, node);
  if (read.value) read.value->v = Url{std::get<std::string>(read.value->v)};
  return read;
}

AttributeRead readFocusedWindow(AtspiRequests& bus, const AtspiNode& application) {
  std::optional<AtspiNode> window = focusedWindow(bus, application);
  if (!window) return noValue(kAXErrorNoValue);
  return valueRead(Value{makeElement(std::move(*window))});
}

AttributeRead readFocusedElement(AtspiRequests& bus, const AtspiNode& application) {
  std::optional<AtspiNode> window = focusedWindow(bus, application);
  int visits = 0;
  std::optional<AtspiNode> focused = window ? focusedNode(bus, *window, 0, visits) : std::nullopt;
  if (!focused) return noValue(kAXErrorNoValue);
  return valueRead(Value{makeElement(std::move(*focused))});
}

struct AttributeRow {
  std::string_view attribute;
  bool applicationOnly;  // read of an application element only
  AttributeRead (*read)(AtspiRequests&, const AtspiNode&);
};

// What the probe reads, and the AT-SPI requests that answer it (the README
// prints this table). An application element answers for its root node.
// Any other attribute is unsupported.
constexpr AttributeRow kAttributes[] = {
    // Accessible.GetChildren
    {"AXChildren", false, readChildren},
    // the Accessible "Parent" property; the null path is no parent
    {"AXParent", false, readParent},
    // Accessible.GetRole, through kRoles
    {"AXRole", false, readRole},
    // the Accessible "Name" property
    {"AXTitle", false, readTitle},
    // Text.GetText(0, -1)
    {"AXValue", false, readValue},
    // Accessible.GetAttributes, "class" split at blanks
    {"AXDOMClassList", false, readClassList},
    // Accessible.GetAttributes, "id"
    {"AXDOMIdentifier", false, readIdentifier},
    // Component.GetExtents in screen coordinates
    {"AXFrame", false, readFrame},
    // Document.GetAttributes, "URI" else "DocURL", as text; then
    // Accessible.GetState: none unless SHOWING
    {"AXDocument", false, readDocument},
    // the same, as a URL
    {"AXURL", false, readUrl},
    // its frame in the ACTIVE state (Accessible.GetState of each), else
    // its first frame with a name
    {"AXFocusedWindow", true, readFocusedWindow},
    // the FOCUSED node of that frame, depth-first within depth 26 and 2500
    // nodes (AT-SPI has no request for it, and Chromium answers no
    // Collection match)
    {"AXFocusedUIElement", true, readFocusedElement},
};

}  // namespace

bool AtspiTree::isTrusted() {
  roots_.clear();
  silent_.clear();
  trustedBus_ = bus_.connectIfEnabled();
  // Replies that came after their request timed out wait in the
  // connection's queue, which every request searches: drop them.
  if (trustedBus_)
    while (sd_bus_process(trustedBus_, nullptr) > 0) {}
  return trustedBus_ != nullptr;
}

Element AtspiTree::applicationElement(int32_t pid) {
  auto element = std::make_shared<LiveElement>();
  element->pid = pid;
  element->application = true;
  return Element(std::move(element));
}

std::string AtspiTree::traceName(const Element& handle) {
  const LiveElement* element = live(handle);
  if (!element) return "?";
  return element->application ? "app:" + std::to_string(element->pid)
                              : element->node.bus + element->node.path;
}

AttributeRead AtspiTree::read(const Element& handle, std::string_view attribute) {
  const LiveElement* element = live(handle);
  if (!trustedBus_) return noValue(kAXErrorAPIDisabled);
  if (!element) return noValue(kAXErrorIllegalArgument);
  AtspiRequests bus(trustedBus_, &silent_);
  if (element->application && element->node.path.empty()) {
    std::optional<AtspiNode> found = root(bus, element->pid);
    if (!found) return noValue(kAXErrorCannotComplete);
    element->node = std::move(*found);
  }
  for (const AttributeRow& row : kAttributes) {
    if (row.attribute == attribute && (element->application || !row.applicationOnly))
      return row.read(bus, element->node);
  }
  return noValue(kAXErrorAttributeUnsupported);
}

std::optional<std::string> AtspiTree::applicationName(int32_t pid) {
  if (!trustedBus_ || pid <= 0) return std::nullopt;
  AtspiRequests bus(trustedBus_, &silent_);
  std::optional<AtspiNode> found = root(bus, pid);
  if (!found) return std::nullopt;
  Reply reply = bus.accessibleProperty(*found, "Name", "s");  // holds the name
  const char* name;
  if (!AtspiRequests::take(reply, "s", &name) || !*name) return std::nullopt;
  return name;
}

std::optional<AtspiNode> AtspiTree::root(AtspiRequests& bus, int32_t pid) {
  if (auto known = roots_.find(pid); known != roots_.end()) return known->second;
  // A failed listing finds no application, the failure the caller reports.
  AtspiAnswer<std::vector<AtspiNode>> children =
      bus.children({"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"});
  if (!children) return std::nullopt;
  for (AtspiNode& child : *children) {
    // A connection whose process the bus cannot tell (gone meanwhile) is not the one asked for.
    AtspiAnswer<int32_t> process = bus.connectionProcess(child.bus);
    if (process && *process == pid) return roots_[pid] = std::move(child);
  }
  return std::nullopt;
}

}  // namespace focuswatch
