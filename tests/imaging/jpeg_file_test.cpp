#include "imaging/jpeg_file.h"

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <opencv2/core.hpp>

#include "imaging/image_file.h"
#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane::imaging {
namespace {

namespace fs = std::filesystem;

cv::Mat DecodeFile(const fs::path& path) {
  auto bytes = platform::ReadWholeFile(path);
  if (!bytes) return {};
  return DecodeJpegToMat(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size());
}

TEST(SaveMatAsJpeg, RecordsDotsPerInchInTheJfifHeader) {
  testing::TempFolder folder;
  std::string written;
  ASSERT_TRUE(SaveMatAsJpeg(cv::Mat(8, 8, CV_8UC3, cv::Scalar(1, 2, 3)), written,
                            folder / "page.jpg", 300, 200, 85));
  EXPECT_EQ(written, (folder / "page.jpg").string());
  auto bytes = platform::ReadWholeFile(folder / "page.jpg");
  ASSERT_TRUE(bytes && bytes->size() > 18);
  // SOI, then the APP0 segment: "JFIF\0", version, unit, X density, Y density (big-endian).
  const auto* b = reinterpret_cast<const unsigned char*>(bytes->data());
  ASSERT_EQ(std::string(bytes->data() + 6, 5), std::string("JFIF\0", 5));
  EXPECT_EQ(b[13], 1);  // dots per inch
  EXPECT_EQ(b[14] << 8 | b[15], 300);
  EXPECT_EQ(b[16] << 8 | b[17], 200);
}

TEST(SaveMatAsJpeg, KeepsRedRedAndGreyOneComponent) {
  testing::TempFolder folder;
  std::string written;
  cv::Mat red(16, 16, CV_8UC3, cv::Scalar(0, 0, 255));  // BGR
  ASSERT_TRUE(SaveMatAsJpeg(red, written, folder / "red.jpg", 96, 96, 90));
  cv::Mat back = DecodeFile(folder / "red.jpg");
  ASSERT_EQ(back.type(), CV_8UC3);
  cv::Vec3b pixel = back.at<cv::Vec3b>(8, 8);
  EXPECT_LT(pixel[0], 30);
  EXPECT_LT(pixel[1], 30);
  EXPECT_GT(pixel[2], 225);

  ASSERT_TRUE(SaveMatAsJpeg(cv::Mat(16, 16, CV_8UC1, cv::Scalar(100)), written,
                            folder / "grey.jpg", 96, 96, 90));
  cv::Mat grey = DecodeFile(folder / "grey.jpg");
  ASSERT_EQ(grey.type(), CV_8UC1);
  EXPECT_NEAR(grey.at<unsigned char>(3, 3), 100, 2);

  // A view into a larger picture: its rows are read with the parent's stride.
  cv::Mat parent(40, 40, CV_8UC3, cv::Scalar(255, 0, 0));
  parent(cv::Rect(8, 8, 16, 16)).setTo(cv::Scalar(0, 0, 255));
  ASSERT_TRUE(SaveMatAsJpeg(parent(cv::Rect(8, 8, 16, 16)), written, folder / "view.jpg", 96, 96, 90));
  cv::Mat view = DecodeFile(folder / "view.jpg");
  ASSERT_EQ(view.size(), cv::Size(16, 16));
  EXPECT_GT(view.at<cv::Vec3b>(15, 15)[2], 225);
  EXPECT_LT(view.at<cv::Vec3b>(15, 15)[0], 30);
}

TEST(SaveMatAsJpeg, RefusesWhatItCannotWriteAndLeavesNothing) {
  testing::TempFolder folder;
  std::string written;
  EXPECT_FALSE(SaveMatAsJpeg(cv::Mat(4, 4, CV_8UC4), written, folder / "a.jpg", 96, 96, 80));
  EXPECT_FALSE(SaveMatAsJpeg(cv::Mat(), written, folder / "b.jpg", 96, 96, 80));
  EXPECT_FALSE(SaveMatAsJpeg(cv::Mat(4, 4, CV_8UC1), written, folder / "no" / "c.jpg", 96, 96, 80));
  EXPECT_TRUE(written.empty());
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

// Run in a child process: 0 when the write failed cleanly, 1 when it claimed success, 2 when
// it left a file behind.
[[noreturn]] void WriteUnderFileSizeLimit(const fs::path& target) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{4096, 4096};
  setrlimit(RLIMIT_FSIZE, &limit);
  cv::Mat noise(400, 400, CV_8UC3);
  cv::randu(noise, 0, 255);
  std::string written;
  bool ok = SaveMatAsJpeg(noise, written, target, 96, 96, 95);
  bool anyFile = !fs::is_empty(target.parent_path());
  std::_Exit(ok ? 1 : anyFile ? 2 : 0);
}

// A write that fails half-way (the file-size limit stands in for a full disk) gives false and no
// partial file, and the process goes on.
TEST(SaveMatAsJpegDeathTest, FailedWriteDeletesThePartialFile) {
  testing::TempFolder folder;
  EXPECT_EXIT(WriteUnderFileSizeLimit(folder / "big.jpg"), ::testing::ExitedWithCode(0), "");
}

// Files a fuzzer found: a few hundred bytes whose header declares a picture of gigabytes. They
// are refused from the header, before anything is allocated, however they are read.
TEST(DecodeJpegToMat, AHeaderBeyondTheCeilingIsRefusedBeforeDecoding) {
  const fs::path fixtures = fs::path(__FILE__).parent_path() / "fixtures";
  for (const char* name : {"jpeg_claims_20000x20000.jpg", "jpeg_claims_65000x65000.jpg"}) {
    SCOPED_TRACE(name);
    const std::optional<std::string> bytes = platform::ReadWholeFile(fixtures / name);
    ASSERT_TRUE(bytes);
    std::string error;
    EXPECT_TRUE(DecodeJpegToMat(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size(), &error).empty());
    EXPECT_NE(error.find("pixels, more than a picture may have"), std::string::npos) << error;
    error.clear();
    EXPECT_TRUE(LoadImageFile(fixtures / name, &error).empty());
    EXPECT_NE(error.find("pixels, more than a picture may have"), std::string::npos) << error;
  }
  EXPECT_TRUE(WithinPictureCeiling(kMaxPictureSide, kMaxPicturePixels / kMaxPictureSide));
  EXPECT_FALSE(WithinPictureCeiling(kMaxPictureSide + 1, 1));
  EXPECT_FALSE(WithinPictureCeiling(kMaxPictureSide, kMaxPicturePixels / kMaxPictureSide + 1));
}

TEST(DecodeJpegToMat, GarbageAndTruncatedBytesGiveAnEmptyPicture) {
  std::mt19937 random(7);
  std::vector<std::uint8_t> garbage(100);
  for (auto& b : garbage) b = static_cast<std::uint8_t>(random());
  EXPECT_TRUE(DecodeJpegToMat(garbage.data(), garbage.size()).empty());
  EXPECT_TRUE(DecodeJpegToMat(nullptr, 0).empty());

  cv::Mat picture(32, 32, CV_8UC3, cv::Scalar(10, 200, 30));
  std::string jpeg = EncodeJpeg(picture, 96, 96, 80);
  ASSERT_FALSE(jpeg.empty());
  EXPECT_EQ(DecodeJpegToMat(reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size()).size(),
            picture.size());
  for (std::size_t keep : {std::size_t{2}, std::size_t{20}, jpeg.size() / 2}) {
    SCOPED_TRACE(keep);
    EXPECT_TRUE(DecodeJpegToMat(reinterpret_cast<const std::uint8_t*>(jpeg.data()), keep).empty());
  }
}

// Four-component data as print workflows write it; libjpeg cannot turn it into RGB.
std::string CmykJpeg() {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* memory = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &memory, &size);
  info.image_width = 8;
  info.image_height = 8;
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(8 * 4, 100);
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<const char*>(memory), size);
  std::free(memory);
  return bytes;
}

TEST(DecodeJpegToMat, CmykGivesAnEmptyPicture) {
  const std::string cmyk = CmykJpeg();
  ASSERT_FALSE(cmyk.empty());
  EXPECT_TRUE(DecodeJpegToMat(reinterpret_cast<const std::uint8_t*>(cmyk.data()), cmyk.size()).empty());
}

}  // namespace
}  // namespace orvane::imaging
