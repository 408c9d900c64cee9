#include "imaging/median_filter.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace orvane::imaging {
namespace {

TEST(MedianBlurExact, EqualsOpenCvsMedianEverywhereIncludingTheBorder) {
  cv::Mat noise(61, 87, CV_8UC1);
  cv::RNG(7).fill(noise, cv::RNG::UNIFORM, 0, 256);
  // A view with a row stride wider than its width, and a picture narrower than a block.
  const cv::Mat pictures[] = {noise, noise(cv::Rect(3, 2, 45, 37)), noise(cv::Rect(0, 0, 5, 9)),
                              cv::Mat(1, 1, CV_8UC1, cv::Scalar(42))};
  for (const cv::Mat& picture : pictures) {
    for (int aperture : {3, 5, 9, 15}) {
      cv::Mat expected;
      cv::medianBlur(picture, expected, aperture);
      // Both kernels, whichever the processor would pick.
      for (bool wide : {false, true}) {
        const cv::Mat actual = MedianBlurExact(picture, aperture, wide);
        ASSERT_EQ(actual.size(), picture.size());
        EXPECT_EQ(cv::countNonZero(actual != expected), 0)
            << picture.size() << " aperture " << aperture << (wide ? " wide" : " narrow");
      }
    }
  }
}

// Every kernel, each where the processor has it, on pictures that are noise, smooth, or flat in
// places (the coarse bins of the widest kernel meet every rank there), and wider than one block.
TEST(MedianBlurExact, EveryKernelEqualsOpenCvsMedian) {
  cv::Mat noise(53, 203, CV_8UC1);
  cv::RNG(11).fill(noise, cv::RNG::UNIFORM, 0, 256);
  cv::Mat smooth;
  cv::GaussianBlur(noise, smooth, cv::Size(15, 15), 0);
  cv::Mat steps = smooth.clone();
  steps(cv::Rect(20, 10, 90, 30)).setTo(128);
  steps(cv::Rect(130, 0, 60, 53)).setTo(255);
  steps(cv::Rect(0, 40, 50, 13)).setTo(0);
  for (const cv::Mat& picture : {noise, smooth, steps, cv::Mat(steps(cv::Rect(1, 1, 130, 50)))}) {
    for (int aperture : {3, 9, 15}) {
      cv::Mat expected;
      cv::medianBlur(picture, expected, aperture);
      for (int lanes : {16, 32, 64}) {
        const cv::Mat actual = MedianBlurExactLanes(picture, aperture, lanes);
        ASSERT_EQ(actual.size(), picture.size());
        EXPECT_EQ(cv::countNonZero(actual != expected), 0)
            << picture.size() << " aperture " << aperture << ", " << lanes << " lanes";
      }
    }
  }
}

}  // namespace
}  // namespace orvane::imaging
