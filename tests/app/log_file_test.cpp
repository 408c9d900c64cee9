#include "app/log_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane {
namespace {
namespace fs = std::filesystem;

std::vector<std::string> Lines(const fs::path& path) {
  std::istringstream text(platform::ReadWholeFile(path).value_or(""));
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

TEST(LogFile, WritesNothingBeforeAPathIsSet) {
  testing::TempFolder folder;
  CLogFile log;
  EXPECT_EQ(log.Write("%s", "lost"), 0);
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(LogFile, SettingThePathStartsANewLog) {
  testing::TempFolder folder;
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "log.log", "old run\n"));
  CLogFile log;
  log.SetPath(folder / "log.log");
  EXPECT_FALSE(fs::exists(folder / "log.log"));
  EXPECT_EQ(log.Write("job %d", 1), 1);
  EXPECT_THAT(Lines(folder / "log.log"), ::testing::ElementsAre("job 1"));
}

TEST(LogFile, TimeStampedLine) {
  testing::TempFolder folder;
  CLogFile log;
  log.SetPath(folder / "log.log");
  log.SetTimeStamp(true);
  ASSERT_EQ(log.Write("printer %s", "ready"), 1);
  EXPECT_THAT(Lines(folder / "log.log"),
              ::testing::ElementsAre(::testing::MatchesRegex("[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} : printer ready")));
}

TEST(LogFile, LongMessageIsCutNullFormatFails) {
  testing::TempFolder folder;
  CDebugLog log;  // a second object only for the test; the program has one
  log.SetFileName(folder / "QVCam.log");
  EXPECT_EQ(log.Write(nullptr), 0);
  ASSERT_EQ(log.Write("%s", std::string(5000, 'x').c_str()), 1);
  EXPECT_THAT(Lines(folder / "QVCam.log"), ::testing::ElementsAre(std::string(2999, 'x')));
}

TEST(LogFile, UnopenableFileFails) {
  testing::TempFolder folder;
  CLogFile log;
  log.SetPath(folder / "missing" / "log.log");
  EXPECT_EQ(log.Write("x"), 0);
}

TEST(LogFile, ConcurrentWritersGiveWholeLines) {
  testing::TempFolder folder;
  CLogFile log;
  CLogFile second;  // a second object on the same file, as the camera and print logs may be
  log.SetPath(folder / "log.log");
  second.SetPath(folder / "log.log");
  constexpr int kThreads = 8;
  constexpr int kLines = 200;
  const std::string payload(500, 'p');
  {
    std::vector<std::jthread> writers;
    for (int t = 0; t < kThreads; ++t) {
      writers.emplace_back([&, t] {
        for (int i = 0; i < kLines; ++i) (t % 2 ? log : second).Write("thread %d line %d %s", t, i, payload.c_str());
      });
    }
  }
  const std::vector<std::string> lines = Lines(folder / "log.log");
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  for (const std::string& line : lines) {
    EXPECT_THAT(line, ::testing::MatchesRegex("thread [0-9] line [0-9]+ p{500}"));
  }
}

}  // namespace
}  // namespace orvane
