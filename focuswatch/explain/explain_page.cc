// focuswatch_explain RECORD LINE TRACE REASONS OUT.html: one self-contained
// page that shows why the replay of RECORD wrote LINE, from the replay's
// trace and the reasons the readers gave. The record is read by the
// simulated desktop's own parser, so elements are named and numbered as
// the trace and the reasons name them.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "focuswatch/desktop_file/document.h"

namespace {

using namespace focuswatch;
using Json = nlohmann::ordered_json;

std::string escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string cut(std::string_view text, size_t limit) {
  if (text.size() <= limit) return std::string(text);
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end)) + "…";
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string errorName(int32_t code) {
  static const std::map<int32_t, const char*> kNames = {
      {-25200, "kAXErrorFailure"},           {-25201, "kAXErrorIllegalArgument"},
      {-25202, "kAXErrorInvalidUIElement"},  {-25203, "kAXErrorInvalidUIElementObserver"},
      {-25204, "kAXErrorCannotComplete"},    {-25205, "kAXErrorAttributeUnsupported"},
      {-25206, "kAXErrorActionUnsupported"}, {-25207, "kAXErrorNotificationUnsupported"},
      {-25208, "kAXErrorNotImplemented"},    {-25211, "kAXErrorAPIDisabled"},
      {-25212, "kAXErrorNoValue"},
  };
  auto found = kNames.find(code);
  return found == kNames.end() ? "error " + std::to_string(code)
                               : std::string(found->second) + " (" + std::to_string(code) + ")";
}

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Reason {
  std::string field, step, element, says;
};

// How each step is marked, in the picture and in the tree.
const char* markOf(const std::string& step) {
  static const std::map<std::string, const char*> kMarks = {
      {"pane", "pane"},     {"strip", "strip"},     {"candidate", "candidate"},
      {"passed", "passed"}, {"chosen", "chosen"},   {"tab", "tab"},
      {"row", "row"},       {"page", "page"},       {"budget", "budget"},
      {"from", "from"},     {"missing", "missing"},
  };
  auto found = kMarks.find(step);
  return found == kMarks.end() ? "step" : found->second;
}

class Explainer {
 public:
  Explainer(std::shared_ptr<const SimDocument> document, Json line, std::vector<std::string> trace,
            std::vector<Reason> reasons)
      : document_(std::move(document)),
        line_(std::move(line)),
        trace_(std::move(trace)),
        reasons_(std::move(reasons)) {
    for (const SimElement& element : document_->elements) {
      if (element.number == 0) continue;
      ordered_.push_back(&element);
      byName_[element.traceName()] = &element;
    }
    std::sort(ordered_.begin(), ordered_.end(),
              [](const SimElement* a, const SimElement* b) { return a->number < b->number; });
    for (const SimElement* element : ordered_) children_[element->parent].push_back(element);
    const std::string kRead = "AXUIElementCopyAttributeValue ";
    for (size_t i = 0; i < trace_.size(); ++i) {
      if (!trace_[i].starts_with(kRead)) continue;
      std::string rest = trace_[i].substr(kRead.size());
      size_t space = rest.rfind(' ');
      if (space == std::string::npos) continue;
      reads_[rest.substr(0, space)].emplace_back(i + 1, rest.substr(space + 1));
    }
    for (const Reason& reason : reasons_)
      if (!reason.element.empty()) marks_[reason.element].push_back(&reason);
    // The deciding step first; "a tab strip" only when nothing else is said.
    static const std::vector<std::string> kOrder = {"missing",   "chosen", "tab",    "row",    "page", "from",
                                                    "candidate", "pane",   "passed", "budget", "strip"};
    auto rank = [](const Reason* r) {
      return std::find(kOrder.begin(), kOrder.end(), r->step) - kOrder.begin();
    };
    for (auto& [name, list] : marks_) {
      std::stable_sort(list.begin(), list.end(), [&](auto* a, auto* b) { return rank(a) < rank(b); });
      if (list.size() > 1 && list.back()->step == "strip") list.pop_back();
    }
  }

