#include "platform/media_writer.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "platform/media_probe.h"
#include "temp_folder.h"

namespace orvane::platform {
namespace {

using orvane::testing::ProbeMediaFile;
using orvane::testing::TempFolder;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFps = 10;
constexpr int kRate = 22050;

// Two seconds of blue pictures and, when asked, a stereo tone, written as fast as they encode.
void WriteTwoSeconds(CMediaWriter& writer, bool withSound) {
  const std::vector<std::uint8_t> blue = [] {
    std::vector<std::uint8_t> bytes(kWidth * kHeight * 3, 0);
    for (std::size_t i = 0; i < bytes.size(); i += 3) bytes[i] = 255;
    return bytes;
  }();
  std::vector<std::int16_t> tone(kRate / kFps * 2);
  for (std::size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<std::int16_t>(8000 * std::sin(static_cast<double>(i / 2) * 0.1));
  }
  for (int frame = 0; frame < 2 * kFps; ++frame) {
    ASSERT_TRUE(writer.WriteVideoFrame(blue.data(), kWidth * 3));
    if (withSound) {
      ASSERT_TRUE(writer.WriteAudio(tone.data(), kRate / kFps));
    }
  }
}

struct FileCase {
  const char* name;
  bool withSound;
};

TEST(MediaWriterTest, WritesAsfWithWmv2AndSoundOnlyWhenGiven) {
  const FileCase cases[] = {{"clip.asf", true}, {"clip.avi", true}, {"clip.wmv", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    MediaFormat format{kWidth, kHeight, kFps, 400000, c.withSound ? kRate : 0, c.withSound ? 2 : 0};
    CMediaWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(folder / c.name, format, &error)) << error;
    WriteTwoSeconds(writer, c.withSound);
    ASSERT_TRUE(writer.Finish(&error)) << error;

    const auto probed = ProbeMediaFile(folder / c.name);
    ASSERT_TRUE(probed.opened);
    EXPECT_EQ(probed.container, "asf");
    const auto* video = probed.Find("wmv2");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->width, kWidth);
    EXPECT_EQ(video->height, kHeight);
    EXPECT_EQ(video->packets, 2 * kFps);
    EXPECT_NEAR(video->frameRate, kFps, 0.5);
    // Blue stays blue: high Cb, low Cr (a swapped channel order would turn it red).
    EXPECT_GT(video->first.u, 200);
    EXPECT_LT(video->first.v, 128);
    const auto* audio = probed.Find("wmav2");
    if (c.withSound) {
      ASSERT_NE(audio, nullptr);
      EXPECT_EQ(audio->sampleRate, kRate);
      EXPECT_NEAR(audio->seconds, 2.0, 0.15);
    } else {
      EXPECT_EQ(audio, nullptr);
      EXPECT_EQ(probed.streams.size(), 1u);
    }
    // Only the finished file is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
  }
}

TEST(MediaWriterTest, RefusesFormatsItCannotWrite) {
  const MediaFormat refused[] = {
      {161, 120, kFps, 0, 0, 0},     // odd width
      {160, 0, kFps, 0, 0, 0},       // no height
      {160, 120, 0, 0, 0, 0},        // frame rate below 1
      {160, 120, kFps, 0, kRate, 3}, // three channels
  };
  TempFolder folder;
  for (const auto& format : refused) {
    CMediaWriter writer;
    std::string error;
    EXPECT_FALSE(writer.Open(folder / "clip.asf", format, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(writer.WriteVideoFrame(std::vector<std::uint8_t>(161 * 120 * 3).data(), 161 * 3));
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST(MediaWriterTest, AnUnfinishedRecordingLeavesNoFile) {
  TempFolder folder;
  {
    CMediaWriter writer;
    ASSERT_TRUE(writer.Open(folder / "clip.asf", {kWidth, kHeight, kFps, 0, kRate, 1}, nullptr));
    const std::vector<std::uint8_t> black(kWidth * kHeight * 3, 0);
    ASSERT_TRUE(writer.WriteVideoFrame(black.data(), kWidth * 3));
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

// A file that took the recording's name while it was being recorded stays; the recording moves
// on to the next free name.
TEST(MediaWriterTest, AFinishedRecordingNeverReplacesAFile) {
  TempFolder folder;
  CMediaWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(folder / "clip.asf", {kWidth, kHeight, kFps, 0, 0, 0}, &error)) << error;
  WriteTwoSeconds(writer, false);
  ASSERT_TRUE(WriteFileAtomically(folder / "clip.asf", "earlier"));
  ASSERT_TRUE(writer.Finish(&error)) << error;
  EXPECT_EQ(writer.WrittenPath(), folder / "clip-2.asf");
  EXPECT_EQ(ReadWholeFile(folder / "clip.asf"), "earlier");
  EXPECT_EQ(ProbeMediaFile(folder / "clip-2.asf").streams.size(), 1u);
}

TEST(MediaWriterTest, AFolderThatCannotBeWrittenIsReported) {
  TempFolder folder;
  CMediaWriter writer;
  std::string error;
  EXPECT_FALSE(writer.Open(folder / "missing" / "clip.asf", {kWidth, kHeight, kFps, 0, 0, 0}, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace orvane::platform
