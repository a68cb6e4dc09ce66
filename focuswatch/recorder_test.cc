#include "focuswatch/recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

const BrowserConfiguration kNoBrowsers = buildBrowserConfiguration({"focuswatch"});

// Takes a sample of `t` through a recorder to `path`, and returns what the
// recorder said on standard error.
std::string sampleTo(TestDesktop& t, std::unique_ptr<Desktop>& recorder, const std::string& path) {
  if (!recorder)
    recorder = recordingDesktop(std::make_unique<SimDesktop>(SimPaths{t.file("desktop.json"), "", ""}), path);
  int saved = ::dup(STDERR_FILENO),
      error = ::open(t.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(error, STDERR_FILENO);
  eventLine(*recorder, kNoBrowsers, "activity");
  recorder->sampleTaken();
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);
  ::close(error);
  std::ifstream said(t.file("stderr"));
  return std::string(std::istreambuf_iterator<char>(said), {});
}

TEST(RecorderTest, EachSampleReplacesTheFileWholeForItsOwnerOnly) {
  TestDesktop t(withWindow({{"AXTitle", "first"}}));
  std::unique_ptr<Desktop> recorder;
  EXPECT_EQ(sampleTo(t, recorder, t.file("record.json")), "");
  t.write(Json{{"frontmostApplication", {{"processIdentifier", 5}}}});
  EXPECT_EQ(sampleTo(t, recorder, t.file("record.json")), "");
  EXPECT_EQ(std::filesystem::status(t.file("record.json")).permissions(), std::filesystem::perms(0600));
  Json record = Json::parse(std::ifstream(t.file("record.json")));
  EXPECT_EQ(record["frontmostApplication"]["processIdentifier"], 5);  // the second sample only
  EXPECT_EQ(record["applications"], Json::object());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(t.file("")), {}), 4);  // nothing left beside it
}

TEST(RecorderTest, PathThatCannotBeWrittenIsSaidOnceAndSamplingGoesOn) {
  TestDesktop t(withWindow({{"AXTitle", "kept"}}));
  std::unique_ptr<Desktop> recorder;
  std::string path = t.file("missing\nfolder/record.json");
  EXPECT_EQ(sampleTo(t, recorder, path), "focuswatch: record: " + t.file("missing\\nfolder/record.json") +
                                             ": No such file or directory\n");
  EXPECT_EQ(sampleTo(t, recorder, path), "");
}

}  // namespace
}  // namespace focuswatch
