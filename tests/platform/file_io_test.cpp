#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "temp_folder.h"

namespace orvane::platform {
namespace {
namespace fs = std::filesystem;

std::size_t EntriesIn(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(WriteFileAtomically, WritesWholeFileAndLeavesNoTemporary) {
  testing::TempFolder folder;
  const fs::path target = folder / "Sys.ini";
  ASSERT_TRUE(WriteFileAtomically(target, "first"));
  ASSERT_TRUE(WriteFileAtomically(target, "second, longer"));
  EXPECT_EQ(ReadWholeFile(target), "second, longer");
  EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

TEST(WriteFileAtomically, KeepsPermissionsOfTheFileItReplaces) {
  testing::TempFolder folder;
  const fs::path target = folder / "private.ini";
  ASSERT_TRUE(WriteFileAtomically(target, "a"));
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(WriteFileAtomically(target, "b"));
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(WriteFileAtomically, ReadOnlyFileIsLeftUntouched) {
  testing::TempFolder folder;
  const fs::path target = folder / "Sys.ini";
  ASSERT_TRUE(WriteFileAtomically(target, "kept"));
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_FALSE(WriteFileAtomically(target, "lost"));
  EXPECT_EQ(ReadWholeFile(target), "kept");
  EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

TEST(WriteFileAtomically, MissingFolderFails) {
  testing::TempFolder folder;
  EXPECT_FALSE(WriteFileAtomically(folder / "missing" / "x.ini", "x"));
  EXPECT_EQ(EntriesIn(folder.path()), 0u);
}

TEST(ReadWholeFile, MissingFileGivesNothingAndBinaryBytesSurvive) {
  testing::TempFolder folder;
  EXPECT_FALSE(ReadWholeFile(folder / "none"));
  EXPECT_FALSE(ReadWholeFile(folder.path()));  // a folder is no file
  const std::string bytes("a\0b\r\n", 5);
  ASSERT_TRUE(WriteFileAtomically(folder / "bin", bytes));
  EXPECT_EQ(ReadWholeFile(folder / "bin"), bytes);
}

}  // namespace
}  // namespace orvane::platform
