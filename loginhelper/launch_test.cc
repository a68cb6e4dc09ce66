#include "loginhelper/launch.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "test/scoped_state.h"

namespace loginhelper {
namespace {

namespace fs = std::filesystem;

// A bundle tree with the program inside, and a stand-in for the open tool
// that records its arguments and ends as $TOOL_END says.
class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/loginhelper-test-XXXXXX";
    root_ = fs::canonical(::mkdtemp(pattern));  // /tmp may itself be a link
    std::ofstream(root_ / "open") << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$TOOL_RECORD\"\neval \"$TOOL_END\"\n";
    fs::permissions(root_ / "open", fs::perms::owner_all);
    state_.setEnvironment("TOOL_RECORD", root_ / "record");
    state_.setEnvironment("TOOL_END", "exit 0");
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string program(const std::string& bundle) {
    fs::create_directories(root_ / bundle / "Contents/MacOS");
    std::ofstream(root_ / bundle / "Contents/MacOS/loginhelper") << "";
    return root_ / bundle / "Contents/MacOS/loginhelper";
  }
  Result<> launch(std::optional<std::string> path, std::string tool = "open") {
    return launchDashboardInBackground(path, root_ / tool);
  }
  std::string recorded() {
    std::ifstream in(root_ / "record");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path root_;
  testing_support::ScopedState state_;
};

TEST(BundlePathTest, ThePathWithoutItsLastThreeComponents) {
  EXPECT_EQ(bundlePath("/p/Vantrel.app/Contents/MacOS/loginhelper//"), "/p/Vantrel.app");
  EXPECT_EQ(bundlePath("/a/b"), "/");
}

TEST_F(LaunchTest, StartsTheBundleAroundTheResolvedProgramHidden) {
  std::string odd = "My \"Odd\" App\n.app";
  EXPECT_TRUE(launch(program(odd)));
  EXPECT_EQ(recorded(), "-g\n-a\n" + (root_ / odd).string() + "\n--args\n--background\n");
  fs::create_symlink(program("Vantrel.app"), root_ / "helper-link");
  EXPECT_TRUE(launch(root_ / "helper-link"));
  EXPECT_EQ(recorded(), "-g\n-a\n" + (root_ / "Vantrel.app").string() + "\n--args\n--background\n");
  testing_support::ScopedState folder;
  folder.workIn(root_ / "Vantrel.app/Contents/MacOS");
  Result<> fromInside = launch("loginhelper");
  folder.workIn(root_);
  Result<> fromElsewhere = launch("loginhelper");
  EXPECT_TRUE(fromInside);
  EXPECT_EQ(fromElsewhere.error().code, 1);
}

TEST_F(LaunchTest, OutsideABundleNothingIsStarted) {
  fs::create_symlink(root_ / "loop-a", root_ / "loop-b");
  fs::create_symlink(root_ / "loop-b", root_ / "loop-a");
  for (std::optional<std::string> path : {std::optional<std::string>(program("Vantrel.APP")),
                                          std::optional<std::string>(program("Vantrel.apps")),
                                          std::optional<std::string>(root_ / "loose"),
                                          std::optional<std::string>(root_ / "loop-a"),
                                          std::optional<std::string>()}) {
    EXPECT_EQ(launch(path).error(), (Error{"VantrelStartup", 1, "Startup helper is outside Vantrel.app"}))
        << path.value_or("(none)");
  }
  EXPECT_EQ(recorded(), "");
}

TEST_F(LaunchTest, ToolFailuresBecomeErrors) {
  std::string signalled = "Could not start Vantrel in the background: " + (root_ / "open").string();
  struct Case { const char* end; long code; std::string message; };
  for (const auto& [end, code, message] :
       {Case{.end = "exit 3", .code = 3, .message = "Could not start Vantrel in the background"},
        Case{.end = "kill -TERM $$", .code = 15, .message = signalled + " ended by signal 15"}}) {
    state_.setEnvironment("TOOL_END", end);
    EXPECT_EQ(launch(program("Vantrel.app")).error(), (Error{"VantrelStartup", code, message})) << end;
  }
  Result<> missing = launch(program("Vantrel.app"), "missing");
  EXPECT_NE(missing.error().domain, "VantrelStartup");
  EXPECT_NE(missing.error().description.find("No such file or directory"), std::string::npos);
}

}  // namespace
}  // namespace loginhelper
