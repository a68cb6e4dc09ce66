#include "focuswatch/sim/sim_document.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
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

SimValue numberValue(double value, bool int32, int32_t exact) {
  SimValue number(Kind::kNumber, value);
  number.int32 = int32;
  number.error = exact;
  return number;
}

// Builds the document in one pass over the file, straight from the
// parser's events: no JSON tree is held, each object's names are matched
// through a hash where it has many, and ignored parts are only counted.
// Where a name is written twice in one object, it keeps its first place and
// takes its last value.
class Builder {
 public:
  explicit Builder(SimDocument& document) : document_(document) {
    stack_.push_back(Frame(Place::kRoot));
  }

  // Checks what only the whole file shows, numbers the elements in
  // document order and resolves references.
  void finish();

  // The parser's events.
  bool null() { return put(SimValue(Kind::kNull)); }
  bool boolean(bool value) { return put(SimValue(Kind::kOther, value)); }
  bool number_integer(Json::number_integer_t value) {
    bool fits = value >= std::numeric_limits<int32_t>::min() &&
                value <= std::numeric_limits<int32_t>::max();
    return put(numberValue(static_cast<double>(value), fits, fits ? static_cast<int32_t>(value) : 0));
  }
  bool number_unsigned(Json::number_unsigned_t value) {
    bool fits = value <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    return put(numberValue(static_cast<double>(value), fits, fits ? static_cast<int32_t>(value) : 0));
  }
  bool number_float(Json::number_float_t value, const Json::string_t&) {
    return put(numberValue(value, false, 0));
  }
  bool string(Json::string_t& value) {
    return put(SimValue(Kind::kString, std::move(value)));
  }
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
    std::string key;                   // objects: the name whose value comes next
    SimElement* element = nullptr;     // kElement
    SimValue array;                    // kArray: the value being filled
    int trees = 0;                     // elements open at and above this frame
    int arrays = 0;                    // arrays open since the innermost element
    bool hasIdName = false;            // kElement: "id" was written
    std::unordered_map<const std::string*, size_t> attributeAt;  // large elements
  };

  // The application object of "frontmostApplication", as written.
  struct Frontmost {
    static Frontmost of(bool object, bool null = false) {
      Frontmost f;
      f.written = true;
      f.object = object;
      f.null = null;
      return f;
    }
    bool written = false;
    bool object = false;  // an object (else null or something else)
    bool null = false;
    std::map<std::string, SimValue> fields;
  };

  // Puts a finished value where the innermost open frame takes it.
  bool put(SimValue value);
  // Puts an object or array that is not kept: only its end is looked for.
  bool ignore() {
    ++ignored_;
    return true;
  }
  // The element that an object opening in the innermost frame becomes,
  // when it becomes one.
  SimElement& openElement(const SimElement* parent, int trees);
  void setAttribute(Frame& frame, const std::string& name, SimValue value);
  void index(SimElement& element);
  void numberElements();

  SimDocument& document_;
  std::vector<Frame> stack_;
  int ignored_ = 0;  // depth inside a part that is not kept
  std::map<std::string, SimValue> scalars_;  // the top-level numbers and flags
  Frontmost frontmost_;
  bool applicationsWritten_ = false;
  bool applicationsObject_ = false;
  std::vector<std::pair<std::string, SimElement*>> applications_;  // null: not an object
  std::unordered_map<std::string, size_t> applicationAt_;
};

SimElement& Builder::openElement(const SimElement* parent, int trees) {
  if (trees > kDeepestTree) malformed("elements are nested too deep");
  SimElement& element = document_.elements.emplace_back();
  element.document = &document_;
  element.parent = parent;
  return element;
}

