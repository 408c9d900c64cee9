#include "platform/file_io.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <string_view>

#include "file_calls.h"
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

// A power cut after a write was reported done keeps the file under its name: its bytes reach
// the disk before its name, and the name before the write returns.
TEST(WriteFile, TheFileIsSyncedThenNamedThenItsFolderSynced) {
  testing::TempFolder folder;
  ASSERT_TRUE(WriteFile(folder / "taken.jpg", "earlier", FilePlacement::NewFile()));
  for (const bool replacing : {false, true}) {
    SCOPED_TRACE(replacing);
    const testing::FileCalls calls(folder.path());
    const FilePlacement placement = replacing ? FilePlacement::Replacing() : FilePlacement::NewFile(NextDashedName);
    ASSERT_TRUE(WriteFile(folder / "taken.jpg", "page", placement));
    const std::string named = replacing ? "taken.jpg" : "taken-2.jpg";
    EXPECT_EQ(calls.Log(), (std::vector<std::string>{"fsync .temporary", "rename .temporary " + named, "fsync ."}));
  }
}

TEST(MoveFile, TheFileIsSyncedThenNamedThenItsFolderSynced) {
  testing::TempFolder folder;
  ASSERT_TRUE(WriteFile(folder / ".partial", "recording", FilePlacement::NewFile()));
  const testing::FileCalls calls(folder.path());
  ASSERT_TRUE(MoveFile(folder / ".partial", folder / "video.asf", FilePlacement::NewFile(NextDashedName)));
  EXPECT_EQ(calls.Log(), (std::vector<std::string>{"fsync .partial", "rename .partial video.asf", "fsync ."}));
}

// vfat and exFAT on older kernels, and some FUSE file systems, have neither the exclusive rename
// nor hard links: a name is then reserved by an exclusive create, never taken by a plain rename.
TEST(WriteFile, WithoutTheExclusiveRenameOrLinksANameIsStillNeverReplaced) {
  testing::TempFolder folder;
  ASSERT_TRUE(WriteFile(folder / "scan.jpg", "first page", FilePlacement::NewFile()));
  const testing::FileCalls calls(folder.path(), true);
  EXPECT_EQ(WriteFile(folder / "scan.jpg", "second page", FilePlacement::NewFile(NextDashedName)),
            folder / "scan-2.jpg");
  EXPECT_EQ(WriteFile(folder / "scan.jpg", "third page", FilePlacement::NewFile()), std::nullopt);
  EXPECT_EQ(WriteFile(folder / "new.jpg", "fourth page", FilePlacement::NewFile()), folder / "new.jpg");
  EXPECT_EQ(ReadWholeFile(folder / "scan.jpg"), "first page");
  EXPECT_EQ(ReadWholeFile(folder / "scan-2.jpg"), "second page");
  EXPECT_EQ(ReadWholeFile(folder / "new.jpg"), "fourth page");
  EXPECT_EQ(EntriesIn(folder.path()), 3u) << "no reservation or temporary left behind";
}

// A new file is as private as the user's umask says: captured IDs and contracts stay the user's.
TEST(WriteFile, ANewFileTakesThePermissionsTheUmaskLeaves) {
  testing::TempFolder folder;
  const struct {
    mode_t umask;
    fs::perms expected;
  } cases[] = {{022, static_cast<fs::perms>(0644)}, {077, static_cast<fs::perms>(0600)},
               {002, static_cast<fs::perms>(0664)}, {027, static_cast<fs::perms>(0640)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.umask);
    const fs::path file = folder / ("page-" + std::to_string(c.umask) + ".jpg");
    // In a child: the umask is the whole process's.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::umask(c.umask);
      _exit(WriteFile(file, "page", FilePlacement::NewFile()) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, c.expected);
  }
}

TEST(ReadWholeFile, MissingFileGivesNothingAndBinaryBytesSurvive) {
  testing::TempFolder folder;
  EXPECT_FALSE(ReadWholeFile(folder / "none"));
  EXPECT_FALSE(ReadWholeFile(folder.path()));  // a folder is no file
  const std::string bytes("a\0b\r\n", 5);
  ASSERT_TRUE(WriteFileAtomically(folder / "bin", bytes));
  EXPECT_EQ(ReadWholeFile(folder / "bin"), bytes);
}

