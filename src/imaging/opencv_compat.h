// The few places where OpenCV 4 behaves differently from the OpenCV the imaging rules were tuned
// against. Every imaging source goes through these instead of calling the changed functions
// directly, so the rules that read angles and contour points behave as designed.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace orvane::imaging::compat {

// Brings a rotated rectangle into the legacy angle convention, angle in [-90, 0): OpenCV 4 gives
// minimum-area rectangles an angle in (0, 90]. The same four corners, described the old way.
cv::RotatedRect ToLegacyAngle(const cv::RotatedRect& rect);

// cv::minAreaRect in the legacy angle convention.
cv::RotatedRect MinAreaRect(const std::vector<cv::Point>& points);

// Outer contours (simple chain approximation) of an 8-bit mask. The old contour finder cleared the
// mask's 1-pixel frame first, so a region touching the border has its points at x = 1 / y = 1;
// the corner rules depend on that, so the search runs on a copy whose frame is zeroed.
std::vector<std::vector<cv::Point>> FindOuterContours(const cv::Mat& mask);

// cv::warpPerspective that refuses an output size below one pixel instead of silently using the
// source size. Where the output reaches beyond the source it is white, as in a rotated cut.
// False (and `out` untouched) on refusal or an empty source.
bool WarpPerspective(const cv::Mat& source, cv::Mat& out, const cv::Mat& transform, cv::Size size);

}  // namespace orvane::imaging::compat