  std::string page(const std::string& record) {
    std::ostringstream out;
    out << "<!doctype html><html lang=en><meta charset=utf-8><title>focuswatch: " << escape(record)
        << "</title><style>" << kStyle << "</style><body>";
    out << "<h1>Why this sample says what it says</h1><p class=small>Record <code>" << escape(record)
        << "</code>: " << ordered_.size() << " elements, " << trace_.size() << " platform calls, "
        << reasons_.size() << " reasons.</p>";
    answer(out);
    wireframe(out);
    out << "<h2>Every step the readers took</h2><ol class=steps>";
    for (const Reason& reason : reasons_) out << "<li>" << reasonText(reason, true) << "</li>";
    out << "</ol><h2>The tree, in document order</h2><p class=small>Each element with the attributes "
           "the file holds, the answer a read gets, and the numbers of the reads in the trace.</p>";
    for (const SimElement* root : children_[nullptr]) tree(out, root, 0);
    out << "<details><summary>All " << trace_.size() << " platform calls in order</summary><ol class=trace>";
    for (const std::string& call : trace_) out << "<li><code>" << escape(call) << "</code></li>";
    // The one script: a link to an element opens the folded elements that
    // hold it.
    out << "</ol></details><script>function show(){let e=document.getElementById(location.hash.slice(1));"
           "for(;e;e=e.parentElement)if(e.tagName==='DETAILS')e.open=true}"
           "addEventListener('hashchange',show);show()</script></body></html>\n";
    return out.str();
  }

 private:
  static constexpr const char* kStyle =
      "body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222}code{font-size:12px}"
      "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px;text-align:left;"
      "vertical-align:top}.small{color:#555;font-size:12px}.missing{color:#a00}"
      "details details{margin-left:1.2em}summary{cursor:pointer}.mark{border-radius:3px;padding:0 4px;"
      "margin-left:4px;font-size:11px;color:#fff}.m-pane{background:#1565c0}.m-strip{background:#ef6c00}"
      ".m-candidate{background:#ef6c00}.m-passed{background:#888}.m-chosen{background:#2e7d32}"
      ".m-tab{background:#2e7d32}.m-row{background:#6a1b9a}.m-page{background:#00838f}"
      ".m-budget{background:#c62828}.m-from{background:#000}.m-missing{background:#c62828}.m-step{background:"
      "#888}"
      "svg{border:1px solid #999;background:#fafafa;max-width:100%;height:auto}svg "
      "text{font-family:sans-serif}"
      ".legend span{margin-right:1em}:target>summary{background:#ffeb3b}";

  std::string link(const std::string& name) {
    auto found = byName_.find(name);
    if (found == byName_.end()) return "<code>" + escape(name) + "</code>";
    return "<a href=\"#n" + std::to_string(found->second->number) + "\"><code>" + escape(name) +
           "</code></a>";
  }

  std::string reasonText(const Reason& reason, bool withField) {
    std::string text =
        "<span class=\"mark m-" + std::string(markOf(reason.step)) + "\">" + escape(reason.step) + "</span> ";
    if (withField) text += "<code>" + escape(reason.field) + "</code>: ";
    text += escape(reason.says);
    if (!reason.element.empty()) text += " (element " + link(reason.element) + ")";
    return text;
  }

  static bool applies(const std::string& field, const std::string& key) {
    if (field.ends_with('*')) return key.starts_with(field.substr(0, field.size() - 1));
    return field == key;
  }

