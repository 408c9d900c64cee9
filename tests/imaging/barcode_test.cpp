#include "imaging/barcode.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace orvane::imaging {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const fs::path kFixtures = fs::path(__FILE__).parent_path() / "fixtures";

cv::Mat Fixture(const char* name) {
  cv::Mat code = cv::imread((kFixtures / name).string(), cv::IMREAD_GRAYSCALE);
  EXPECT_FALSE(code.empty()) << name;
  return code;
}

// A light grey colour page with the codes pasted at the given places.
cv::Mat Page(const std::vector<std::pair<cv::Mat, cv::Point>>& codes) {
  cv::Mat page(560, 800, CV_8UC3, cv::Scalar(225, 230, 228));
  for (const auto& [code, at] : codes) {
    cv::Mat colour;
    cv::cvtColor(code, colour, cv::COLOR_GRAY2BGR);
    colour.copyTo(page(cv::Rect(at, code.size())));
  }
  return page;
}

TEST(ScanBarcodes, NamesTheTypeAndReadsTheData) {
  struct Case {
    const char* fixture;
    Strings expected;
  } cases[] = {
      {"qr_ascii.png", {"QR-Code", "INV-2024-001"}},
      {"qr_chinese.png", {"QR-Code", "发票二〇二四"}},
      {"ean13.png", {"EAN-13", "5901234123457"}},
      {"code128.png", {"CODE-128", "BOX7-CODE128"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    Strings found{"left over"};
    ASSERT_TRUE(ScanBarcodes(found, Page({{Fixture(c.fixture), {40, 50}}}), {131, 15}, false));
    EXPECT_EQ(found, c.expected);
  }
}

TEST(ScanBarcodes, ReportsEverySymbolOfThePage) {
  Strings found;
  cv::Mat page = Page({{Fixture("ean13.png"), {20, 20}}, {Fixture("code128.png"), {20, 260}}});
  ASSERT_TRUE(ScanBarcodes(found, page, {131, 15}, false));
  ASSERT_EQ(found.size(), 4u);
  Strings types{found[0], found[2]};
  std::sort(types.begin(), types.end());
  EXPECT_EQ(types, (Strings{"CODE-128", "EAN-13"}));
}

TEST(ScanBarcodes, BlankOrEmptyPageGivesNothing) {
  Strings found{"left over"};
  EXPECT_TRUE(ScanBarcodes(found, Page({}), {}, false));
  EXPECT_TRUE(found.empty());
  found = {"left over"};
  EXPECT_FALSE(ScanBarcodes(found, cv::Mat(), {}, false));
  EXPECT_TRUE(found.empty());
  EXPECT_TRUE(ScanBarcodes(found, cv::Mat(3, 3, CV_8UC1, cv::Scalar(255)), {}, false));
  EXPECT_TRUE(found.empty());
}

// A faint code (ink 205 on paper 216) lies above the background-minus-offset threshold, so the
// black-and-white copy loses it; with the already-binary flag zbar gets the picture itself.
TEST(ScanBarcodes, AlreadyBinaryPictureGoesToZbarAsItIs) {
  cv::Mat code = Fixture("qr_ascii.png");
  cv::Mat faint(code.size(), CV_8UC1);
  faint.setTo(216);
  faint.setTo(205, code < 128);
  cv::Mat page(400, 400, CV_8UC1, cv::Scalar(216));
  faint.copyTo(page(cv::Rect(cv::Point(100, 100), faint.size())));
  Strings found;
  ASSERT_TRUE(ScanBarcodes(found, page, {131, 15}, false));
  EXPECT_TRUE(found.empty());
  ASSERT_TRUE(ScanBarcodes(found, page, {131, 15}, true));
  EXPECT_EQ(found, (Strings{"QR-Code", "INV-2024-001"}));
}

// Lit from the left: the paper on the dark side is darker than the ink on the bright side, so
// only a threshold that follows the local background separates them.
TEST(ScanBarcodes, UnevenlyLitCodeIsStillRead) {
  cv::Mat code = Fixture("qr_ascii.png");
  cv::Mat page(300, 420, CV_8UC1, cv::Scalar(230));
  cv::Mat placed = page(cv::Rect(cv::Point(150, 40), code.size()));
  code.copyTo(placed);
  page.setTo(60, page < 100);
  for (int x = 0; x < page.cols; ++x) {
    page.col(x) *= 1.0 - 0.7 * x / page.cols;
  }
  cv::Mat binary = BinarizeForBarcodes(page, {131, 15});
  EXPECT_EQ(binary.at<unsigned char>(5, 400), 255);  // dark paper stays paper
  Strings found;
  ASSERT_TRUE(ScanBarcodes(found, page, {131, 15}, false));
  EXPECT_EQ(found, (Strings{"QR-Code", "INV-2024-001"}));
}

}  // namespace
}  // namespace orvane::imaging