bool Builder::start_object(size_t) {
  if (ignored_ > 0) return ignore();
  Frame& outer = stack_.back();
  switch (outer.place) {
    case Place::kRoot:
      stack_.push_back(Frame(Place::kTop));
      return true;
    case Place::kTop:
      if (outer.key == "frontmostApplication") {
        frontmost_ = Frontmost::of(true);
        stack_.push_back(Frame(Place::kFrontmost));
        return true;
      }
      if (outer.key == "applications") {
        applicationsWritten_ = applicationsObject_ = true;
        applications_.clear();
        applicationAt_.clear();
        stack_.push_back(Frame(Place::kApplications));
        return true;
      }
      return put(SimValue(Kind::kOther)) && ignore();  // a number or flag: the wrong type
    case Place::kFrontmost:
      if (outer.key == "processIdentifier" || outer.key == "bundleIdentifier" ||
          outer.key == "localizedName")
        frontmost_.fields[outer.key] = SimValue(Kind::kOther);
      return ignore();
    case Place::kApplications:
    case Place::kElement:
    case Place::kArray: {
      if (outer.place == Place::kElement && outer.key == "id") {
        outer.element->idIsText = false;
        outer.hasIdName = true;
        return ignore();
      }
      const SimElement* parent = outer.place == Place::kApplications ? nullptr : outer.element;
      Frame inner(Place::kElement);
      inner.trees = outer.trees + 1;
      inner.element = &openElement(parent, inner.trees);
      stack_.push_back(std::move(inner));
      return true;
    }
  }
  return true;
}

bool Builder::end_object() {
  if (ignored_ > 0) {
    --ignored_;
    return true;
  }
  Frame frame = std::move(stack_.back());
  stack_.pop_back();
  if (frame.place != Place::kElement) return true;  // the top, frontmost or applications
  SimElement& element = *frame.element;

  Frame& outer = stack_.back();
  if (outer.place == Place::kApplications) {
    auto [at, added] = applicationAt_.try_emplace(outer.key, applications_.size());
    if (added) applications_.emplace_back(outer.key, &element);
    applications_[at->second].second = &element;
    index(element);
    return true;
  }

  // An object of one name may be a value written as an object: it holds no
  // element, so its speculative element is the last one made.
  SimValue value(Kind::kElement, static_cast<const SimElement*>(&element));
  if (element.attributes.size() == 1 && !frame.hasIdName) {
    const std::string& name = *element.attributes.front().first;
    SimValue& only = element.attributes.front().second;
    SimValue special;
    if (name == "url" && only.kind == Kind::kString) {
      special = SimValue(Kind::kUrl, std::move(only.payload));
    } else if (name == "rect" && isNumberList(only, 4)) {
      const auto& n = only.items();
      special = SimValue(Kind::kRect, Rect{std::get<double>(n[0].payload),
                                           std::get<double>(n[1].payload),
                                           std::get<double>(n[2].payload),
                                           std::get<double>(n[3].payload)});
    } else if (name == "point" && isNumberList(only, 2)) {
      special = SimValue(Kind::kOther);  // an AXValue, but never a rectangle
    } else if (name == "ref" && only.kind == Kind::kString) {
      special = SimValue(Kind::kRef, std::move(only.payload));
    } else if (name == "error" && only.kind == Kind::kNumber && only.int32) {
      special = SimValue(Kind::kError);
      special.error = only.error;
    } else {
      special = std::move(value);
    }
    if (special.kind != Kind::kElement) {
      // It is the last element made unless a name written twice left one
      // behind it, which stays unreachable.
      if (&document_.elements.back() == &element) document_.elements.pop_back();
      return put(std::move(special));
    }
    value = std::move(special);
  }
  index(element);
  return put(std::move(value));
}

bool Builder::start_array(size_t) {
  if (ignored_ > 0) return ignore();
  Frame& outer = stack_.back();
  switch (outer.place) {
    case Place::kRoot:
      malformed("the desktop is not a JSON object");
    case Place::kTop:
      return put(SimValue(Kind::kOther)) && ignore();  // the wrong type, where it matters
    case Place::kFrontmost:
      return start_object(0);  // kept only as "something other than text"
    case Place::kApplications:
      return put(SimValue(Kind::kOther)) && ignore();
    case Place::kElement:
      if (outer.key == "id") return start_object(0);
      [[fallthrough]];
    case Place::kArray: {
      Frame inner(Place::kArray);
      inner.element = outer.element;
      inner.trees = outer.trees;
      inner.arrays = outer.arrays + 1;
      if (inner.arrays > kDeepestArrays) malformed("arrays are nested too deep");
      inner.array = SimValue(Kind::kArray, std::vector<SimValue>());
      stack_.push_back(std::move(inner));
      return true;
    }
  }
  return true;
}

