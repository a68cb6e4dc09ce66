#include "focuswatch/nerrit_tab.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "focuswatch/accessibility.h"
#include "focuswatch/reasons.h"

namespace focuswatch {

namespace {

constexpr int kStripDepthLimit = 26;
constexpr int kStripVisitLimit = 2500;
constexpr int kParentSteps = 24;
constexpr double kOverlapAllowance = 12.0;
constexpr double kSeparationMargin = 4.0;
constexpr int kTabDepthLimit = 5;
constexpr std::string_view kField = "nerritSelectedTabTitle";

double minX(const Rect& r) { return std::min(r.x, r.x + r.width); }
double maxX(const Rect& r) { return std::max(r.x, r.x + r.width); }
// As CGRectGetMidX computes it: the normalised origin plus half the width.
double midX(const Rect& r) { return minX(r) + std::abs(r.width) / 2; }
double minY(const Rect& r) { return std::min(r.y, r.y + r.height); }
double maxY(const Rect& r) { return std::max(r.y, r.y + r.height); }

std::string distance(double points) {
  char text[32];
  std::snprintf(text, sizeof text, "%g pt", points);
  return text;
}

bool hasTokenWithPrefix(const std::vector<std::string>& tokens, std::string_view prefix) {
  return std::any_of(tokens.begin(), tokens.end(),
                     [&](const std::string& t) { return t.starts_with(prefix); });
}

class TabQuery {
 public:
  explicit TabQuery(Desktop& desktop) : desktop_(desktop), reasons_(desktop.reasons()) {}

  std::optional<std::string> run(const RunningApplication& app) {
    Element application = desktop_.createApplicationElement(app.processIdentifier);
    std::optional<Element> window = focusedWindow(desktop_, application);
    if (!window) {
      tell(reasons_, kField, "missing", nullptr, "no focused window (AXFocusedWindow is not an element)");
      return std::nullopt;
    }

    scan(*window, 0);
    if (strips_.empty()) {
      tell(reasons_, kField, "missing", spentAt_ ? &*spentAt_ : nullptr, [&] {
        return std::string("no tab strip (an element classed group/tab-strip) in the focused window") +
               (spentAt_ ? ": the visit budget of 2,500 was spent at this element" : "");
      });
      return std::nullopt;
    }
    if (strips_.size() == 1) tell(reasons_, kField, "chosen", &strips_.front(), "the only tab strip");
    std::optional<Element> chosen = strips_.size() == 1 ? strips_.front() : stripOverFocusedPane(application);
    if (!chosen) return std::nullopt;

    VisitBudget tabBudget(kLabelVisitLimit);
    scanTabs(*chosen, 0, tabBudget);
    if (tabBudget.overrun() || labels_.size() != 1) {
      tell(reasons_, kField, "missing", &*chosen, [&] {
        if (tabBudget.overrun()) return std::string("the tab walk's visit budget of 10,000 was spent");
        if (labels_.empty()) return std::string("no selected tab with a label in the chosen strip");
        return std::to_string(labels_.size()) + " selected tabs in the chosen strip";
      });
      return std::nullopt;
    }
    tell(reasons_, kField, "from", tabs_.empty() ? nullptr : &tabs_.front(), "the selected tab's label");
    return labels_.front();
  }

 private:
  // Collects tab strips, pre-order; a strip is not entered, so a strip
  // nested in a strip is never found.
  void scan(const Element& element, int depth) {
    if (depth >= kStripDepthLimit || !stripBudget_.take()) return;
    if (reasons_ && stripBudget_.exhausted() && !spentAt_) {
      spentAt_ = element;
      tell(reasons_, kField, "budget", &element,
           "the walk for tab strips spent its last of 2,500 visits here");
    }
    if (containsToken(classes(desktop_, element), "group/tab-strip")) {
      tell(reasons_, kField, "strip", &element, "a tab strip (classed group/tab-strip)");
      strips_.push_back(element);
      return;
    }
    for (const Element& child : children(desktop_, element)) {
      scan(child, depth + 1);
      if (stripBudget_.exhausted()) return;
    }
  }

  std::optional<Rect> frame(const Element& element) {
    return asRectangle(attribute(desktop_, element, "AXFrame"));
  }

