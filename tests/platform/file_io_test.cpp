#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "small_disk.h"
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

fs::path NumberedName(const fs::path& wanted, int attempt) {
  return attempt < 2 ? fs::path(wanted.string() + "." + std::to_string(attempt)) : fs::path();
}

TEST(WriteFile, ANewFileNeverReplacesOneAndTakesTheNextFreeName) {
  testing::TempFolder folder;
  const fs::path target = folder / "page.jpg";
  ASSERT_TRUE(WriteFileAtomically(target, "earlier"));
  EXPECT_FALSE(WriteFile(target, "later", FilePlacement::NewFile()));
  EXPECT_EQ(WriteFile(target, "second", FilePlacement::NewFile(NumberedName)), folder / "page.jpg.0");
  EXPECT_EQ(WriteFile(target, "third", FilePlacement::NewFile(NumberedName)), folder / "page.jpg.1");
  EXPECT_FALSE(WriteFile(target, "fourth", FilePlacement::NewFile(NumberedName)));  // no name left
  EXPECT_EQ(ReadWholeFile(target), "earlier");
  EXPECT_EQ(ReadWholeFile(folder / "page.jpg.0"), "second");
  EXPECT_EQ(EntriesIn(folder.path()), 3u);
}

TEST(WriteFile, TheTemporaryNameIsShortWhateverTheTargetsName) {
  testing::TempFolder folder;
  const fs::path target = folder / (std::string(251, 'x') + ".jpg");  // 255 bytes, the most
  EXPECT_EQ(WriteFile(target, "data", FilePlacement::NewFile()), target);
  EXPECT_EQ(EntriesIn(folder.path()), 1u);
}

// Every writer of the program ends in WriteFile or PendingFile: on a disk that fills up they
// fail, leave no temporary file and leave an older file of the name as it was.
TEST(WriteFile, AFullDiskFailsAndKeepsTheOlderFile) {
  testing::SmallDisk disk;
  ORVANE_REQUIRE_SMALL_DISK(disk);
  const fs::path target = disk / "Sys.ini";
  ASSERT_TRUE(WriteFileAtomically(target, "kept"));
  const std::string large(64 * 1024, 'x');
  ASSERT_TRUE(disk.LeaveFree(large.size() - 1));
  EXPECT_FALSE(WriteFileAtomically(target, large));
  EXPECT_FALSE(WriteFile(disk / "new.txt", large, FilePlacement::NewFile()));
  EXPECT_EQ(ReadWholeFile(target), "kept");
  EXPECT_EQ(EntriesIn(disk.path()), 2u);  // the file and the filler
}

TEST(MoveFile, NeverOverAnotherFileUnlessReplacing) {
  testing::TempFolder folder;
  ASSERT_TRUE(WriteFileAtomically(folder / "a", "a"));
  ASSERT_TRUE(WriteFileAtomically(folder / "b", "b"));
  EXPECT_FALSE(MoveFile(folder / "a", folder / "b", FilePlacement::NewFile()));
  EXPECT_EQ(MoveFile(folder / "a", folder / "b", FilePlacement::NewFile(NumberedName)), folder / "b.0");
  EXPECT_EQ(MoveFile(folder / "b.0", folder / "b", FilePlacement::Replacing()), folder / "b");
  EXPECT_EQ(ReadWholeFile(folder / "b"), "a");
  EXPECT_EQ(EntriesIn(folder.path()), 1u);
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
