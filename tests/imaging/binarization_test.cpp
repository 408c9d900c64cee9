#include "imaging/binarization.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace orvane::imaging {
namespace {

// A grey page lit from one side, with text-like strokes; `ink` marks the strokes.
cv::Mat GradientPage(cv::Mat& ink, int low, int high, int inkValue) {
  cv::Mat page(240, 320, CV_8UC1);
  for (int x = 0; x < page.cols; ++x)
    page.col(x).setTo(low + (high - low) * x / (page.cols - 1));
  ink = cv::Mat::zeros(page.size(), CV_8UC1);
  for (int line = 0; line < 6; ++line) {
    const int y = 40 + line * 30;
    cv::putText(ink, "Lorem ipsum dolor", {20, y}, cv::FONT_HERSHEY_SIMPLEX, 0.8, 255, 2,
                cv::LINE_8);
  }
  page.setTo(inkValue, ink);
  return page;
}

TEST(BinarizeDocument, SeparatesInkFromAStronglyGradedPaper) {
  cv::Mat ink;
  const cv::Mat page = GradientPage(ink, 110, 240, 35);
  for (const cv::Mat& source : {page, cv::Mat()}) {
    if (source.empty()) {
      EXPECT_TRUE(BinarizeDocument(source, 21, 301, 0.5).empty());
      continue;
    }
    const cv::Mat bw = BinarizeDocument(source, 21, 301, 0.5);
    ASSERT_EQ(bw.size(), page.size());
    ASSERT_EQ(bw.type(), CV_8UC1);
    EXPECT_EQ(cv::countNonZero((bw != 0) & (bw != 255)), 0);
    const cv::Mat truth = ~ink;
    const double right = cv::countNonZero(bw == truth) / static_cast<double>(page.total());
    EXPECT_GT(right, 0.99);
  }
}

TEST(BinarizeDocument, ColourPagesAndPicturesTooSmallForTheBackgroundCopy) {
  cv::Mat ink;
  cv::Mat colour;
  cv::cvtColor(GradientPage(ink, 150, 230, 30), colour, cv::COLOR_GRAY2BGR);
  const cv::Mat bw = BinarizeDocument(colour, 21, 301, 0.4);
  EXPECT_GT(cv::countNonZero(bw == ~ink) / static_cast<double>(bw.total()), 0.99);

  cv::Mat tiny(8, 9, CV_8UC1, cv::Scalar(200));
  tiny.at<uchar>(4, 4) = 10;
  const cv::Mat small = BinarizeDocument(tiny, 21, 301, 0.5);
  ASSERT_EQ(small.size(), tiny.size());
  EXPECT_EQ(cv::countNonZero((small != 0) & (small != 255)), 0);
  EXPECT_EQ(small.at<uchar>(4, 4), 0);
  EXPECT_EQ(small.at<uchar>(0, 0), 255);
}

TEST(RemoveSmallSpecks, CountsDiagonalNeighboursAsOneSpeck) {
  cv::Mat picture(40, 40, CV_8UC1, cv::Scalar(255));
  for (int i = 0; i < 4; ++i) picture.at<uchar>(5 + i, 5 + i) = 0;    // 4 pixels, a diagonal
  for (int i = 0; i < 5; ++i) picture.at<uchar>(20 + i, 25 - i) = 0;  // 5 pixels, the other way
  picture.at<uchar>(35, 35) = 124;                                    // dark enough to be ink
  picture.at<uchar>(35, 5) = 125;                                     // not ink
  ASSERT_TRUE(RemoveSmallSpecks(picture, 5));
  EXPECT_EQ(cv::countNonZero(picture(cv::Rect(0, 0, 15, 15)) != 255), 0);
  EXPECT_EQ(cv::countNonZero(picture(cv::Rect(15, 15, 15, 15)) == 0), 5);
  EXPECT_EQ(picture.at<uchar>(35, 35), 255);
  EXPECT_EQ(picture.at<uchar>(35, 5), 125);

  cv::Mat unchanged = picture.clone();
  EXPECT_TRUE(RemoveSmallSpecks(unchanged, 0));
  EXPECT_EQ(cv::countNonZero(unchanged != picture), 0);
  cv::Mat colour(4, 4, CV_8UC3);
  EXPECT_FALSE(RemoveSmallSpecks(colour, 5));
}

TEST(CleanBorderStrips, WhitensOnlyLongDarkRunsAlongTheBorder) {
  struct Case {
    cv::Rect line;
    bool whitened;
  };
  const Case cases[] = {
      {{10, 5, 30, 1}, true},    // top strip, long
      {{10, 5, 15, 1}, false},   // top strip, short
      {{10, 25, 30, 1}, false},  // below the strip
      {{40, 95, 30, 2}, true},   // bottom strip
      {{3, 30, 1, 30}, true},    // left strip, vertical
      {{96, 30, 1, 15}, false},  // right strip, short
  };
  for (const Case& c : cases) {
    cv::Mat picture(100, 100, CV_8UC1, cv::Scalar(255));
    picture(c.line).setTo(0);
    ASSERT_TRUE(CleanBorderStrips(picture, 20, 21));
    EXPECT_EQ(cv::countNonZero(picture == 0), c.whitened ? 0 : c.line.area()) << c.line;
    EXPECT_EQ(cv::countNonZero((picture != 0) & (picture != 255)), 0);
  }
  cv::Mat empty;
  EXPECT_FALSE(CleanBorderStrips(empty, 20, 21));
  cv::Mat tiny(12, 30, CV_8UC1, cv::Scalar(0));
  EXPECT_TRUE(CleanBorderStrips(tiny, 20, 21));
}

TEST(WhitenBackground, FlattensPaperTo245AndKeepsThinInk) {
  cv::Mat ink;
  const cv::Mat page = GradientPage(ink, 150, 230, 60);
  cv::Mat out;
  ASSERT_TRUE(CImageProcess().WhitenBackground(page, out));
  ASSERT_EQ(out.size(), page.size());
  ASSERT_EQ(out.type(), CV_8UC1);
  // Paper well away from the strokes and from the picture's edge.
  cv::Mat nearInk;
  cv::dilate(ink, nearInk, cv::Mat(), {-1, -1}, 8);
  cv::Mat paper = ~nearInk;
  paper(cv::Rect(0, 0, page.cols, page.rows)).colRange(0, 12).setTo(0);
  paper.colRange(page.cols - 12, page.cols).setTo(0);
  cv::Mat far = cv::abs(out - 245) + cv::abs(245 - out);
  EXPECT_LE(cv::countNonZero((far > 8) & paper), paper.total() / 100);
  EXPECT_GT(cv::countNonZero((out == 60) & ink), cv::countNonZero(ink) * 9 / 10);

  cv::Mat colour;
  cv::cvtColor(page, colour, cv::COLOR_GRAY2BGR);
  ASSERT_TRUE(CImageProcess().WhitenBackground(colour, out));
  EXPECT_EQ(out.type(), CV_8UC3);

  cv::Mat untouched(3, 3, CV_8UC1, cv::Scalar(9));
  EXPECT_FALSE(CImageProcess().WhitenBackground(cv::Mat(), untouched));
  EXPECT_EQ(untouched.at<uchar>(0, 0), 9);
}

}  // namespace
}  // namespace orvane::imaging
