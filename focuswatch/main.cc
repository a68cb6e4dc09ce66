// focuswatch: the activity probe. Writes one JSON line per sample of what
// the user is doing; see README.md for the options.
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/standard_streams.h"
#include "focuswatch/desktop.h"
#include "focuswatch/probe.h"
#include "focuswatch/recorder.h"

int main(int argc, char** argv) {
  // With no standard output there is no reader: end as when the reader
  // goes away.
  if (vantrel::openClosedStandardStreams()[STDOUT_FILENO]) return 0;
  std::vector<std::string> arguments(argv, argv + argc);
  std::unique_ptr<focuswatch::Desktop> desktop = focuswatch::makeDesktop();
  // FOCUSWATCH_RECORD: every sample's reads, kept for replaying elsewhere.
  if (const char* record = std::getenv("FOCUSWATCH_RECORD"); record && *record)
    desktop = focuswatch::recordingDesktop(std::move(desktop), record);
  return focuswatch::runProbe(*desktop, std::move(arguments));
}
