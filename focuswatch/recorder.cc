// No platform code: the recorder speaks the boundary's language.
#include "focuswatch/recorder.h"

#include <string.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <unordered_map>
#include <variant>
#include <vector>

#include "common/io.h"
#include "common/one_line.h"
#include "common/replace_file.h"
#include "focuswatch/forwarding_desktop.h"

namespace focuswatch {

namespace {

using Json = nlohmann::ordered_json;

// A value as recorded, its elements by their place in the sample.
struct Recorded {
  std::variant<OtherValue, size_t, std::string, Url, AxValue, std::vector<Recorded>> v;
};

struct Read {
  std::string attribute;
  int32_t error = kAXErrorSuccess;
  std::optional<Recorded> value;
};

struct ElementRecord {
  std::optional<int32_t> process;  // an application's element
  std::vector<Read> reads;         // the first answer to each attribute, in read order
};

// Elements are told apart as the platform tells them, never by the
// handle's address.
struct ElementHash {
  Desktop* desktop;
  size_t operator()(const Element& element) const { return desktop->elementHash(element); }
};
struct SameElement {
  Desktop* desktop;
  bool operator()(const Element& a, const Element& b) const { return desktop->sameElement(a, b); }
};

// What one sample read, from its trust question on.
struct Sample {
  explicit Sample(Desktop* desktop) : index(16, ElementHash{desktop}, SameElement{desktop}) {}

  bool trusted = false;
  bool frontmostAsked = false;
  std::optional<RunningApplication> frontmost;
  std::optional<double> currentTime, uptime, idle;
  std::vector<ElementRecord> elements;  // in the order first seen
  std::unordered_map<Element, size_t, ElementHash, SameElement> index;
};

// The simulated-desktop file of a sample. Every element carries an id; it
// is written in place where the file first meets it (an application's
// under "applications"), and referred to everywhere else.
class SampleWriter {
 public:
  explicit SampleWriter(const Sample& sample) : sample_(sample), placed_(sample.elements.size()) {}

  Json desktop() {
    Json file = {{"accessibilityTrusted", sample_.trusted}};
    if (sample_.idle) file["idleSeconds"] = *sample_.idle;
    if (sample_.uptime) file["uptime"] = *sample_.uptime;
    if (sample_.currentTime) file["observedAt"] = *sample_.currentTime;
    if (sample_.frontmostAsked) file["frontmostApplication"] = application(sample_.frontmost);
    for (size_t i = 0; i < sample_.elements.size(); ++i) placed_[i] = sample_.elements[i].process.has_value();
    Json applications = Json::object();
    for (size_t i = 0; i < sample_.elements.size(); ++i) {
      if (std::optional<int32_t> process = sample_.elements[i].process)
        applications[std::to_string(*process)] = element(i);
    }
    file["applications"] = std::move(applications);
    return file;
  }

 private:
  static Json application(const std::optional<RunningApplication>& app) {
    if (!app) return nullptr;
    Json object;
    if (app->bundleIdentifier) object["bundleIdentifier"] = *app->bundleIdentifier;
    if (app->localizedName) object["localizedName"] = *app->localizedName;
    object["processIdentifier"] = app->processIdentifier;
    return object;
  }

  static std::string id(size_t element) { return "e" + std::to_string(element + 1); }

  Json element(size_t at) {
    Json object = {{"id", id(at)}};
    for (const Read& read : sample_.elements[at].reads) {
      if (read.attribute == "id") continue;  // the format's own key; no reader asks for it
      if (read.error != kAXErrorSuccess) {
        object[read.attribute] = {{"error", read.error}};
      } else {
        object[read.attribute] = read.value ? value(*read.value) : Json(nullptr);
      }
    }
    return object;
  }

