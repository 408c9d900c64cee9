// The two frame tests continuous shooting uses to decide when a new page has come to rest.
// Stateless; any thread.
#pragma once

#include <opencv2/core.hpp>

namespace orvane::imaging {

// True when at most rows x columns x `changeRatio` pixels differ by more than
// `differenceThreshold` in any channel. False for empty frames or frames of different size or
// channel count.
bool IsSameFrame(const cv::Mat& first, const cv::Mat& second, float changeRatio,
                 int differenceThreshold);

// True when a page is found whose rectangle covers more than `minimumCover` of the frame.
bool IsDocumentPresent(const cv::Mat& frame, double minimumCover, double thresholdFactor,
                       int medianAperture, int gradientAperture);

}  // namespace orvane::imaging
