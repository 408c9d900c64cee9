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

}  // namespace
}  // namespace orvane::imaging
