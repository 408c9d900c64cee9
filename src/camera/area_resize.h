// Shrinking a picture for the screen by area averaging, on the calling thread.
#pragma once

#include <opencv2/core.hpp>

namespace orvane {

// Each destination pixel is the mean of the source area it covers, partly covered source pixels
// weighted by their share, as OpenCV's INTER_AREA shrinks (within one grey level: the weights are
// fixed point). 8-bit pictures of 1 to 4 channels, destination no larger than the source in
// either direction; anything else goes to cv::resize. Runs on the calling thread only: the live
// view shrinks every frame, and spreading that over OpenCV's worker pool costs several times the
// work itself in hand-over and spinning.
void ShrinkByAreaAverage(const cv::Mat& source, cv::Mat& destination, cv::Size size);

}  // namespace orvane