  void answer(std::ostringstream& out) {
    static const std::map<std::string, const char*> kFixed = {
        {"kind", "what started the sample"},
        {"observedAt", "the clock"},
        {"uptime", "the system uptime"},
        {"foregroundBundleId", "the frontmost application (\"unknown\" when none or no identifier)"},
        {"foregroundName", "the frontmost application (\"Unknown app\" when none or no name)"},
        {"idleSeconds", "seconds since the last input"},
        {"accessibilityTrusted", "the trust question"},
    };
    static const char* kOptional[] = {"nerritSelectedTabTitle",
                                      "nerritSelectedWorktreeId",
                                      "nerritWindowTitle",
                                      "browserDomain",
                                      "browserUrl",
                                      "browserTitle"};
    out << "<h2>The answer, field by field</h2><table id=answer><tr><th>field<th>value<th>why</tr>";
    for (auto& [key, value] : line_.items()) {
      out << "<tr class=present data-field=\"" << escape(key) << "\"><td><code>" << escape(key)
          << "</code><td><code>" << escape(value.dump()) << "</code><td>";
      auto fixed = kFixed.find(key);
      if (fixed != kFixed.end()) out << escape(fixed->second);
      for (const Reason& reason : reasons_)
        if (reason.step == "from" && applies(reason.field, key)) out << reasonText(reason, false);
      out << "</tr>";
    }
    for (const char* key : kOptional) {
      if (line_.contains(key)) continue;
      out << "<tr class=missing data-field=\"" << key << "\"><td><code>" << key << "</code><td>missing<td>";
      for (const Reason& reason : reasons_)
        if (reason.step == "missing" && applies(reason.field, key))
          out << "<div class=reason>" << reasonText(reason, false) << "</div>";
      out << "</tr>";
    }
    out << "</table>";
    if (line_.empty()) out << "<p class=missing>No line: the sample was dropped.</p>";
  }

  static std::optional<Rect> frameOf(const SimElement* element) {
    const SimValue* frame = element->attribute("AXFrame");
    if (!frame || frame->kind != SimValue::Kind::kRect) return std::nullopt;
    return std::get<Rect>(frame->payload);
  }

  static std::string text(const SimElement* element, std::string_view name) {
    const SimValue* value = element->attribute(name);
    return value && value->kind == SimValue::Kind::kString ? value->text() : "";
  }

  static std::string classList(const SimElement* element) {
    const SimValue* value = element->attribute("AXDOMClassList");
    std::string out;
    if (!value || value->kind != SimValue::Kind::kArray) return out;
    for (const SimValue& item : value->items())
      if (item.kind == SimValue::Kind::kString) out += (out.empty() ? "." : " .") + item.text();
    return out;
  }

  std::string label(const SimElement* element) {
    std::string out = text(element, "AXRole");
    std::string classes = classList(element);
    if (!classes.empty()) out += " " + classes;
    std::string title = text(element, "AXTitle");
    if (title.empty()) title = text(element, "AXValue");
    if (!title.empty()) out += " \"" + cut(title, 60) + "\"";
    return out;
  }

  std::string marksOf(const std::string& name) {
    std::string out;
    auto found = marks_.find(name);
    if (found == marks_.end()) return out;
    for (const Reason* reason : found->second)
      out += "<span class=\"mark m-" + std::string(markOf(reason->step)) + "\" title=\"" +
             escape(reason->says) + "\">" + escape(reason->step) + "</span>";
    return out;
  }

  struct Box {
    const SimElement* element;
    Rect frame;
  };

  // Every element with a frame, in document order, its frame made positive.
  std::vector<Box> framedBoxes() {
    std::vector<Box> boxes;
    for (const SimElement* element : ordered_) {
      std::optional<Rect> frame = frameOf(element);
      if (!frame) continue;
      Rect r = *frame;
      if (r.width < 0) r.x += r.width, r.width = -r.width;
      if (r.height < 0) r.y += r.height, r.height = -r.height;
      boxes.push_back({element, r});
    }
    return boxes;
  }

  // A marked element without a frame is told in its nearest framed
  // ancestor's box: that box's extra lines.
  std::map<const SimElement*, std::vector<std::string>> notesOfUnframed() {
    std::map<const SimElement*, std::vector<std::string>> inside;
    for (const SimElement* element : ordered_) {
      auto found = marks_.find(element->traceName());
      if (found == marks_.end() || frameOf(element)) continue;
      for (const SimElement* up = element->parent; up; up = up->parent) {
        if (!frameOf(up)) continue;
        for (const Reason* reason : found->second)
          inside[up].push_back(element->traceName() + " " + reason->step + ": " + reason->says);
        break;
      }
    }
    return inside;
  }

