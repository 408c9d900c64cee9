// Straightening a page photographed at a slant: the real edge lines are searched near each side
// of the detected rectangle (a Hough transform restricted to the side's strip and direction) and
// their crossings are mapped onto an upright rectangle. Stateless; any thread.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace orvane::imaging {

// A straight line: x * cos(theta) + y * sin(theta) = rho.
struct LineInfo {
  float directionX = 0;  // unit direction
  float directionY = 0;
  float pointX = 0;  // a point on the line
  float pointY = 0;
  double theta = 0;  // angle of the normal, radians
  double rho = 0;
  double score = 0;  // Hough peak height 0 ... 255; 0 for a line through two points
};

LineInfo MakeLineFromPoints(cv::Point2f first, cv::Point2f second);
cv::Point2f IntersectLines(const LineInfo& a, const LineInfo& b);

// The strongest line of an 8-bit mask with at least `threshold` votes, normals between
// `smallestTheta` and `largestTheta` (radians). `lines` ends with at most that one line.
void DetectHoughLines(const cv::Mat& mask, std::vector<LineInfo>& lines, int threshold,
                      double rhoStep, double thetaStep, double smallestTheta,
                      double largestTheta);

// The 3 x 3 perspective transform (CV_64F) that maps the page found near `pageRect` onto an
// upright rectangle of `size` (less `trim` pixels on every side). Each side's line is searched in
// a strip across that side of `pageRect` in the shrunk copy, then fitted to the page's edge in the
// full picture (FitPageEdge). A side without a visible edge keeps the rectangle's own side. Empty
// for an empty picture.
cv::Mat DetectDocumentRect(const cv::Mat& picture, const cv::RotatedRect& pageRect,
                           double thresholdFactor, int medianAperture, int trim, float scale,
                           int gradientAperture, cv::Size& size);

// Whether a transform from DetectDocumentRect is worth using: an output of at least one pixel
// and every page corner it implies within a twentieth of the page's smaller side (at least 10
// pixels) of `pageRect`. A stray edge line can throw a corner far off; callers then fall back to
// the plain rotated crop.
bool IsPlausiblePageTransform(const cv::Mat& transform, cv::Size size,
                              const cv::RotatedRect& pageRect);

}  // namespace orvane::imaging
