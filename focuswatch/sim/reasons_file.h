// The reasons of a replay: the simulated desktop with a reason sink that
// appends one JSON object per deciding step to the FOCUSWATCH_REASONS file,
// naming elements as the trace names them.
#ifndef FOCUSWATCH_SIM_REASONS_FILE_H_
#define FOCUSWATCH_SIM_REASONS_FILE_H_

#include <string>

#include "common/unique_fd.h"
#include "focuswatch/reasons.h"
#include "focuswatch/sim/desktop_sim.h"

namespace focuswatch {

// Each line: {"field": ..., "step": ..., "element": NAME (when there is
// one), "says": ...}.
class ReasonsFile : public ReasonSink {
 public:
  explicit ReasonsFile(const std::string& path);
  void say(std::string_view field, std::string_view step, const Element* element,
           std::string_view words) override;

 private:
  vantrel::UniqueFd fd_;
};

class ReasoningSimDesktop : public SimDesktop {
 public:
  ReasoningSimDesktop(SimPaths paths, const std::string& reasons)
      : SimDesktop(std::move(paths)), file_(reasons) {}
  ReasonSink* reasons() override { return &file_; }

 private:
  ReasonsFile file_;
};

}  // namespace focuswatch

#endif  // FOCUSWATCH_SIM_REASONS_FILE_H_
