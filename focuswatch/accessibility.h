// Reading other applications' accessibility trees. Every read goes through
// `attribute`; failures of any kind become an absent value or an empty list.
#ifndef FOCUSWATCH_ACCESSIBILITY_H_
#define FOCUSWATCH_ACCESSIBILITY_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "focuswatch/desktop.h"

namespace focuswatch {

// Titles and labels are cut to this many user-perceived characters.
inline constexpr size_t kTextLimit = 180;

// Counts the elements that one bounded walk examines.
class VisitBudget {
 public:
  explicit VisitBudget(int limit) : limit_(limit) {}
  // Takes one visit; false once the limit is reached, and from then on the
  // budget counts as overrun.
  bool take() {
    if (used_ >= limit_) {
      overrun_ = true;
      return false;
    }
    ++used_;
    return true;
  }
  bool exhausted() const { return used_ >= limit_; }
  // Whether a visit was refused: the walk did not see all it would have.
  bool overrun() const { return overrun_; }

 private:
  int used_ = 0;
  int limit_;
  bool overrun_ = false;
};

// A hostile tree can give every element a hundred thousand children; walks
// that the depth limit alone would bound stop after this many elements, far
// more than any real tab strip holds. A walk that stops there has no answer.
inline constexpr int kLabelVisitLimit = 10000;

// One read of `name`; absent when the read fails or stores no value.
std::optional<Value> attribute(Desktop& desktop, const Element& element, std::string_view name);

// The element check: the value is an accessibility element.
std::optional<Element> asElement(std::optional<Value> value);
// The string check: the value is a string.
std::optional<std::string> asString(std::optional<Value> value);
// The rectangle rule: an AXValue of the rectangle type.
std::optional<Rect> asRectangle(const std::optional<Value>& value);

// The application's "AXFocusedWindow", when it is an element.
std::optional<Element> focusedWindow(Desktop& desktop, const Element& application);

// "AXDOMClassList" when it is an array of strings only; else empty.
std::vector<std::string> classes(Desktop& desktop, const Element& element);

// "AXChildren" in order; empty unless it is an array. Items that are not
// elements are left out rather than handed back to the platform.
std::vector<Element> children(Desktop& desktop, const Element& element);

// The first non-empty static text in the subtree, searched depth-first
// down to depth 4, cut to 180 characters. Absent too when the search ran
// out of visits before it found one.
std::optional<std::string> tabLabel(Desktop& desktop, const Element& element, int depth = 0);
// The same search, counting the elements it visits against `budget`; the
// caller asks the budget whether it was overrun.
std::optional<std::string> tabLabel(Desktop& desktop, const Element& element, int depth, VisitBudget& budget);

bool containsToken(const std::vector<std::string>& tokens, std::string_view token);

}  // namespace focuswatch

#endif  // FOCUSWATCH_ACCESSIBILITY_H_
