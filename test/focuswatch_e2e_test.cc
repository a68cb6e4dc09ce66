// The built focuswatch, driven through desktop files, the trace and the
// notification pipe: what only the whole program shows.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include <gtest/gtest.h>

#include "common/io.h"
#include "test/scoped_state.h"
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
  // A desktop file `name` whose front application, nerrit, has `window` focused.
  void writeNerritWindow(const std::string& name, const Json& window) const {
    std::ofstream(path(name)) << Json{{"accessibilityTrusted", true},
        {"frontmostApplication", {{"bundleIdentifier", "com.example.nerrit"}, {"processIdentifier", 7}}},
        {"applications", {{"7", {{"AXFocusedWindow", window}}}}}};
  }
  std::string trace() const {
    std::ifstream in(path("trace"));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string dir_;
};

TEST_F(FocuswatchTest, OneLineOnceAndTheTrustAnswerAlone) {
  struct Case { std::string demo; std::vector<std::string> options; bool trusted; };
  for (const auto& [demo, options, trusted] : {
           Case{.demo = "plain", .options = {"--trust-only"}, .trusted = true},
           Case{.demo = "untrusted", .options = {"--trust-only"}, .trusted = false}}) {
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
// the owner's only, replaced whole, nothing left beside it.
TEST_F(FocuswatchTest, RecordedSampleReplaysToTheSameLine) {
  Launch recording = probe({"--once", "--browser-tracking"}, kDemo + "/nerrit.json");
  recording.env["FOCUSWATCH_RECORD"] = path("record.json");
  Outcome recorded = testing_support::run(recording);
  Outcome replayed = testing_support::run(probe({"--once", "--browser-tracking"}, path("record.json")));
  EXPECT_EQ(replayed.out + replayed.err, recorded.out + recorded.err);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);  // the record and the trace
  EXPECT_EQ(std::filesystem::status(path("record.json")).permissions(), std::filesystem::perms(0600));  // raw answers
}

// Watches the desktop file `desktop.json` with the notification pipe.
class WatchingTest : public FocuswatchTest {
 protected:
  void SetUp() override {
    FocuswatchTest::SetUp();
    ASSERT_EQ(::mkfifo(path("notify").c_str(), 0600), 0);
    std::filesystem::copy_file(kDemo + "/plain.json", path("desktop.json"));
  }
  // The probe, once its line at start has come; that line's clocks are the
  // real ones.
  std::unique_ptr<Running> watch(std::map<std::string, std::optional<std::string>> env = {}, bool ignoreSigpipe = false) {
    Launch launch = probe({}, path("desktop.json"));
    launch.env.merge(env);
    launch.env["FOCUSWATCH_NOTIFY"] = path("notify");
    launch.ignoreSigpipe = ignoreSigpipe;
    auto clocks = [] { return Json{{"observedAt", seconds(std::chrono::system_clock::now())}, {"uptime", seconds(std::chrono::steady_clock::now())}}; };
    Json before = clocks();
    auto watching = std::make_unique<Running>(launch);
    Json first = Json::parse(watching->nextLine(5s).value_or("{\"kind\": \"(none)\"}")), after = clocks();
    EXPECT_EQ(first["kind"], "activity");  // the line at start
    for (const char* clock : {"observedAt", "uptime"}) EXPECT_TRUE(before[clock] <= first[clock] && first[clock] <= after[clock]) << clock;
    return watching;
  }
  static double seconds(auto now) { return std::chrono::duration<double>(now.time_since_epoch()).count(); }
  static std::string kindOf(const std::optional<std::string>& line) {
    return line ? Json::parse(*line)["kind"].get<std::string>() : "(none)";
  }
};

// A pipe removed and made again is read: its writers find a reader soon.
// A record that cannot be written changes nothing but one line on standard
// error, said once however many lines come; a trace whose reader has gone
// changes nothing at all.
TEST_F(WatchingTest, EachNotificationWritesItsLine) {
  ASSERT_EQ(::mkfifo(path("trace").c_str(), 0600), 0);
  vantrel::UniqueFd traceReader(::open(path("trace").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  std::unique_ptr<Running> watching = watch({{"FOCUSWATCH_RECORD", path("missing\nfolder/record.json")}});
  traceReader.reset();
  vantrel::UniqueFd old(::open(path("notify").c_str(), O_WRONLY));  // open throughout: the old pipe never ends
  ASSERT_EQ(vantrel::writeAll(old.get(), "NSWorkspaceWillSleepNotification\nsomething else\nNSWorkspaceDidWakeNotification\n"
                                         "NSWorkspaceDidActivateApplicationNotification\n"),
            0);
  for (const char* kind : {"sleep", "wake", "activity"}) EXPECT_EQ(kindOf(watching->nextLine(1500ms)), kind);
  std::filesystem::remove(path("notify"));
  ASSERT_EQ(::mkfifo(path("notify").c_str(), 0600), 0);
  vantrel::UniqueFd notify;
  for (int tries = 0; tries < 100 && !notify; ++tries, std::this_thread::sleep_for(50ms))
    notify.reset(::open(path("notify").c_str(), O_WRONLY | O_NONBLOCK));  // ENXIO while nobody reads
  EXPECT_EQ(vantrel::writeAll(notify.get(), "NSWorkspaceWillSleepNotification\n"), 0);
  EXPECT_EQ(kindOf(watching->nextLine(1500ms)), "sleep");
  EXPECT_EQ(watching->wait(0ms).err, "focuswatch: record: " + path("missing\\nfolder/record.json") + ": No such file or directory\n");
}

// A stop while the record is written leaves the last whole record and
// nothing beside it. Notifications keep the probe sampling a large desktop;
// it is stopped until it is caught with its temporary file standing, then
// sent SIGTERM.
TEST_F(WatchingTest, StopWhileRecordingLeavesNoPartOfARecord) {
  std::string title(1'000'000, 't');  // recorded whole; the line has 180 characters of it
  writeNerritWindow("desktop.json", {{"AXTitle", title}});
  std::unique_ptr<Running> watching = watch({{"FOCUSWATCH_RECORD", path("record.json")}});
  vantrel::UniqueFd notify(::open(path("notify").c_str(), O_WRONLY));
  testing_support::ScopedState state;
  state.setSignalAction(SIGPIPE, SIG_IGN);  // the probe's end fails the pouring write instead
  std::thread pouring([&] { while (vantrel::writeAll(notify.get(), "NSWorkspaceDidWakeNotification\n") == 0) {} });
  auto temporaryStands = [&] { return std::ranges::any_of(std::filesystem::directory_iterator(dir_), [](auto& e) { return e.path().filename().string()[0] == '.'; }); };
  bool caught = false;
  for (int tries = 0; tries < 10'000 && !caught; ++tries, std::this_thread::sleep_for(1ms)) {
    siginfo_t stopped;
    ::kill(watching->pid(), SIGSTOP), ::waitid(P_PID, watching->pid(), &stopped, WSTOPPED | WEXITED | WNOWAIT);
    if ((caught = temporaryStands())) ::kill(watching->pid(), SIGTERM);
    ::kill(watching->pid(), SIGCONT);
  }
  Outcome outcome = watching->wait(10s);
  pouring.join();
  EXPECT_TRUE(caught && outcome.signal == SIGTERM && !temporaryStands());
  EXPECT_EQ(Json::parse(std::ifstream(path("record.json")))["applications"]["7"]["AXFocusedWindow"]["AXTitle"], title);
}

// The trace never stops the line: not a pipe that nobody reads, nor a
// reader that takes nothing (nor one that goes away, above).
TEST_F(WatchingTest, TraceNobodyReadsNeverStopsTheLine) {
  ASSERT_EQ(::mkfifo(path("trace").c_str(), 0600), 0);
  writeNerritWindow("long-id.json", {{"id", std::string(100'000, 'w')}, {"AXTitle", "main"}});  // a trace line more than a pipe holds
  for (bool reader : {false, true}) {  // an open reader that takes nothing
    vantrel::UniqueFd held(reader ? ::open(path("trace").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1);
    Outcome outcome = testing_support::run(probe({"--once"}, path("long-id.json")), 10s);
    EXPECT_EQ(Json::parse(outcome.out.empty() ? "{}" : outcome.out).value("nerritWindowTitle", ""), "main");
    EXPECT_EQ(outcome.err + std::to_string(outcome.status), "0");
  }
}

// When the reader goes away, the probe ends with the next line: by SIGPIPE,
// or with status 0 where its parent left the signal ignored.
TEST_F(WatchingTest, GoneReaderEndsTheProbe) {
  for (bool ignored : {false, true}) {
    std::unique_ptr<Running> watching = watch({}, ignored);
    watching->closeOutput();
    std::ofstream(path("notify")) << "NSWorkspaceDidWakeNotification\n";
    testing_support::Outcome outcome = watching->wait(5000ms);
    EXPECT_EQ(outcome.signal, ignored ? 0 : SIGPIPE);
    EXPECT_EQ(outcome.status, ignored ? 0 : -1);
  }
}

}  // namespace
