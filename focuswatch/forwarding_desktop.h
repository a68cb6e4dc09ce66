// A desktop that passes every call on to another: the base of the desktops
// that wrap any desktop (the trace and the recorder), which override only
// the calls they watch.
#ifndef FOCUSWATCH_FORWARDING_DESKTOP_H_
#define FOCUSWATCH_FORWARDING_DESKTOP_H_

#include <memory>
#include <utility>

#include "focuswatch/desktop.h"

namespace focuswatch {

class ForwardingDesktop : public Desktop {
 public:
  explicit ForwardingDesktop(std::unique_ptr<Desktop> inner) : inner_(std::move(inner)) {}

  bool isProcessTrusted() override { return inner_->isProcessTrusted(); }
  std::optional<RunningApplication> frontmostApplication() override { return inner_->frontmostApplication(); }
  double currentTime() override { return inner_->currentTime(); }
  double systemUptime() override { return inner_->systemUptime(); }
  double secondsSinceLastInput() override { return inner_->secondsSinceLastInput(); }

  Element createApplicationElement(int32_t processIdentifier) override {
    return inner_->createApplicationElement(processIdentifier);
  }
  AttributeRead copyAttributeValue(const Element& element, std::string_view attribute) override {
    return inner_->copyAttributeValue(element, attribute);
  }
  bool sameElement(const Element& a, const Element& b) override { return inner_->sameElement(a, b); }
  size_t elementHash(const Element& element) override { return inner_->elementHash(element); }
  std::string traceName(const Element& element) override { return inner_->traceName(element); }

  Token addObserver(WorkspaceNotification name, Block block) override {
    return inner_->addObserver(name, std::move(block));
  }
  void removeObserver(Token token) override { inner_->removeObserver(token); }
  Token scheduleRepeatingTimer(double interval, Block block) override {
    return inner_->scheduleRepeatingTimer(interval, std::move(block));
  }
  void invalidateTimer(Token token) override { inner_->invalidateTimer(token); }
  void runMainRunLoop() override { inner_->runMainRunLoop(); }
  void stopMainRunLoop() override { inner_->stopMainRunLoop(); }

  void sampleTaken() override { inner_->sampleTaken(); }
  ReasonSink* reasons() override { return inner_->reasons(); }

 protected:
  Desktop& inner() { return *inner_; }

 private:
  std::unique_ptr<Desktop> inner_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_FORWARDING_DESKTOP_H_
