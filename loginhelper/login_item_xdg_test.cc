#include "loginhelper/login_item_xdg.h"

#include <gtest/gtest.h>

namespace loginhelper {
namespace {

// GLib's reading: the last value of a key counts, and "1" and "0" are
// booleans too. A user's entry hides the system-wide one.
TEST(AutostartStatusTest, OnlyTheTwoSwitchesOfTheEntryThatCountsMatter) {
  struct Case { std::optional<std::string> entry; long status; std::optional<std::string> system = {}; };
  for (const auto& [entry, status, system] : {
           Case{.entry = "[Desktop Entry]\nExec=x\n", .status = kEnabled}, Case{.entry = "", .status = kEnabled},
           Case{.entry = {}, .status = kNotRegistered}, Case{.entry = "Hidden = 1 ", .status = kRequiresApproval},
           Case{.entry = "[Desktop Entry]\nHidden=true\n", .status = kRequiresApproval},
           Case{.entry = "[Desktop Entry]\nX-GNOME-Autostart-enabled = false\r\n", .status = kRequiresApproval},
           Case{.entry = "[Desktop Entry]\nHidden=true\nHidden=false\nX-GNOME-Autostart-enabled=0\n",
                .status = kRequiresApproval},
           Case{.entry = "[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n", .status = kEnabled},
           Case{.entry = "[Desktop Action x]\nHidden=true\n", .status = kEnabled},
           Case{.entry = "[Desktop Entry]\nHidden=True\n# Hidden=true\n", .status = kEnabled},
           Case{.entry = std::string("\0\xFF[\n=\n", 6), .status = kEnabled},
           Case{.entry = "Hidden=yes", .status = kEnabled},
           Case{.entry = {}, .status = kEnabled, .system = "Exec=x"},
           Case{.entry = {}, .status = kNotRegistered, .system = "Hidden=1"},
           Case{.entry = {}, .status = kRequiresApproval, .system = "X-GNOME-Autostart-enabled=0"},
           Case{.entry = "Hidden=true\nX-GNOME-Autostart-enabled=false", .status = kNotRegistered, .system = ""},
           Case{.entry = "X-GNOME-Autostart-enabled=false", .status = kRequiresApproval, .system = "Exec=x"},
           Case{.entry = "Exec=x", .status = kEnabled, .system = "Hidden=true"}}) {
    EXPECT_EQ(autostartStatus(entry, system), status) << entry.value_or("-") << " | " << system.value_or("-");
  }
}

TEST(ConfigFolderTest, AbsolutePathsOnly) {
  struct Case { const char* configHome; const char* home; const char* folder; };
  for (const auto& [configHome, home, folder] : {
           Case{.configHome = "/x/cfg", .home = "/h", .folder = "/x/cfg"},
           Case{.configHome = "", .home = "/h", .folder = "/h/.config"},
           Case{.configHome = "cfg", .home = "/h", .folder = "/h/.config"},
           Case{.configHome = "./cfg", .home = "", .folder = "/db/.config"},
           Case{.configHome = "", .home = "h", .folder = "/db/.config"},
           Case{.configHome = "", .home = "", .folder = "/db/.config"}}) {
    EXPECT_EQ(configFolder(configHome, home, [] { return std::string("/db"); }), folder)
        << configHome << " " << home;
  }
  EXPECT_EQ(systemConfigFolders(""), std::vector<std::string>{"/etc/xdg"});
  EXPECT_EQ(systemConfigFolders("/a::etc:/b/"), (std::vector<std::string>{"/a", "/b/"}));
}

}  // namespace
}  // namespace loginhelper
