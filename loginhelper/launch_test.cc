#include "loginhelper/launch.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "loginhelper/process.h"

namespace loginhelper {
namespace {

namespace fs = std::filesystem;

TEST(BundlePathTest, RemovesThreeComponents) {
  EXPECT_EQ(bundlePath("/p/Vantrel.app/Contents/MacOS/loginhelper"), "/p/Vantrel.app");
  EXPECT_EQ(bundlePath("/a/b"), "/");
  EXPECT_EQ(pathExtension("/p/Vantrel.app"), "app");
  EXPECT_EQ(pathExtension("/p/Vantrel.APP"), "APP");
  EXPECT_EQ(pathExtension("/p.app/Vantrel"), "");
  EXPECT_EQ(pathExtension("/p/x.tar.app"), "app");
}

// A bundle tree with the program inside, and a stand-in for the open tool
// that records its arguments and exits with $TOOL_EXIT.
class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/loginhelper-test-XXXXXX";
    root_ = fs::canonical(::mkdtemp(pattern));  // /tmp may itself be a link
    tool_ = root_ / "open";
    std::ofstream(tool_) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$TOOL_RECORD\"\nexit \"$TOOL_EXIT\"\n";
    fs::permissions(tool_, fs::perms::owner_all);
    ::setenv("TOOL_RECORD", (root_ / "record").c_str(), 1);
    ::setenv("TOOL_EXIT", "0", 1);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path program(const std::string& bundle) {
    fs::path macos = root_ / bundle / "Contents" / "MacOS";
    fs::create_directories(macos);
    std::ofstream(macos / "loginhelper") << "";
    return macos / "loginhelper";
  }
  std::string recorded() {
    std::ifstream in(root_ / "record");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path root_;
  fs::path tool_;
};

TEST_F(LaunchTest, StartsTheBundleHiddenWithBackground) {
  fs::path inside = program("My \"Odd\" App\n.app");
  EXPECT_EQ(launchDashboardInBackground(inside.string(), tool_), std::nullopt);
  EXPECT_EQ(recorded(), "-g\n-a\n" + (root_ / "My \"Odd\" App\n.app").string() +
                            "\n--args\n--background\n");
}

TEST_F(LaunchTest, SymbolicLinkFromOutsideIsResolvedFirst) {
  fs::path inside = program("Vantrel.app");
  fs::create_symlink(inside, root_ / "helper-link");
  EXPECT_EQ(launchDashboardInBackground((root_ / "helper-link").string(), tool_), std::nullopt);
  EXPECT_EQ(recorded(), "-g\n-a\n" + (root_ / "Vantrel.app").string() + "\n--args\n--background\n");
}

TEST_F(LaunchTest, OutsideABundleNothingIsStarted) {
  for (fs::path path : {program("Vantrel.APP"), program("Vantrel.apps"), root_ / "loose"}) {
    std::optional<Error> error = launchDashboardInBackground(path.string(), tool_);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "VantrelStartup");
    EXPECT_EQ(error->code, 1);
    EXPECT_EQ(error->description, "Startup helper is outside Vantrel.app");
  }
  EXPECT_FALSE(launchDashboardInBackground(std::nullopt, tool_)->description.empty());
  fs::create_symlink(root_ / "loop-a", root_ / "loop-b");
  fs::create_symlink(root_ / "loop-b", root_ / "loop-a");
  EXPECT_EQ(launchDashboardInBackground((root_ / "loop-a").string(), tool_)->code, 1);
  EXPECT_EQ(recorded(), "");
}

TEST_F(LaunchTest, BareNameCountsFromTheCurrentDirectory) {
  fs::path inside = program("Vantrel.app");
  fs::path previous = fs::current_path();
  fs::current_path(inside.parent_path());
  std::optional<Error> fromInside = launchDashboardInBackground("loginhelper", tool_);
  fs::current_path(root_);
  std::optional<Error> fromElsewhere = launchDashboardInBackground("loginhelper", tool_);
  fs::current_path(previous);
  EXPECT_EQ(fromInside, std::nullopt);
  ASSERT_TRUE(fromElsewhere);
  EXPECT_EQ(fromElsewhere->code, 1);
}

TEST_F(LaunchTest, ToolFailureBecomesTheStartupError) {
  ::setenv("TOOL_EXIT", "3", 1);
  std::optional<Error> error = launchDashboardInBackground(program("Vantrel.app").string(), tool_);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, 3);
  EXPECT_EQ(error->description, "Could not start Vantrel in the background");
}

TEST_F(LaunchTest, ToolThatCannotStartGivesThePlatformError) {
  std::optional<Error> error =
      launchDashboardInBackground(program("Vantrel.app").string(), (root_ / "missing").string());
  ASSERT_TRUE(error);
  EXPECT_NE(error->domain, "VantrelStartup");
  EXPECT_NE(error->description.find("No such file or directory"), std::string::npos);
}

}  // namespace
}  // namespace loginhelper
