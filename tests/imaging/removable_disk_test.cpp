// Saving onto a USB stick: vfat and exFAT have no hard links, and through FUSE no exclusive
// rename either. Every file the station writes must still land whole, and a second of the same
// name must take the next free name without touching the first.
#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/image_file.h"
#include "imaging/jpeg_file.h"
#include "imaging/pdf_document.h"
#include "imaging/tiff_writer.h"
#include "platform/file_io.h"
#include "platform/media_writer.h"
#include "removable_disk.h"

namespace orvane::imaging {
namespace {
namespace fs = std::filesystem;
using platform::FilePlacement;
using platform::NextDashedName;

cv::Mat Page(int shade) {
  cv::Mat page(120, 160, CV_8UC3, cv::Scalar(shade, 255 - shade, 128));
  cv::rectangle(page, {20, 20}, {140, 100}, cv::Scalar(0, 0, 0), -1);
  return page;
}

// Writes one file of `name` and gives where it went.
using Writer = std::function<fs::path(const fs::path& target, int shade)>;

fs::path ByExtension(const fs::path& target, int shade) {
  fs::path written;
  return SaveMatByExtension(target, Page(shade), FilePlacement::NewFile(NextDashedName), &written) ? written : fs::path();
}

fs::path JpegUnderAGifName(const fs::path& target, int shade) {
  std::string written;
  return SaveMatAsJpeg(Page(shade), written, target, 200, 200, 90, FilePlacement::NewFile(NextDashedName))
             ? fs::path(written)
             : fs::path();
}

fs::path Pdf(const fs::path& target, int shade) {
  const fs::path picture = target.parent_path() / ("page" + std::to_string(shade) + ".jpg");
  std::string ignored;
  if (!SaveMatAsJpeg(Page(shade), ignored, picture, 200, 200, 90)) return {};
  fs::path written;
  const bool ok = WritePicturesToPdf(target, {picture}, FilePlacement::NewFile(NextDashedName), &written);
  fs::remove(picture);
  return ok ? written : fs::path();
}

fs::path MultipageTiff(const fs::path& target, int shade) {
  CTiffWriter writer;
  if (!writer.Open(target, 2, FilePlacement::NewFile(NextDashedName))) return {};
  for (int page = 0; page < 2; ++page)
    if (!writer.AppendMatPage(Page(shade + page), target, CTiffWriter::kColorJpeg)) return {};
  return writer.Close() ? writer.WrittenPath() : fs::path();
}

fs::path Recording(const fs::path& target, int shade) {
  platform::CMediaWriter writer;
  if (!writer.Open(target, {160, 120, 10, 0, 0, 0}, nullptr)) return {};
  const cv::Mat page = Page(shade);
  for (int frame = 0; frame < 10; ++frame)
    if (!writer.WriteVideoFrame(page.data, static_cast<std::ptrdiff_t>(page.step))) return {};
  return writer.Finish(nullptr) ? writer.WrittenPath() : fs::path();
}

struct Format {
  const char* name;
  Writer write;
};

class RemovableDiskTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RemovableDiskTest, EveryFileLandsAndNoneReplacesAnother) {
  orvane::testing::RemovableDisk disk(GetParam());
  ORVANE_REQUIRE_REMOVABLE_DISK(disk);
  const Format formats[] = {
      {"scan.jpg", ByExtension},    {"scan.bmp", ByExtension},       {"scan.png", ByExtension},
      {"scan.tif", ByExtension},    {"scan.tga", ByExtension},       {"scan.ras", ByExtension},
      {"scan.GIF", JpegUnderAGifName}, {"pages.pdf", Pdf},           {"pages.tif", MultipageTiff},
      {"video.asf", Recording},
  };
  std::vector<std::string> expected;
  for (const Format& format : formats) {
    SCOPED_TRACE(format.name);
    const fs::path target = disk / format.name;
    const fs::path first = format.write(target, 10);
    ASSERT_EQ(first, target);
    const std::optional<std::string> before = platform::ReadWholeFile(first);
    ASSERT_TRUE(before && !before->empty());
    const fs::path second = format.write(target, 200);
    EXPECT_EQ(second, NextDashedName(target, 0));
    EXPECT_EQ(platform::ReadWholeFile(first), before) << "the first file was touched";
    EXPECT_NE(platform::ReadWholeFile(second), before);
    expected.push_back(first.filename().string());
    expected.push_back(second.filename().string());
  }
  // Nothing else: no temporary file, no reservation left behind.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(disk.path())) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
}

INSTANTIATE_TEST_SUITE_P(FileSystems, RemovableDiskTest, ::testing::Values("vfat", "exfat"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace orvane::imaging
