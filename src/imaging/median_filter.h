// A faster exact median blur for the small apertures page detection uses. Internal to imaging.
#pragma once

#include <opencv2/core.hpp>

namespace orvane::imaging {

// The same result as cv::medianBlur (replicated border) for one-channel 8-bit pictures and odd
// apertures up to 15, computed bit by bit over 16 pixels at a time, or 32 where the processor has
// AVX2 and `allowWide` is set; anything else goes to cv::medianBlur itself.
cv::Mat MedianBlurExact(const cv::Mat& source, int aperture, bool allowWide = true);

}  // namespace orvane::imaging