  // One element's box, coloured by its first styled mark, with its name and
  // as many of its steps (and `inherited`) as the box holds.
  void drawBox(std::ostringstream& out, const Box& box, const std::vector<std::string>& inherited) {
    static const std::map<std::string, std::pair<const char*, const char*>> kStyles = {
        {"pane", {"#1565c0", "#1565c022"}}, {"candidate", {"#ef6c00", "none"}},
        {"strip", {"#ef6c00", "none"}},     {"chosen", {"#2e7d32", "#2e7d3218"}},
        {"tab", {"#2e7d32", "#2e7d3255"}},  {"row", {"#6a1b9a", "#6a1b9a33"}},
        {"page", {"#00838f", "#00838f22"}}, {"from", {"#000", "none"}},
        {"passed", {"#888", "none"}},       {"budget", {"#c62828", "#c6282833"}},
    };
    std::string name = box.element->traceName();
    const char* stroke = "#999";
    const char* fill = "none";
    double width = 1;
    std::string classes, notes;
    std::vector<std::string> lines;
    if (auto found = marks_.find(name); found != marks_.end()) {
      for (const Reason* reason : found->second) {
        if (auto style = kStyles.find(reason->step); style != kStyles.end() && width == 1) {
          stroke = style->second.first;
          if (std::string(style->second.second) != "none") fill = style->second.second;
          width = 3;
        }
        classes += " mark-" + reason->step;
        notes += reason->step + ": " + reason->says + "\n";
        lines.push_back(reason->step + ": " + reason->says);
      }
    }
    const Rect& r = box.frame;
    out << "<g class=\"box" << escape(classes) << "\" data-element=\"" << escape(name) << "\"><title>"
        << escape(name + " " + label(box.element) + "\n" + notes) << "</title><a href=\"#n"
        << box.element->number << "\"><rect x=\"" << number(r.x) << "\" y=\"" << number(r.y) << "\" width=\""
        << number(r.width) << "\" height=\"" << number(r.height) << "\" fill=\"" << fill << "\" stroke=\""
        << stroke << "\" stroke-width=\"" << width << "\"/><text x=\"" << number(r.x + 3) << "\" y=\""
        << number(r.y + 11) << "\" font-size=\"10\" fill=\"" << stroke << "\">"
        << escape(
               cut(name + " " + label(box.element), std::max<size_t>(12, static_cast<size_t>(r.width / 5.2))))
        << "</text>";
    lines.insert(lines.end(), inherited.begin(), inherited.end());
    // As many lines as the box holds; a low box gets them joined on one.
    size_t room = std::max<size_t>(1, static_cast<size_t>((r.height - 14) / 11));
    for (size_t i = room; i < lines.size(); ++i) lines[room - 1] += " · " + lines[i];
    lines.resize(std::min(lines.size(), room));
    size_t fits = std::max<size_t>(12, static_cast<size_t>(r.width / 5.6));
    double y = r.y + 23;
    for (const std::string& line : lines) {
      out << "<text x=\"" << number(r.x + 3) << "\" y=\"" << number(y)
          << "\" font-size=\"10\" font-weight=\"bold\" fill=\"" << stroke << "\">" << escape(cut(line, fits))
          << "</text>";
      y += 11;
    }
    out << "</a></g>";
  }

