// The built focuswatch, driven through desktop files, the trace and the
// notification pipe.
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include <gtest/gtest.h>

#include "test/subprocess.h"

namespace {

using testing_support::Launch;
using testing_support::Outcome;
using testing_support::Running;
using namespace std::chrono_literals;
using Json = nlohmann::json;

class FocuswatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/focuswatch-e2e-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  Launch probe(std::vector<std::string> options, const std::string& desktop) const {
    options.insert(options.begin(), FOCUSWATCH_PATH);
    Launch launch;
    launch.argv = std::move(options);
    launch.env = {{"FOCUSWATCH_DESKTOP", desktop}, {"FOCUSWATCH_TRACE", path("trace")}};
    return launch;
  }

  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
      result.push_back(text.substr(start, end - start));
    return result;
  }

  std::string dir_;
};

const std::string kDemo = DEMO_DIR;

TEST_F(FocuswatchTest, TrustOnlyWritesExactlyTheTrustLine) {
  for (auto options : std::vector<std::vector<std::string>>{{"--trust-only"},
                                                              {"--once", "--trust-only"}}) {
    Outcome trusted = testing_support::run(probe(options, kDemo + "/plain.json"));
    EXPECT_EQ(trusted.out, "{\"accessibilityTrusted\":true}\n");
    EXPECT_EQ(trusted.status, 0);
    EXPECT_EQ(trusted.err, "");
  }
  Outcome untrusted = testing_support::run(probe({"--trust-only"}, kDemo + "/untrusted.json"));
  EXPECT_EQ(untrusted.out, "{\"accessibilityTrusted\":false}\n");
}

TEST_F(FocuswatchTest, OnceWritesOneActivityLine) {
  Outcome outcome = testing_support::run(probe({"--once", "--browser-tracking"},
                                               kDemo + "/browser-document.json"));
  ASSERT_EQ(lines(outcome.out).size(), 1u);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  Json line = Json::parse(lines(outcome.out)[0]);
  EXPECT_EQ(line["kind"], "activity");
  EXPECT_EQ(line["browserDomain"], "example.com");
  EXPECT_EQ(line["browserUrl"], "https://WWW.Example.com/docs/start?lang=en#intro");
  EXPECT_EQ(line["browserTitle"], "Getting started - Example Docs");
}

TEST_F(FocuswatchTest, DemoDesktopsGiveTheirKeys) {
  Json nerrit = Json::parse(testing_support::run(probe({"--once"}, kDemo + "/nerrit.json")).out);
  EXPECT_EQ(nerrit["nerritSelectedTabTitle"], "checkout.ts");
  EXPECT_EQ(nerrit["nerritSelectedWorktreeId"], "vantrel::checkout-flow");
  EXPECT_EQ(nerrit["nerritWindowTitle"], "checkout-flow \u2014 vantrel");
  Json brave = Json::parse(testing_support::run(probe({"--once", "--browser-brave"},
                                                      kDemo + "/browser-webarea.json")).out);
  EXPECT_EQ(brave["browserUrl"], "https://news.example.org/releases/2026?ref=feed");
  EXPECT_EQ(brave["browserTitle"], "Release notes");
  Json off = Json::parse(testing_support::run(probe({"--once"}, kDemo + "/browser-webarea.json")).out);
  EXPECT_FALSE(off.contains("browserUrl"));
}

TEST_F(FocuswatchTest, NoCredentialTextReachesThePage) {
  for (const char* address : {"https://user:p@ss@example.com/", "http://alice@x:secret@host/"}) {
    Json desktop = {{"accessibilityTrusted", true},
                    {"frontmostApplication",
                     {{"bundleIdentifier", "com.apple.Safari"}, {"processIdentifier", 5}}},
                    {"applications",
                     {{"5", {{"AXFocusedWindow", {{"AXDocument", address}, {"AXTitle", "t"}}}}}}}};
    std::ofstream(path("desktop.json")) << desktop;
    Outcome outcome = testing_support::run(probe({"--once", "--browser-safari"}, path("desktop.json")));
    Json line = Json::parse(outcome.out);
    EXPECT_FALSE(line.contains("browserDomain")) << address << ": " << outcome.out;
    EXPECT_FALSE(line.contains("browserUrl")) << address << ": " << outcome.out;
  }
}

TEST_F(FocuswatchTest, TitlesWithQuotesAndLineBreaksStayOnOneLine) {
  std::ofstream(path("desktop.json")) << R"({"accessibilityTrusted": true,
    "frontmostApplication": {"bundleIdentifier": "dev.nerrit.app", "processIdentifier": 5},
    "applications": {"5": {"AXFocusedWindow": {"AXTitle": "a \"quoted\"\nline"}}}})";
  Outcome outcome = testing_support::run(probe({"--once"}, path("desktop.json")));
  ASSERT_EQ(lines(outcome.out).size(), 1u);
  EXPECT_EQ(Json::parse(outcome.out)["nerritWindowTitle"], "a \"quoted\"\nline");
}

