#include "focuswatch/desktop_file/document.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "common/io.h"
#include "common/one_line.h"
#include "common/unique_fd.h"

namespace focuswatch {

namespace {

using Json = nlohmann::json;
using Kind = SimValue::Kind;

// Elements with more attributes than this are looked up through an index.
constexpr size_t kIndexedAttributes = 8;

[[noreturn]] void malformed(const std::string& why) { throw std::runtime_error(why); }

bool isFiniteNumber(const SimValue& value) {
  return value.kind == Kind::kNumber && std::isfinite(std::get<double>(value.payload));
}

bool isNumberList(const SimValue& value, size_t count) {
  return value.kind == Kind::kArray && value.items().size() == count &&
         std::all_of(value.items().begin(), value.items().end(), isFiniteNumber);
}

template <typename Integer>
SimValue integerValue(Integer value) {
  SimValue number(Kind::kNumber, static_cast<double>(value));
  if (std::in_range<int32_t>(value)) number.integer = static_cast<int32_t>(value);
  return number;
}

// Sorts the names of an element with many attributes, for look-ups.
void indexAttributes(SimElement& element) {
  if (element.attributes.size() <= kIndexedAttributes) return;
  element.byName = std::make_unique<std::vector<uint32_t>>(element.attributes.size());
  std::vector<uint32_t>& byName = *element.byName;
  for (uint32_t i = 0; i < byName.size(); ++i) byName[i] = i;
  std::sort(byName.begin(), byName.end(), [&](uint32_t a, uint32_t b) {
    return *element.attributes[a].first < *element.attributes[b].first;
  });
}

// How a top-level object is written: left out, null, an object, or
// something else.
enum class Shape : uint8_t { kAbsent, kNull, kObject, kOther };

// The top-level values as the file writes them, not yet checked.
struct WrittenDesktop {
  std::map<std::string, SimValue> scalars;  // the flags and numbers, by key
  Shape frontmost = Shape::kAbsent;
  std::map<std::string, SimValue> frontmostFields;
  Shape applications = Shape::kAbsent;
  // Each process key once, in the order first written; null where its
  // value is not an object.
  std::vector<std::pair<std::string, SimElement*>> processes;
};

// Turns the parser's events into elements and the top-level values as
// written, in one pass: no JSON tree is held, each object's names are
// matched through a hash where it has many, and ignored parts are only
// counted. Where a name is written twice in one object, it keeps its first
// place and takes its last value.
class EventReader {
 public:
  EventReader(SimDocument& document, WrittenDesktop& written) : document_(document), written_(written) {
    stack_.push_back(Frame(Place::kRoot));
  }

  bool null() { return put(SimValue(Kind::kNull)); }
  bool boolean(bool value) { return put(SimValue(Kind::kOther, value)); }
  bool number_integer(Json::number_integer_t value) { return put(integerValue(value)); }
  bool number_unsigned(Json::number_unsigned_t value) { return put(integerValue(value)); }
  bool number_float(Json::number_float_t value, const Json::string_t&) {
    return put(SimValue(Kind::kNumber, value));
  }
  bool string(Json::string_t& value) { return put(SimValue(Kind::kString, std::move(value))); }
  bool binary(Json::binary_t&) { return put(SimValue(Kind::kOther)); }
  bool key(Json::string_t& name) {
    if (ignored_ == 0) stack_.back().key = std::move(name);
    return true;
  }
  bool start_object(size_t);
  bool end_object();
  bool start_array(size_t);
  bool end_array();
  bool parse_error(size_t, const std::string&, const nlohmann::detail::exception& error) {
    malformed(error.what());
  }

 private:
  // kRoot holds the file's one value; kTop is the desktop object in it.
  enum class Place : uint8_t { kRoot, kTop, kFrontmost, kApplications, kElement, kArray };

