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
  Launch probe(std::vector<std::string> options, const std::string& desktop) const {
    options.insert(options.begin(), FOCUSWATCH_PATH);
    return {options, {{"FOCUSWATCH_DESKTOP", desktop}, {"FOCUSWATCH_TRACE", path("trace")}}};
  }
  std::string trace() const {
    std::ifstream in(path("trace"));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string dir_;
};

TEST_F(FocuswatchTest, OneLineOnceAndTheTrustAnswerAlone) {
  for (auto [demo, options, trusted] : {std::tuple{"plain", std::vector<std::string>{"--trust-only"}, true},
                                        std::tuple{"plain", std::vector<std::string>{"--once", "--trust-only"}, true},
                                        std::tuple{"untrusted", std::vector<std::string>{"--trust-only"}, false}}) {
    Outcome outcome = testing_support::run(probe(options, kDemo + "/" + demo + ".json"));
    EXPECT_EQ(outcome.out + outcome.err + std::to_string(outcome.status),
              std::string("{\"accessibilityTrusted\":") + (trusted ? "true" : "false") + "}\n0");
  }
}

TEST_F(FocuswatchTest, UnreadableDesktopIsEmptyAndSaysWhyOnOneLine) {
  // A path, and the parser's excerpt of a file, of any bytes.
  std::ofstream(path("bad\nname\xFF.json")) << "{\"a\": \n\xFF";
  for (const char* name : {"missing.json", "bad\nname\xFF.json"}) {
    Outcome outcome = testing_support::run(probe({"--once"}, path(name)));
    EXPECT_EQ(Json::parse(outcome.out)["foregroundBundleId"], "unknown");
    EXPECT_TRUE(outcome.err.starts_with("focuswatch: desktop:")) << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
    EXPECT_NO_THROW(Json(outcome.err).dump()) << outcome.err;  // valid UTF-8
  }
  std::filesystem::remove(path("trace"));
  testing_support::run(probe({"--once"}, kDemo + "/plain.json"));
  EXPECT_EQ(trace(), "AXIsProcessTrusted\nfrontmostApplication\nCGEventSourceSecondsSinceLastEventType\n");
}

TEST_F(FocuswatchTest, StandardStreamsClosedOrFullNeverTearALine) {
  // Output closed: the trace file would otherwise become descriptor 1.
  for (std::vector<int> closed : {std::vector<int>{1}, {0, 1, 2}, {0, 2}}) {
    Launch launch = probe({"--once"}, kDemo + "/plain.json");
    launch.closed = closed;
    Outcome outcome = testing_support::run(launch);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), closed.size() == 2 ? 1 : 0);
    EXPECT_EQ(trace().find('{'), std::string::npos);
  }
  // A full non-blocking output is waited for: the line comes whole.
  std::string name(200'000, 'n');  // the display name has no length limit
  std::ofstream(path("desktop.json")) << Json{{"frontmostApplication", {{"localizedName", name}, {"processIdentifier", 5}}}};
  Launch full = probe({"--once"}, path("desktop.json"));
  full.nonBlockingOutput = true;
  Running late(full);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Json::parse(late.nextLine(5s).value_or("{}"))["foregroundName"], name);
}

// A recorded sample replays to the same line, byte for byte; the record is
// replaced whole, nothing left beside it. A record that cannot be written
// changes nothing but one line on standard error.
TEST_F(FocuswatchTest, RecordedSampleReplaysToTheSameLine) {
  for (const char* demo : {"browser-webarea", "nerrit"}) {
    Launch recording = probe({"--once", "--browser-tracking"}, kDemo + "/" + demo + ".json");
    recording.env["FOCUSWATCH_RECORD"] = path("record.json");
    Outcome recorded = testing_support::run(recording);
    Outcome replayed = testing_support::run(probe({"--once", "--browser-tracking"}, path("record.json")));
    EXPECT_EQ(replayed.out + replayed.err, recorded.out + recorded.err) << demo;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);  // the record and the trace
  Launch unwritable = probe({"--once"}, kDemo + "/plain.json");
  unwritable.env["FOCUSWATCH_RECORD"] = path("missing/record.json");
  Outcome outcome = testing_support::run(unwritable);
  EXPECT_EQ(Json::parse(outcome.out)["foregroundBundleId"], "com.apple.TextEdit");
  EXPECT_EQ(outcome.err + std::to_string(outcome.status),
            "focuswatch: record: " + path("missing/record.json") + ": No such file or directory\n0");
}

// Watches the desktop file `desktop.json` with the notification pipe.
class WatchingTest : public FocuswatchTest {
 protected:
  void SetUp() override {
    FocuswatchTest::SetUp();
    ASSERT_EQ(::mkfifo(path("notify").c_str(), 0600), 0);
    std::filesystem::copy_file(kDemo + "/plain.json", path("desktop.json"));
  }
  std::unique_ptr<Running> watch(bool ignoreSigpipe = false) {
    Launch launch = probe({}, path("desktop.json"));
    launch.env["FOCUSWATCH_NOTIFY"] = path("notify");
    launch.ignoreSigpipe = ignoreSigpipe;
    auto watching = std::make_unique<Running>(launch);
    EXPECT_EQ(kindOf(watching->nextLine(1500ms)), "activity");  // the line at start
    return watching;
  }
  static std::string kindOf(const std::optional<std::string>& line) {
    return line ? Json::parse(*line)["kind"].get<std::string>() : "(none)";
  }
};

TEST_F(WatchingTest, EachNotificationWritesItsLine) {
  std::unique_ptr<Running> watching = watch();
  std::ofstream(path("notify")) << "NSWorkspaceWillSleepNotification\nsomething else\n"
                                << "NSWorkspaceDidWakeNotification\nNSWorkspaceDidActivateApplicationNotification\n";
  for (const char* kind : {"sleep", "wake", "activity"}) EXPECT_EQ(kindOf(watching->nextLine(1500ms)), kind);
}

// The timer's line comes through a flood of notifications. (That each
// sample reads the desktop file afresh, and that the timer ticks every two
// seconds, the unit tests show.)
TEST_F(WatchingTest, NotificationsThatNeverStopDoNotStopTheTimer) {
  std::unique_ptr<Running> watching = watch();
  std::atomic<bool> pouring = true;
  std::thread writer([&] {
    std::ofstream notify(path("notify"));
    while (pouring) notify << "NSWorkspaceWillSleepNotification\n" << std::flush;
  });
  std::string kind;
  for (int n = 0; n < 1'000'000 && kind != "activity" && kind != "(none)"; ++n) kind = kindOf(watching->nextLine(5000ms));
  pouring = false;
  writer.join();
  EXPECT_EQ(kind, "activity");
}

// When the reader goes away, the probe ends with the next line: by SIGPIPE,
// or with status 0 where its parent left the signal ignored.
TEST_F(WatchingTest, GoneReaderEndsTheProbe) {
  for (bool ignored : {false, true}) {
    std::unique_ptr<Running> watching = watch(ignored);
    watching->closeOutput();
    std::ofstream(path("notify")) << "NSWorkspaceDidWakeNotification\n";
    testing_support::Outcome outcome = watching->wait(5000ms);
    EXPECT_EQ(outcome.signal, ignored ? 0 : SIGPIPE);
    EXPECT_EQ(outcome.status, ignored ? 0 : -1);
  }
}

}  // namespace