  // The frame of the pane that holds the focused element: the focused
  // element itself or one of its first 23 ancestors.
  std::optional<Rect> focusedPane(const Element& application) {
    std::optional<Element> current = asElement(attribute(desktop_, application, "AXFocusedUIElement"));
    for (int step = 0; current && step < kParentSteps; ++step) {
      if (containsToken(classes(desktop_, *current), "pane")) {
        std::optional<Rect> paneFrame = frame(*current);
        tell(reasons_, kField, paneFrame ? "pane" : "missing", &*current,
             paneFrame ? "the focused pane" : "several tab strips, and the focused pane has no frame");
        return paneFrame;
      }
      current = asElement(attribute(desktop_, *current, "AXParent"));
    }
    tell(reasons_, kField, "missing", nullptr,
         "several tab strips, and no focused pane: neither the focused element nor its first 23 "
         "ancestors is classed pane");
    return std::nullopt;
  }

  // With several strips, the one closest above the focused pane, provided
  // it lies clearly lower than the runner-up.
  std::optional<Element> stripOverFocusedPane(const Element& application) {
    std::optional<Rect> pane = focusedPane(application);
    if (!pane) return std::nullopt;
    double paneMidX = midX(*pane);

    std::vector<std::pair<Element, double>> candidates;
    for (const Element& strip : strips_) {
      std::optional<Rect> stripFrame = frame(strip);
      if (!stripFrame) {
        tell(reasons_, kField, "passed", &strip, "no frame");
        continue;
      }
      if (minX(*stripFrame) <= paneMidX && paneMidX <= maxX(*stripFrame) &&
          maxY(*stripFrame) <= minY(*pane) + kOverlapAllowance) {
        candidates.emplace_back(strip, maxY(*stripFrame));
        tell(reasons_, kField, "candidate", &strip, [&] {
          double above = minY(*pane) - maxY(*stripFrame);
          if (above < 0)
            return "bottom edge " + distance(-above) + " below the pane's top, within the 12 pt allowed";
          return "bottom edge " + distance(above) + " above the pane's top";
        });
      } else {
        tell(reasons_, kField, "passed", &strip, [&] {
          return std::string(paneMidX < minX(*stripFrame) || paneMidX > maxX(*stripFrame)
                                 ? "not over the middle of the focused pane"
                                 : "its bottom edge lies more than 12 pt below the pane's top");
        });
      }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    if (candidates.empty()) {
      tell(reasons_, kField, "missing", nullptr, "no tab strip above the focused pane over its middle");
      return std::nullopt;
    }
    if (candidates.size() >= 2 && !(candidates[0].second - candidates[1].second > kSeparationMargin)) {
      tell(reasons_, kField, "missing", &candidates[1].first, [&] {
        return "two tab strips equally close above the focused pane: their bottom edges are " +
               distance(candidates[0].second - candidates[1].second) + " apart, not more than 4 pt";
      });
      return std::nullopt;
    }
    tell(reasons_, kField, "chosen", &candidates.front().first,
         "the closest tab strip above the focused pane");
    return candidates.front().first;
  }

  // Collects the labels of selected-style tabs. A selected-style element
  // with no label is entered: an element below it may still supply one.
  void scanTabs(const Element& element, int depth, VisitBudget& budget) {
    if (depth >= kTabDepthLimit || !budget.take()) return;
    std::vector<std::string> tokens = classes(desktop_, element);
    if (containsToken(tokens, "border-t") && containsToken(tokens, "cursor-pointer") &&
        hasTokenWithPrefix(tokens, "bg-[color-mix(")) {
      if (auto label = tabLabel(desktop_, element, 0, budget)) {
        tell(reasons_, kField, "tab", &element, [&] { return "a selected tab labelled \"" + *label + "\""; });
        if (reasons_) tabs_.push_back(element);
        labels_.push_back(std::move(*label));
        return;
      }
    }
    for (const Element& child : children(desktop_, element)) {
      scanTabs(child, depth + 1, budget);
      if (budget.overrun()) return;
    }
  }

  Desktop& desktop_;
  std::vector<Element> strips_;
  VisitBudget stripBudget_{kStripVisitLimit};
  std::vector<std::string> labels_;
  // Kept only while someone listens for reasons.
  ReasonSink* reasons_;
  std::optional<Element> spentAt_;
  std::vector<Element> tabs_;
};

}  // namespace

std::optional<std::string> focusedNerritTab(Desktop& desktop, const RunningApplication& app) {
  return TabQuery(desktop).run(app);
}

}  // namespace focuswatch
