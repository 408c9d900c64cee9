#include "camera/video_recorder.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct LetterboxCase {
  int pictureWidth, pictureHeight, width, height;
  IntRect expected;
};

TEST(LetterboxTest, FitsAndCentresThePicture) {
  const LetterboxCase cases[] = {
      {1600, 1200, 640, 480, {0, 0, 640, 480}},    // same shape: fills the frame
      {1000, 1000, 640, 480, {80, 0, 560, 480}},   // taller: bands left and right
      {1920, 1080, 640, 480, {0, 60, 640, 420}},   // wider: bands above and below
      {320, 240, 640, 480, {0, 0, 640, 480}},      // smaller: scaled up
      {0, 240, 640, 480, {0, 0, 0, 0}},            // no picture: nothing drawn
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LetterboxRect(c.pictureWidth, c.pictureHeight, c.width, c.height), c.expected)
        << c.pictureWidth << " x " << c.pictureHeight << " into " << c.width << " x " << c.height;
  }
}

TEST(LetterboxTest, BandsStayBlackAndThePictureFillsTheRest) {
  const cv::Mat white(1000, 1000, CV_8UC3, cv::Scalar::all(255));
  const cv::Mat frame = StretchToSample(white, 640, 480);
  ASSERT_EQ(frame.size(), cv::Size(640, 480));
  ASSERT_EQ(frame.type(), CV_8UC3);
  EXPECT_EQ(cv::countNonZero(frame.reshape(1)(cv::Rect(0, 0, 80 * 3, 480))), 0);
  EXPECT_EQ(cv::countNonZero(frame.reshape(1)(cv::Rect(560 * 3, 0, 80 * 3, 480))), 0);
  EXPECT_EQ(cv::countNonZero(frame.reshape(1)(cv::Rect(80 * 3, 0, 480 * 3, 480))), 480 * 480 * 3);
}

TEST(LetterboxTest, GreyAndMissingPicturesGiveBgrFrames) {
  const cv::Mat grey(10, 10, CV_8UC1, cv::Scalar(200));
  const cv::Mat frame = StretchToSample(grey, 20, 10);
  ASSERT_EQ(frame.type(), CV_8UC3);
  EXPECT_EQ(frame.at<cv::Vec3b>(5, 10), cv::Vec3b(200, 200, 200));
  EXPECT_EQ(frame.at<cv::Vec3b>(5, 2), cv::Vec3b(0, 0, 0));

  const cv::Mat black = StretchToSample(cv::Mat(), 8, 6);
  ASSERT_EQ(black.size(), cv::Size(8, 6));
  EXPECT_EQ(cv::countNonZero(black.reshape(1)), 0);
}

TEST(PictureQueueTest, DropsTheOldestWhenFull) {
  CPictureQueue queue(3);
  for (int i = 0; i < 5; ++i) queue.Push(cv::Mat(1, 1, CV_8UC1, cv::Scalar(i)));
  EXPECT_EQ(queue.Size(), 3u);
  for (int expected : {2, 3, 4}) {
    const auto picture = queue.TakeOldest();
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->at<std::uint8_t>(0, 0), expected);
  }
  EXPECT_FALSE(queue.TakeOldest().has_value());
}

}  // namespace
}  // namespace orvane
