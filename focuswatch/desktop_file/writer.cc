#include "focuswatch/desktop_file/writer.h"

#include <nlohmann/json.hpp>

namespace focuswatch {

namespace {

using Json = nlohmann::ordered_json;

class SampleWriter {
 public:
  explicit SampleWriter(const RecordedSample& sample) : sample_(sample), placed_(sample.elements.size()) {}

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
    for (const RecordedRead& read : sample_.elements[at].reads) {
      if (read.attribute == "id") continue;  // the format's own key; no reader asks for it
      if (read.error != kAXErrorSuccess) {
        object[read.attribute] = {{"error", read.error}};
      } else {
        object[read.attribute] = read.value ? value(*read.value) : Json(nullptr);
      }
    }
    return object;
  }

  Json value(const RecordedValue& recorded) {
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
    if (auto* list = std::get_if<std::vector<RecordedValue>>(&recorded.v)) {
      Json items = Json::array();
      for (const RecordedValue& item : *list) items.push_back(value(item));
      return items;
    }
    return 0;  // neither text nor an element
  }

  const RecordedSample& sample_;
  std::vector<bool> placed_;
};

}  // namespace

std::string desktopFileOf(const RecordedSample& sample) {
  return SampleWriter(sample).desktop().dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace focuswatch
