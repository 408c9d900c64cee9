// Pictures made for the screen on the calling thread: the live view does this every frame, and
// spreading a few milliseconds of work over OpenCV's worker pool costs several times the work
// itself in hand-over and spinning.
#pragma once

#include <opencv2/core.hpp>

namespace orvane {

// Each destination pixel is the mean of the source area it covers, partly covered source pixels
// weighted by their share, as OpenCV's INTER_AREA shrinks (within one grey level: the weights are
// fixed point). 8-bit pictures of 1 to 4 channels shrunk at most 8 times in either direction;
// anything else goes to cv::resize. `destination` is written into when it has the size and type
// already and lies apart from the source (its buffer must then be the caller's alone).
void ShrinkByAreaAverage(const cv::Mat& source, cv::Mat& destination, cv::Size size);

// An 8-bit BGR picture in the window system's 32-bit BGRA layout, opaque; anything else gives an
// empty picture.
void ConvertBgrToBgra(const cv::Mat& bgr, cv::Mat& bgra);

// An 8-bit BGR picture shrunk by ShrinkByAreaAverage to the size of `bgra` (8-bit, 4 channels,
// possibly a view into a larger picture) and written into it opaque: the pixels of that shrink
// followed by ConvertBgrToBgra, without the intermediate picture. Anything else writes nothing.
void ShrinkIntoBgra(const cv::Mat& bgr, cv::Mat& bgra);

}  // namespace orvane
