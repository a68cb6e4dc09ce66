// focuswatch: the activity probe. Writes one JSON line per sample of what
// the user is doing; see README.md for the options.
#include <memory>
#include <string>
#include <vector>

#include "focuswatch/desktop.h"
#include "focuswatch/probe.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  std::unique_ptr<focuswatch::Desktop> desktop = focuswatch::makeDesktop();
  return focuswatch::runProbe(*desktop, std::move(arguments));
}
