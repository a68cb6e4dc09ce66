#include "common/replace_file.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// Only a regular file, or nothing, is replaced; whatever else stands at
// the path is left as it was. No temporary is left beside, and a name as
// long as a name may be fits its temporary too.
TEST(ReplaceFileTest, OnlyARegularFileOrNothingIsReplaced) {
  char pattern[] = "/tmp/replace-file-XXXXXX";
  const fs::path folder = ::mkdtemp(pattern);
  std::ofstream(folder / "file") << "old";
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  fs::create_symlink("file", folder / "link");
  fs::create_directory(folder / "folder");
  std::string longest(255, 'n'), longestUtf8;  // names of 255 bytes, the most a name may hold
  while (longestUtf8.size() < 254) longestUtf8 += "\xC3\xA9";
  for (auto [name, error] : {std::pair{std::string("file"), 0}, {"new", 0}, {longest, 0}, {longestUtf8, 0},
                             {"pipe", EEXIST}, {"link", EEXIST}, {"folder", EISDIR}, {"gone/file", ENOENT}}) {
    EXPECT_EQ(replaceFile(folder / name, "text", 0640), error) << name;
    EXPECT_TRUE(error || (fs::status(folder / name).permissions() == fs::perms(0640) && fs::file_size(folder / name) == 4));
  }
  EXPECT_TRUE(fs::is_fifo(folder / "pipe") && fs::is_symlink(folder / "link"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 7);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace vantrel
