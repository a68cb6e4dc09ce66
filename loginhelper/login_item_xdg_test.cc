#include "loginhelper/login_item_xdg.h"

#include <gtest/gtest.h>

namespace loginhelper {
namespace {

TEST(AutostartStatusTest, OnlyTheTwoSwitchesInTheMainGroupCount) {
  EXPECT_EQ(autostartStatus("[Desktop Entry]\nExec=x\n"), kEnabled);
  EXPECT_EQ(autostartStatus(""), kEnabled);
  EXPECT_EQ(autostartStatus("[Desktop Entry]\nHidden=true\n"), kRequiresApproval);
  EXPECT_EQ(autostartStatus("[Desktop Entry]\nX-GNOME-Autostart-enabled = false\r\n"),
            kRequiresApproval);
  EXPECT_EQ(autostartStatus("Hidden=true"), kRequiresApproval);
  EXPECT_EQ(autostartStatus("[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n"),
            kEnabled);
  EXPECT_EQ(autostartStatus("[Desktop Action x]\nHidden=true\n"), kEnabled);
  EXPECT_EQ(autostartStatus("[Desktop Entry]\nHidden=True\n# Hidden=true\n"), kEnabled);
  EXPECT_EQ(autostartStatus(std::string("\0\xFF[\n=\n", 6)), kEnabled);
}

TEST(ExecLineTest, QuotesAndEscapesThePath) {
  EXPECT_EQ(execLine("/opt/Vantrel/loginhelper"), "\"/opt/Vantrel/loginhelper\" launch");
  EXPECT_EQ(execLine("/a b/\"q\"/$x/`y`/100%"),
            R"("/a b/\\"q\\"/\\$x/\\`y\\`/100%%" launch)");
  EXPECT_EQ(execLine("/back\\slash"), R"("/back\\\\slash" launch)");
  EXPECT_EQ(execLine("/new\nline"), R"("/new\nline" launch)");
}

}  // namespace
}  // namespace loginhelper
