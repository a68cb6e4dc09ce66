// The built loginhelper against a private XDG autostart folder.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "test/subprocess.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Outcome;

class LoginhelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/loginhelper-e2e-XXXXXX";
    root_ = ::mkdtemp(pattern);
    config_ = root_ / "config";
    entry_ = config_ / "autostart" / "mirrowin.vantrel.startup.desktop";
    system_ = root_ / "system/autostart" / entry_.filename();
  }
  void TearDown() override { fs::remove_all(root_); }

  // The user's folder is named among the system's too, as some sessions do.
  std::map<std::string, std::optional<std::string>> environment() const {
    std::string folders = config_.string() + ":" + (root_ / "system").string();
    return {{"XDG_CONFIG_HOME", config_.string()}, {"XDG_CONFIG_DIRS", folders}};
  }
  Outcome helper(std::vector<std::string> words, std::vector<int> closed = {}) {
    words.insert(words.begin(), program_);
    return testing_support::run({.argv = words, .env = environment(), .closed = closed});
  }
  void expectReport(std::vector<std::string> words, const std::string& status) {
    Outcome outcome = helper(words);
    EXPECT_EQ(outcome.out + outcome.err + std::to_string(outcome.status), "{\"status\":\"" + status + "\"}0");
  }
  void expectFailure(std::vector<std::string> words, const std::string& contains) {
    Outcome outcome = helper(words);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(contains), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;  // one line
    EXPECT_EQ(outcome.status, 1);
  }
  std::string entry() const {
    std::ifstream written(entry_);
    return std::string((std::istreambuf_iterator<char>(written)), {});
  }

  // A copy of the program at `folder`, which runs from there on.
  void moveProgram(const fs::path& folder) {
    fs::create_directories(folder);
    fs::copy_file(LOGINHELPER_PATH, folder / "loginhelper");
    program_ = (folder / "loginhelper").string();
  }
  // What the session starts at login: the command of each unit that
  // systemd's generator makes, then of each entry that dex runs.
  std::string started() {
    fs::path units = root_ / "units";
    fs::remove_all(units);
    fs::create_directories(units);
    testing_support::run({{"/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator", units, units, units},
                          environment()});
    std::string commands;
    for (const fs::directory_entry& unit : fs::directory_iterator(units)) {
      std::ifstream file(unit.path());
      for (std::string line; std::getline(file, line);)
        if (line.starts_with("ExecStart=")) commands += line + "\n";
    }
    return commands + testing_support::run({{"/usr/bin/dex", "--autostart", "--dry-run"}, environment()}).out;
  }

  std::string program_ = LOGINHELPER_PATH;
  fs::path root_, config_, entry_, system_;
};

TEST_F(LoginhelperTest, AutostartEntryLifecycle) {
  fs::create_directories(system_);  // no system-wide entry that a launcher could read
  expectReport({"status"}, "notRegistered");
  expectReport({"enable"}, "enabled");
  EXPECT_NE(entry().find("Exec=\"" + fs::canonical(LOGINHELPER_PATH).string() + "\" launch\n"),
            std::string::npos) << entry();
  expectReport({"disable"}, "notRegistered");
  EXPECT_TRUE(fs::is_empty(entry_.parent_path()));
  // Readable by the session, in a folder of the user's own.
  expectReport({"enable"}, "enabled");
  EXPECT_EQ(fs::status(entry_).permissions(), fs::perms(0644));
  EXPECT_EQ(fs::status(entry_.parent_path()).permissions(), fs::perms(0700));
}

TEST_F(LoginhelperTest, EntriesOfEveryShapeAreReadSafely) {
  fs::create_directories(entry_.parent_path());
  ::mkfifo(entry_.c_str(), 0600);  // would hang a blocking open
  expectFailure({"status"}, "Invalid argument");
  fs::remove(entry_);
  std::ofstream(root_ / "real") << "[Desktop Entry]\nHidden=true";  // read to its end
  fs::create_symlink(root_ / "real", entry_);
  expectReport({"status"}, "requiresApproval");
  fs::create_directories(system_.parent_path());
  std::ofstream(system_) << "Exec=x";
  expectFailure({"enable"}, "File exists");  // only a file or nothing is replaced
  fs::remove(system_);
  expectReport({"disable"}, "notRegistered");
  EXPECT_TRUE(fs::exists(root_ / "real"));  // the link goes, not what it names
  std::string filler = "X-Filler=" + std::string(100, 'f') + "\n";
  for (const char* hidden : {"Hidden=true\n", ""}) {
    std::ofstream big(entry_);
    big << "[Desktop Entry]\n" << hidden;
    for (int i = 0; i < 15000; ++i) big << filler;  // 1.5 MB
    big << "Hidden=true\n";                          // beyond the first MiB, not read
    for (int i = 0; i < 15000; ++i) big << filler;
    big.close();
    expectReport({"status"}, *hidden ? "requiresApproval" : "enabled");
  }
  expectReport({"disable"}, "notRegistered");
  fs::create_directories(entry_);
  expectFailure({"status"}, entry_.string());
  expectFailure({"enable"}, "Is a directory");
  fs::remove(entry_);
  fs::create_symlink(root_ / "nowhere", entry_);
  expectFailure({"status"}, "No such file or directory");
  fs::remove_all(config_);
  fs::create_directories(config_);
  std::ofstream(config_ / "autostart") << "a file where the folder belongs";
  expectFailure({"enable"}, "Not a directory");
  config_ = root_ / "con\nfig\x01";  // control characters are escaped
  fs::create_directories(config_ / "autostart/mirrowin.vantrel.startup.desktop");
  expectFailure({"status"}, "con\\nfig\\x01/autostart");
}

