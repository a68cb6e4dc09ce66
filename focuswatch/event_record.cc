#include "focuswatch/event_record.h"

#include <errno.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "common/io.h"
#include "focuswatch/browser_page.h"
#include "focuswatch/nerrit_tab.h"
#include "focuswatch/nerrit_window.h"
#include "focuswatch/nerrit_worktree.h"
#include "focuswatch/reasons.h"
#include "focuswatch/text.h"

namespace focuswatch {

namespace {

bool isWorkspaceApplication(const RunningApplication& app) {
  std::optional<std::string> lowered = lowercase(app.bundleIdentifier.value_or(""));
  return lowered && lowered->find("nerrit") != std::string::npos;
}

// The rules of this record that leave whole groups of fields out.
void sayWhyLeftOut(ReasonSink& reasons, const BrowserConfiguration& config, bool trusted,
                   const std::optional<RunningApplication>& app) {
  if (!trusted) return reasons.say("*", "missing", nullptr, "not trusted for accessibility");
  if (!app) return reasons.say("*", "missing", nullptr, "no frontmost application");
  if (!isWorkspaceApplication(*app)) {
    reasons.say("nerrit*", "missing", nullptr,
                "not the workspace application: the bundle identifier does not contain \"nerrit\"");
  }
  if (!app->bundleIdentifier || !browserEnabled(config, *app->bundleIdentifier))
    reasons.say("browser*", "missing", nullptr, "not an enabled browser (see the browser options)");
}

}  // namespace

std::optional<std::string> eventLine(Desktop& desktop, const BrowserConfiguration& config,
                                     std::string_view kind) {
  bool trusted = desktop.isProcessTrusted();
  std::optional<RunningApplication> app = desktop.frontmostApplication();

  nlohmann::ordered_json record;
  record["kind"] = kind;
  record["observedAt"] = desktop.currentTime();
  record["uptime"] = desktop.systemUptime();
  record["foregroundBundleId"] = app && app->bundleIdentifier ? *app->bundleIdentifier : "unknown";
  record["foregroundName"] = app && app->localizedName ? *app->localizedName : "Unknown app";
  record["idleSeconds"] = desktop.secondsSinceLastInput();
  record["accessibilityTrusted"] = trusted;

  ReasonSink* reasons = desktop.reasons();
  if (reasons) sayWhyLeftOut(*reasons, config, trusted, app);
  if (trusted && app) {
    if (isWorkspaceApplication(*app)) {
      if (auto tab = focusedNerritTab(desktop, *app)) record["nerritSelectedTabTitle"] = *tab;
      if (auto worktree = selectedNerritWorktree(desktop, *app))
        record["nerritSelectedWorktreeId"] = *worktree;
      if (auto title = focusedWindowTitle(desktop, *app)) record["nerritWindowTitle"] = *title;
    }
    if (app->bundleIdentifier && browserEnabled(config, *app->bundleIdentifier)) {
      if (auto found = browserPage(desktop, config, *app)) {
        static constexpr std::pair<const char*, const char*> kKeys[] = {
            {"domain", "browserDomain"}, {"url", "browserUrl"}, {"title", "browserTitle"}};
        for (auto [from, to] : kKeys) {
          if (auto entry = found->find(from); entry != found->end()) record[to] = entry->second;
        }
      }
    }
  }

  try {
    return record.dump();
  } catch (const nlohmann::json::exception&) {
    tell(reasons, "*", "missing", nullptr, "a text read is not valid UTF-8: the whole line was dropped");
    return std::nullopt;  // not valid UTF-8: this sample is dropped
  }
}

bool emit(Desktop& desktop, const BrowserConfiguration& config, std::string_view kind) {
  std::optional<std::string> line = eventLine(desktop, config, kind);
  bool readerLeft = line && !writeLine(std::move(*line));
  desktop.sampleTaken();
  return !readerLeft;
}

bool writeLine(std::string text) {
  text += '\n';
  // Normally SIGPIPE has ended the process already; a parent may have left
  // the signal ignored.
  return vantrel::writeAll(STDOUT_FILENO, text) != EPIPE;
}

}  // namespace focuswatch
