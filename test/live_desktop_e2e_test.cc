// The built focuswatch on a real desktop: Xvfb, openbox, the AT-SPI bus of
// the session, and Chromium or Firefox ESR showing pages served from
// loopback.
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include <gtest/gtest.h>

#include "test/subprocess.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Launch;
using testing_support::Running;
using namespace std::chrono_literals;
using Json = nlohmann::json;

class LiveDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"/usr/bin/Xvfb", "/usr/bin/openbox", "/usr/bin/chromium", "/usr/bin/firefox-esr",
                             "/usr/bin/gdbus", "/usr/bin/xprop", "/usr/bin/xdotool", "/usr/bin/python3"}) {
      if (!fs::exists(tool)) GTEST_SKIP() << tool << " is not installed (misc/install-deps installs it)";
    }
    if (!std::getenv("VANTREL_KEYRING_SESSION"))
      GTEST_SKIP() << "needs a private session bus: run under misc/keyring-session";
    char pattern[] = "/tmp/live-desktop-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    xvfb_ = start({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    std::optional<std::string> number = xvfb_->nextLine(20s);
    ASSERT_TRUE(number) << "Xvfb did not start";
    display_ = ":" + *number;
    openbox_ = start({"/usr/bin/openbox"}, true);
    ASSERT_EQ(run({"/usr/bin/gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path",
                   "/org/a11y/bus", "--method", "org.freedesktop.DBus.Properties.Set",
                   "org.a11y.Status", "IsEnabled", "<true>"}).status, 0)
        << "the accessibility bus did not start";
    server_ = start({"/usr/bin/python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                     "--directory", PAGES_DIR});
    std::optional<std::string> serving = server_->nextLine(20s);  // "Serving HTTP on ... port N ..."
    ASSERT_TRUE(serving) << "the page server did not start";
    port_ = serving->substr(serving->find(" port ") + 6);
    port_ = port_.substr(0, port_.find(' '));
  }

  void TearDown() override {
    for (auto* running : {&browser_, &server_, &openbox_, &xvfb_}) running->reset();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Firefox lets the profile point remote settings nowhere only with
  // MOZ_REMOTE_SETTINGS_DEVTOOLS.
  std::unique_ptr<Running> start(std::vector<std::string> argv, bool quiet = false, bool group = false) {
    return std::make_unique<Running>(Launch{.argv = std::move(argv),
                                            .env = {{"DISPLAY", display_}, {"ACCESSIBILITY_ENABLED", "1"},
                                                    {"MOZ_CRASHREPORTER_DISABLE", "1"},
                                                    {"MOZ_REMOTE_SETTINGS_DEVTOOLS", "1"}},
                                            .quiet = quiet, .ownGroup = group});
  }
  // Desktop entries are read in their own language.
  testing_support::Outcome run(std::vector<std::string> argv, std::string record = "") {
    return testing_support::run({std::move(argv), {{"DISPLAY", display_}, {"FOCUSWATCH_DESKTOP", {}},
                                                   {"FOCUSWATCH_RECORD", record},
                                                   {"LC_ALL", "C.UTF-8"}, {"LANGUAGE", {}}}});
  }
  std::string url(const std::string& page) const { return "http://127.0.0.1:" + port_ + "/" + page; }

  void openBrowser(const std::string& windowClass, const std::string& page) {
    browser_ = start({"/usr/bin/chromium", "--no-sandbox", "--force-renderer-accessibility",
                      "--user-data-dir=" + dir_ + "/profile", "--no-first-run",
                      "--no-default-browser-check", "--disable-background-networking",
                      "--disable-component-update", "--disable-sync", "--disable-gpu",
                      "--password-store=basic", "--window-position=0,0", "--window-size=1200,760",
                      "--class=" + windowClass, url(page)},
                     true, true);  // a group of its own: the browser forks
  }

  // A fresh profile that stays off the network. Once Firefox runs, the
  // same command opens the page in a new tab in front.
  void openFirefox(const std::string& page) {
    std::vector<std::string> argv{"/usr/bin/firefox-esr", "--profile", dir_ + "/firefox", "--new-tab", url(page)};
    if (browser_) {
      EXPECT_EQ(run(argv).status, 0);
    } else {
      fs::copy(PAGES_DIR "/firefox-profile", dir_ + "/firefox");
      browser_ = start(argv, true, true);
    }
  }

  // Samples once a second until `done` holds for the line, for at most a
  // minute (a browser builds its tree a while after its window shows).
  Json sampleUntil(std::vector<std::string> options, const std::function<bool(const Json&)>& done) {
    Json line;
    options.insert(options.begin(), {FOCUSWATCH_PATH, "--once"});
    for (int attempt = 0; attempt < 60; ++attempt) {
      testing_support::Outcome outcome = run(options);
      EXPECT_EQ(outcome.err, "");
      line = Json::parse(outcome.out);
      if (done(line)) break;
      std::this_thread::sleep_for(1s);
    }
    return line;
  }

  std::string dir_, display_, port_;
  std::unique_ptr<Running> xvfb_, openbox_, server_, browser_;
};

TEST_F(LiveDesktopTest, EnabledBrowserInFrontGivesItsPage) {
  openBrowser("Chromium", "browser.html");
  Json line = sampleUntil({"--browser-bundle=Chromium"},
                          [](const Json& l) { return l.contains("browserTitle"); });
  EXPECT_EQ(line["foregroundBundleId"], "Chromium");
  EXPECT_EQ(line["foregroundName"], "Chromium Web Browser");  // its desktop entry's Name
  EXPECT_EQ(line["browserUrl"], url("browser.html"));
  EXPECT_EQ(line["browserTitle"], "Live Page");
}

// Firefox keeps every tab's page in the tree, and its address as DocURL.
TEST_F(LiveDesktopTest, FirefoxGivesTheFrontTabsPageThroughTabSwitches) {
  auto page = [this](const std::string& name) {
    return sampleUntil({"--browser-bundle=firefox-esr"}, [address = url(name)](const Json& l) {
      return l.value("browserUrl", "") == address && l.contains("browserTitle");
    });
  };
  openFirefox("browser.html");
  Json line = page("browser.html");
  EXPECT_EQ(line["foregroundName"], "Firefox ESR");
  EXPECT_EQ(line["browserTitle"], "Live Page");
  openFirefox("nerrit.html");  // a second tab, in front
  EXPECT_EQ(page("nerrit.html")["browserTitle"], "checkout-flow \u2014 vantrel");
  ASSERT_EQ(run({"/usr/bin/xdotool", "key", "ctrl+Tab"}).status, 0);  // back to the first
  EXPECT_EQ(page("browser.html")["browserUrl"], url("browser.html"));
}

TEST_F(LiveDesktopTest, WorkspaceApplicationGivesTabWorktreeAndTitleUnlessStopped) {
  openBrowser("nerrit-workspace", "nerrit.html");
  Json line = sampleUntil({}, [](const Json& l) {
    return l.contains("nerritSelectedTabTitle") && l.contains("nerritSelectedWorktreeId");
  });
  EXPECT_EQ(line["foregroundBundleId"], "nerrit-workspace");
  EXPECT_EQ(line["foregroundName"], "Chromium");  // no desktop entry: its name on the bus
  EXPECT_EQ(line["nerritSelectedTabTitle"], "checkout.ts");
  EXPECT_EQ(line["nerritSelectedWorktreeId"], "vantrel::checkout-flow");
  EXPECT_EQ(line["nerritWindowTitle"], "checkout-flow \u2014 vantrel - Chromium");
  // Recorded here, replayed through the simulated desktop: the same line.
  testing_support::Outcome recorded = run({FOCUSWATCH_PATH, "--once"}, dir_ + "/record.json");
  testing_support::Outcome replayed =
      testing_support::run({{FOCUSWATCH_PATH, "--once"}, {{"FOCUSWATCH_DESKTOP", dir_ + "/record.json"}}});
  EXPECT_EQ(replayed.out + replayed.err, recorded.out + recorded.err);
  EXPECT_TRUE(Json::parse(replayed.out).contains("nerritSelectedWorktreeId")) << replayed.out;

  // Stopped, it answers nothing: each request to it times out, so the
  // timer's lines go on without its fields, which come back once it runs.
  Running watching({{FOCUSWATCH_PATH},
                    {{"DISPLAY", display_}, {"FOCUSWATCH_DESKTOP", {}}, {"FOCUSWATCH_TRACE", dir_ + "/trace"}}});
  // The next line whose `key` is `value`, among the next 30; none after a
  // wait shorter than sd-bus's own 25-second timeout.
  auto next = [&](const char* key, const char* value) {
    for (int i = 0; i < 30; ++i) {
      Json line = Json::parse(watching.nextLine(20s).value_or("null"));
      if (line.is_null() || line.value(key, "") == value) return line;
    }
    return Json();
  };
  ASSERT_FALSE(next("nerritSelectedWorktreeId", "vantrel::checkout-flow").is_null());
  // Stopped inside the next sample's walks, which make some 1000 reads
  // (70 KB of trace): the rest of them must not wait the timeout each.
  for (uintmax_t start = fs::file_size(dir_ + "/trace"); fs::file_size(dir_ + "/trace") < start + 5000;)
    std::this_thread::sleep_for(1ms);
  browser_->signal(SIGSTOP);
  // Two lines named by the window class: the stopped application gives no
  // name (a line begun before the stop may still have it), and no fields.
  for (Json line : {next("foregroundName", "nerrit-workspace"), next("foregroundName", "nerrit-workspace")})
    EXPECT_FALSE(line.is_null() || line.contains("nerritSelectedTabTitle")) << line;
  browser_->signal(SIGCONT);
  EXPECT_FALSE(next("nerritWindowTitle", "checkout-flow \u2014 vantrel - Chromium").is_null());
}

// ICCCM's WM_CLASS is Latin-1 text, and an application id may hold bytes
// that are not UTF-8: the line still comes, with both as UTF-8.
TEST_F(LiveDesktopTest, WindowTextThatIsNotUtf8StillGivesItsLine) {
  browser_ = start({"/usr/bin/xmessage", "x"}, true);  // a plain window (x11-utils, as xprop)
  ASSERT_EQ(run({"/usr/bin/xdotool", "search", "--sync", "--class", "Xmessage", "set_window", "--class", "Caf\xe9",
                 "windowactivate", "--sync"}).status, 0);
  ASSERT_EQ(run({"/usr/bin/xprop", "-name", "xmessage", "-f", "_GTK_APPLICATION_ID", "8u", "-set",
                 "_GTK_APPLICATION_ID", "org.caf\xff"}).status, 0);
  Json line = Json::parse(run({FOCUSWATCH_PATH, "--once"}).out);  // throws when there is none
  EXPECT_EQ(line["foregroundBundleId"], "org.caf\ufffd");  // the application id
  EXPECT_EQ(line["foregroundName"], "Caf\u00e9");           // the window class
}

TEST_F(LiveDesktopTest, ActiveWindowChangesPostActivity) {
  Running watching({{FOCUSWATCH_PATH}, {{"DISPLAY", display_}, {"FOCUSWATCH_DESKTOP", {}}}});
  ASSERT_TRUE(watching.nextLine(5s));  // the line at start
  // Two switches well inside the first two seconds, before any tick.
  for (const char* window : {"0x100001", "0x100002"}) {
    ASSERT_EQ(run({"/usr/bin/xprop", "-root", "-f", "_NET_ACTIVE_WINDOW", "32x", "-set",
                   "_NET_ACTIVE_WINDOW", window}).status, 0);
    std::optional<std::string> line = watching.nextLine(1500ms);
    ASSERT_TRUE(line) << "no line for the switch to " << window;
    EXPECT_EQ(Json::parse(*line)["kind"], "activity");
  }
}

}  // namespace