TEST_F(FocuswatchTest, FullNonBlockingOutputStillGetsWholeLines) {
  std::string name(200'000, 'n');  // the display name has no length limit
  Json desktop = {{"frontmostApplication", {{"localizedName", name}, {"processIdentifier", 5}}}};
  std::ofstream(path("desktop.json")) << desktop;
  Launch launch = probe({"--once"}, path("desktop.json"));
  launch.nonBlockingOutput = true;
  launch.readAfter = 300ms;
  Outcome outcome = testing_support::run(launch);
  ASSERT_EQ(lines(outcome.out).size(), 1u) << outcome.out.size() << " bytes";
  EXPECT_EQ(Json::parse(lines(outcome.out)[0])["foregroundName"], name);
}

TEST_F(FocuswatchTest, ClosedStandardStreamsTakeNoFileOfTheProbe) {
  // With output closed, the trace file would otherwise become descriptor 1.
  for (std::vector<int> closed : {std::vector<int>{1}, {0, 1, 2}, {0, 2}}) {
    std::filesystem::remove(path("trace"));
    Launch launch = probe({"--once"}, kDemo + "/plain.json");
    launch.closed = closed;
    Outcome outcome = testing_support::run(launch);
    EXPECT_EQ(outcome.status, 0);
    std::ifstream trace(path("trace"));
    for (std::string line; std::getline(trace, line);) EXPECT_NE(line.front(), '{') << line;
    if (closed == std::vector<int>{0, 2}) {
      EXPECT_EQ(lines(outcome.out).size(), 1u);
    }
  }
}

TEST_F(FocuswatchTest, TimerTicksWhileNotificationsPourIn) {
  ASSERT_EQ(::mkfifo(path("notify").c_str(), 0600), 0);
  Launch launch = probe({}, kDemo + "/plain.json");
  launch.env["FOCUSWATCH_NOTIFY"] = path("notify");
  launch.env.erase("FOCUSWATCH_TRACE");
  Running watching(launch);
  ASSERT_TRUE(watching.nextLine(1500ms));  // the line at start
  std::atomic<bool> pouring = true;
  std::thread writer([&] {
    std::ofstream notify(path("notify"));
    while (pouring) notify << "NSWorkspaceWillSleepNotification\n" << std::flush;
  });
  int ticks = 0;
  for (int lines = 0; ticks == 0 && lines < 1'000'000; ++lines) {
    std::optional<std::string> line = watching.nextLine(5000ms);
    if (!line) break;
    ticks += Json::parse(*line)["kind"] == "activity";
  }
  pouring = false;
  writer.join();
  EXPECT_EQ(ticks, 1);
}

TEST_F(FocuswatchTest, OddArgumentsAreIgnoredSilently) {
  std::vector<std::string> odd = {"", "--ONCE", "--once=1", "--trust-only=yes", "-", "--",
                                  "--browser-suffix=", "--browser-bundle", "\xFF\xFE"};
  for (int i = 0; i < 10000; ++i) odd.push_back("--unknown-" + std::to_string(i));
  odd.push_back("--once");
  Outcome outcome = testing_support::run(probe(odd, kDemo + "/plain.json"));
  EXPECT_EQ(lines(outcome.out).size(), 1u);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, 0);
}

TEST_F(FocuswatchTest, UnreadableDesktopIsEmptyAndSaysWhyOnStandardError) {
  Outcome outcome = testing_support::run(probe({"--once"}, path("missing.json")));
  Json line = Json::parse(outcome.out);
  EXPECT_EQ(line["foregroundBundleId"], "unknown");
  EXPECT_EQ(line["accessibilityTrusted"], false);
  EXPECT_TRUE(outcome.err.starts_with("focuswatch: desktop:")) << outcome.err;
  EXPECT_EQ(lines(outcome.err).size(), 1u);
}

TEST_F(FocuswatchTest, TraceCountsTheReadsOfOneSample) {
  testing_support::run(probe({"--once"}, kDemo + "/plain.json"));
  std::ifstream trace(path("trace"));
  std::vector<std::string> calls;
  for (std::string line; std::getline(trace, line);) calls.push_back(line);
  EXPECT_EQ(calls, (std::vector<std::string>{"AXIsProcessTrusted", "frontmostApplication",
                                              "CGEventSourceSecondsSinceLastEventType"}));
}

TEST_F(FocuswatchTest, WatchingWritesAtStartOnEveryTickAndOnNotifications) {
  ASSERT_EQ(::mkfifo(path("notify").c_str(), 0600), 0);
  std::filesystem::copy_file(kDemo + "/plain.json", path("desktop.json"));
  Launch launch = probe({}, path("desktop.json"));
  launch.env["FOCUSWATCH_NOTIFY"] = path("notify");
  Running watching(launch);

  auto kindOf = [](const std::optional<std::string>& line) {
    return line ? Json::parse(*line)["kind"].get<std::string>() : "(none)";
  };
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(kindOf(watching.nextLine(1500ms)), "activity");
  {
    std::ofstream notify(path("notify"));
    notify << "NSWorkspaceWillSleepNotification\nsomething else\n"
           << "NSWorkspaceDidWakeNotification\nNSWorkspaceDidActivateApplicationNotification\n";
  }
  EXPECT_EQ(kindOf(watching.nextLine(1500ms)), "sleep");
  EXPECT_EQ(kindOf(watching.nextLine(1500ms)), "wake");
  EXPECT_EQ(kindOf(watching.nextLine(1500ms)), "activity");

  // The desktop file is read afresh: the tick sees the new application.
  std::ofstream(path("next.json")) << R"({"frontmostApplication":
      {"bundleIdentifier": "com.example.next", "processIdentifier": 9}})";
  std::filesystem::rename(path("next.json"), path("desktop.json"));
  std::optional<std::string> tick = watching.nextLine(3000ms);
  ASSERT_TRUE(tick);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 1900ms);
  EXPECT_EQ(Json::parse(*tick)["foregroundBundleId"], "com.example.next");
  EXPECT_EQ(kindOf(watching.nextLine(3000ms)), "activity");

  // When the reader goes away, the probe ends with the next line.
  watching.closeOutput();
  Outcome ended = watching.wait(5000ms);
  EXPECT_EQ(ended.signal, SIGPIPE);
}

}  // namespace
