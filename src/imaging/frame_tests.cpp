#include "imaging/frame_tests.h"

#include <vector>

#include <opencv2/imgproc.hpp>

#include "imaging/page_detection.h"

namespace orvane::imaging {

bool IsSameFrame(const cv::Mat& first, const cv::Mat& second, float changeRatio,
                 int differenceThreshold) {
  if (first.empty() || second.empty() || first.channels() != second.channels() ||
      first.size() != second.size() || first.depth() != second.depth())
    return false;
  cv::Mat difference;
  cv::absdiff(first, second, difference);
  cv::Mat changed;
  if (difference.channels() == 1) {
    changed = difference > differenceThreshold;
  } else {
    std::vector<cv::Mat> channels;
    cv::split(difference, channels);
    changed = cv::Mat::zeros(first.size(), CV_8UC1);
    for (const cv::Mat& channel : channels) changed |= channel > differenceThreshold;
  }
  const double changedPixels = cv::countNonZero(changed);
  return static_cast<double>(first.rows) * changeRatio * first.cols >= changedPixels;
}

bool IsDocumentPresent(const cv::Mat& frame, double minimumCover, double thresholdFactor,
                       int medianAperture, int gradientAperture) {
  cv::RotatedRect page;
  if (!FindDocumentBounds(frame, medianAperture, gradientAperture, kPageScale, 0.03f,
                          thresholdFactor, page))
    return false;
  const double cover = static_cast<double>(page.size.width) * page.size.height /
                       (static_cast<double>(frame.rows) * frame.cols);
  return cover > minimumCover;
}

}  // namespace orvane::imaging
