#include "loginhelper/login_item_xdg.h"

#include <gtest/gtest.h>

namespace loginhelper {
namespace {

TEST(AutostartStatusTest, OnlyTheTwoSwitchesInTheMainGroupCount) {
  struct Case { std::string entry; long status; };
  for (const auto& [entry, status] : {
           Case{"[Desktop Entry]\nExec=x\n", kEnabled}, Case{"", kEnabled},
           Case{"[Desktop Entry]\nHidden=true\n", kRequiresApproval},
           Case{"[Desktop Entry]\nX-GNOME-Autostart-enabled = false\r\n", kRequiresApproval},
           Case{"Hidden=true", kRequiresApproval},
           Case{"[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n", kEnabled},
           Case{"[Desktop Action x]\nHidden=true\n", kEnabled},
           Case{"[Desktop Entry]\nHidden=True\n# Hidden=true\n", kEnabled},
           Case{std::string("\0\xFF[\n=\n", 6), kEnabled}}) {
    EXPECT_EQ(autostartStatus(entry), status) << entry;
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
}

}  // namespace
}  // namespace loginhelper
