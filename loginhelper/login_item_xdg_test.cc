#include "loginhelper/login_item_xdg.h"

#include <glib.h>
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

// The Exec line as a desktop-entry reader takes it apart: GLib's key file
// reader unescapes the value, its shell rules split the quoted arguments,
// and "%%" is the field code of a percent sign.
std::vector<std::string> execArguments(const std::string& program) {
  std::string entry = "[Desktop Entry]\nExec=" + execLine(program) + "\n";
  GKeyFile* file = g_key_file_new();
  EXPECT_TRUE(g_key_file_load_from_data(file, entry.data(), entry.size(), G_KEY_FILE_NONE, nullptr));
  gchar* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr);
  gchar** argv = nullptr;
  EXPECT_TRUE(g_shell_parse_argv(exec, nullptr, &argv, nullptr)) << exec;
  std::vector<std::string> arguments;
  for (gchar** argument = argv; argument && *argument; ++argument) {
    std::string text = *argument;
    for (size_t at = 0; (at = text.find("%%", at)) != std::string::npos; ++at) text.erase(at, 1);
    arguments.push_back(text);
  }
  g_strfreev(argv);
  g_free(exec);
  g_key_file_free(file);
  return arguments;
}

TEST(ExecLineTest, ADesktopEntryReaderGetsTheProgramBack) {
  for (std::string program : {"/opt/Vantrel/loginhelper", "/a b/\"q\"/$x/`y`/100%/back\\slash",
                              "/new\nline/tab\there/caf\xC3\xA9 '\xE2\x80\x94'"}) {
    EXPECT_EQ(execArguments(program), (std::vector<std::string>{program, "launch"})) << program;
  }
  // GLib takes "`" and "$" either way; the Desktop Entry rules reserve them.
  EXPECT_EQ(execLine("/`$\"\\%"), R"("/\\`\\$\\"\\\\%%" launch)");
}

}  // namespace
}  // namespace loginhelper
