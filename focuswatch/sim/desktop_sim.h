// The simulated desktop: a JSON file read afresh for every sample (or, in
// the unit tests, a document held in memory), and a named pipe of workspace
// notifications. Used wherever the macOS frameworks are not.
#ifndef FOCUSWATCH_SIM_DESKTOP_SIM_H_
#define FOCUSWATCH_SIM_DESKTOP_SIM_H_

#include <functional>
#include <memory>
#include <string>

#include "focuswatch/desktop.h"
#include "focuswatch/observers.h"
#include "focuswatch/sim/timer_queue.h"

namespace focuswatch {

struct SimDocument;

struct SimPaths {
  std::string desktop;  // FOCUSWATCH_DESKTOP; empty: the empty desktop
  std::string notify;   // FOCUSWATCH_NOTIFY; empty: no notifications
};

// Gives the document that a sample reads.
using SimSource = std::function<std::shared_ptr<const SimDocument>()>;

class SimDesktop : public Desktop {
 public:
  // `source`, when given, is asked in place of the desktop file.
  explicit SimDesktop(SimPaths paths, SimSource source = nullptr);

  // Every sample starts with the trust question, so that is where the
  // desktop file is read afresh.
  bool isProcessTrusted() override;
  std::optional<RunningApplication> frontmostApplication() override;
  double currentTime() override;
  double systemUptime() override;
  double secondsSinceLastInput() override;
  Element createApplicationElement(int32_t processIdentifier) override;
  AttributeRead copyAttributeValue(const Element& element, std::string_view attribute) override;
  // An element is told by its number in its document, an application the
  // file does not describe by its process.
  bool sameElement(const Element& a, const Element& b) override;
  size_t elementHash(const Element& element) override;
  // Its "id" in the file, else "app:PID" for an application, else "#" and
  // its number in document order.
  std::string traceName(const Element& element) override;

  Token addObserver(WorkspaceNotification name, Block block) override;
  void removeObserver(Token token) override;
  Token scheduleRepeatingTimer(double interval, Block block) override;
  void invalidateTimer(Token token) override;
  void runMainRunLoop() override;
  void stopMainRunLoop() override;

 private:
  void post(std::string_view line);

  SimPaths paths_;
  SimSource source_;
  std::shared_ptr<const SimDocument> document_;
  WorkspaceObservers observers_;
  TimerQueue timers_;
  bool stopped_ = false;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_SIM_DESKTOP_SIM_H_
