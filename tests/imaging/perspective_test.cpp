#include "imaging/perspective.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "imaging/capture_pipeline.h"
#include "imaging/page_detection.h"
#include "synthetic_pages.h"

namespace orvane::imaging {
namespace {

TEST(MakeLineFromPoints, GivesTheNormalFormAndLinesCross) {
  const LineInfo across = MakeLineFromPoints({0, 5}, {10, 5});
  EXPECT_DOUBLE_EQ(across.theta, CV_PI / 2);
  EXPECT_DOUBLE_EQ(across.rho, 5);
  EXPECT_FLOAT_EQ(across.directionX, 1);
  const LineInfo down = MakeLineFromPoints({3, 0}, {3, 10});
  EXPECT_NEAR(down.theta, 0, 1e-12);
  EXPECT_NEAR(down.rho, 3, 1e-12);
  const cv::Point2f crossing = IntersectLines(across, down);
  EXPECT_NEAR(crossing.x, 3, 1e-5);
  EXPECT_NEAR(crossing.y, 5, 1e-5);
  const LineInfo slanted = MakeLineFromPoints({0, 0}, {10, 10});
  EXPECT_NEAR(slanted.rho, 0, 1e-9);
  EXPECT_NEAR(std::abs(slanted.theta), 3 * CV_PI / 4 - CV_PI / 2, 1e-9);
}

TEST(DetectHoughLines, FindsTheStrongestLineInTheBand) {
  std::vector<LineInfo> lines = {LineInfo()};
  const double step = 0.2 * CV_PI / 180;
  DetectHoughLines(cv::Mat::zeros(50, 50, CV_8UC1), lines, 1, 1.0, step, 0, CV_PI);
  EXPECT_TRUE(lines.empty());

  cv::Mat mask = cv::Mat::zeros(80, 80, CV_8UC1);
  cv::line(mask, {5, 30}, {75, 30}, 255);  // y = 30: theta 90 degrees, rho 30
  cv::line(mask, {50, 5}, {50, 20}, 255);  // a weaker vertical line
  DetectHoughLines(mask, lines, 20, 1.0, step, 80 * CV_PI / 180, 100 * CV_PI / 180);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NEAR(lines[0].theta, CV_PI / 2, 2 * step);
  EXPECT_NEAR(lines[0].rho, 30, 1);
  EXPECT_EQ(lines[0].score, 255);

  DetectHoughLines(mask, lines, 200, 1.0, step, 80 * CV_PI / 180, 100 * CV_PI / 180);
  EXPECT_TRUE(lines.empty()) << "below the vote threshold";
}

TEST(DetectHoughLines, EqualPeaksGoToTheSmallerTheta) {
  // A vertical and a horizontal line of the same length: two peaks of the same height.
  cv::Mat mask = cv::Mat::zeros(60, 60, CV_8UC1);
  cv::line(mask, {20, 5}, {20, 44}, 255);  // theta 0
  cv::line(mask, {5, 40}, {44, 40}, 255);  // theta 90 degrees
  std::vector<LineInfo> lines;
  const double degrees = CV_PI / 180;
  DetectHoughLines(mask, lines, 10, 1.0, 0.2 * degrees, -10 * degrees, 100 * degrees);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NEAR(lines[0].theta, 0, 1e-6);
  EXPECT_NEAR(lines[0].rho, 20, 1e-6);
}

// Maps the page found in `scene` upright; checks the size against the true edge lengths.
TEST(DetectDocumentRect, StraightensAKeystonedPage) {
  const std::vector<cv::Point> sheet = {{200, 100}, {600, 100}, {650, 520}, {150, 520}};
  const cv::Mat scene = testing::DeskWithSheets({sheet});
  cv::RotatedRect page;
  ASSERT_TRUE(FindDocumentBounds(scene, 9, 3, 0.2f, 0.01f, 8.0, page));
  cv::Size size;
  const cv::Mat transform = DetectDocumentRect(scene, page, 8.0, 9, 0, 0.2f, 3, size);
  ASSERT_EQ(transform.size(), cv::Size(3, 3));
  ASSERT_EQ(transform.type(), CV_64F);
  const double trueWidth = cv::norm(sheet[2] - sheet[3]);
  const double trueHeight = cv::norm(sheet[3] - sheet[0]);
  EXPECT_NEAR(size.width, trueWidth, 0.02 * trueWidth);
  EXPECT_NEAR(size.height, trueHeight, 0.02 * trueHeight);

  cv::Mat straight;
  cv::warpPerspective(scene, straight, transform, size);
  cv::Mat grey;
  cv::cvtColor(straight, grey, cv::COLOR_BGR2GRAY);
  // The desk shows at most along a thin fringe.
  EXPECT_GT(cv::countNonZero(grey > 200), 0.93 * grey.total());
  // The sheet's corners land on the output's corners.
  std::vector<cv::Point2f> mapped;
  cv::perspectiveTransform(std::vector<cv::Point2f>{cv::Point2f(sheet[0]), cv::Point2f(sheet[2])},
                           mapped, transform);
  EXPECT_LT(cv::norm(mapped[0]), 12);
  EXPECT_LT(cv::norm(mapped[1] - cv::Point2f(size.width - 1, size.height - 1)), 12);
}

double Jaccard(const std::vector<cv::Point2f>& a, const std::vector<cv::Point2f>& b) {
  std::vector<cv::Point2f> common;
  const double both = cv::intersectConvexConvex(a, b, common);
  return both / (cv::contourArea(a) + cv::contourArea(b) - both);
}

TEST(FindPageCuts, StraighteningAKeystonedPageIsNeverWorseThanThePlainCut) {
  const std::vector<cv::Point> sheet = {{420, 230}, {1240, 290}, {1300, 980}, {340, 950}};
  cv::Mat scene = testing::GrainyDesk({1600, 1200}, {sheet});
  testing::DrawSheet(scene, sheet);
  const std::vector<cv::Point2f> truth(sheet.begin(), sheet.end());
  const auto plain = FindPageCuts(scene, false, false);
  const auto straight = FindPageCuts(scene, false, true);
  ASSERT_EQ(plain.size(), 1u);
  ASSERT_EQ(straight.size(), 1u);
  ASSERT_FALSE(straight[0].transform.empty()) << "the straightening was refused";
  const auto plainOutline = plain[0].Outline();
  const auto straightOutline = straight[0].Outline();
  const double plainScore = Jaccard(truth, {plainOutline.begin(), plainOutline.end()});
  const double straightScore = Jaccard(truth, {straightOutline.begin(), straightOutline.end()});
  EXPECT_GE(straightScore, plainScore);
  EXPECT_GT(straightScore, 0.992);
}

TEST(DetectDocumentRect, ASideWithoutEdgeKeepsTheRectangleSide) {
  // The sheet runs off the bottom: that side has no edge and the rectangle's own side is used.
  const std::vector<cv::Point> sheet = {{200, 150}, {600, 150}, {600, 700}, {200, 700}};
  const cv::Mat scene = testing::DeskWithSheets({sheet});
  const cv::RotatedRect page({400, 375}, {400, 450}, 0);
  cv::Size size;
  const cv::Mat transform = DetectDocumentRect(scene, page, 8.0, 9, 0, 0.2f, 3, size);
  ASSERT_FALSE(transform.empty());
  EXPECT_NEAR(size.width, 400, 10);
  EXPECT_NEAR(size.height, 450, 10);
  cv::Mat straight;
  cv::warpPerspective(scene, straight, transform, size);
  EXPECT_FALSE(straight.empty());
}

TEST(DetectDocumentRect, TrimZeroMapsTheFirstCornerToTheFarEnd) {
  const cv::Mat scene = testing::DeskWithSheets({{{200, 150}, {600, 150}, {600, 450}, {200, 450}}});
  const cv::RotatedRect page({400, 300}, {400, 300}, 0);
  cv::Size size;
  const cv::Mat transform = DetectDocumentRect(scene, page, 8.0, 9, 0, 0.2f, 3, size);
  std::vector<cv::Point2f> mapped;
  // Bottom-right and top-left of the sheet.
  cv::perspectiveTransform(std::vector<cv::Point2f>{{600, 450}, {200, 150}}, mapped, transform);
  EXPECT_LT(cv::norm(mapped[0] - cv::Point2f(size.width - 1, size.height - 1)), 10);
  EXPECT_LT(cv::norm(mapped[1]), 10);
  EXPECT_TRUE(DetectDocumentRect(cv::Mat(), page, 8.0, 9, 0, 0.2f, 3, size).empty());
}

}  // namespace
}  // namespace orvane::imaging

