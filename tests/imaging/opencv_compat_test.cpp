#include "imaging/opencv_compat.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "temp_folder.h"

namespace orvane::imaging::compat {
namespace {

std::vector<cv::Point2f> Corners(const cv::RotatedRect& rect) {
  std::vector<cv::Point2f> corners(4);
  rect.points(corners.data());
  std::sort(corners.begin(), corners.end(), [](const cv::Point2f& a, const cv::Point2f& b) {
    return a.x + 1000 * a.y < b.x + 1000 * b.y;
  });
  return corners;
}

std::vector<cv::Point> TurnedRectangle(float angle) {
  cv::RotatedRect rect({200, 150}, {120, 60}, angle);
  cv::Point2f corners[4];
  rect.points(corners);
  std::vector<cv::Point> points;
  for (const auto& c : corners) points.emplace_back(cvRound(c.x), cvRound(c.y));
  return points;
}

TEST(OpenCvCompat, MinAreaRectGivesLegacyAnglesForTheSameCorners) {
  for (float angle : {0.0f, 20.0f, 45.0f, 70.0f, 90.0f, -30.0f}) {
    SCOPED_TRACE(angle);
    const auto points = TurnedRectangle(angle);
    const cv::RotatedRect modern = cv::minAreaRect(points);
    // The convention of the OpenCV in use, which the normalisation assumes.
    EXPECT_GT(modern.angle, 0.0f);
    EXPECT_LE(modern.angle, 90.0f);
    const cv::RotatedRect legacy = MinAreaRect(points);
    EXPECT_GE(legacy.angle, -90.0f);
    EXPECT_LT(legacy.angle, 0.0f);
    const auto a = Corners(modern);
    const auto b = Corners(legacy);
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(a[i].x, b[i].x, 0.5);
      EXPECT_NEAR(a[i].y, b[i].y, 0.5);
    }
  }
}

TEST(OpenCvCompat, LegacyAngleOfAnUprightRectangleKeepsItsSidesAtMinus90) {
  const cv::RotatedRect legacy = ToLegacyAngle(cv::RotatedRect({50, 50}, {40, 20}, 90.0f));
  EXPECT_EQ(legacy.angle, -90.0f);
  EXPECT_EQ(legacy.size, cv::Size2f(40, 20));
  const cv::RotatedRect turned = ToLegacyAngle(cv::RotatedRect({50, 50}, {40, 20}, 30.0f));
  EXPECT_EQ(turned.angle, -60.0f);
  EXPECT_EQ(turned.size, cv::Size2f(20, 40));
}

TEST(OpenCvCompat, ContoursOfARegionOnTheBorderStartAtOne) {
  cv::Mat mask = cv::Mat::zeros(50, 60, CV_8UC1);
  mask(cv::Rect(0, 0, 20, 30)).setTo(255);
  const cv::Mat before = mask.clone();
  const auto contours = FindOuterContours(mask);
  ASSERT_EQ(contours.size(), 1u);
  const cv::Rect box = cv::boundingRect(contours[0]);
  EXPECT_EQ(box.x, 1);
  EXPECT_EQ(box.y, 1);
  EXPECT_EQ(cv::countNonZero(mask != before), 0) << "the caller's mask must stay as it was";
}

TEST(OpenCvCompat, WarpPerspectiveRefusesAnEmptyOutputSize) {
  const cv::Mat source(30, 30, CV_8UC1, cv::Scalar(7));
  cv::Mat out(5, 5, CV_8UC1, cv::Scalar(1));
  const cv::Mat identity = cv::Mat::eye(3, 3, CV_64F);
  EXPECT_FALSE(WarpPerspective(source, out, identity, cv::Size(0, 10)));
  EXPECT_EQ(out.size(), cv::Size(5, 5));
  ASSERT_TRUE(WarpPerspective(source, out, identity, cv::Size(10, 12)));
  EXPECT_EQ(out.size(), cv::Size(10, 12));
}

}  // namespace
}  // namespace orvane::imaging::compat