bool Builder::end_array() {
  if (ignored_ > 0) {
    --ignored_;
    return true;
  }
  SimValue array = std::move(stack_.back().array);
  stack_.pop_back();
  std::get<std::vector<SimValue>>(array.payload).shrink_to_fit();
  return put(std::move(array));
}

bool Builder::put(SimValue value) {
  if (ignored_ > 0) return true;  // inside a part that is not kept
  Frame& frame = stack_.back();
  switch (frame.place) {
    case Place::kRoot:
      malformed("the desktop is not a JSON object");
    case Place::kTop:
      if (frame.key == "frontmostApplication") {
        frontmost_ = Frontmost::of(false, value.kind == Kind::kNull);
      } else if (frame.key == "applications") {
        applicationsWritten_ = true;
        applicationsObject_ = false;
      } else if (frame.key == "accessibilityTrusted" || frame.key == "idleSeconds" ||
                 frame.key == "uptime" || frame.key == "observedAt") {
        scalars_[frame.key] = std::move(value);
      }
      return true;
    case Place::kFrontmost:
      frontmost_.fields[frame.key] = std::move(value);
      return true;
    case Place::kApplications: {
      // Not an object: refused, unless the name is written again later.
      auto [at, added] = applicationAt_.try_emplace(frame.key, applications_.size());
      if (added) applications_.emplace_back(frame.key, nullptr);
      applications_[at->second].second = nullptr;
      return true;
    }
    case Place::kElement:
      if (frame.key == "id") {
        frame.hasIdName = true;
        frame.element->idIsText = value.kind == Kind::kString;
        if (frame.element->idIsText)
          frame.element->id =
              &document_.idTexts.emplace_back(std::move(std::get<std::string>(value.payload)));
        return true;
      }
      setAttribute(frame, frame.key, std::move(value));
      return true;
    case Place::kArray:
      std::get<std::vector<SimValue>>(frame.array.payload).push_back(std::move(value));
      return true;
  }
  return true;
}

