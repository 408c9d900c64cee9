// A faster exact median blur for the small apertures page detection uses. Internal to imaging.
#pragma once

#include <opencv2/core.hpp>

namespace orvane::imaging {

// The same result as cv::medianBlur (replicated border) for one-channel 8-bit pictures and odd
// apertures up to 15, computed bit by bit over 16 pixels at a time, or, where `allowWide` is set,
// over 32 where the processor has AVX2 and 64 (the top four bits from running box counts) where
// it has AVX-512BW; anything else goes to cv::medianBlur itself.
cv::Mat MedianBlurExact(const cv::Mat& source, int aperture, bool allowWide = true);

// The same with the kernel of `lanes` pixels at a time (16, 32 or 64); a kernel the processor
// cannot run gives way to the next narrower one.
cv::Mat MedianBlurExactLanes(const cv::Mat& source, int aperture, int lanes);

}  // namespace orvane::imaging
