#include "focuswatch/probe.h"

#include "focuswatch/browser_config.h"
#include "focuswatch/event_record.h"
#include "focuswatch/options.h"

namespace focuswatch {

std::string trustLine(bool trusted) {
  return std::string("{\"accessibilityTrusted\":") + (trusted ? "true" : "false") + "}";
}

int runProbe(Desktop& desktop, std::vector<std::string> arguments) {
  const ProbeOptions options = readProbeOptions(arguments);
  const BrowserConfiguration config = buildBrowserConfiguration(std::move(arguments));

  if (options.trustOnly) {
    writeLine(trustLine(desktop.isProcessTrusted()));
    return 0;
  }
  if (!emit(desktop, config, "activity") || options.once) return 0;

  // A reader that has gone away ends the watch, as it ends the probe.
  auto sample = [&desktop, &config](const char* kind) {
    if (!emit(desktop, config, kind)) desktop.stopMainRunLoop();
  };

  const std::pair<WorkspaceNotification, const char*> kObserved[] = {
      {WorkspaceNotification::kDidActivateApplication, "activity"},
      {WorkspaceNotification::kWillSleep, "sleep"},
      {WorkspaceNotification::kDidWake, "wake"},
  };
  std::vector<Desktop::Token> observers;
  for (const auto& observed : kObserved) {
    const char* kind = observed.second;
    observers.push_back(desktop.addObserver(observed.first, [&sample, kind] { sample(kind); }));
  }
  Desktop::Token timer = desktop.scheduleRepeatingTimer(2.0, [&sample] { sample("activity"); });

  desktop.runMainRunLoop();

  desktop.invalidateTimer(timer);
  for (Desktop::Token observer : observers) desktop.removeObserver(observer);
  return 0;
}

}  // namespace focuswatch
