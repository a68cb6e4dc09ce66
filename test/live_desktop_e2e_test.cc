// The built focuswatch on a real desktop: Xvfb, openbox, the AT-SPI bus of
// the session, and Chromium showing pages served from loopback.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
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

// Serves the files of test/pages on a loopback port, one request a
// connection, until it is destroyed.
class PageServer {
 public:
  PageServer() {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(socket_, 16);
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~PageServer() {
    stop_ = true;
    thread_.join();
    ::close(socket_);
  }
  std::string url(const std::string& page) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + page;
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd polled{socket_, POLLIN, 0};
      if (::poll(&polled, 1, 100) <= 0) continue;
      int client = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      char request[4096] = {};
      ::recv(client, request, sizeof request - 1, 0);
      std::string line(request, strcspn(request, "\r\n"));
      std::string name = line.substr(line.find('/') + 1);
      name = name.substr(0, name.find(' '));
      fs::path path = fs::path(PAGES_DIR) / fs::path(name).filename();
      bool found = !name.empty() && fs::is_regular_file(path);
      std::string body;
      if (found) {
        std::ifstream file(path);
        body.assign(std::istreambuf_iterator<char>(file), {});
      }
      std::string reply = std::string(found ? "HTTP/1.0 200 OK" : "HTTP/1.0 404 Not Found") +
                          "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      ::close(client);
    }
  }
  int socket_;
  int port_ = 0;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

bool installed(const char* tool) { return fs::exists(tool); }

class LiveDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"/usr/bin/Xvfb", "/usr/bin/openbox", "/usr/bin/chromium",
                             "/usr/bin/gdbus", "/usr/bin/xprop"}) {
      if (!installed(tool)) GTEST_SKIP() << tool << " is not installed (misc/install-deps installs it)";
    }
    if (!std::getenv("VANTREL_KEYRING_SESSION"))
      GTEST_SKIP() << "needs a private session bus: run under misc/keyring-session";
    char pattern[] = "/tmp/live-desktop-XXXXXX";
    dir_ = ::mkdtemp(pattern);

    Launch xvfb;
    xvfb.argv = {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"};
    xvfb_ = std::make_unique<Running>(xvfb);
    std::optional<std::string> number = xvfb_->nextLine(20s);
    ASSERT_TRUE(number) << "Xvfb did not start";
    display_ = ":" + *number;

    Launch openbox;
    openbox.argv = {"/usr/bin/openbox"};
    openbox.env = {{"DISPLAY", display_}};
    openbox.discardOutput = true;
    openbox_ = std::make_unique<Running>(openbox);

    Launch enable;
    enable.argv = {"/usr/bin/gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path",
                   "/org/a11y/bus", "--method", "org.freedesktop.DBus.Properties.Set",
                   "org.a11y.Status", "IsEnabled", "<true>"};
    ASSERT_EQ(testing_support::run(enable).status, 0) << "the accessibility bus did not start";
    server_ = std::make_unique<PageServer>();
  }

  void TearDown() override {
    browser_.reset();
    openbox_.reset();
    xvfb_.reset();
    server_.reset();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  void openBrowser(const std::string& windowClass, const std::string& page) {
    Launch chromium;
    chromium.argv = {"/usr/bin/chromium", "--no-sandbox", "--force-renderer-accessibility",
                     "--user-data-dir=" + dir_ + "/profile", "--no-first-run",
                     "--no-default-browser-check", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--disable-gpu",
                     "--password-store=basic", "--window-position=0,0", "--window-size=1200,760",
                     "--class=" + windowClass, server_->url(page)};
    chromium.env = {{"DISPLAY", display_}, {"ACCESSIBILITY_ENABLED", "1"}};
    chromium.ownGroup = true;
    chromium.discardOutput = true;
    browser_ = std::make_unique<Running>(chromium);
  }

  // Samples once a second until `done` holds for the line, for at most a
  // minute (Chromium builds its tree a while after its window shows).
  Json sampleUntil(std::vector<std::string> options, const std::function<bool(const Json&)>& done) {
    Json line;
    for (int attempt = 0; attempt < 60; ++attempt) {
      Launch probe;
      probe.argv = {FOCUSWATCH_PATH, "--once"};
      probe.argv.insert(probe.argv.end(), options.begin(), options.end());
      probe.env = {{"DISPLAY", display_}, {"FOCUSWATCH_TRACE", dir_ + "/trace"}};
      probe.unset = {"FOCUSWATCH_DESKTOP"};
      std::filesystem::remove(dir_ + "/trace");
      testing_support::Outcome outcome = testing_support::run(probe);
      EXPECT_EQ(outcome.err, "");
      line = Json::parse(outcome.out);
      if (done(line)) break;
      std::this_thread::sleep_for(1s);
    }
    return line;
  }

  size_t reads() const {
    std::ifstream trace(dir_ + "/trace");
    size_t count = 0;
    for (std::string line; std::getline(trace, line);) count += line.starts_with("AXUIElementCopy");
    return count;
  }

  std::string dir_;
  std::string display_;
  std::unique_ptr<Running> xvfb_, openbox_, browser_;
  std::unique_ptr<PageServer> server_;
};

