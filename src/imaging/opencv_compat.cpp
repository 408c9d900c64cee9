#include "imaging/opencv_compat.h"

#include <exception>
#include <utility>

#include <opencv2/imgproc.hpp>

namespace orvane::imaging::compat {

cv::RotatedRect ToLegacyAngle(const cv::RotatedRect& rect) {
  cv::RotatedRect result = rect;
  if (rect.angle >= 0.0f && rect.angle < 90.0f) {
    // The width side turns by -90 degrees onto the other side of the rectangle.
    result.angle = rect.angle - 90.0f;
    std::swap(result.size.width, result.size.height);
  } else if (rect.angle == 90.0f) {
    // A half turn of the width direction: the same sides.
    result.angle = -90.0f;
  }
  return result;
}

cv::RotatedRect MinAreaRect(const std::vector<cv::Point>& points) {
  return ToLegacyAngle(cv::minAreaRect(points));
}

std::vector<std::vector<cv::Point>> FindOuterContours(const cv::Mat& mask) {
  std::vector<std::vector<cv::Point>> contours;
  if (mask.empty()) return contours;
  cv::Mat framed = mask.clone();
  if (framed.rows > 0 && framed.cols > 0) {
    framed.row(0).setTo(0);
    framed.row(framed.rows - 1).setTo(0);
    framed.col(0).setTo(0);
    framed.col(framed.cols - 1).setTo(0);
  }
  cv::findContours(framed, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  return contours;
}

bool WarpPerspective(const cv::Mat& source, cv::Mat& out, const cv::Mat& transform,
                     cv::Size size) {
  if (source.empty() || transform.empty() || size.width < 1 || size.height < 1) return false;
  cv::warpPerspective(source, out, transform, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                      cv::Scalar::all(255));
  return true;
}

}  // namespace orvane::imaging::compat