// ---- What is refused before it is read ----

struct RefusedRead {
  const char* name;
  std::function<fs::path(const fs::path& folder)> make;  // what stands at the path read
  std::uintmax_t maxBytes;
  ReadFailure expected;
  bool asAnotherUserThanRoot = false;  // root reads whatever the permissions say
};
void PrintTo(const RefusedRead& c, std::ostream* out) { *out << c.name; }

fs::path Written(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

class ReadWholeFileRefuses : public ::testing::TestWithParam<RefusedRead> {};

// Each read is given half a minute: one that waits on a FIFO's writer is let go then, so the test
// fails instead of hanging.
TEST_P(ReadWholeFileRefuses, AndSaysWhy) {
  const RefusedRead& c = GetParam();
  if (c.asAnotherUserThanRoot && ::geteuid() == 0) GTEST_SKIP() << "root reads a file without permissions";
  testing::TempFolder folder;
  const fs::path path = c.make(folder.path());
  auto read = std::async(std::launch::async, [&] {
    std::optional<ReadFailure> why;
    ReadFailure failure{};
    if (!ReadWholeFile(path, c.maxBytes, &failure)) why = failure;
    return why;
  });
  if (read.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
    FAIL() << "the read waited on " << path;
  }
  EXPECT_EQ(read.get(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadWholeFileRefuses,
    ::testing::Values(
        RefusedRead{"NothingOfTheName", [](const fs::path& f) { return f / "none"; }, kMaxReadBytes,
                    ReadFailure::kMissing},
        RefusedRead{"AFileWhereAFolderShouldBe", [](const fs::path& f) { return Written(f / "file", "x") / "Sys.ini"; },
                    kMaxReadBytes, ReadFailure::kMissing},
        RefusedRead{"AFolder", [](const fs::path& f) { return f; }, kMaxReadBytes, ReadFailure::kNotAFile},
        RefusedRead{"AFifoWithoutAWriter",
                    [](const fs::path& f) {
                      const fs::path fifo = f / "page.jpg";
                      EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
                      return fifo;
                    },
                    kMaxReadBytes, ReadFailure::kNotAFile},
        RefusedRead{"ADeviceWithoutEnd", [](const fs::path&) { return fs::path("/dev/zero"); }, kMaxReadBytes,
                    ReadFailure::kNotAFile},
        RefusedRead{"AFileAByteLongerThanTheLimit", [](const fs::path& f) { return Written(f / "six", "123456"); }, 5,
                    ReadFailure::kTooLarge},
        // Refused by its size alone: reading it would take 4 GiB of memory.
        RefusedRead{"ASparseFileOfFourGigabytes",
                    [](const fs::path& f) {
                      const fs::path path = Written(f / "huge.bmp", "BM");
                      fs::resize_file(path, std::uintmax_t{4} << 30);
                      return path;
                    },
                    kMaxReadBytes, ReadFailure::kTooLarge},
        // Its size is not known before it is read: the read stops at the limit.
        RefusedRead{"AFileOfUnstatedSizePastTheLimit", [](const fs::path&) { return fs::path("/proc/self/maps"); }, 16,
                    ReadFailure::kTooLarge},
        // A regular file whose every read fails with EIO, for root too.
        RefusedRead{"AnIoError", [](const fs::path&) { return fs::path("/proc/self/mem"); }, kMaxReadBytes,
                    ReadFailure::kUnreadable},
        RefusedRead{"NoPermission",
                    [](const fs::path& f) {
                      const fs::path path = Written(f / "Sys.ini", "[FILE]\n");
                      fs::permissions(path, fs::perms::none);
                      return path;
                    },
                    kMaxReadBytes, ReadFailure::kDenied, true}),
    [](const ::testing::TestParamInfo<RefusedRead>& info) { return std::string(info.param.name); });

TEST(ReadWholeFile, AFileUpToTheLimitIsReadWhole) {
  testing::TempFolder folder;
  EXPECT_EQ(ReadWholeFile(Written(folder / "five", "12345"), 5), "12345");
  // A file that states no size is read to its end all the same.
  const std::optional<std::string> status = ReadWholeFile("/proc/self/status");
  ASSERT_TRUE(status);
  EXPECT_NE(status->find("\nPid:"), std::string::npos);
}

}  // namespace
}  // namespace orvane::platform