  struct Frame {
    explicit Frame(Place place) : place(place) {}
    Place place;
    std::string key;                                             // objects: the name whose value comes next
    SimElement* element = nullptr;                               // kElement, and the element a kArray is in
    SimValue array;                                              // kArray: the value being filled
    int trees = 0;                                               // elements open at and above this frame
    int arrays = 0;                                              // arrays open since the innermost element
    bool hasIdName = false;                                      // kElement: "id" was written
    std::unordered_map<const std::string*, size_t> attributeAt;  // large elements
  };

  // Puts a finished value where the innermost open frame takes it.
  bool put(SimValue value);
  bool putAtTop(const std::string& key, SimValue value);
  void putProcess(const std::string& key, SimElement* element);
  // An object or array that is not kept: only its end is looked for.
  bool ignore() {
    ++ignored_;
    return true;
  }
  bool openElement(Frame& outer);
  void setAttribute(Frame& frame, const std::string& name, SimValue value);
  // What a closed element written in place stands for: itself, or one of
  // the value shapes written as an object of one name.
  SimValue valueOf(SimElement& element, bool hasIdName);

  SimDocument& document_;
  WrittenDesktop& written_;
  std::vector<Frame> stack_;
  int ignored_ = 0;  // depth inside a part that is not kept
  std::unordered_map<std::string, size_t> processAt_;
};

bool EventReader::openElement(Frame& outer) {
  Frame inner(Place::kElement);
  inner.trees = outer.trees + 1;
  if (inner.trees > kDeepestTree) malformed("elements are nested too deep");
  SimElement& element = document_.elements.emplace_back();
  element.document = &document_;
  element.parent = outer.place == Place::kApplications ? nullptr : outer.element;
  inner.element = &element;
  stack_.push_back(std::move(inner));
  return true;
}

bool EventReader::start_object(size_t) {
  if (ignored_ > 0) return ignore();
  Frame& outer = stack_.back();
  switch (outer.place) {
    case Place::kRoot: stack_.push_back(Frame(Place::kTop)); return true;
    case Place::kTop:
      if (outer.key == "frontmostApplication") {
        written_.frontmost = Shape::kObject;
        written_.frontmostFields.clear();
        stack_.push_back(Frame(Place::kFrontmost));
        return true;
      }
      if (outer.key == "applications") {
        written_.applications = Shape::kObject;
        written_.processes.clear();
        processAt_.clear();
        stack_.push_back(Frame(Place::kApplications));
        return true;
      }
      return put(SimValue(Kind::kOther)) && ignore();  // a flag or number: the wrong type
    case Place::kFrontmost:
      return put(SimValue(Kind::kOther)) && ignore();  // text or a number: the wrong type
    case Place::kElement:
      if (outer.key == "id") return put(SimValue(Kind::kOther)) && ignore();  // not text
      return openElement(outer);
    case Place::kApplications:
    case Place::kArray: return openElement(outer);
  }
  return true;
}

bool EventReader::end_object() {
  if (ignored_ > 0) {
    --ignored_;
    return true;
  }
  Frame frame = std::move(stack_.back());
  stack_.pop_back();
  if (frame.place != Place::kElement) return true;  // the top, frontmost or applications
  SimElement& element = *frame.element;
  if (stack_.back().place == Place::kApplications) {
    putProcess(stack_.back().key, &element);
    indexAttributes(element);
    return true;
  }
  return put(valueOf(element, frame.hasIdName));
}

SimValue EventReader::valueOf(SimElement& element, bool hasIdName) {
  SimValue shape(Kind::kElement, static_cast<const SimElement*>(&element));
  if (element.attributes.size() == 1 && !hasIdName) {
    const std::string& name = *element.attributes.front().first;
    SimValue& only = element.attributes.front().second;
    if (name == "url" && only.kind == Kind::kString) {
      shape = SimValue(Kind::kUrl, std::move(only.payload));
    } else if (name == "rect" && isNumberList(only, 4)) {
      const auto& n = only.items();
      shape = SimValue(Kind::kRect, Rect{std::get<double>(n[0].payload), std::get<double>(n[1].payload),
                                         std::get<double>(n[2].payload), std::get<double>(n[3].payload)});
    } else if (name == "point" && isNumberList(only, 2)) {
      shape = SimValue(Kind::kOther);  // an AXValue, but never a rectangle
    } else if (name == "ref" && only.kind == Kind::kString) {
      shape = SimValue(Kind::kRef, std::move(only.payload));
    } else if (name == "error" && only.kind == Kind::kNumber && only.integer) {
      shape = SimValue(Kind::kError);
      shape.integer = only.integer;
    }
  }
  if (shape.kind == Kind::kElement) {
    indexAttributes(element);
  } else if (&document_.elements.back() == &element) {
    // No element after all. It is the last one made, unless a name written
    // twice left one behind it, which stays unreachable.
    document_.elements.pop_back();
  }
  return shape;
}

bool EventReader::start_array(size_t) {
  if (ignored_ > 0) return ignore();
  Frame& outer = stack_.back();
  if (outer.place == Place::kRoot) malformed("the desktop is not a JSON object");
  if (outer.place != Place::kElement && outer.place != Place::kArray)
    return put(SimValue(Kind::kOther)) && ignore();  // the wrong type, where it matters
  if (outer.key == "id" && outer.place == Place::kElement) return put(SimValue(Kind::kOther)) && ignore();
  Frame inner(Place::kArray);
  inner.element = outer.element;
  inner.trees = outer.trees;
  inner.arrays = outer.arrays + 1;
  if (inner.arrays > kDeepestArrays) malformed("arrays are nested too deep");
  inner.array = SimValue(Kind::kArray, std::vector<SimValue>());
  stack_.push_back(std::move(inner));
  return true;
}

bool EventReader::end_array() {
  if (ignored_ > 0) {
    --ignored_;
    return true;
  }
  SimValue array = std::move(stack_.back().array);
  stack_.pop_back();
  std::get<std::vector<SimValue>>(array.payload).shrink_to_fit();
  return put(std::move(array));
}

bool EventReader::put(SimValue value) {
  if (ignored_ > 0) return true;  // inside a part that is not kept
  Frame& frame = stack_.back();
  switch (frame.place) {
    case Place::kRoot: malformed("the desktop is not a JSON object");
    case Place::kTop: return putAtTop(frame.key, std::move(value));
    case Place::kFrontmost: written_.frontmostFields[frame.key] = std::move(value); return true;
    case Place::kApplications:
      putProcess(frame.key, nullptr);  // not an object
      return true;
    case Place::kElement:
      if (frame.key != "id") {
        setAttribute(frame, frame.key, std::move(value));
      } else {
        frame.hasIdName = true;
        frame.element->idIsText = value.kind == Kind::kString;
        if (frame.element->idIsText)
          frame.element->id =
              &document_.idTexts.emplace_back(std::move(std::get<std::string>(value.payload)));
      }
      return true;
    case Place::kArray:
      std::get<std::vector<SimValue>>(frame.array.payload).push_back(std::move(value));
      return true;
  }
  return true;
}

bool EventReader::putAtTop(const std::string& key, SimValue value) {
  if (key == "frontmostApplication") {
    written_.frontmost = value.kind == Kind::kNull ? Shape::kNull : Shape::kOther;
    written_.frontmostFields.clear();
  } else if (key == "applications") {
    written_.applications = value.kind == Kind::kNull ? Shape::kNull : Shape::kOther;
  } else if (key == "accessibilityTrusted" || key == "idleSeconds" || key == "uptime" ||
             key == "observedAt") {
    written_.scalars[key] = std::move(value);
  }
  return true;
}

void EventReader::putProcess(const std::string& key, SimElement* element) {
  auto [at, added] = processAt_.try_emplace(key, written_.processes.size());
  if (added) written_.processes.emplace_back(key, element);
  written_.processes[at->second].second = element;
}

void EventReader::setAttribute(Frame& frame, const std::string& name, SimValue value) {
  auto& attributes = frame.element->attributes;
  const std::string* interned = &*document_.names.insert(name).first;
  if (attributes.size() < kIndexedAttributes) {
    for (auto& [key, existing] : attributes) {
      if (key == interned) {
        existing = std::move(value);
        return;
      }
    }
  } else {
    if (frame.attributeAt.empty()) {
      for (size_t i = 0; i < attributes.size(); ++i) frame.attributeAt[attributes[i].first] = i;
    }
    auto [at, added] = frame.attributeAt.try_emplace(interned, attributes.size());
    if (!added) {
      attributes[at->second].second = std::move(value);
      return;
    }
  }
  attributes.emplace_back(interned, std::move(value));
}

double finiteNumber(const SimValue& value, const char* key) {
  if (!isFiniteNumber(value)) malformed(std::string(key) + " is not a finite number");
  return std::get<double>(value.payload);
}

void checkScalars(const std::map<std::string, SimValue>& scalars, SimDocument& document) {
  for (const auto& [key, value] : scalars) {
    if (key == "accessibilityTrusted") {
      if (!std::holds_alternative<bool>(value.payload)) malformed("accessibilityTrusted is not a boolean");
      document.trusted = std::get<bool>(value.payload);
    } else if (key == "idleSeconds") {
      document.idleSeconds = finiteNumber(value, "idleSeconds");
    } else if (key == "uptime") {
      document.uptime = finiteNumber(value, "uptime");
    } else if (key == "observedAt") {
      document.observedAt = finiteNumber(value, "observedAt");
    }
  }
}

// An optional text field of the frontmost application.
std::optional<std::string> frontmostText(const std::map<std::string, SimValue>& fields,
                                         const std::string& name) {
  auto text = fields.find(name);
  if (text == fields.end()) return std::nullopt;
  if (text->second.kind != Kind::kString) malformed(name + " is not text");
  return text->second.text();
}

void checkFrontmost(const WrittenDesktop& written, SimDocument& document) {
  if (written.frontmost == Shape::kAbsent || written.frontmost == Shape::kNull) return;
  if (written.frontmost != Shape::kObject) malformed("frontmostApplication is not an object");
  const std::map<std::string, SimValue>& fields = written.frontmostFields;
  auto pid = fields.find("processIdentifier");
  if (pid == fields.end() || pid->second.kind != Kind::kNumber || !pid->second.integer)
    malformed("frontmostApplication has no 32-bit processIdentifier");
  RunningApplication app;
  app.processIdentifier = *pid->second.integer;
  app.bundleIdentifier = frontmostText(fields, "bundleIdentifier");
  app.localizedName = frontmostText(fields, "localizedName");
  document.frontmost = std::move(app);
}

// A process key: a 32-bit integer in plain decimal, as std::to_string
// writes it ("05", "+5", " 5" and "-0" are not).
std::optional<int32_t> processOfKey(const std::string& key) {
  int32_t pid = 0;
  auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), pid);
  if (error != std::errc() || end != key.data() + key.size() || std::to_string(pid) != key)
    return std::nullopt;
  return pid;
}

