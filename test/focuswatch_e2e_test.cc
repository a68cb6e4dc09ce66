// The built focuswatch, driven through desktop files, the trace and the
// notification pipe: what only the whole program shows.
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

const std::string kDemo = DEMO_DIR;

class FocuswatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/focuswatch-e2e-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string desktop(const Json& json) const {
    std::ofstream(path("desktop.json")) << json;
    return path("desktop.json");
  }
  Launch probe(std::vector<std::string> options, const std::string& desktop) const {
    options.insert(options.begin(), FOCUSWATCH_PATH);
    return Launch{options, {{"FOCUSWATCH_DESKTOP", desktop}, {"FOCUSWATCH_TRACE", path("trace")}}};
  }
  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }
  std::string dir_;
};

TEST_F(FocuswatchTest, OneLineOnceAndTheTrustAnswerAlone) {
  for (auto [desktop, options, out] : {
           std::tuple{"plain", std::vector<std::string>{"--trust-only"}, "{\"accessibilityTrusted\":true}\n"},
           std::tuple{"plain", std::vector<std::string>{"--once", "--trust-only"}, "{\"accessibilityTrusted\":true}\n"},
           std::tuple{"untrusted", std::vector<std::string>{"--trust-only"}, "{\"accessibilityTrusted\":false}\n"}}) {
    Outcome outcome = testing_support::run(probe(options, kDemo + "/" + desktop + ".json"));
    EXPECT_EQ(outcome.out, out);
    EXPECT_EQ(outcome.err + std::to_string(outcome.status), "0");
  }
  auto once = [&](std::vector<std::string> options, const std::string& demo) {
    Outcome outcome = testing_support::run(probe(options, kDemo + "/" + demo));
    EXPECT_EQ(lines(outcome.out).size(), 1u);
    return Json::parse(outcome.out);
  };
  Json chrome = once({"--once", "--browser-tracking"}, "browser-document.json");
  EXPECT_EQ(chrome["browserDomain"], "example.com");
  EXPECT_EQ(chrome["browserUrl"], "https://WWW.Example.com/docs/start?lang=en#intro");
  EXPECT_EQ(chrome["browserTitle"], "Getting started - Example Docs");
  Json nerrit = once({"--once"}, "nerrit.json");
  EXPECT_EQ(nerrit["nerritSelectedTabTitle"], "checkout.ts");
  EXPECT_EQ(nerrit["nerritSelectedWorktreeId"], "vantrel::checkout-flow");
  EXPECT_EQ(nerrit["nerritWindowTitle"], "checkout-flow \u2014 vantrel");
  EXPECT_EQ(once({"--once", "--browser-brave"}, "browser-webarea.json")["browserTitle"], "Release notes");
  EXPECT_FALSE(once({"--once"}, "browser-webarea.json").contains("browserUrl"));
  // Odd arguments are ignored silently, however many.
  std::vector<std::string> odd = {"", "--ONCE", "--once=1", "-", "--browser-suffix=", "\xFF\xFE"};
  for (int i = 0; i < 10000; ++i) odd.push_back("--unknown-" + std::to_string(i));
  odd.push_back("--once");
  once(odd, "plain.json");
}

TEST_F(FocuswatchTest, NoCredentialTextReachesThePage) {
  for (const char* address : {"https://user:p@ss@example.com/", "http://alice@x:secret@host/"}) {
    Json front = {{"bundleIdentifier", "com.apple.Safari"}, {"processIdentifier", 5}};
    Json window = {{"AXDocument", address}, {"AXTitle", "t"}};
    Outcome outcome = testing_support::run(probe(
        {"--once", "--browser-safari"},
        desktop({{"accessibilityTrusted", true}, {"frontmostApplication", front},
                 {"applications", {{"5", {{"AXFocusedWindow", window}}}}}})));
    EXPECT_FALSE(Json::parse(outcome.out).contains("browserDomain")) << outcome.out;
    EXPECT_FALSE(Json::parse(outcome.out).contains("browserUrl")) << outcome.out;
  }
}