  Json value(const Recorded& recorded) {
    if (auto* at = std::get_if<size_t>(&recorded.v)) {
      if (placed_[*at]) return {{"ref", id(*at)}};
      placed_[*at] = true;
      return element(*at);
    }
    if (auto* text = std::get_if<std::string>(&recorded.v)) return *text;
    if (auto* url = std::get_if<Url>(&recorded.v)) return {{"url", url->absoluteString}};
    if (auto* ax = std::get_if<AxValue>(&recorded.v)) {
      if (!ax->rect) return {{"point", {0, 0}}};  // an accessibility value, not a rectangle
      return {{"rect", {ax->rect->x, ax->rect->y, ax->rect->width, ax->rect->height}}};
    }
    if (auto* list = std::get_if<std::vector<Recorded>>(&recorded.v)) {
      Json items = Json::array();
      for (const Recorded& item : *list) items.push_back(value(item));
      return items;
    }
    return 0;  // neither text nor an element
  }

  const Sample& sample_;
  std::vector<bool> placed_;
};

class RecordingDesktop : public ForwardingDesktop {
 public:
  RecordingDesktop(std::unique_ptr<Desktop> inner, std::string path)
      : ForwardingDesktop(std::move(inner)), path_(std::move(path)), sample_(&this->inner()) {}

  // Every sample starts with the trust question.
  bool isProcessTrusted() override {
    sample_ = Sample(&inner());
    return sample_.trusted = inner().isProcessTrusted();
  }
  std::optional<RunningApplication> frontmostApplication() override {
    sample_.frontmostAsked = true;
    return sample_.frontmost = inner().frontmostApplication();
  }
  double currentTime() override { return *(sample_.currentTime = inner().currentTime()); }
  double systemUptime() override { return *(sample_.uptime = inner().systemUptime()); }
  double secondsSinceLastInput() override { return *(sample_.idle = inner().secondsSinceLastInput()); }

  Element createApplicationElement(int32_t processIdentifier) override {
    Element application = inner().createApplicationElement(processIdentifier);
    sample_.elements[add(application)].process = processIdentifier;
    return application;
  }

  AttributeRead copyAttributeValue(const Element& element, std::string_view attribute) override {
    AttributeRead read = inner().copyAttributeValue(element, attribute);
    size_t at = add(element);
    std::vector<Read>& reads = sample_.elements[at].reads;
    for (const Read& earlier : reads) {
      if (earlier.attribute == attribute) return read;  // the file holds one answer an attribute
    }
    Read recorded{std::string(attribute), read.error, std::nullopt};
    if (read.value) recorded.value = record(*read.value);
    sample_.elements[at].reads.push_back(std::move(recorded));  // `record` may have moved `reads`
    return read;
  }

  void sampleTaken() override {
    inner().sampleTaken();
    std::string text = SampleWriter(sample_).desktop().dump(-1, ' ', false, Json::error_handler_t::replace);
    int error = vantrel::replaceFile(path_, text + "\n", 0600);
    if (error != 0 && !complained_) {
      complained_ = true;
      std::string why = vantrel::oneLine(path_ + ": " + ::strerror(error), vantrel::Escaping::kMessage);
      vantrel::writeAll(STDERR_FILENO, "focuswatch: record: " + why + "\n");
    }
  }

 private:
  size_t add(const Element& element) {
    auto [at, added] = sample_.index.try_emplace(element, sample_.elements.size());
    if (added) sample_.elements.push_back(ElementRecord{});
    return at->second;
  }

  Recorded record(const Value& value) {
    if (auto* element = std::get_if<Element>(&value.v)) {
      if (!*element) return Recorded{OtherValue{}};
      return Recorded{add(*element)};
    }
    if (auto* list = std::get_if<ValueList>(&value.v)) {
      std::vector<Recorded> items;
      items.reserve(list->size());
      for (const Value& item : *list) items.push_back(record(item));
      return Recorded{std::move(items)};
    }
    if (auto* text = std::get_if<std::string>(&value.v)) return Recorded{*text};
    if (auto* url = std::get_if<Url>(&value.v)) return Recorded{*url};
    if (auto* ax = std::get_if<AxValue>(&value.v)) return Recorded{*ax};
    return Recorded{OtherValue{}};
  }

  std::string path_;
  Sample sample_;
  bool complained_ = false;
};

}  // namespace

std::unique_ptr<Desktop> recordingDesktop(std::unique_ptr<Desktop> desktop, std::string path) {
  return std::make_unique<RecordingDesktop>(std::move(desktop), std::move(path));
}

}  // namespace focuswatch