void checkApplications(const WrittenDesktop& written, SimDocument& document) {
  if (written.applications != Shape::kAbsent && written.applications != Shape::kObject)
    malformed("applications is not an object");
  for (const auto& [key, element] : written.processes) {
    std::optional<int32_t> pid = processOfKey(key);
    if (!pid || !element) malformed("applications: \"" + key + "\" is not a process of elements");
    element->isApplication = true;
    element->process = *pid;
    document.applications[*pid] = element;
  }
}

// Numbers the elements that the file keeps in document order (an element
// before what its attributes hold), registers their ids in that order, and
// points every reference at the element it names. Elements replaced by a
// name written again are left out.
void numberElements(const std::vector<std::pair<std::string, SimElement*>>& processes,
                    SimDocument& document) {
  std::vector<SimValue*> references;
  std::vector<SimValue*> pendingValues;
  uint32_t next = 1;
  auto visit = [&](SimElement* element) {
    element->number = next++;
    if (!element->idIsText) malformed("an element's id is not text");
    if (element->id) document.ids.try_emplace(*element->id, element);
    for (auto it = element->attributes.rbegin(); it != element->attributes.rend(); ++it)
      pendingValues.push_back(&it->second);
  };
  for (const auto& [key, application] : processes) {
    visit(application);
    while (!pendingValues.empty()) {
      SimValue* value = pendingValues.back();
      pendingValues.pop_back();
      if (value->kind == Kind::kElement) {
        visit(const_cast<SimElement*>(value->element()));
      } else if (value->kind == Kind::kArray) {
        auto& items = std::get<std::vector<SimValue>>(value->payload);
        for (auto it = items.rbegin(); it != items.rend(); ++it) pendingValues.push_back(&*it);
      } else if (value->kind == Kind::kRef) {
        references.push_back(value);
      }
    }
  }
  for (SimValue* reference : references) {
    auto found = document.ids.find(reference->text());
    reference->payload = found == document.ids.end() ? nullptr : found->second;
  }
}

