#include "focuswatch/recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

// Takes two samples of `t` through one recorder to `path`; what the
// recorder said on standard error.
std::string recordTwice(TestDesktop& t, const std::string& path) {
  static const BrowserConfiguration kNoBrowsers = buildBrowserConfiguration({"focuswatch"});
  auto recorder = recordingDesktop(std::make_unique<SimDesktop>(SimPaths{t.file("desktop.json"), "", ""}), path);
  int saved = ::dup(STDERR_FILENO), said = ::open(t.file("said").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(said, STDERR_FILENO);
  for (int i = 0; i < 2; ++i, recorder->sampleTaken()) eventLine(*recorder, kNoBrowsers, "activity");
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  ::close(said);
  return std::string(std::istreambuf_iterator<char>(std::ifstream(t.file("said")).rdbuf()), {});
}

TEST(RecorderTest, FileIsTheOwnersOnlyAndOneThatCannotBeWrittenIsSaidOnce) {
  TestDesktop t(withWindow({{"AXTitle", "raw"}}));
  EXPECT_EQ(recordTwice(t, t.file("record.json")), "");
  EXPECT_EQ(std::filesystem::status(t.file("record.json")).permissions(), std::filesystem::perms(0600));
  EXPECT_EQ(recordTwice(t, t.file("missing\nfolder/record.json")),
            "focuswatch: record: " + t.file("missing\\nfolder/record.json") + ": No such file or directory\n");
}

}  // namespace
}  // namespace focuswatch
