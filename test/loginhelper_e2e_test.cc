// The built loginhelper against a private XDG autostart folder.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "test/subprocess.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Launch;
using testing_support::Outcome;

class LoginhelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/loginhelper-e2e-XXXXXX";
    root_ = ::mkdtemp(pattern);
    config_ = root_ / "config";
    entry_ = config_ / "autostart" / "mirrowin.vantrel.startup.desktop";
  }
  void TearDown() override { fs::remove_all(root_); }

  Outcome helper(std::vector<std::string> words, std::vector<int> closed = {}) {
    Launch launch;
    launch.argv = {LOGINHELPER_PATH};
    launch.argv.insert(launch.argv.end(), words.begin(), words.end());
    launch.env = {{"XDG_CONFIG_HOME", config_.string()}};
    launch.closed = std::move(closed);
    return testing_support::run(launch);
  }

  void expectReport(std::vector<std::string> words, const std::string& status) {
    Outcome outcome = helper(words);
    EXPECT_EQ(outcome.out, "{\"status\":\"" + status + "\"}");
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
  }

  void expectFailure(std::vector<std::string> words, const std::string& contains) {
    Outcome outcome = helper(words);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(contains), std::string::npos) << outcome.err;
    EXPECT_TRUE(outcome.err.ends_with("\n"));
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1);
    EXPECT_EQ(outcome.status, 1);
  }

  fs::path root_;
  fs::path config_;
  fs::path entry_;
};

TEST_F(LoginhelperTest, AutostartEntryLifecycle) {
  expectReport({"status"}, "notRegistered");
  expectReport({"disable"}, "notRegistered");
  expectReport({"enable"}, "enabled");
  std::ifstream written(entry_);
  std::string text((std::istreambuf_iterator<char>(written)), {});
  EXPECT_NE(text.find("Exec=\"" + fs::canonical(LOGINHELPER_PATH).string() + "\" launch\n"),
            std::string::npos) << text;
  expectReport({"enable"}, "enabled");
  expectReport({"settings", "more"}, "enabled");

  std::ofstream(entry_, std::ios::app) << "Hidden=true\n";
  expectReport({"status"}, "requiresApproval");
  expectReport({"enable"}, "requiresApproval");
  expectReport({"disable"}, "notRegistered");
  EXPECT_FALSE(fs::exists(entry_));
  EXPECT_EQ(std::distance(fs::directory_iterator(entry_.parent_path()), {}), 0);
}

TEST_F(LoginhelperTest, UnknownWordsAreRefused) {
  for (const char* word : {"Enable", "", "help"}) expectFailure({word}, "Unknown startup operation");
  EXPECT_FALSE(fs::exists(root_ / "config"));
}

TEST_F(LoginhelperTest, DamagedEntriesAndFoldersFailCleanly) {
  fs::create_directories(entry_);
  expectFailure({"status"}, entry_.string());
  expectFailure({"enable"}, "Is a directory");
  fs::remove(entry_);
  fs::create_symlink(root_ / "nowhere", entry_);
  expectFailure({"status"}, "No such file or directory");
  fs::remove_all(root_ / "config");
  fs::create_directories(root_ / "config");
  std::ofstream(root_ / "config" / "autostart") << "a file where the folder belongs";
  expectFailure({"enable"}, "Not a directory");
}

TEST_F(LoginhelperTest, FailureLineStaysOneLineWhateverThePath) {
  config_ = root_ / "con\nfig\x01";
  entry_ = config_ / "autostart" / "mirrowin.vantrel.startup.desktop";
  fs::create_directories(entry_);
  expectFailure({"status"}, "con\\nfig\\x01/autostart");
}

TEST_F(LoginhelperTest, OversizedEntryIsReadAsFarAsItsKeysAndCanBeRemoved) {
  fs::create_directories(entry_.parent_path());
  std::string filler = "X-Filler=" + std::string(100, 'f') + "\n";
  for (const char* hidden : {"Hidden=true\n", ""}) {
    std::ofstream entry(entry_);
    entry << "[Desktop Entry]\n" << hidden;
    for (int i = 0; i < 30000; ++i) entry << filler;  // 3 MB
    entry << "Hidden=true\n";                         // beyond what is read
    entry.close();
    expectReport({"status"}, *hidden ? "requiresApproval" : "enabled");
  }
  expectReport({"disable"}, "notRegistered");
  EXPECT_FALSE(fs::exists(entry_));
}

TEST_F(LoginhelperTest, ReportThatCannotBeWrittenIsAFailure) {
  Outcome closed = helper({"enable"}, {1});
  EXPECT_EQ(closed.status, 1);
  EXPECT_EQ(closed.err, "standard output: Bad file descriptor\n");
  EXPECT_TRUE(fs::exists(entry_));  // done, though the report was lost
  // With standard error closed as well, the status still tells.
  EXPECT_EQ(helper({"disable"}, {1, 2}).status, 1);
  EXPECT_FALSE(fs::exists(entry_));
  Outcome enable = helper({"enable"}, {0, 2});
  EXPECT_EQ(enable.status, 0);
  EXPECT_EQ(enable.out, "{\"status\":\"enabled\"}");
}

TEST_F(LoginhelperTest, LaunchFromOutsideABundleFails) {
  Outcome outcome = helper({});
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "Startup helper is outside Vantrel.app\n");
  EXPECT_EQ(outcome.status, 1);
}

TEST_F(LoginhelperTest, LaunchFromInsideABundleStartsTheOpenTool) {
  // Debian has no macOS open tool; where xdg-utils is installed the name
  // leads to xdg-open, which refuses "-g". Any other tool is not started.
  std::error_code ignored;
  fs::path tool = fs::canonical("/usr/bin/open", ignored);
  bool xdgOpen = tool.filename() == "xdg-open";
  if (fs::exists("/usr/bin/open") && !xdgOpen)
    GTEST_SKIP() << "this machine has a /usr/bin/open of its own (" << tool << "); not starting it";
  fs::path macos = root_ / "Vantrel.app" / "Contents" / "MacOS";
  fs::create_directories(macos);
  fs::copy_file(LOGINHELPER_PATH, macos / "loginhelper");
  Launch launch;
  launch.argv = {(macos / "loginhelper").string(), "launch"};
  Outcome outcome = testing_support::run(launch);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.status, 1);
  if (xdgOpen) {
    // The tool's own complaint comes first, then the helper's line.
    EXPECT_TRUE(outcome.err.starts_with("xdg-open: unexpected option '-g'")) << outcome.err;
    EXPECT_TRUE(outcome.err.ends_with("\nCould not start Vantrel in the background\n")) << outcome.err;
  } else {
    EXPECT_EQ(outcome.err, "/usr/bin/open: No such file or directory\n");
  }
}

}  // namespace