  void wireframe(std::ostringstream& out) {
    std::vector<Box> boxes = framedBoxes();
    out << "<h2>The focused window, to scale</h2>";
    if (boxes.empty()) {
      out << (ordered_.empty()
                  ? "<p>No element was read in this sample: see the reasons above.</p>"
                  : "<p class=small>No element of this sample has a frame (<code>AXFrame</code>): "
                    "the tree below stands for the window.</p>");
      diagram(out);
      return;
    }
    double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
    for (const Box& box : boxes) {
      const Rect& r = box.frame;
      left = std::min(left, r.x), top = std::min(top, r.y);
      right = std::max(right, r.x + r.width), bottom = std::max(bottom, r.y + r.height);
    }
    double margin = 40;
    left -= margin, top -= margin, right += margin, bottom += margin;
    out << "<svg id=wireframe xmlns=\"http://www.w3.org/2000/svg\" width=\"" << number(right - left)
        << "\" height=\"" << number(bottom - top) << "\" viewBox=\"" << number(left) << ' ' << number(top)
        << ' ' << number(right - left) << ' ' << number(bottom - top) << "\">";
    std::map<const SimElement*, std::vector<std::string>> inside = notesOfUnframed();
    for (const Box& box : boxes) drawBox(out, box, inside[box.element]);
    out << "</svg><p class=legend><span class=\"mark m-pane\">pane</span> the focused pane "
           "<span class=\"mark m-candidate\">candidate</span> a strip above it, with its distance "
           "<span class=\"mark m-passed\">passed</span> a strip or web area left aside "
           "<span class=\"mark m-chosen\">chosen</span> the chosen strip <span class=\"mark "
           "m-tab\">tab</span> "
           "the selected tab <span class=\"mark m-row\">row</span> the selected worktree row "
           "<span class=\"mark m-page\">page</span> a web area that gave a page "
           "<span class=\"mark m-from\">from</span> where a field came from</p>";
    diagram(out);
  }

  // The tree as a picture, one row an element, indented by depth, with the
  // marks of each step: what the window's picture cannot show. A large
  // tree keeps only the marked elements and their ancestors.
  void diagram(std::ostringstream& out) {
    std::map<const SimElement*, bool> keep;
    for (const SimElement* element : ordered_) {
      if (ordered_.size() > 400 && !marks_.contains(element->traceName())) continue;
      for (const SimElement* up = element; up && !keep[up]; up = up->parent) keep[up] = true;
    }
    std::vector<std::pair<const SimElement*, int>> rows;
    for (const SimElement* element : ordered_) {
      if (!keep[element]) continue;
      int depth = 0;
      for (const SimElement* up = element->parent; up; up = up->parent) ++depth;
      rows.emplace_back(element, depth);
    }
    if (rows.empty()) return;
    out << "<h2>The tree as a picture</h2><svg id=diagram xmlns=\"http://www.w3.org/2000/svg\" "
           "width=\"1200\" height=\""
        << rows.size() * 22 + 4 << "\">";
    double y = 2;
    for (const auto& [element, depth] : rows) {
      std::string name = element->traceName();
      std::string says, classes;
      const char* color = "#999";
      if (auto found = marks_.find(name); found != marks_.end()) {
        for (const Reason* reason : found->second) {
          says += (says.empty() ? "" : " · ") + reason->step + ": " + reason->says;
          classes += " mark-" + reason->step;
          color = reason->step == "missing" || reason->step == "budget" ? "#c62828"
                  : reason->step == "passed"                            ? "#888"
                                                                        : "#2e7d32";
        }
      }
      double x = 2 + depth * 18;
      out << "<g class=\"row" << escape(classes) << "\" data-element=\"" << escape(name) << "\"><a href=\"#n"
          << element->number << "\"><rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << 1196 - x
          << "\" height=\"19\" rx=\"3\" fill=\"" << (says.empty() ? "#fff" : "#fffde7") << "\" stroke=\""
          << color << "\" stroke-width=\"" << (says.empty() ? 1 : 2) << "\"/><text x=\"" << x + 4 << "\" y=\""
          << y + 14 << "\" font-size=\"11\"><tspan font-weight=\"bold\">" << escape(name) << "</tspan> "
          << escape(cut(label(element), 70)) << "<tspan fill=\"" << color << "\" font-weight=\"bold\"> "
          << escape(cut(says, 120)) << "</tspan></text></a></g>";
      y += 22;
    }
    out << "</svg>";
  }

