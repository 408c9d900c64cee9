#include "imaging/barcode.h"

#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "synthetic_pages.h"

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
    ASSERT_TRUE(ScanBarcodes(found, Page({{Fixture(c.fixture), {40, 50}}})));
    EXPECT_EQ(found, c.expected);
  }
}

TEST(ScanBarcodes, ReportsEverySymbolOfThePage) {
  Strings found;
  cv::Mat page = Page({{Fixture("ean13.png"), {20, 20}}, {Fixture("code128.png"), {20, 260}}});
  ASSERT_TRUE(ScanBarcodes(found, page));
  ASSERT_EQ(found.size(), 4u);
  Strings types{found[0], found[2]};
  std::sort(types.begin(), types.end());
  EXPECT_EQ(types, (Strings{"CODE-128", "EAN-13"}));
}

TEST(ScanBarcodes, BlankOrEmptyPageGivesNothing) {
  Strings found{"left over"};
  EXPECT_TRUE(ScanBarcodes(found, Page({})));
  EXPECT_TRUE(found.empty());
  found = {"left over"};
  EXPECT_FALSE(ScanBarcodes(found, cv::Mat()));
  EXPECT_TRUE(found.empty());
  EXPECT_TRUE(ScanBarcodes(found, cv::Mat(3, 3, CV_8UC1, cv::Scalar(255))));
  EXPECT_TRUE(found.empty());
}

// A faint code (ink 205 on paper 216), such as a worn print: a threshold set below the paper's
// brightness would lose it, zbar's edges find it.
TEST(ScanBarcodes, AFaintCodeIsRead) {
  cv::Mat code = Fixture("qr_ascii.png");
  cv::Mat faint(code.size(), CV_8UC1);
  faint.setTo(216);
  faint.setTo(205, code < 128);
  cv::Mat page(400, 400, CV_8UC1, cv::Scalar(216));
  faint.copyTo(page(cv::Rect(cv::Point(100, 100), faint.size())));
  Strings found;
  ASSERT_TRUE(ScanBarcodes(found, page));
  EXPECT_EQ(found, (Strings{"QR-Code", "INV-2024-001"}));
}

// Lit from the left: the paper on the dark side is darker than the ink on the bright side, so
// no single threshold separates them; zbar's edges follow the light.
TEST(ScanBarcodes, UnevenlyLitCodeIsStillRead) {
  cv::Mat code = Fixture("qr_ascii.png");
  cv::Mat page(300, 420, CV_8UC1, cv::Scalar(230));
  cv::Mat placed = page(cv::Rect(cv::Point(150, 40), code.size()));
  code.copyTo(placed);
  page.setTo(60, page < 100);
  for (int x = 0; x < page.cols; ++x) {
    page.col(x) *= 1.0 - 0.7 * x / page.cols;
  }
  EXPECT_LT(page.at<unsigned char>(5, 400), page.at<unsigned char>(60, 160));  // paper darker than ink
  Strings found;
  ASSERT_TRUE(ScanBarcodes(found, page));
  EXPECT_EQ(found, (Strings{"QR-Code", "INV-2024-001"}));
}

// The symbol of a code fixture (its dark bounding box, quiet zone left off) printed `width`
// by `height` pixels: drawn at the size a camera sees it, edges grey where they fall between
// pixels.
cv::Mat Printed(const char* fixture, int width, int height) {
  const cv::Mat code = Fixture(fixture);
  cv::Mat symbol = code(cv::boundingRect(code < 128));
  cv::Mat printed;
  cv::resize(symbol, printed, {width, height}, 0, 0, cv::INTER_AREA);
  return printed;
}

// A full camera frame at the document camera's usual 300 DPI: a sheet on the desk with the
// smallest codes users print on their pages, a QR code 15 mm wide, an EAN-13 at 80 % and a
// CODE-128 of 12 characters 40 mm wide, slightly soft and grainy as a camera gives them.
TEST(ScanBarcodes, FindsTheSmallestPrintedCodesOnAFullSizeFrame) {
  constexpr double kPixelsPerMm = 300 / 25.4;
  const auto mm = [&](double length) { return static_cast<int>(std::lround(length * kPixelsPerMm)); };
  cv::Mat frame = testing::TexturedDesk({4160, 3120});
  frame(cv::Rect(300, 250, mm(290), mm(205))).setTo(cv::Scalar(232, 236, 238));
  struct Code {
    cv::Mat printed;
    cv::Point at;
  } codes[] = {
      {Printed("qr_ascii.png", mm(15), mm(15)), {700, 700}},
      {Printed("ean13.png", mm(0.8 * 95 * 0.33), mm(0.8 * 22.85)), {1600, 700}},
      {Printed("code128.png", mm(40), mm(10)), {700, 1600}},
  };
  for (const Code& code : codes) {
    cv::Mat ink;
    cv::cvtColor(code.printed, ink, cv::COLOR_GRAY2BGR);
    ink.convertTo(ink, -1, (236.0 - 35.0) / 255.0, 35.0);  // toner on the sheet's white
    ink.copyTo(frame(cv::Rect(code.at, ink.size())));
  }
  cv::GaussianBlur(frame, frame, {0, 0}, 0.8);
  cv::Mat grain(frame.size(), frame.type());
  cv::randn(grain, cv::Scalar::all(0), cv::Scalar::all(4));
  frame += grain;

  Strings found;
  ASSERT_TRUE(ScanBarcodes(found, frame));
  std::set<std::string> data;
  for (std::size_t i = 1; i < found.size(); i += 2) data.insert(found[i - 1] + " " + found[i]);
  EXPECT_EQ(data, (std::set<std::string>{"QR-Code INV-2024-001", "EAN-13 5901234123457", "CODE-128 BOX7-CODE128"}));
}

}  // namespace
}  // namespace orvane::imaging
