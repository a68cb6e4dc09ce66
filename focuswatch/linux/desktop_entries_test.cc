// Which desktop entry names a window, on a folder of entries made here.
#include "focuswatch/linux/desktop_entries.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "test/scoped_state.h"

namespace focuswatch {
namespace {

namespace fs = std::filesystem;

TEST(DesktopEntriesTest, MatchesWindowsAsDesktopShellsDo) {
  fs::path dir = fs::temp_directory_path() / ("desktop-entries-" + std::to_string(getpid()));
  fs::create_directories(dir / "applications");
  auto entry = [&](const std::string& id, const std::string& name, const std::string& startupClass) {
    std::ofstream(dir / "applications" / (id + ".desktop"))
        << "[Desktop Entry]\nType=Application\nExec=true\nName=" << name << "\nName[de]=" << name
        << " (de)\n" << (startupClass.empty() ? "" : "StartupWMClass=" + startupClass + "\n");
  };
  entry("org.example.Notes", "Notes", "");
  entry("fedora-eclipse", "Eclipse", "");
  entry("term", "Terminal", "Term-Class");
  entry("term-instance", "Instance", "term-window");
  testing_support::ScopedState state;
  state.setEnvironment("XDG_DATA_DIRS", dir);
  state.setEnvironment("XDG_DATA_HOME", dir / "home");
  state.setEnvironment("LANGUAGE", "de");

  DesktopEntries entries;
  const std::pair<FrontWindow, std::optional<std::string>> kCases[] = {
      // The application id first, in the user's language.
      {{.applicationId = "org.example.Notes", .instance = "term-window", .windowClass = "Term-Class"},
       "Notes (de)"},
      // StartupWMClass: of the instance name, then of the class name,
      // before any entry named after either.
      {{.applicationId = "missing", .instance = "term-window", .windowClass = "Term-Class"}, "Instance (de)"},
      {{.applicationId = {}, .instance = "fedora-eclipse", .windowClass = "Term-Class"}, "Terminal (de)"},
      // Named after the instance, then the class; lower-cased, blanks as dashes.
      {{.applicationId = {}, .instance = "Fedora Eclipse", .windowClass = "org.example.Notes"},
       "Eclipse (de)"},
      {{.applicationId = {}, .instance = "unknown", .windowClass = "org.example.Notes"}, "Notes (de)"},
      {{.applicationId = {}, .instance = "Org.Example.Notes", .windowClass = {}}, {}},
  };
  for (const auto& [window, name] : kCases)
    EXPECT_EQ(entries.name(window), name) << window.instance.value_or("-");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace focuswatch
