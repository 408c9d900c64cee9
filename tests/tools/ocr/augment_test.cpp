#include "ocr/augment.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace orvane::ocrtools {
namespace {

cv::Mat Square() {
  cv::Mat grey(40, 40, CV_8UC1, cv::Scalar(0));
  cv::rectangle(grey, cv::Rect(10, 10, 20, 20), cv::Scalar(255), cv::FILLED);
  cv::GaussianBlur(grey, grey, cv::Size(5, 5), 1.5);
  return grey;
}

bool OnlyBlackAndWhite(const cv::Mat& picture) {
  return cv::countNonZero(picture == 0) + cv::countNonZero(picture == 255) == static_cast<int>(picture.total());
}

TEST(SampleRandom, SameSeedSameNumbersInRange) {
  SampleRandom a(42), b(42), c(43);
  for (int i = 0; i < 100; ++i) {
    const double value = a.Uniform(-2.0, 3.0);
    EXPECT_EQ(value, b.Uniform(-2.0, 3.0));
    EXPECT_GE(value, -2.0);
    EXPECT_LT(value, 3.0);
  }
  EXPECT_NE(SampleRandom(42).Next(), c.Next());
}

TEST(Degrade, ThresholdGivesBlackAndWhiteAndMovesTheEdge) {
  const cv::Mat grey = Square();
  const cv::Mat low = Degrade(grey, {.threshold = 40}, 1);
  const cv::Mat high = Degrade(grey, {.threshold = 220}, 1);
  EXPECT_TRUE(OnlyBlackAndWhite(low));
  EXPECT_TRUE(OnlyBlackAndWhite(high));
  EXPECT_GT(cv::countNonZero(low), cv::countNonZero(high));
}

TEST(Degrade, ThresholdZeroKeepsGreyOnACleanBackground) {
  const cv::Mat picture = Degrade(Square(), {.noiseSigma = 6, .threshold = 0}, 7);
  EXPECT_FALSE(OnlyBlackAndWhite(picture));
  EXPECT_EQ(cv::countNonZero(picture.row(0)), 0);
}

TEST(Degrade, GreyOnPaperIsCutToTheInkAndKeepsThePaperLevel) {
  const cv::Mat picture = Degrade(Square(), {.threshold = 0, .paper = 40}, 1);
  // The square's half-intensity edge bounds it: 20 x 20, of which no pixel is below the paper.
  EXPECT_NEAR(picture.cols, 20, 1);
  EXPECT_NEAR(picture.rows, 20, 1);
  double minimum = 0, maximum = 0;
  cv::minMaxLoc(picture, &minimum, &maximum);
  EXPECT_GE(minimum, 40);
  EXPECT_EQ(maximum, 255);
}

TEST(Degrade, NoiseFollowsItsSeed) {
  const Distortion noisy{.blurSigma = 0.8, .noiseSigma = 30, .threshold = 128};
  const cv::Mat a = Degrade(Square(), noisy, 5);
  EXPECT_EQ(cv::countNonZero(a != Degrade(Square(), noisy, 5)), 0);
  EXPECT_GT(cv::countNonZero(a != Degrade(Square(), noisy, 6)), 0);
}

TEST(RandomDistortion, StaysMild) {
  SampleRandom random(9);
  for (int i = 0; i < 200; ++i) {
    const Distortion d = RandomDistortion(random, 40);
    EXPECT_LE(std::abs(d.degrees), 4.0);
    EXPECT_LE(std::abs(d.embolden), 1.5);
    EXPECT_NEAR(d.widthScale, 1.0, 0.12);
    EXPECT_TRUE(d.slant >= -0.05 && d.slant <= 0.15);
    EXPECT_TRUE(d.threshold == 0 || (d.threshold >= 90 && d.threshold < 170));
  }
}

// A dim, blurred, noisy camera look still gives the character's box, ink bright on black, as a
// clean scan does: the page's normalisation undoes the look.
TEST(PageCandidate, ACameraLookGivesTheCandidateACleanScanGives) {
  cv::Mat glyph(40, 40, CV_8UC1, cv::Scalar(0));
  cv::rectangle(glyph, cv::Rect(8, 8, 24, 24), cv::Scalar(255), 3);
  const cv::Mat clean = PageCandidate(glyph, PageLook{}, 1);
  const cv::Mat camera =
      PageCandidate(glyph, {.paper = 180, .inkShare = 0.5, .blurSigma = 1.0, .noiseSigma = 4, .jpegQuality = 80}, 1);
  const cv::Rect ink = cv::boundingRect(glyph);
  for (const cv::Mat* picture : {&clean, &camera}) {
    ASSERT_FALSE(picture->empty());
    EXPECT_NEAR(picture->cols, ink.width, 2);
    EXPECT_NEAR(picture->rows, ink.height, 2);
    double brightest = 0;
    cv::minMaxLoc(picture->row(picture->rows / 2).colRange(0, 6), nullptr, &brightest);
    EXPECT_GE(brightest, 240);  // the left stroke
    EXPECT_EQ(picture->at<std::uint8_t>(picture->rows / 2, picture->cols / 2), 0);  // inside
  }
  EXPECT_TRUE(PageCandidate(cv::Mat(40, 40, CV_8UC1, cv::Scalar(0)), PageLook{}, 1).empty());
}

}  // namespace
}  // namespace orvane::ocrtools