TEST_F(LiveDesktopTest, EnabledBrowserInFrontGivesItsPage) {
  openBrowser("Chromium", "browser.html");
  Json line = sampleUntil({"--browser-bundle=Chromium"},
                          [](const Json& l) { return l.contains("browserTitle"); });
  EXPECT_EQ(line["foregroundBundleId"], "Chromium");
  EXPECT_EQ(line["accessibilityTrusted"], true);
  EXPECT_EQ(line["browserDomain"], "127.0.0.1");
  EXPECT_EQ(line["browserUrl"], server_->url("browser.html"));
  EXPECT_EQ(line["browserTitle"], "Live Page");
  std::cout << "reads for the browser line: " << reads() << "\n";

  Json disabled = sampleUntil({}, [](const Json&) { return true; });
  EXPECT_FALSE(disabled.contains("browserUrl"));
}

TEST_F(LiveDesktopTest, WorkspaceApplicationGivesTabWorktreeAndTitle) {
  openBrowser("nerrit-workspace", "nerrit.html");
  Json line = sampleUntil({}, [](const Json& l) {
    return l.contains("nerritSelectedTabTitle") && l.contains("nerritSelectedWorktreeId");
  });
  EXPECT_EQ(line["foregroundBundleId"], "nerrit-workspace");
  EXPECT_EQ(line["nerritSelectedTabTitle"], "checkout.ts");
  EXPECT_EQ(line["nerritSelectedWorktreeId"], "vantrel::checkout-flow");
  EXPECT_EQ(line["nerritWindowTitle"], "checkout-flow \u2014 vantrel - Chromium");
  std::cout << "reads for the workspace line: " << reads() << "\n";
}

TEST_F(LiveDesktopTest, ActiveWindowChangesPostActivity) {
  Launch probe;
  probe.argv = {FOCUSWATCH_PATH};
  probe.env = {{"DISPLAY", display_}};
  probe.unset = {"FOCUSWATCH_DESKTOP"};
  Running watching(probe);
  ASSERT_TRUE(watching.nextLine(5s));  // the line at start
  // Two switches well inside the first two seconds, before any tick.
  for (const char* window : {"0x100001", "0x100002"}) {
    Launch set;
    set.argv = {"/usr/bin/xprop", "-root", "-f", "_NET_ACTIVE_WINDOW", "32x", "-set",
                "_NET_ACTIVE_WINDOW", window};
    set.env = {{"DISPLAY", display_}};
    ASSERT_EQ(testing_support::run(set).status, 0);
    std::optional<std::string> line = watching.nextLine(1500ms);
    ASSERT_TRUE(line) << "no line for the switch to " << window;
    EXPECT_EQ(Json::parse(*line)["kind"], "activity");
  }
}

}  // namespace