// The launchers of systemd 252 and dex, as a new user's session has them.
TEST_F(LoginhelperTest, TheSessionStartsWhatTheStatusSays) {
  moveProgram(root_ / "My Apps/Vantrel (beta) 'x' caf\u00e9");
  fs::create_directories(system_.parent_path());
  std::ofstream(system_) << "[Desktop Entry]\nType=Application\nName=V\nExec=/bin/echo system-wide\n";
  expectReport({"status"}, "enabled");
  EXPECT_EQ(started(), "ExecStart=:/bin/echo system-wide\nExecuting command: /bin/echo system-wide\n");
  for (int run = 0; run < 2; ++run) {
    expectReport({"disable"}, "notRegistered");  // masked: started by none
    EXPECT_EQ(started(), "");
    expectReport({"enable"}, "enabled");
    EXPECT_EQ(started(), "ExecStart=:\"" + program_ + "\" launch\nExecuting command: " + program_ + " launch\n");
  }
}

// GLib reads the entry back before it stands.
TEST_F(LoginhelperTest, OnlyAnEntryThatStartsTheProgramIsWritten) {
  for (const char* folder : {"100%", "caf\xE9"}) {  // "%%" read back by no launcher; Latin-1 text
    moveProgram(root_ / folder);
    expectFailure({"enable"}, "No launcher would start");
    EXPECT_TRUE(fs::is_empty(entry_.parent_path()));
  }
  moveProgram(root_ / "q\"$`\\ \n\t\r");  // escaped as the Desktop Entry rules ask
  expectReport({"enable"}, "enabled");
  Outcome valid = testing_support::run({{"/usr/bin/desktop-file-validate", entry_.string()}});
  EXPECT_EQ(valid.out + valid.err + std::to_string(valid.status), "0");
}

TEST_F(LoginhelperTest, ConcurrentChangesNeverLeaveATornEntry) {
  std::vector<std::thread> runs;
  for (int i = 0; i < 16; ++i) runs.emplace_back([this, i] { helper({i % 2 ? "disable" : "enable"}); });
  for (std::thread& run : runs) run.join();
  EXPECT_TRUE(!fs::exists(entry_) || entry().ends_with("X-GNOME-Autostart-enabled=true\n")) << entry();
  EXPECT_LE(std::distance(fs::directory_iterator(entry_.parent_path()), {}), 1);
}

TEST_F(LoginhelperTest, ConfigFolderFallsBackToTheHomeFolder) {
  EXPECT_EQ(testing_support::run({{LOGINHELPER_PATH, "enable"}, {{"XDG_CONFIG_HOME", ""}, {"HOME", root_.string()}}}).status, 0);
  EXPECT_TRUE(fs::exists(root_ / ".config/autostart/mirrowin.vantrel.startup.desktop"));
}

TEST_F(LoginhelperTest, ReportThatCannotBeWrittenIsAFailure) {
  Outcome closed = helper({"enable"}, {1});
  EXPECT_EQ(closed.err + std::to_string(closed.status), "standard output: Bad file descriptor\n1");
  EXPECT_TRUE(fs::exists(entry_));  // done, though the report was lost
  EXPECT_EQ(helper({"disable"}, {1, 2}).status, 1);
  EXPECT_FALSE(fs::exists(entry_));
  EXPECT_EQ(helper({"enable"}, {0, 2}).out, "{\"status\":\"enabled\"}");
}

TEST_F(LoginhelperTest, LaunchFromInsideABundle) {
  // Debian has no macOS open tool; where xdg-utils is installed the name
  // leads to xdg-open, which refuses "-g". Any other tool is not started.
  std::error_code ignored;
  bool xdgOpen = fs::canonical("/usr/bin/open", ignored).filename() == "xdg-open";
  if (fs::exists("/usr/bin/open") && !xdgOpen) GTEST_SKIP() << "this machine has a /usr/bin/open of its own";
  moveProgram(root_ / "Vantrel.app/Contents/MacOS");
  Outcome outcome = helper({"launch"});
  EXPECT_EQ(outcome.out + std::to_string(outcome.status), "1");
  if (xdgOpen) {  // the tool's own complaint first, then the helper's line
    EXPECT_TRUE(outcome.err.starts_with("xdg-open: unexpected option '-g'")) << outcome.err;
    EXPECT_TRUE(outcome.err.ends_with("\nCould not start Vantrel in the background\n")) << outcome.err;
  } else {
    EXPECT_EQ(outcome.err, "/usr/bin/open: No such file or directory\n");
  }
}

}  // namespace
