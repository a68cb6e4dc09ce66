#include "focuswatch/nerrit_worktree.h"

#include <vector>

#include "focuswatch/accessibility.h"
#include "focuswatch/reasons.h"
#include "focuswatch/text.h"

namespace focuswatch {

namespace {

constexpr int kDepthLimit = 26;
constexpr int kVisitLimit = 2500;
// A row's card sits among its grandchildren; a real row has a handful of
// them, a hostile one could have millions. The rows of one query are looked
// at only this far (children and grandchildren together), far beyond any
// real sidebar; a query that stops there has no answer.
constexpr int kRowVisitLimit = 10000;
constexpr std::string_view kField = "nerritSelectedWorktreeId";

class WorktreeQuery {
 public:
  explicit WorktreeQuery(Desktop& desktop) : desktop_(desktop), reasons_(desktop.reasons()) {}

  std::optional<std::string> run(const RunningApplication& app) {
    Element application = desktop_.createApplicationElement(app.processIdentifier);
    std::optional<Element> window = focusedWindow(desktop_, application);
    if (!window) {
      tell(reasons_, kField, "missing", nullptr, "no focused window (AXFocusedWindow is not an element)");
      return std::nullopt;
    }
    scan(*window, 0);
    if (rowBudget_.overrun() || identifiers_.size() != 1) {
      tell(reasons_, kField, "missing", spentAt_ ? &*spentAt_ : nullptr, [&] {
        if (rowBudget_.overrun()) return std::string("the rows' visit budget of 10,000 was spent");
        if (identifiers_.size() > 1) return std::to_string(identifiers_.size()) + " selected worktree rows";
        return std::string(
                   "no selected worktree row (an AXMenuItem valued selected, or whose card has no "
                   "hover style) with a worktree identifier") +
               (spentAt_ ? ": the visit budget of 2,500 was spent at this element" : "");
      });
      return std::nullopt;
    }
    tell(reasons_, kField, "from", rows_.empty() ? nullptr : &rows_.front(),
         "the selected row's AXDOMIdentifier");
    return identifiers_.front();
  }

 private:
  void scan(const Element& element, int depth) {
    if (depth >= kDepthLimit || !budget_.take()) return;
    if (reasons_ && budget_.exhausted() && !spentAt_) {
      spentAt_ = element;
      tell(reasons_, kField, "budget", &element,
           "the walk for worktree rows spent its last of 2,500 visits here");
    }
    if (asString(attribute(desktop_, element, "AXRole")) == "AXMenuItem" && selectedRow(element)) {
      std::optional<std::string> raw = asString(attribute(desktop_, element, "AXDOMIdentifier"));
      if (raw) {
        if (auto identifier = worktreeIdentifier(*raw)) {
          tell(reasons_, kField, "row", &element, [&] { return "the selected worktree row " + *identifier; });
          if (reasons_) rows_.push_back(element);
          identifiers_.push_back(std::move(*identifier));
          return;
        }
      }
      tell(reasons_, kField, "passed", &element,
           "selected, but its AXDOMIdentifier holds no worktree identifier");
    }
    if (rowBudget_.overrun()) return;
    for (const Element& child : children(desktop_, element)) {
      scan(child, depth + 1);
      if (budget_.exhausted() || rowBudget_.overrun()) return;
    }
  }

  // A row is selected when its value says so, or when its card (the first
  // grandchild styled "rounded-lg" and "cursor-pointer") has no hover style.
  bool selectedRow(const Element& row) {
    if (asString(attribute(desktop_, row, "AXValue")) == "selected") return true;
    for (const Element& child : children(desktop_, row)) {
      if (!rowBudget_.take()) return false;
      for (const Element& grandchild : children(desktop_, child)) {
        if (!rowBudget_.take()) return false;
        std::vector<std::string> tokens = classes(desktop_, grandchild);
        if (containsToken(tokens, "rounded-lg") && containsToken(tokens, "cursor-pointer")) {
          return !containsToken(tokens, "worktree-sidebar-card-hover");
        }
      }
    }
    return false;
  }

  Desktop& desktop_;
  VisitBudget budget_{kVisitLimit};
  VisitBudget rowBudget_{kRowVisitLimit};
  std::vector<std::string> identifiers_;
  // Kept only while someone listens for reasons.
  ReasonSink* reasons_;
  std::optional<Element> spentAt_;
  std::vector<Element> rows_;
};

}  // namespace

std::optional<std::string> worktreeIdentifier(std::string_view raw) {
  if (!raw.starts_with("worktree-list-option-")) return std::nullopt;
  std::optional<std::string> decoded = percentDecode(raw);
  if (!decoded) return std::nullopt;
  size_t bar = decoded->rfind('|');
  if (bar == std::string::npos) return std::nullopt;
  std::string identifier = decoded->substr(bar + 1);
  if (identifier.find("::") == std::string::npos) return std::nullopt;
  return identifier;
}

std::optional<std::string> selectedNerritWorktree(Desktop& desktop, const RunningApplication& app) {
  return WorktreeQuery(desktop).run(app);
}

}  // namespace focuswatch
