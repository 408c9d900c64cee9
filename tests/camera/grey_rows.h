// What a frame the camera ended early looks like once decoded.
#pragma once

#include <opencv2/core.hpp>

namespace orvane::testing {

// libjpeg-turbo fills the rows a camera left out of a frame with mid-grey: true when the picture's
// last row is all of that grey.
inline bool EndsInGreyRows(const cv::Mat& picture) {
  return !picture.empty() && cv::countNonZero(picture.row(picture.rows - 1).reshape(1) != 128) == 0;
}

}  // namespace orvane::testing
