#include "imaging/image_file.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/conversions.h"
#include "imaging/tiff_writer.h"
#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane::imaging {
namespace {

namespace fs = std::filesystem;

TEST(SaveMatByExtension, WritesByExtensionAndReadsBackInColour) {
  testing::TempFolder folder;
  cv::Mat grey(6, 9, CV_8UC1, cv::Scalar(77));
  for (const char* name : {"a.png", "b.BMP", "c.TIF", "d.ras", "e.tga"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(SaveMatByExtension(folder / name, grey));
  }
  for (const char* name : {"a.png", "b.BMP", "c.TIF", "d.ras"}) {
    SCOPED_TRACE(name);
    cv::Mat back = LoadImageFile(folder / name);
    ASSERT_EQ(back.type(), CV_8UC3);
    EXPECT_EQ(back.size(), grey.size());
    EXPECT_EQ(back.at<cv::Vec3b>(2, 3), cv::Vec3b(77, 77, 77));
  }
  // Only the finished files are left: no temporary names beside them.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 5);
}

// The files are the standard formats, pixel for pixel, both ways: what is written here reads
// back the same in OpenCV, and what OpenCV writes reads the same here (alpha dropped).
TEST(SaveMatByExtension, FilesAreReadTheSameByOpenCvAndBack) {
  testing::TempFolder folder;
  cv::Mat colour(37, 53, CV_8UC3);
  cv::randu(colour, 0, 256);
  cv::Mat grey(29, 31, CV_8UC1);
  cv::randu(grey, 0, 256);
  cv::Mat withAlpha(17, 19, CV_8UC4);
  cv::randu(withAlpha, 0, 256);
  for (const char* extension : {".png", ".bmp", ".tif", ".ras"}) {
    for (const cv::Mat& picture : {colour, grey}) {
      SCOPED_TRACE(std::string(extension) + " " + std::to_string(picture.channels()));
      const fs::path ours = folder / (std::to_string(picture.channels()) + "ours" + extension);
      ASSERT_TRUE(SaveMatByExtension(ours, picture));
      if (std::string(extension) == ".png") {
        EXPECT_EQ(platform::ReadWholeFile(ours).value_or("").find("pHYs"), std::string::npos) << "no resolution";
      }
      cv::Mat expected = picture;
      if (picture.channels() == 1) cv::cvtColor(picture, expected, cv::COLOR_GRAY2BGR);
      EXPECT_EQ(cv::norm(cv::imread(ours.string(), cv::IMREAD_COLOR), expected, cv::NORM_INF), 0);
      const fs::path theirs = folder / (std::to_string(picture.channels()) + "theirs" + extension);
      ASSERT_TRUE(cv::imwrite(theirs.string(), picture));
      EXPECT_EQ(cv::norm(LoadImageFile(theirs), cv::imread(theirs.string(), cv::IMREAD_COLOR), cv::NORM_INF), 0);
    }
  }
  const fs::path png = folder / "alpha.png";
  ASSERT_TRUE(cv::imwrite(png.string(), withAlpha));
  EXPECT_EQ(cv::norm(LoadImageFile(png), cv::imread(png.string(), cv::IMREAD_COLOR), cv::NORM_INF), 0);
}

TEST(SaveMatByExtension, RefusesNamesWithoutWriterWithoutThrowing) {
  testing::TempFolder folder;
  cv::Mat picture(4, 4, CV_8UC3, cv::Scalar::all(0));
  EXPECT_FALSE(SaveMatByExtension(folder / "noextension", picture));
  EXPECT_FALSE(SaveMatByExtension(folder / "a.b" / "noextension", picture));
  EXPECT_FALSE(SaveMatByExtension(folder / "file.unknownformat", picture));
  EXPECT_FALSE(SaveMatByExtension(folder / "empty.png", cv::Mat()));
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(EncodeTga, HeaderAndBgrPixelsTopRowFirst) {
  cv::Mat picture(2, 3, CV_8UC3, cv::Scalar(1, 2, 3));
  picture.at<cv::Vec3b>(0, 0) = {10, 20, 30};
  std::string tga = EncodeTga(picture);
  ASSERT_EQ(tga.size(), 18u + 2 * 3 * 3);
  EXPECT_EQ(tga[2], 2);          // uncompressed true colour
  EXPECT_EQ(tga[12], 3);         // width
  EXPECT_EQ(tga[14], 2);         // height
  EXPECT_EQ(tga[16], 24);        // bits per pixel
  EXPECT_EQ(tga[17], 0x20);      // top-left origin
  EXPECT_EQ(tga.substr(18, 3), std::string("\x0a\x14\x1e"));
  EXPECT_EQ(EncodeTga(cv::Mat(2, 2, CV_8UC1)).at(16), 8);
  EXPECT_TRUE(EncodeTga(cv::Mat(2, 2, CV_8UC4)).empty());
}

// A JPEG whose EXIF block says "turn by 90 degrees" (orientation 6).
std::vector<std::uint8_t> JpegWithOrientation(const cv::Mat& picture) {
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", picture, jpeg);
  const std::vector<std::uint8_t> exif = {
      0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0,                 // APP1, length 34
      'I', 'I', 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00,                     // TIFF header
      0x01, 0x00,                                                       // one entry
      0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,  // orientation 6
      0x00, 0x00, 0x00, 0x00};                                          // no next directory
  jpeg.insert(jpeg.begin() + 2, exif.begin(), exif.end());
  return jpeg;
}

TEST(LoadImageFile, IgnoresTheExifOrientation) {
  testing::TempFolder folder;
  const auto path = folder.path() / "turned.jpg";
  const auto bytes = JpegWithOrientation(cv::Mat(20, 40, CV_8UC3, cv::Scalar(10, 200, 30)));
  {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  ASSERT_EQ(cv::imread(path.string()).size(), cv::Size(20, 40)) << "fixture: EXIF not honoured";
  EXPECT_EQ(LoadImageFile(path).size(), cv::Size(40, 20));
}

TEST(LoadImageFile, GivesThreeEqualChannelsForAGreyFile) {
  testing::TempFolder folder;
  const auto path = folder / "grey.png";
  cv::Mat grey(4, 5, CV_8UC1, cv::Scalar(90));
  grey.at<uchar>(2, 3) = 200;
  ASSERT_TRUE(cv::imwrite(path.string(), grey));
  const cv::Mat picture = LoadImageFile(path);
  ASSERT_EQ(picture.type(), CV_8UC3);
  EXPECT_EQ(picture.at<cv::Vec3b>(2, 3), cv::Vec3b(200, 200, 200));
}

// The station's own TIFF pages that are not plain rows: a black-and-white fax page and a colour
// page in JPEG, as the collections write them, read through libtiff's RGBA reader.
TEST(LoadImageFile, ReadsTheStationsFaxAndJpegTiffPages) {
  testing::TempFolder folder;
  cv::Mat page(40, 52, CV_8UC1, cv::Scalar(255));
  page(cv::Rect(10, 5, 20, 8)).setTo(0);
  CBilevelTiff bilevel;
  bilevel.SetFileName(folder / "bw.tif");
  ASSERT_EQ(bilevel.AddPage(page), 0);
  cv::Mat expected;
  cv::cvtColor(page, expected, cv::COLOR_GRAY2BGR);
  EXPECT_EQ(cv::norm(LoadImageFile(folder / "bw.tif"), expected, cv::NORM_INF), 0);

  const cv::Mat colour(48, 64, CV_8UC3, cv::Scalar(30, 120, 220));
  CTiffWriter writer;
  ASSERT_TRUE(writer.Open(folder / "colour.tif", 1));
  ASSERT_TRUE(writer.AppendMatPage(colour, folder / "colour.tif", CTiffWriter::kColorJpeg));
  ASSERT_TRUE(writer.Close());
  const cv::Mat read = LoadImageFile(folder / "colour.tif");
  ASSERT_EQ(read.size(), colour.size());
  EXPECT_LE(cv::norm(read, colour, cv::NORM_INF), 12) << "a JPEG page, in its own colours";
}

// Headers of the other formats whose size is read before decoding, each declaring one side too
// many; what follows the header does not matter.
TEST(LoadImageFile, RefusesAPictureWhoseHeaderDeclaresTooMuch) {
  const std::string tooWide("\x00\x00\x4E\x21", 4);  // 20001, big-endian
  struct Case {
    const char* name;
    std::string header;
  } cases[] = {
      {"wide.png", std::string("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR", 16) + tooWide +
                       std::string("\x00\x00\x00\x01\x08\x02\x00\x00\x00", 9)},
      {"wide.ras", std::string("\x59\xA6\x6A\x95", 4) + tooWide + std::string("\x00\x00\x00\x01", 4)},
      {"wide.bmp", std::string("BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0\x21\x4E\0\0\x01\0\0\0", 26)},
  };
  testing::TempFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(platform::WriteFileAtomically(folder / c.name, c.header + std::string(64, '\0')));
    std::string error;
    EXPECT_TRUE(LoadImageFile(folder / c.name, &error).empty());
    EXPECT_NE(error.find("declares 20001 x 1 pixels"), std::string::npos) << error;
  }
  testing::TempFolder tiffFolder;
  CTiffWriter writer;
  ASSERT_TRUE(writer.Open(tiffFolder / "wide.tif", 1));
  ASSERT_TRUE(writer.AppendMatPage(cv::Mat(1, 20001, CV_8UC1, cv::Scalar(255)), {}, CTiffWriter::kBlackAndWhite));
  ASSERT_TRUE(writer.Close());
  std::string error;
  EXPECT_TRUE(LoadImageFile(tiffFolder / "wide.tif", &error).empty());
  EXPECT_NE(error.find("declares 20001 x 1 pixels"), std::string::npos) << error;
}

// A picture that would decode, at the start of a file a byte past the largest that is read: the
// file is refused by its size, unread (it is sparse: reading it would take half a gigabyte).
TEST(LoadImageFile, AFilePastTheLargestPictureFileIsRefusedUnread) {
  testing::TempFolder folder;
  const fs::path path = folder / "page.bmp";
  ASSERT_TRUE(SaveMatByExtension(path, cv::Mat(4, 4, CV_8UC3, cv::Scalar(1, 2, 3))));
  ASSERT_FALSE(LoadImageFile(path).empty());
  fs::resize_file(path, kMaxPictureFileBytes + 1);
  std::string error;
  EXPECT_TRUE(LoadImageFile(path, &error).empty());
  EXPECT_NE(error.find("larger than 512 MB"), std::string::npos) << error;
}

TEST(LoadImageFile, MissingOrUnreadableFileGivesEmpty) {
  testing::TempFolder folder;
  EXPECT_TRUE(LoadImageFile({}).empty());
  EXPECT_TRUE(LoadImageFile(folder / "missing.png").empty());
  EXPECT_TRUE(LoadImageFile(folder.path()).empty());
}

}  // namespace
}  // namespace orvane::imaging
