#include "ocr/doc_orientation.h"

#include <gtest/gtest.h>

namespace orvane::ocr {
namespace {

// 2 x 3, three channels: pixel (r, c) holds 10r + c in every channel, 100 + 10r + c in the last.
cv::Mat Numbered() {
  cv::Mat m(2, 3, CV_8UC3);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) m.at<cv::Vec3b>(r, c) = {std::uint8_t(10 * r + c), std::uint8_t(10 * r + c), std::uint8_t(100 + 10 * r + c)};
  return m;
}

std::vector<int> Values(const cv::Mat& m) {
  std::vector<int> out;
  for (int r = 0; r < m.rows; ++r)
    for (int c = 0; c < m.cols; ++c) out.push_back(m.at<cv::Vec3b>(r, c)[2] - 100);
  return out;
}

TEST(RotateMat, QuarterTurnsMoveEveryPixelWithAllItsChannels) {
  //  0  1  2
  // 10 11 12
  const cv::Mat m = Numbered();
  const cv::Mat ccw = RotateMat90CCW(m);
  EXPECT_EQ(ccw.size(), cv::Size(2, 3));
  EXPECT_EQ(Values(ccw), (std::vector<int>{2, 12, 1, 11, 0, 10}));
  EXPECT_EQ(Values(RotateMat180(m)), (std::vector<int>{12, 11, 10, 2, 1, 0}));
  EXPECT_EQ(Values(RotateMat90CW(m)), (std::vector<int>{10, 0, 11, 1, 12, 2}));
  EXPECT_EQ(ccw.at<cv::Vec3b>(0, 1), (cv::Vec3b{12, 12, 112}));
  EXPECT_EQ(Values(RotateMat90CW(RotateMat90CCW(m))), Values(m));
  EXPECT_TRUE(RotateMat90CCW(cv::Mat()).empty());
  EXPECT_TRUE(RotateMat180(cv::Mat()).empty());
  EXPECT_TRUE(RotateMat90CW(cv::Mat()).empty());
}

TEST(CDocOrientation, EachBlobIsJudgedByItsBestReadingAndTheRunnerUp) {
  using V = CDocOrientation::BlobVerdict;
  struct Case {
    std::array<double, 4> d;
    V verdict;
    int angle;
  } cases[] = {
      {{0.1, 0.5, 0.6, 0.7}, V::kDecisive, 0},
      {{0.5, 0.6, 0.1, 0.7}, V::kDecisive, 180},
      {{0.25, 0.3, 0.3, 0.3}, V::kCounted, 0},   // not under 0.2
      {{0.6, 0.6, 0.15, 0.3}, V::kCounted, 180},  // 0.15 / 0.3 not under 0.4
      {{0.4, 0.5, 0.33, 0.6}, V::kIgnored, 180},  // nothing reads well
      {{0.3, 0.34, 0.9, 0.9}, V::kIgnored, 0},    // no clear winner
      {{0.1, 0.1, 0.1, 0.1}, V::kDecisive, 0},    // runner-up 1
      {{0.5, 0.2, 0.2, 0.9}, V::kCounted, 90},    // a tie keeps the earlier angle
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CDocOrientation::JudgeBlob(c.d), c.verdict) << c.d[0] << " " << c.d[1] << " " << c.d[2] << " " << c.d[3];
    EXPECT_EQ(CDocOrientation::BestAngle(c.d), c.angle);
  }
}

TEST(CDocOrientation, WithoutATemplateItDecidesNothingAndReportsAngleZero) {
  CDocOrientation detector;
  int angle = 90;
  EXPECT_FALSE(detector.DetectOrientation(cv::Mat(100, 100, CV_8UC1, cv::Scalar(255)), &angle, false));
  EXPECT_EQ(angle, 0);
  EXPECT_FALSE(detector.Initialize("/nonexistent/OCR_RLDA_LN_Gra.tpl"));
  angle = 180;
  EXPECT_FALSE(detector.DetectOrientation(cv::Mat(), &angle, false));
  EXPECT_EQ(angle, 0);
}

}  // namespace
}  // namespace orvane::ocr
