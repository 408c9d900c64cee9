#include "imaging/frame_tests.h"

#include <gtest/gtest.h>

#include "synthetic_pages.h"

namespace orvane::imaging {
namespace {

TEST(IsSameFrame, CountsPixelsChangedByMoreThanTheThreshold) {
  struct Case {
    int pixels;
    int difference;
    bool same;
  };
  const Case cases[] = {
      {500, 51, true},    // 500 <= 100 * 100 * 0.05
      {501, 51, false},
      {2000, 50, true},   // a difference of exactly the threshold is no change
      {0, 0, true},
  };
  const cv::Mat first(100, 100, CV_8UC3, cv::Scalar(100, 100, 100));
  for (const Case& c : cases) {
    cv::Mat second = first.clone();
    for (int i = 0; i < c.pixels; ++i)
      second.at<cv::Vec3b>(i / 100, i % 100)[i % 3] = static_cast<uchar>(100 + c.difference);
    EXPECT_EQ(IsSameFrame(first, second, 0.05f, 50), c.same) << c.pixels << " by " << c.difference;
  }
  // A pixel changed in all three channels counts once.
  cv::Mat second = first.clone();
  second(cv::Rect(0, 0, 100, 5)).setTo(cv::Scalar(200, 200, 200));
  EXPECT_TRUE(IsSameFrame(first, second, 0.05f, 50));
}

TEST(IsSameFrame, RefusesEmptyAndMismatchedFrames) {
  const cv::Mat frame(20, 30, CV_8UC3, cv::Scalar::all(9));
  EXPECT_FALSE(IsSameFrame(frame, cv::Mat(), 0.05f, 50));
  EXPECT_FALSE(IsSameFrame(cv::Mat(), cv::Mat(), 0.05f, 50));
  EXPECT_FALSE(IsSameFrame(frame, cv::Mat(30, 20, CV_8UC3, cv::Scalar::all(9)), 0.05f, 50));
  EXPECT_FALSE(IsSameFrame(frame, cv::Mat(20, 30, CV_8UC1, cv::Scalar::all(9)), 0.05f, 50));
  EXPECT_TRUE(IsSameFrame(frame, frame.clone(), 0.0f, 50));
  const cv::Mat grey(20, 30, CV_8UC1, cv::Scalar::all(9));
  EXPECT_TRUE(IsSameFrame(grey, grey.clone(), 0.0f, 50));
}

TEST(IsDocumentPresent, NeedsAPageCoveringMoreThanTheMinimum) {
  const cv::Mat withPage = testing::DeskWithSheets({testing::SheetCorners({400, 300}, {300, 220}, 10)});
  EXPECT_TRUE(IsDocumentPresent(withPage, 0.04, 8.0, 9, 3));
  EXPECT_FALSE(IsDocumentPresent(withPage, 0.5, 8.0, 9, 3)) << "a page of about 14 % of the frame";
  EXPECT_FALSE(IsDocumentPresent(testing::TexturedDesk(), 0.04, 8.0, 9, 3));
  EXPECT_FALSE(IsDocumentPresent(cv::Mat(), 0.04, 8.0, 9, 3));
}

}  // namespace
}  // namespace orvane::imaging
