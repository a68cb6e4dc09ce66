#include "focuswatch/accessibility.h"

#include <algorithm>

#include "focuswatch/text.h"

namespace focuswatch {

std::optional<Value> attribute(Desktop& desktop, const Element& element, std::string_view name) {
  AttributeRead read = desktop.copyAttributeValue(element, name);
  if (read.error != kAXErrorSuccess) return std::nullopt;
  return std::move(read.value);
}

std::optional<Element> asElement(std::optional<Value> value) {
  if (!value) return std::nullopt;
  if (auto* element = std::get_if<Element>(&value->v); element && *element) return std::move(*element);
  return std::nullopt;
}

std::optional<std::string> asString(std::optional<Value> value) {
  if (!value) return std::nullopt;
  if (auto* text = std::get_if<std::string>(&value->v)) return std::move(*text);
  return std::nullopt;
}

std::optional<Rect> asRectangle(const std::optional<Value>& value) {
  if (!value) return std::nullopt;
  if (auto* axValue = std::get_if<AxValue>(&value->v)) return axValue->rect;
  return std::nullopt;
}

std::optional<Element> focusedWindow(Desktop& desktop, const Element& application) {
  return asElement(attribute(desktop, application, "AXFocusedWindow"));
}

std::vector<std::string> classes(Desktop& desktop, const Element& element) {
  std::optional<Value> value = attribute(desktop, element, "AXDOMClassList");
  std::vector<std::string> tokens;
  auto* list = value ? std::get_if<ValueList>(&value->v) : nullptr;
  if (!list) return tokens;
  tokens.reserve(list->size());
  for (Value& item : *list) {
    auto* text = std::get_if<std::string>(&item.v);
    if (!text) return {};
    tokens.push_back(std::move(*text));
  }
  return tokens;
}

std::vector<Element> children(Desktop& desktop, const Element& element) {
  std::optional<Value> value = attribute(desktop, element, "AXChildren");
  std::vector<Element> elements;
  auto* list = value ? std::get_if<ValueList>(&value->v) : nullptr;
  if (!list) return elements;
  elements.reserve(list->size());
  for (Value& item : *list) {
    if (auto* child = std::get_if<Element>(&item.v); child && *child) elements.push_back(std::move(*child));
  }
  return elements;
}

std::optional<std::string> tabLabel(Desktop& desktop, const Element& element, int depth) {
  VisitBudget budget(kLabelVisitLimit);
  return tabLabel(desktop, element, depth, budget);
}

std::optional<std::string> tabLabel(Desktop& desktop, const Element& element, int depth,
                                    VisitBudget& budget) {
  if (depth >= 5 || !budget.take()) return std::nullopt;
  if (asString(attribute(desktop, element, "AXRole")) == "AXStaticText") {
    std::optional<std::string> text = asString(attribute(desktop, element, "AXValue"));
    if (text && !text->empty()) return firstCharacters(*text, kTextLimit);
  }
  for (const Element& child : children(desktop, element)) {
    if (auto label = tabLabel(desktop, child, depth + 1, budget)) return label;
    if (budget.overrun()) break;
  }
  return std::nullopt;
}

bool containsToken(const std::vector<std::string>& tokens, std::string_view token) {
  return std::find(tokens.begin(), tokens.end(), token) != tokens.end();
}

}  // namespace focuswatch
