#include "imaging/tiff_writer.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <tiffio.h>

#include "temp_folder.h"

namespace orvane::imaging {
namespace {

namespace fs = std::filesystem;

struct TiffReader {
  explicit TiffReader(const fs::path& path) : tiff(TIFFOpen(path.c_str(), "r")) {}
  ~TiffReader() {
    if (tiff) TIFFClose(tiff);
  }
  std::uint32_t U32(ttag_t tag) {
    std::uint32_t value = 0;
    TIFFGetField(tiff, tag, &value);
    return value;
  }
  std::uint16_t U16(ttag_t tag) {
    std::uint16_t value = 0;
    TIFFGetField(tiff, tag, &value);
    return value;
  }
  float F(ttag_t tag) {
    float value = 0;
    TIFFGetField(tiff, tag, &value);
    return value;
  }
  // The current page decoded to 8-bit RGBA rows, top row first.
  std::vector<std::uint32_t> Rgba() {
    std::uint32_t w = U32(TIFFTAG_IMAGEWIDTH), h = U32(TIFFTAG_IMAGELENGTH);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
    if (!TIFFReadRGBAImageOriented(tiff, w, h, pixels.data(), ORIENTATION_TOPLEFT, 0)) return {};
    return pixels;
  }
  int Pages() {
    int count = 0;
    do ++count;
    while (TIFFReadDirectory(tiff));
    return count;
  }
  TIFF* tiff;
};

TEST(CBilevelTiff, PageKeepsItsWidthAndSplitsInkAt125) {
  testing::TempFolder folder;
  cv::Mat page(3, 10, CV_8UC1, cv::Scalar(255));
  page.at<unsigned char>(1, 0) = 124;
  page.at<unsigned char>(1, 1) = 125;
  page.at<unsigned char>(1, 9) = 0;
  CBilevelTiff writer;
  writer.SetFileName(folder / "bw.tif");
  EXPECT_FALSE(writer.SetResolution(0, 300));
  ASSERT_EQ(writer.AddPage(page), 0);

  TiffReader reader(folder / "bw.tif");
  ASSERT_TRUE(reader.tiff);
  EXPECT_EQ(reader.U32(TIFFTAG_IMAGEWIDTH), 10u);
  EXPECT_EQ(reader.U16(TIFFTAG_COMPRESSION), COMPRESSION_CCITTFAX4);
  EXPECT_EQ(reader.U16(TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_MINISWHITE);
  EXPECT_EQ(reader.U16(TIFFTAG_BITSPERSAMPLE), 1);
  EXPECT_FLOAT_EQ(reader.F(TIFFTAG_XRESOLUTION), 96.f);
  EXPECT_EQ(reader.U16(TIFFTAG_RESOLUTIONUNIT), RESUNIT_INCH);
  EXPECT_EQ(reader.U32(TIFFTAG_SUBFILETYPE), static_cast<std::uint32_t>(FILETYPE_PAGE));
  std::vector<std::uint32_t> rgba = reader.Rgba();
  ASSERT_EQ(rgba.size(), 30u);
  EXPECT_EQ(TIFFGetR(rgba[10 + 0]), 0u);    // 124: ink
  EXPECT_EQ(TIFFGetR(rgba[10 + 1]), 255u);  // 125: paper
  EXPECT_EQ(TIFFGetR(rgba[10 + 9]), 0u);    // the last column is not cut off
  EXPECT_EQ(TIFFGetR(rgba[0]), 255u);
}

TEST(CBilevelTiff, EveryPageRewritesTheFileWithPageNumbers) {
  testing::TempFolder folder;
  CBilevelTiff writer;
  writer.SetFileName(folder / "two.tif");
  ASSERT_TRUE(writer.SetResolution(300, 200));
  EXPECT_EQ(writer.AddPage(cv::Mat()), 1);
  ASSERT_EQ(writer.AddPage(cv::Mat(8, 8, CV_8UC1, cv::Scalar(0))), 0);
  ASSERT_EQ(writer.AddPage(cv::Mat(4, 12, CV_8UC3, cv::Scalar::all(255))), 0);

  TiffReader reader(folder / "two.tif");
  ASSERT_TRUE(reader.tiff);
  std::uint16_t page = 9, count = 9;
  TIFFGetField(reader.tiff, TIFFTAG_PAGENUMBER, &page, &count);
  EXPECT_EQ(page, 0);
  EXPECT_EQ(count, 2);
  EXPECT_FLOAT_EQ(reader.F(TIFFTAG_XRESOLUTION), 300.f);
  EXPECT_FLOAT_EQ(reader.F(TIFFTAG_YRESOLUTION), 200.f);
  ASSERT_TRUE(TIFFReadDirectory(reader.tiff));
  TIFFGetField(reader.tiff, TIFFTAG_PAGENUMBER, &page, &count);
  EXPECT_EQ(page, 1);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(reader.U32(TIFFTAG_IMAGEWIDTH), 12u);
  EXPECT_FALSE(TIFFReadDirectory(reader.tiff));
}

TEST(CBilevelTiff, UnwritableFileGivesTwo) {
  testing::TempFolder folder;
  CBilevelTiff writer;
  writer.SetFileName(folder / "missing" / "x.tif");
  EXPECT_EQ(writer.AddPage(cv::Mat(2, 2, CV_8UC1)), 2);
}

TEST(CTiffWriter, ThreeKindsOfPagesReadBackPageByPage) {
  testing::TempFolder folder;
  const fs::path path = folder / "multi.tif";
  cv::Mat colour(16, 24, CV_8UC3, cv::Scalar(255, 0, 0));  // blue in BGR
  colour(cv::Rect(0, 0, 8, 16)).setTo(cv::Scalar(0, 0, 255));  // red on the left
  cv::Mat grey(10, 10, CV_8UC1, cv::Scalar(90));
  cv::Mat bw(5, 13, CV_8UC1, cv::Scalar(255));
  bw.at<unsigned char>(2, 12) = 0;

  CTiffWriter writer;
  ASSERT_TRUE(writer.Open(path, 1));
  EXPECT_FALSE(writer.Open(path, 1));
  EXPECT_FALSE(writer.AppendMatPage(grey, path, CTiffWriter::kColorJpeg));
  EXPECT_FALSE(writer.AppendMatPage(grey, path, 3));
  ASSERT_TRUE(writer.AppendMatPage(colour, path, CTiffWriter::kColorJpeg));
  ASSERT_TRUE(writer.AppendMatPage(grey, path, CTiffWriter::kGreyJpeg));
  ASSERT_TRUE(writer.AppendMatPage(bw, path, CTiffWriter::kBlackAndWhite));
  EXPECT_FALSE(fs::exists(path));  // appears whole, on Close
  writer.Close();

  TiffReader reader(path);
  ASSERT_TRUE(reader.tiff);
  EXPECT_EQ(reader.U16(TIFFTAG_COMPRESSION), COMPRESSION_JPEG);
  EXPECT_EQ(reader.U16(TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_RGB);
  EXPECT_EQ(reader.U16(TIFFTAG_SAMPLESPERPIXEL), 3);
  EXPECT_FLOAT_EQ(reader.F(TIFFTAG_XRESOLUTION), 200.f);
  // Quality 50 keeps the standard luminance table as it is (DC step 16; libtiff's default 75
  // would halve it), so the quality pseudo-tag was taken after the compression was set.
  std::uint32_t tablesSize = 0;
  const unsigned char* tables = nullptr;
  ASSERT_TRUE(TIFFGetField(reader.tiff, TIFFTAG_JPEGTABLES, &tablesSize, &tables));
  const std::string jpegTables(reinterpret_cast<const char*>(tables), tablesSize);
  const std::size_t dqt = jpegTables.find("\xFF\xDB");
  ASSERT_NE(dqt, std::string::npos);
  EXPECT_EQ(static_cast<unsigned char>(jpegTables[dqt + 5]), 16);
  std::vector<std::uint32_t> rgba = reader.Rgba();
  ASSERT_EQ(rgba.size(), 16u * 24u);
  EXPECT_GT(TIFFGetR(rgba[24 * 8 + 2]), 200u);  // left stays red
  EXPECT_LT(TIFFGetB(rgba[24 * 8 + 2]), 60u);
  EXPECT_GT(TIFFGetB(rgba[24 * 8 + 20]), 200u);  // right stays blue
  EXPECT_LT(TIFFGetR(rgba[24 * 8 + 20]), 60u);

  ASSERT_TRUE(TIFFReadDirectory(reader.tiff));
  EXPECT_EQ(reader.U16(TIFFTAG_COMPRESSION), COMPRESSION_JPEG);
  EXPECT_EQ(reader.U16(TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_MINISBLACK);
  rgba = reader.Rgba();
  ASSERT_EQ(rgba.size(), 100u);
  EXPECT_NEAR(static_cast<int>(TIFFGetG(rgba[55])), 90, 3);

  ASSERT_TRUE(TIFFReadDirectory(reader.tiff));
  EXPECT_EQ(reader.U16(TIFFTAG_COMPRESSION), COMPRESSION_CCITTFAX4);
  EXPECT_EQ(reader.U32(TIFFTAG_IMAGEWIDTH), 13u);
  rgba = reader.Rgba();
  ASSERT_EQ(rgba.size(), 65u);
  EXPECT_EQ(TIFFGetR(rgba[2 * 13 + 12]), 0u);
  EXPECT_EQ(TIFFGetR(rgba[2 * 13 + 11]), 255u);
  EXPECT_FALSE(TIFFReadDirectory(reader.tiff));
}

// Every page's resolution as libtiff's tiffinfo reports it ("300, 150 pixels/inch"); empty when
// it cannot read the file.
std::vector<std::string> PageResolutions(const fs::path& path) {
  std::vector<std::string> resolutions;
  FILE* pipe = popen(("tiffinfo '" + path.string() + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return resolutions;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text = line;
    const std::size_t at = text.find("Resolution: ");
    if (at == std::string::npos) continue;
    text = text.substr(at + 12);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    resolutions.push_back(text);
  }
  pclose(pipe);
  return resolutions;
}

// Each page states the resolution it was given before it was written, whatever its kind; pages
// written before any was given keep 200 dots per inch.
TEST(CTiffWriter, PagesStateTheResolutionTheyWereCapturedAt) {
  const cv::Mat colour(16, 24, CV_8UC3, cv::Scalar(200, 30, 90));
  const cv::Mat grey(10, 10, CV_8UC1, cv::Scalar(90));
  struct Case {
    int xDpi;
    int yDpi;
  } cases[] = {{96, 96}, {300, 300}, {300, 150}, {600, 600}};
  for (const auto& [kind, picture] : {std::pair{CTiffWriter::kColorJpeg, colour}, std::pair{CTiffWriter::kGreyJpeg, grey},
                                      std::pair{CTiffWriter::kBlackAndWhite, grey}}) {
    SCOPED_TRACE(kind);
    testing::TempFolder folder;
    const fs::path path = folder / "multi.tif";
    CTiffWriter writer;
    ASSERT_TRUE(writer.Open(path, 1));
    ASSERT_TRUE(writer.AppendMatPage(picture, path, kind));
    std::vector<std::string> expected{"200, 200 pixels/inch"};
    for (const Case& c : cases) {
      ASSERT_TRUE(writer.SetResolution(c.xDpi, c.yDpi));
      ASSERT_TRUE(writer.AppendMatPage(picture, path, kind));
      expected.push_back(std::to_string(c.xDpi) + ", " + std::to_string(c.yDpi) + " pixels/inch");
    }
    EXPECT_FALSE(writer.SetResolution(0, 300));
    ASSERT_TRUE(writer.AppendMatPage(picture, path, kind));
    expected.push_back(expected.back());
    ASSERT_TRUE(writer.Close());
    EXPECT_EQ(PageResolutions(path), expected) << "tiffinfo reads each page";
  }
}

TEST(CTiffWriter, AppendsToAnotherFileWithoutOpen) {
  testing::TempFolder folder;
  const fs::path path = folder / "loose.tif";
  CTiffWriter writer;
  cv::Mat grey(4, 4, CV_8UC1, cv::Scalar(0));
  ASSERT_TRUE(writer.AppendMatPage(grey, path, CTiffWriter::kBlackAndWhite));
  ASSERT_TRUE(writer.AppendMatPage(grey, path, CTiffWriter::kGreyJpeg));
  TiffReader reader(path);
  ASSERT_TRUE(reader.tiff);
  EXPECT_EQ(reader.Pages(), 2);
}

TEST(CTiffWriter, ClosingWithoutPagesLeavesNoFile) {
  testing::TempFolder folder;
  {
    CTiffWriter writer;
    ASSERT_TRUE(writer.Open(folder / "none.tif", 1));
  }
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

}  // namespace
}  // namespace orvane::imaging