TEST_F(FocuswatchTest, UnreadableDesktopIsEmptyAndSaysWhyOnce) {
  Outcome outcome = testing_support::run(probe({"--once"}, path("missing.json")));
  EXPECT_EQ(Json::parse(outcome.out)["foregroundBundleId"], "unknown");
  EXPECT_TRUE(outcome.err.starts_with("focuswatch: desktop:")) << outcome.err;
  EXPECT_EQ(lines(outcome.err).size(), 1u);
  std::filesystem::remove(path("trace"));
  testing_support::run(probe({"--once"}, kDemo + "/plain.json"));
  std::ifstream trace(path("trace"));
  std::string calls((std::istreambuf_iterator<char>(trace)), {});
  EXPECT_EQ(calls, "AXIsProcessTrusted\nfrontmostApplication\nCGEventSourceSecondsSinceLastEventType\n");
}

TEST_F(FocuswatchTest, StandardStreamsClosedOrFullNeverTearALine) {
  // Output closed: the trace file would otherwise become descriptor 1.
  for (std::vector<int> closed : {std::vector<int>{1}, {0, 1, 2}, {0, 2}}) {
    std::filesystem::remove(path("trace"));
    Launch launch = probe({"--once"}, kDemo + "/plain.json");
    launch.closed = closed;
    Outcome outcome = testing_support::run(launch);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(lines(outcome.out).size(), closed.size() == 2 ? 1u : 0u);
    std::ifstream trace(path("trace"));
    for (std::string line; std::getline(trace, line);) EXPECT_NE(line.front(), '{') << line;
  }
  // A full non-blocking output is waited for: the line comes whole.
  std::string name(200'000, 'n');  // the display name has no length limit
  Launch full = probe({"--once"}, desktop({{"frontmostApplication",
                                            {{"localizedName", name}, {"processIdentifier", 5}}}}));
  full.nonBlockingOutput = true;
  full.readAfter = 300ms;
  Outcome outcome = testing_support::run(full);
  ASSERT_EQ(lines(outcome.out).size(), 1u) << outcome.out.size() << " bytes";
  EXPECT_EQ(Json::parse(outcome.out)["foregroundName"], name);
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
  std::ofstream(path("notify")) << "NSWorkspaceWillSleepNotification\nsomething else\n"
                                << "NSWorkspaceDidWakeNotification\nNSWorkspaceDidActivateApplicationNotification\n";
  for (const char* kind : {"sleep", "wake", "activity"}) EXPECT_EQ(kindOf(watching.nextLine(1500ms)), kind);
  // The desktop file is read afresh: the tick sees the new application.
  std::ofstream(path("next.json")) << R"({"frontmostApplication": {"bundleIdentifier": "b.next", "processIdentifier": 9}})";
  std::filesystem::rename(path("next.json"), path("desktop.json"));
  std::optional<std::string> tick = watching.nextLine(3000ms);
  ASSERT_TRUE(tick);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 1900ms);
  EXPECT_EQ(Json::parse(*tick)["foregroundBundleId"], "b.next");
  // Notifications that never stop do not stop the timer.
  std::atomic<bool> pouring = true;
  std::thread writer([&] {
    std::ofstream notify(path("notify"));
    while (pouring) notify << "NSWorkspaceWillSleepNotification\n" << std::flush;
  });
  std::string kind;
  for (int n = 0; n < 1'000'000 && kind != "activity" && kind != "(none)"; ++n) kind = kindOf(watching.nextLine(5000ms));
  pouring = false;
  writer.join();
  EXPECT_EQ(kind, "activity");
  // When the reader goes away, the probe ends with the next line.
  watching.closeOutput();
  EXPECT_EQ(watching.wait(5000ms).signal, SIGPIPE);
}

}  // namespace
