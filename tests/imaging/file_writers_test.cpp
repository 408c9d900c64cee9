// Every file writer of the documents, on a disk that fills up and over files it must not replace.
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "imaging/image_file.h"
#include "imaging/jpeg_file.h"
#include "imaging/pdf_document.h"
#include "imaging/tiff_writer.h"
#include "platform/file_io.h"
#include "small_disk.h"
#include "temp_folder.h"

namespace orvane::imaging {
namespace {

namespace fs = std::filesystem;
using platform::FilePlacement;

// Noise does not compress: every format gives a file of tens of kilobytes.
const cv::Mat& Picture() {
  static const cv::Mat picture = [] {
    cv::Mat noise(150, 200, CV_8UC3);
    cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(256));
    return noise;
  }();
  return picture;
}

// A JPEG file for the PDF to embed, outside the disk under test.
const fs::path& JpegInput() {
  static const testing::TempFolder folder;
  static const fs::path path = [] {
    std::string written;
    SaveMatAsJpeg(Picture(), written, folder / "input.jpg", 96, 96, 90);
    return folder / "input.jpg";
  }();
  return path;
}

struct Writer {
  const char* name;  // also the target's file name
  std::function<bool(const fs::path&, const FilePlacement&)> write;
};

const Writer kWriters[] = {
    {"page.jpg",
     [](const fs::path& target, const FilePlacement& placement) {
       std::string written;
       return SaveMatAsJpeg(Picture(), written, target, 300, 300, 95, placement);
     }},
    {"page.BMP", [](const fs::path& t, const FilePlacement& p) { return SaveMatByExtension(t, Picture(), p); }},
    {"page.ras", [](const fs::path& t, const FilePlacement& p) { return SaveMatByExtension(t, Picture(), p); }},
    {"page.PNG", [](const fs::path& t, const FilePlacement& p) { return SaveMatByExtension(t, Picture(), p); }},
    {"page.TIF", [](const fs::path& t, const FilePlacement& p) { return SaveMatByExtension(t, Picture(), p); }},
    {"page.tga", [](const fs::path& t, const FilePlacement& p) { return SaveMatByExtension(t, Picture(), p); }},
    {"book.pdf", [](const fs::path& t, const FilePlacement& p) { return WritePicturesToPdf(t, {JpegInput()}, p); }},
    {"bilevel.tif",
     [](const fs::path& target, const FilePlacement& placement) {
       CBilevelTiff tiff;
       tiff.SetFileName(target);
       tiff.SetPlacement(placement);
       cv::Mat grey;
       cv::extractChannel(Picture(), grey, 0);
       return tiff.AddPage(grey) == 0;
     }},
    {"multipage.tif",
     [](const fs::path& target, const FilePlacement& placement) {
       CTiffWriter writer;
       if (!writer.Open(target, 2, placement)) return false;
       const bool pages = writer.AppendMatPage(Picture(), target, CTiffWriter::kColorJpeg) &&
                          writer.AppendMatPage(Picture(), target, CTiffWriter::kGreyJpeg);
       return writer.Close() && pages;
     }},
};

std::size_t EntriesIn(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// A writer that reports success has written its whole file; on a disk one byte short of it, it
// fails and the older file it was told to replace is still there, whole.
TEST(FileWriters, FailOnAFullDiskAndKeepTheOlderFile) {
  for (const Writer& writer : kWriters) {
    SCOPED_TRACE(writer.name);
    testing::TempFolder roomy;
    ASSERT_TRUE(writer.write(roomy / writer.name, FilePlacement::NewFile()));
    const std::uintmax_t size = fs::file_size(roomy / writer.name);

    testing::SmallDisk disk;
    ORVANE_REQUIRE_SMALL_DISK(disk);
    const fs::path target = disk / writer.name;
    ASSERT_TRUE(platform::WriteFileAtomically(target, "older"));
    ASSERT_TRUE(disk.LeaveFree(size - 1));
    EXPECT_FALSE(writer.write(target, FilePlacement::Replacing()));
    EXPECT_EQ(platform::ReadWholeFile(target), "older");
    EXPECT_EQ(EntriesIn(disk.path()), 2u) << "only the older file and the filler";
  }
}

TEST(FileWriters, ReplaceOnlyWhenToldAndNeverAReadOnlyFile) {
  for (const Writer& writer : kWriters) {
    SCOPED_TRACE(writer.name);
    testing::TempFolder folder;
    const fs::path target = folder / writer.name;
    ASSERT_TRUE(platform::WriteFileAtomically(target, "older"));
    EXPECT_FALSE(writer.write(target, FilePlacement::NewFile()));
    EXPECT_EQ(platform::ReadWholeFile(target), "older");

    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_FALSE(writer.write(target, FilePlacement::Replacing()));
    EXPECT_EQ(platform::ReadWholeFile(target), "older");

    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(writer.write(target, FilePlacement::Replacing()));
    EXPECT_NE(platform::ReadWholeFile(target), "older");
    EXPECT_EQ(EntriesIn(folder.path()), 1u);
  }
}

}  // namespace
}  // namespace orvane::imaging
