#include "imaging/image_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/conversions.h"
#include "imaging/jpeg_file.h"
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
  for (const char* name : {"a.png", "b.BMP", "c.TIF", "d.ras", "e.tga"}) {
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

// `path` as ImageMagick decodes it, as BGR; empty when it cannot.
cv::Mat ReadByImageMagick(const fs::path& path, cv::Size size) {
  const fs::path raw = path.string() + ".rgb";
  const std::string command = "convert '" + path.string() + "' -depth 8 'rgb:" + raw.string() + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  const std::string bytes = platform::ReadWholeFile(raw).value_or("");
  if (bytes.size() != static_cast<std::size_t>(size.area()) * 3) return {};
  cv::Mat rgb(size, CV_8UC3, const_cast<char*>(bytes.data()));
  cv::Mat bgr;
  cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
  return bgr;
}

// Every kind of file a capture can be stored as reads back here and in another program: the
// lossless ones pixel for pixel, the JPEG ones (".jpg", and JPEG data under ".GIF") close to the
// picture. Channels, row order and grey all differ across the picture, so a swap or a flip shows.
TEST(LoadImageFile, EveryFormatTheStationWritesIsReadHereAndByImageMagick) {
  testing::TempFolder folder;
  cv::Mat colour(37, 53, CV_8UC3);
  for (int y = 0; y < colour.rows; ++y)
    for (int x = 0; x < colour.cols; ++x) colour.at<cv::Vec3b>(y, x) = cv::Vec3b(4 * x, 6 * y, 250 - 2 * x - 3 * y);
  cv::Mat grey;
  cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
  const cv::Mat twoLevels = grey > 120;
  const auto byExtension = [](const fs::path& path, const cv::Mat& picture) { return SaveMatByExtension(path, picture); };
  const auto asJpeg = [](const fs::path& path, const cv::Mat& picture) {
    std::string written;
    return SaveMatAsJpeg(picture, written, path, 300, 300, 95);
  };
  const auto asBilevelTiff = [](const fs::path& path, const cv::Mat& picture) {
    CBilevelTiff tiff;
    tiff.SetFileName(path);
    return tiff.AddPage(picture) == 0;
  };
  struct Case {
    const char* name;
    std::function<bool(const fs::path&, const cv::Mat&)> write;
    bool lossless;
  } cases[] = {
      {"page.BMP", byExtension, true},   {"page.PNG", byExtension, true}, {"page.TIF", byExtension, true},
      {"page.tga", byExtension, true},   {"page.ras", byExtension, true}, {"page.jpg", asJpeg, false},
      {"page.GIF", asJpeg, false},       {"page.tif", asBilevelTiff, true},
  };
  for (const Case& c : cases) {
    const bool bilevel = c.name == std::string("page.tif");
    for (const cv::Mat& picture : bilevel ? std::vector{twoLevels} : std::vector{colour, grey}) {
      SCOPED_TRACE(std::string(c.name) + (picture.channels() == 1 ? " in grey" : " in colour"));
      const fs::path path = folder / (std::to_string(picture.channels()) + c.name);
      ASSERT_TRUE(c.write(path, picture));
      cv::Mat expected = picture;
      if (picture.channels() == 1) cv::cvtColor(picture, expected, cv::COLOR_GRAY2BGR);
      for (const auto& [reader, read] :
           {std::pair{"here", LoadImageFile(path)}, std::pair{"ImageMagick", ReadByImageMagick(path, picture.size())}}) {
        ASSERT_EQ(read.size(), picture.size()) << reader << " cannot read it";
        if (c.lossless) {
          EXPECT_EQ(cv::norm(read, expected, cv::NORM_INF), 0) << reader;
        } else {
          EXPECT_LE(cv::norm(read, expected, cv::NORM_L1) / expected.total(), 3 * 1.5) << reader;
          EXPECT_LE(cv::norm(read, expected, cv::NORM_INF), 16) << reader;
        }
      }
    }
  }
}

TEST(EncodeTga, HeaderAndBgrPixelsTopRowFirst) {
  cv::Mat picture(2, 3, CV_8UC3, cv::Scalar(1, 2, 3));
  picture.at<cv::Vec3b>(0, 0) = {10, 20, 30};
  std::string tga = EncodeTga(picture);
  ASSERT_EQ(tga.size(), 18u + 2 * 3 * 3 + 26);
  EXPECT_EQ(tga[2], 2);          // uncompressed true colour
  EXPECT_EQ(tga[12], 3);         // width
  EXPECT_EQ(tga[14], 2);         // height
  EXPECT_EQ(tga[16], 24);        // bits per pixel
  EXPECT_EQ(tga[17], 0x20);      // top-left origin
  EXPECT_EQ(tga.substr(18, 3), std::string("\x0a\x14\x1e"));
  EXPECT_EQ(EncodeTga(cv::Mat(2, 2, CV_8UC1)).at(16), 8);
  EXPECT_TRUE(EncodeTga(cv::Mat(2, 2, CV_8UC4)).empty());
}

// Readers such as Qt's take a TGA only with the TrueVision 2.0 footer at its end.
TEST(EncodeTga, EndsWithTheTrueVisionFooter) {
  const std::string tga = EncodeTga(cv::Mat(2, 3, CV_8UC3, cv::Scalar::all(7)));
  EXPECT_EQ(tga.substr(18 + 2 * 3 * 3), std::string(8, '\0') + std::string("TRUEVISION-XFILE.\0", 18));
}

// The station's files from before the footer, and other programs' bottom-up files, read too.
TEST(LoadImageFile, ReadsTgaFilesWithoutTheFooterAndBottomRowFirst) {
  testing::TempFolder folder;
  cv::Mat picture(2, 3, CV_8UC3, cv::Scalar(1, 2, 3));
  picture.at<cv::Vec3b>(0, 0) = {10, 20, 30};
  const std::string tga = EncodeTga(picture);
  const std::string bare = tga.substr(0, tga.size() - 26);
  std::string bottomUp = bare;
  bottomUp[17] = 0;  // bottom-left origin: the rows in the other order
  bottomUp.replace(18, 9, bare, 27, 9);
  bottomUp.replace(27, 9, bare, 18, 9);
  for (const auto& [name, bytes] : {std::pair{"bare.tga", bare}, std::pair{"bottom-up.tga", bottomUp}}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(platform::WriteFileAtomically(folder / name, bytes));
    EXPECT_EQ(cv::norm(LoadImageFile(folder / name), picture, cv::NORM_INF), 0);
  }
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
  // A TGA has no magic: it is taken as one by its footer, with all its pixels there.
  const std::string wideTga = EncodeTga(cv::Mat(1, 20001, CV_8UC3, cv::Scalar::all(0)));
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "wide.tga", wideTga));
  std::string tgaError;
  EXPECT_TRUE(LoadImageFile(folder / "wide.tga", &tgaError).empty());
  EXPECT_NE(tgaError.find("declares 20001 x 1 pixels"), std::string::npos) << tgaError;

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
