// The desktop file of the simulated desktop, read into elements and values
// in one pass: the file format, its limits and its diagnostics, in the
// boundary's own types (desktop.h).
#ifndef FOCUSWATCH_DESKTOP_FILE_DOCUMENT_H_
#define FOCUSWATCH_DESKTOP_FILE_DOCUMENT_H_

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "common/result.h"
#include "focuswatch/desktop.h"

namespace focuswatch {

struct SimElement;
struct SimDocument;

// An attribute value as the file writes it.
struct SimValue {
  enum class Kind : uint8_t { kString, kNumber, kOther, kArray, kNull, kUrl, kRect, kRef, kError, kElement };
  // kString, kUrl: the text; kRef: the id it names until it is resolved,
  // then the element (null when the file holds no such id); kArray: the
  // items; kRect: the rectangle; kNumber: the number; kElement: the
  // element; a flag: its value.
  using Payload =
      std::variant<std::monostate, std::string, std::vector<SimValue>, Rect, double, bool, const SimElement*>;

  SimValue() = default;
  explicit SimValue(Kind kind, Payload payload = {}) : kind(kind), payload(std::move(payload)) {}

  Kind kind = Kind::kOther;
  // kNumber: the number, when it is an integer that fits 32 bits; kError:
  // the error code.
  std::optional<int32_t> integer;
  Payload payload;

  const std::string& text() const { return std::get<std::string>(payload); }
  const std::vector<SimValue>& items() const { return std::get<std::vector<SimValue>>(payload); }
  const SimElement* element() const { return std::get<const SimElement*>(payload); }
};

struct SimElement {
  // Attribute names are interned in the document; values in file order,
  // each name once (a name written twice keeps its place and its last value).
  std::vector<std::pair<const std::string*, SimValue>> attributes;
  // Attribute indexes sorted by name, for elements with many attributes.
  std::unique_ptr<std::vector<uint32_t>> byName;
  const std::string* id = nullptr;     // held by the document
  const SimElement* parent = nullptr;  // where it is written in place
  const SimDocument* document = nullptr;
  uint32_t number = 0;  // in document order, from 1
  int32_t process = 0;  // an application element's process
  bool isApplication = false;
  bool idIsText = true;
  bool unreachable = false;  // an application the file does not describe

  // The id, else "app:PID" for an application, else "#N".
  std::string traceName() const;
  const SimValue* attribute(std::string_view name) const;
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
  std::unordered_set<std::string> names;  // interned attribute names
  std::deque<std::string> idTexts;        // the elements' ids
};

// A desktop file larger than this is refused rather than read.
inline constexpr size_t kLargestDesktopFile = 64 << 20;
// Elements nested deeper than this, or arrays nested deeper than this
// within one attribute, are refused: the tree must stay finite to walk.
inline constexpr int kDeepestTree = 10000;
inline constexpr int kDeepestArrays = 2000;

// The document of a desktop file's text, or why a malformed one is refused.
using SimDocumentResult = vantrel::Result<std::shared_ptr<const SimDocument>, std::string>;
SimDocumentResult parseSimDocument(std::string_view text);

// Reads a desktop file; an unreadable or malformed one gives the empty
// desktop and a diagnostic line on standard error.
std::shared_ptr<const SimDocument> loadSimDocument(const std::string& path);

}  // namespace focuswatch

#endif  // FOCUSWATCH_DESKTOP_FILE_DOCUMENT_H_