namespace orvane::imaging {
namespace {

TEST(IsPlausiblePageTransform, RefusesEmptySizesAndCornersFarFromThePage) {
  const cv::RotatedRect page({300, 200}, {400, 300}, 0);
  // Maps the page's own corners onto the output: plausible.
  const std::vector<cv::Point2f> pageCorners = {{100, 50}, {499, 50}, {499, 349}, {100, 349}};
  const std::vector<cv::Point2f> output = {{0, 0}, {399, 0}, {399, 299}, {0, 299}};
  const cv::Mat fitting = cv::getPerspectiveTransform(pageCorners, output);
  EXPECT_TRUE(IsPlausiblePageTransform(fitting, {400, 300}, page));
  EXPECT_FALSE(IsPlausiblePageTransform(fitting, {0, 300}, page));
  EXPECT_FALSE(IsPlausiblePageTransform(cv::Mat(), {400, 300}, page));
  // One corner thrown 200 pixels off by a stray line.
  std::vector<cv::Point2f> astray = pageCorners;
  astray[2] = {699, 549};
  EXPECT_FALSE(IsPlausiblePageTransform(cv::getPerspectiveTransform(astray, output), {400, 300},
                                        page));
  EXPECT_FALSE(IsPlausiblePageTransform(cv::Mat::zeros(3, 3, CV_64F), {400, 300}, page));
}

}  // namespace
}  // namespace orvane::imaging