// The file's text, or why it cannot be read.
vantrel::Result<std::string, std::string> readFile(const std::string& path) {
  using vantrel::Failure;
  vantrel::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return Failure(std::string(std::strerror(errno)));
  struct stat status;
  if (::fstat(fd.get(), &status) != 0) return Failure(std::string(std::strerror(errno)));
  if (!S_ISREG(status.st_mode)) return Failure(std::string("not a regular file"));
  if (static_cast<uint64_t>(status.st_size) > kLargestDesktopFile)
    return Failure(std::string("larger than 64 MiB"));
  std::string text;
  try {
    text.resize(static_cast<size_t>(status.st_size));
  } catch (const std::exception& e) {  // no memory for it
    return Failure(std::string(e.what()));
  }
  size_t done = 0;
  if (int error = vantrel::readAll(fd.get(), text.data(), text.size(), &done))
    return Failure(std::string(std::strerror(error)));
  text.resize(done);
  return text;
}

// The document of `text`; throws std::runtime_error saying why a malformed
// one is refused, as the parser stops at the first fault.
std::shared_ptr<const SimDocument> parsed(std::string_view text) {
  auto document = std::make_shared<SimDocument>();
  WrittenDesktop written;
  EventReader reader(*document, written);
  // The parser reports the first fault through parse_error, which throws.
  Json::sax_parse(text, &reader);
  checkScalars(written.scalars, *document);
  checkFrontmost(written, *document);
  checkApplications(written, *document);
  numberElements(written.processes, *document);
  return document;
}

}  // namespace

