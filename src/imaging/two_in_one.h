// In-memory joins of the pictures of a multi-camera view mode. (The two-in-one merge of two
// picture files is `CCaptureImageHelper::Merge2in1`.)
#pragma once

#include <opencv2/core.hpp>

namespace orvane::imaging {

// Join kinds: grey (one channel) or colour (three channels, BGR).
inline constexpr int kJoinGrey = 0;
inline constexpr int kJoinColor = CV_8UC3;

// `other` above `page`, both from the left, on a white canvas as wide as the wider one. Both are
// brought to the join kind's type first (grey through the BGR luminance). Empty when either is
// empty.
cv::Mat MergeImagesV(const cv::Mat& page, const cv::Mat& other, int joinKind);

// `second` and `third` side by side in a top strip, aligned to its bottom, `page` below it, on a
// white canvas. Empty when any of the three is empty.
cv::Mat MergeImagesH(const cv::Mat& page, const cv::Mat& second, const cv::Mat& third, int joinKind);

}  // namespace orvane::imaging
