#include "platform/media_writer.h"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "platform/media_probe.h"
#include "small_disk.h"
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

// Noise does not compress: a few seconds fill a small disk.
std::vector<std::uint8_t> NoisePicture(unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(kWidth * kHeight * 3);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// A disk that fills at minute 59 keeps the 59 minutes: the recording ends at the failed write,
// and what came before it plays.
TEST(MediaWriterTest, ADiskThatFillsKeepsEverythingBeforeTheFault) {
  orvane::testing::SmallDisk disk(2 << 20);
  ORVANE_REQUIRE_SMALL_DISK(disk);
  CMediaWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(disk / "lecture.asf", {kWidth, kHeight, kFps, 2'000'000, 0, 0}, &error)) << error;
  int frames = 0;
  for (; frames < 100 * kFps; ++frames) {
    const std::vector<std::uint8_t> picture = NoisePicture(static_cast<unsigned>(frames));
    if (!writer.WriteVideoFrame(picture.data(), kWidth * 3)) break;
  }
  ASSERT_LT(frames, 100 * kFps) << "the disk never filled";
  ASSERT_TRUE(writer.WriteFailed());
  const std::vector<std::uint8_t> more = NoisePicture(1);
  EXPECT_FALSE(writer.WriteVideoFrame(more.data(), kWidth * 3)) << "nothing is written after the fault";
  EXPECT_FALSE(writer.Finish(&error));
  EXPECT_FALSE(error.empty());
  const std::filesystem::path kept = writer.WrittenPath();
  ASSERT_FALSE(kept.empty()) << "the recording was dropped";
  EXPECT_TRUE(kept == disk / "lecture-incomplete.asf" || kept == disk / "lecture.asf") << kept;
  const orvane::testing::ProbedFile probed = ProbeMediaFile(kept);
  ASSERT_TRUE(probed.opened);
  const orvane::testing::ProbedStream* video = probed.Find("wmv2");
  ASSERT_NE(video, nullptr);
  // The seconds before the fault, less the packet it tore.
  EXPECT_GE(video->packets, frames / 2) << frames << " pictures were encoded";
  EXPECT_GE(video->seconds, (frames / 2.0) / kFps);
  // Only the kept file is on the disk.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(disk.path())) names.push_back(entry.path().filename());
  EXPECT_EQ(names.size(), 1u) << ::testing::PrintToString(names);
}

// The file being recorded has a name nobody can foresee, made by an exclusive create: a link
// planted in a shared folder and a second recording of the same name truncate nothing.
TEST(MediaWriterTest, TheFileBeingWrittenIsTheRecordingsOwn) {
  TempFolder folder;
  TempFolder elsewhere;
  ASSERT_TRUE(WriteFileAtomically(elsewhere / "contract.pdf", "the only copy"));
  std::filesystem::create_symlink(elsewhere / "contract.pdf", folder / ".clip.asf.part");
  CMediaWriter first;
  CMediaWriter second;
  std::string error;
  ASSERT_TRUE(first.Open(folder / "clip.asf", {kWidth, kHeight, kFps, 0, 0, 0}, &error)) << error;
  WriteTwoSeconds(first, false);
  ASSERT_TRUE(second.Open(folder / "clip.asf", {kWidth, kHeight, kFps, 0, 0, 0}, &error)) << error;
  WriteTwoSeconds(second, false);
  ASSERT_TRUE(first.Finish(&error)) << error;
  ASSERT_TRUE(second.Finish(&error)) << error;
  EXPECT_EQ(ReadWholeFile(elsewhere / "contract.pdf"), "the only copy");
  EXPECT_EQ(first.WrittenPath(), folder / "clip.asf");
  EXPECT_EQ(second.WrittenPath(), folder / "clip-2.asf");
  for (const auto& file : {folder / "clip.asf", folder / "clip-2.asf"}) {
    const orvane::testing::ProbedFile probed = ProbeMediaFile(file);
    ASSERT_TRUE(probed.opened) << file;
    ASSERT_NE(probed.Find("wmv2"), nullptr) << file;
    EXPECT_EQ(probed.Find("wmv2")->packets, 2 * kFps) << file;
  }
}

}  // namespace
}  // namespace orvane::platform
