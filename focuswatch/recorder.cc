// No platform code: the recorder speaks the boundary's language.
#include "focuswatch/recorder.h"

#include <string.h>
#include <unistd.h>

#include <unordered_map>
#include <variant>
#include <vector>

#include "common/io.h"
#include "common/one_line.h"
#include "common/replace_file.h"
#include "focuswatch/desktop_file/writer.h"
#include "focuswatch/forwarding_desktop.h"

namespace focuswatch {

namespace {

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

// What one sample read, and where each element it met is kept.
struct Sample : RecordedSample {
  explicit Sample(Desktop* desktop) : index(16, ElementHash{desktop}, SameElement{desktop}) {}

  std::unordered_map<Element, size_t, ElementHash, SameElement> index;
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
    std::vector<RecordedRead>& reads = sample_.elements[at].reads;
    for (const RecordedRead& earlier : reads) {
      if (earlier.attribute == attribute) return read;  // the file holds one answer an attribute
    }
    RecordedRead recorded{std::string(attribute), read.error, std::nullopt};
    if (read.value) recorded.value = record(*read.value);
    sample_.elements[at].reads.push_back(std::move(recorded));  // `record` may have moved `reads`
    return read;
  }

  void sampleTaken() override {
    inner().sampleTaken();
    int error = vantrel::replaceFile(path_, desktopFileOf(sample_), 0600);
    if (error != 0 && !complained_) {
      complained_ = true;
      std::string why = vantrel::oneLine(path_ + ": " + ::strerror(error), vantrel::Escaping::kMessage);
      // A diagnostic: one that standard error cannot take is lost.
      (void)vantrel::writeAll(STDERR_FILENO, "focuswatch: record: " + why + "\n");
    }
  }

 private:
  size_t add(const Element& element) {
    auto [at, added] = sample_.index.try_emplace(element, sample_.elements.size());
    if (added) sample_.elements.push_back(RecordedElement{});
    return at->second;
  }

  RecordedValue record(const Value& value) {
    if (auto* element = std::get_if<Element>(&value.v)) {
      if (!*element) return RecordedValue{OtherValue{}};
      return RecordedValue{add(*element)};
    }
    if (auto* list = std::get_if<ValueList>(&value.v)) {
      std::vector<RecordedValue> items;
      items.reserve(list->size());
      for (const Value& item : *list) items.push_back(record(item));
      return RecordedValue{std::move(items)};
    }
    if (auto* text = std::get_if<std::string>(&value.v)) return RecordedValue{*text};
    if (auto* url = std::get_if<Url>(&value.v)) return RecordedValue{*url};
    if (auto* ax = std::get_if<AxValue>(&value.v)) return RecordedValue{*ax};
    return RecordedValue{OtherValue{}};
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