  std::string value(const SimValue& stored) {
    using Kind = SimValue::Kind;
    switch (stored.kind) {
      case Kind::kString: return "<code>\"" + escape(cut(stored.text(), 300)) + "\"</code>";
      case Kind::kUrl: return "URL <code>" + escape(cut(stored.text(), 300)) + "</code>";
      case Kind::kRect: {
        const Rect& r = std::get<Rect>(stored.payload);
        return "rect " + number(r.x) + ", " + number(r.y) + ", " + number(r.width) + " × " + number(r.height);
      }
      case Kind::kElement:
      case Kind::kRef:
        if (!stored.element()) return "<span class=missing>" + errorName(-25202) + "</span>";
        return "element " + link(stored.element()->traceName());
      case Kind::kArray: {
        std::string out = "[";
        size_t shown = 0;
        for (const SimValue& item : stored.items()) {
          if (shown++ == 20) {
            out += " … " + std::to_string(stored.items().size()) + " in all";
            break;
          }
          out += (shown > 1 ? ", " : "") + value(item);
        }
        return out + "]";
      }
      case Kind::kNull: return "no value";
      case Kind::kError: return "<span class=missing>" + errorName(stored.integer.value_or(0)) + "</span>";
      case Kind::kNumber: return "a number";
      case Kind::kOther: return "neither text nor an element";
    }
    return "";
  }

  void tree(std::ostringstream& out, const SimElement* element, int depth) {
    std::string name = element->traceName();
    bool open = ordered_.size() <= 400 || depth < 2;
    out << "<details id=\"n" << element->number << "\" data-element=\"" << escape(name) << "\""
        << (open ? " open" : "") << "><summary><code>" << escape(name) << "</code> " << escape(label(element))
        << marksOf(name) << "</summary><table><tr><th>attribute<th>answer<th>reads</tr>";
    std::map<std::string, std::vector<size_t>> readsOf;
    for (const auto& [at, attribute] : reads_[name]) readsOf[attribute].push_back(at);
    for (const auto& [key, stored] : element->attributes) {
      out << "<tr><td><code>" << escape(*key) << "</code><td>" << value(stored)
          << (stored.kind == SimValue::Kind::kElement ? " (below)" : "") << "<td>"
          << readNumbers(readsOf, *key) << "</tr>";
      readsOf.erase(*key);
    }
    for (const auto& [key, numbers] : readsOf)  // read, but not in the file
      out << "<tr><td><code>" << escape(key) << "</code><td><span class=missing>" << errorName(-25205)
          << "</span><td>" << readNumbers(readsOf, key) << "</tr>";
    out << "</table>";
    for (const SimElement* child : children_[element]) tree(out, child, depth + 1);
    out << "</details>";
  }

  static std::string readNumbers(const std::map<std::string, std::vector<size_t>>& readsOf,
                                 const std::string& key) {
    auto found = readsOf.find(key);
    if (found == readsOf.end()) return "<span class=small>not read</span>";
    std::string out;
    for (size_t at : found->second) out += (out.empty() ? "#" : ", #") + std::to_string(at);
    return out;
  }

  std::shared_ptr<const SimDocument> document_;
  Json line_;
  std::vector<std::string> trace_;
  std::vector<Reason> reasons_;
  std::vector<const SimElement*> ordered_;
  std::map<std::string, const SimElement*> byName_;
  std::map<const SimElement*, std::vector<const SimElement*>> children_;
  std::map<std::string, std::vector<std::pair<size_t, std::string>>> reads_;
  std::map<std::string, std::vector<const Reason*>> marks_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::cerr << "usage: focuswatch_explain RECORD LINE TRACE REASONS OUT.html\n";
    return 64;
  }
  try {
    std::ifstream recordFile(argv[1]);
    std::string recordText((std::istreambuf_iterator<char>(recordFile)), std::istreambuf_iterator<char>());
    SimDocumentResult document = parseSimDocument(recordText);
    if (!document) throw std::runtime_error(document.error());
    std::vector<std::string> lines = readLines(argv[2]);
    Json line = lines.empty() ? Json::object() : Json::parse(lines.front());
    std::vector<Reason> reasons;
    for (const std::string& text : readLines(argv[4])) {
      Json reason = Json::parse(text);
      reasons.push_back({reason.value("field", ""), reason.value("step", ""), reason.value("element", ""),
                         reason.value("says", "")});
    }
    std::string html =
        Explainer(*document, std::move(line), readLines(argv[3]), std::move(reasons)).page(argv[1]);
    std::ofstream out(argv[5], std::ios::binary);
    out << html;
    if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + argv[5]);
  } catch (const std::exception& error) {
    std::cerr << "focuswatch_explain: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
