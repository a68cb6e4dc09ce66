#include "loginhelper/login_item_xdg.h"

#include <gtest/gtest.h>

namespace loginhelper {
namespace {

// GLib's reading: the last value of a key counts, and "1" and "0" are
// booleans too. A user's entry hides the system-wide one.
TEST(AutostartStatusTest, OnlyTheTwoSwitchesOfTheEntryThatCountsMatter) {
  struct Case { std::optional<std::string> entry; long status; std::optional<std::string> system = {}; };
  for (const auto& [entry, status, system] : {
           Case{"[Desktop Entry]\nExec=x\n", kEnabled}, Case{"", kEnabled}, Case{{}, kNotRegistered},
           Case{"[Desktop Entry]\nHidden=true\n", kRequiresApproval}, Case{"Hidden = 1 ", kRequiresApproval},
           Case{"[Desktop Entry]\nX-GNOME-Autostart-enabled = false\r\n", kRequiresApproval},
           Case{"[Desktop Entry]\nHidden=true\nHidden=false\nX-GNOME-Autostart-enabled=0\n", kRequiresApproval},
           Case{"[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n", kEnabled},
           Case{"[Desktop Action x]\nHidden=true\n", kEnabled}, Case{"Hidden=yes", kEnabled},
           Case{"[Desktop Entry]\nHidden=True\n# Hidden=true\n", kEnabled},
           Case{std::string("\0\xFF[\n=\n", 6), kEnabled},
           Case{{}, kEnabled, "Exec=x"}, Case{{}, kNotRegistered, "Hidden=1"},
           Case{{}, kRequiresApproval, "X-GNOME-Autostart-enabled=0"},
           Case{"Hidden=true\nX-GNOME-Autostart-enabled=false", kNotRegistered, ""},
           Case{"X-GNOME-Autostart-enabled=false", kRequiresApproval, "Exec=x"},
           Case{"Exec=x", kEnabled, "Hidden=true"}}) {
    EXPECT_EQ(autostartStatus(entry, system), status) << entry.value_or("-") << " | " << system.value_or("-");
  }
}

TEST(ConfigFolderTest, AbsolutePathsOnly) {
  struct Case { const char* configHome; const char* home; const char* folder; };
  for (const auto& [configHome, home, folder] : {
           Case{"/x/cfg", "/h", "/x/cfg"}, Case{"", "/h", "/h/.config"}, Case{"cfg", "/h", "/h/.config"},
           Case{"./cfg", "", "/db/.config"}, Case{"", "h", "/db/.config"}, Case{"", "", "/db/.config"}}) {
    EXPECT_EQ(configFolder(configHome, home, [] { return std::string("/db"); }), folder)
        << configHome << " " << home;
  }
  EXPECT_EQ(systemConfigFolders(""), std::vector<std::string>{"/etc/xdg"});
  EXPECT_EQ(systemConfigFolders("/a::etc:/b/"), (std::vector<std::string>{"/a", "/b/"}));
}

}  // namespace
}  // namespace loginhelper
