#include "focuswatch/nerrit_worktree.h"

#include <vector>

#include "focuswatch/accessibility.h"
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

class WorktreeQuery {
 public:
  explicit WorktreeQuery(Desktop& desktop) : desktop_(desktop) {}

  std::optional<std::string> run(const RunningApplication& app) {
    Element application = desktop_.createApplicationElement(app.processIdentifier);
    std::optional<Element> window = focusedWindow(desktop_, application);
    if (!window) return std::nullopt;
    scan(*window, 0);
    if (rowBudget_.overrun() || identifiers_.size() != 1) return std::nullopt;
    return identifiers_.front();
  }

 private:
  void scan(const Element& element, int depth) {
    if (depth >= kDepthLimit || !budget_.take()) return;
    if (asString(attribute(desktop_, element, "AXRole")) == "AXMenuItem" && selectedRow(element)) {
      std::optional<std::string> raw = asString(attribute(desktop_, element, "AXDOMIdentifier"));
      if (raw) {
        if (auto identifier = worktreeIdentifier(*raw)) {
          identifiers_.push_back(std::move(*identifier));
          return;
        }
      }
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