std::string SimElement::traceName() const {
  if (id) return *id;
  if (isApplication) return "app:" + std::to_string(process);
  return "#" + std::to_string(number);
}

const SimValue* SimElement::attribute(std::string_view name) const {
  if (!byName) {
    for (const auto& [key, value] : attributes) {
      if (*key == name) return &value;
    }
    return nullptr;
  }
  auto at = std::lower_bound(byName->begin(), byName->end(), name,
                             [&](uint32_t i, std::string_view n) { return *attributes[i].first < n; });
  if (at == byName->end() || *attributes[*at].first != name) return nullptr;
  return &attributes[*at].second;
}

SimDocumentResult parseSimDocument(std::string_view text) {
  try {
    return parsed(text);
  } catch (const std::exception& e) { return vantrel::Failure(std::string(e.what())); }
}

std::shared_ptr<const SimDocument> loadSimDocument(const std::string& path) {
  if (path.empty()) return std::make_shared<SimDocument>();
  vantrel::Result<std::string, std::string> text = readFile(path);
  SimDocumentResult document =
      text ? parseSimDocument(*text) : SimDocumentResult(vantrel::Failure(text.error()));
  if (document) return *document;
  // The path and the parser's excerpt of the file may hold any bytes.
  std::string why = vantrel::oneLine(path + ": " + document.error(), vantrel::Escaping::kMessage);
  // A diagnostic: one that standard error cannot take is lost.
  (void)vantrel::writeAll(STDERR_FILENO, "focuswatch: desktop: " + why + "\n");
  return std::make_shared<SimDocument>();
}

}  // namespace focuswatch