void Builder::setAttribute(Frame& frame, const std::string& name, SimValue value) {
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

void Builder::index(SimElement& element) {
  if (element.attributes.size() <= kIndexedAttributes) return;
  element.byName = std::make_unique<std::vector<uint32_t>>(element.attributes.size());
  std::vector<uint32_t>& byName = *element.byName;
  for (uint32_t i = 0; i < byName.size(); ++i) byName[i] = i;
  std::sort(byName.begin(), byName.end(), [&](uint32_t a, uint32_t b) {
    return *element.attributes[a].first < *element.attributes[b].first;
  });
}

double finiteNumber(const SimValue& value, const char* key) {
  if (!isFiniteNumber(value)) malformed(std::string(key) + " is not a finite number");
  return std::get<double>(value.payload);
}

void Builder::finish() {
  for (auto& [key, value] : scalars_) {
    if (key == "accessibilityTrusted") {
      if (!std::holds_alternative<bool>(value.payload))
        malformed("accessibilityTrusted is not a boolean");
      document_.trusted = std::get<bool>(value.payload);
    } else if (key == "idleSeconds") {
      document_.idleSeconds = finiteNumber(value, "idleSeconds");
    } else if (key == "uptime") {
      document_.uptime = finiteNumber(value, "uptime");
    } else if (key == "observedAt") {
      document_.observedAt = finiteNumber(value, "observedAt");
    }
  }

  if (frontmost_.written && !frontmost_.null) {
    if (!frontmost_.object) malformed("frontmostApplication is not an object");
    RunningApplication app;
    auto pid = frontmost_.fields.find("processIdentifier");
    if (pid == frontmost_.fields.end() || pid->second.kind != Kind::kNumber || !pid->second.int32)
      malformed("frontmostApplication has no 32-bit processIdentifier");
    app.processIdentifier = pid->second.error;
    for (const char* name : {"bundleIdentifier", "localizedName"}) {
      auto text = frontmost_.fields.find(name);
      if (text == frontmost_.fields.end()) continue;
      if (text->second.kind != Kind::kString) malformed(std::string(name) + " is not text");
      (name[0] == 'b' ? app.bundleIdentifier : app.localizedName) = text->second.text();
    }
    document_.frontmost = std::move(app);
  }

  if (applicationsWritten_ && !applicationsObject_) malformed("applications is not an object");
  for (const auto& [pidText, element] : applications_) {
    char* end = nullptr;
    errno = 0;
    long long pid = std::strtoll(pidText.c_str(), &end, 10);
    if (pidText.empty() || *end != '\0' || errno != 0 ||
        pid < std::numeric_limits<int32_t>::min() || pid > std::numeric_limits<int32_t>::max() ||
        !element)
      malformed("applications: \"" + pidText + "\" is not a process of elements");
    element->isApplication = true;
    element->process = static_cast<int32_t>(pid);
    document_.applications[static_cast<int32_t>(pid)] = element;
  }
  numberElements();
}

// Numbers the elements that the file keeps in document order (an element
// before what its attributes hold), registers their ids in that order, and
// points every reference at the element it names. Elements replaced by a
// name written again are left out.
void Builder::numberElements() {
  std::vector<SimValue*> references;
  std::vector<SimElement*> pendingElements;
  std::vector<SimValue*> pendingValues;
  uint32_t next = 1;
  auto visit = [&](SimElement* element) {
    element->number = next++;
    if (!element->idIsText) malformed("an element's id is not text");
    if (element->id) document_.ids.try_emplace(*element->id, element);
    for (auto it = element->attributes.rbegin(); it != element->attributes.rend(); ++it)
      pendingValues.push_back(&it->second);
  };
  for (auto it = applications_.rbegin(); it != applications_.rend(); ++it)
    pendingElements.push_back(it->second);
  while (!pendingElements.empty()) {
    SimElement* application = pendingElements.back();
    pendingElements.pop_back();
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
    auto found = document_.ids.find(reference->text());
    reference->payload = found == document_.ids.end() ? nullptr : found->second;
  }
}

std::string readFile(const std::string& path) {
  vantrel::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) malformed(std::strerror(errno));
  struct stat status;
  if (::fstat(fd.get(), &status) != 0) malformed(std::strerror(errno));
  if (!S_ISREG(status.st_mode)) malformed("not a regular file");
  if (static_cast<uint64_t>(status.st_size) > kLargestDesktopFile) malformed("larger than 64 MiB");
  std::string text(static_cast<size_t>(status.st_size), '\0');
  size_t done = 0;
  if (int error = vantrel::readAll(fd.get(), text.data(), text.size(), &done)) malformed(std::strerror(error));
  text.resize(done);
  return text;
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

std::shared_ptr<const SimDocument> parseSimDocument(std::string_view text) {
  auto document = std::make_shared<SimDocument>();
  Builder builder(*document);
  // The parser reports the first fault through parse_error, which throws.
  Json::sax_parse(text, &builder);
  builder.finish();
  return document;
}

std::shared_ptr<const SimDocument> loadSimDocument(const std::string& path) {
  if (path.empty()) return std::make_shared<SimDocument>();
  try {
    return parseSimDocument(readFile(path));
  } catch (const std::exception& e) {
    // The path and the parser's excerpt of the file may hold any bytes.
    std::string why = vantrel::oneLine(path + ": " + e.what(), vantrel::Escaping::kMessage);
    vantrel::writeAll(STDERR_FILENO, "focuswatch: desktop: " + why + "\n");
    return std::make_shared<SimDocument>();
  }
}

}  // namespace focuswatch
