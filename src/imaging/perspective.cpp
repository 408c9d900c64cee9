#include "imaging/perspective.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <optional>

#include <opencv2/imgproc.hpp>

#include "imaging/conversions.h"
#include "imaging/median_filter.h"
#include "imaging/page_detection.h"

namespace orvane::imaging {

LineInfo MakeLineFromPoints(cv::Point2f first, cv::Point2f second) {
  LineInfo line;
  const double dx = second.x - first.x;
  const double dy = second.y - first.y;
  const double length = std::sqrt(dx * dx + dy * dy);
  if (length > 0) {
    line.directionX = static_cast<float>(dx / length);
    line.directionY = static_cast<float>(dy / length);
  }
  line.pointX = first.x;
  line.pointY = first.y;
  if (dy != 0) {
    const double f = -dx / dy;
    const double c = first.x - first.y * dx / dy;
    const double m = std::sqrt(1 + f * f);
    line.theta = std::atan2(f / m, 1 / m);
    line.rho = c / m;
  } else {
    line.theta = std::atan2(1.0, 0.0);
    line.rho = first.y;
  }
  return line;
}

cv::Point2f IntersectLines(const LineInfo& a, const LineInfo& b) {
  const double ca = std::cos(a.theta);
  const double sa = std::sin(a.theta);
  const double cb = std::cos(b.theta);
  const double sb = std::sin(b.theta);
  return {static_cast<float>((a.rho * sb - b.rho * sa) / (sb * ca - cb * sa)),
          static_cast<float>((a.rho * cb - b.rho * ca) / (cb * sa - sb * ca))};
}

void DetectHoughLines(const cv::Mat& mask, std::vector<LineInfo>& lines, int threshold,
                      double rhoStep, double thetaStep, double smallestTheta,
                      double largestTheta) {
  lines.clear();
  if (mask.empty() || rhoStep <= 0 || thetaStep <= 0) return;
  CV_Assert(mask.type() == CV_8UC1);
  const int half =
      static_cast<int>(std::sqrt(double(mask.rows) * mask.rows + double(mask.cols) * mask.cols) /
                       rhoStep) +
      1;
  const int samples = static_cast<int>((largestTheta - smallestTheta) / thetaStep) - 1;
  if (samples <= 0) return;
  std::vector<double> cosines(samples);
  std::vector<double> sines(samples);
  for (int k = 0; k < samples; ++k) {
    cosines[k] = std::cos(smallestTheta + k * thetaStep);
    sines[k] = std::sin(smallestTheta + k * thetaStep);
  }
  cv::Mat votes = cv::Mat::zeros(samples, 2 * half + 1, CV_64FC1);
  std::vector<cv::Point> set;
  cv::findNonZero(mask, set);
  for (const cv::Point& p : set) {
    const uchar value = mask.at<uchar>(p);
    const double weight = value == 255 ? 1.0 : value;
    for (int k = 0; k < samples; ++k) {
      const double position = half + (p.x * cosines[k] + p.y * sines[k]) / rhoStep;
      const int bin = static_cast<int>(position);
      double* row = votes.ptr<double>(k);
      row[bin] += weight * (bin + 1 - position);
      row[bin + 1] += weight * (position - bin);
    }
  }
  double maximum = 0;
  cv::minMaxLoc(votes, nullptr, &maximum);
  if (maximum == 0) return;
  cv::Mat levels;
  votes.convertTo(levels, CV_8U, 255.0 / maximum);
  const int side = std::max(static_cast<int>(5 / rhoStep), 1);
  cv::Mat dilated;
  cv::dilate(levels, dilated, cv::getStructuringElement(cv::MORPH_RECT, {side, side}));

  // Scan order (theta sample, then bin) decides among equal peaks: the first strict maximum wins.
  int bestScore = -1;
  for (int k = 0; k < samples; ++k) {
    const uchar* level = levels.ptr<uchar>(k);
    const uchar* local = dilated.ptr<uchar>(k);
    const double* raw = votes.ptr<double>(k);
    for (int bin = 0; bin <= 2 * half; ++bin) {
      if (level[bin] != local[bin] || raw[bin] < threshold || level[bin] <= bestScore) continue;
      bestScore = level[bin];
      LineInfo line;
      line.theta = smallestTheta + k * thetaStep;
      line.rho = rhoStep * (bin - half);
      line.directionX = static_cast<float>(-std::sin(line.theta));
      line.directionY = static_cast<float>(std::cos(line.theta));
      line.pointX = static_cast<float>(line.rho * std::cos(line.theta));
      line.pointY = static_cast<float>(line.rho * std::sin(line.theta));
      line.score = level[bin];
      lines.assign(1, line);
    }
  }
}

namespace {

// Whether an edge pixel's direction (gradient phase turned to run along the edge) fits a side
// running at `expected` degrees.
bool DirectionFits(float phase, double expected) {
  double g = phase + 90.0;
  if (g > 90) g -= 180;
  else if (g < -90) g += 180;
  return std::abs(g - expected) < 20 || (g > 70 && std::abs(g - 180 - expected) < 20) ||
         (g < -70 && std::abs(g + 180 - expected) < 20);
}

}  // namespace

cv::Mat DetectDocumentRect(const cv::Mat& picture, const cv::RotatedRect& pageRect,
                           double thresholdFactor, int medianAperture, int trim, float scale,
                           int gradientAperture, cv::Size& size) {
  if (picture.empty()) return {};
  const double s = scale < 0.1f ? 0.1 : scale;

  cv::Mat grey = ToGrey(picture, GreyConversion::kBgrToGrey);
  cv::Mat small;
  cv::resize(grey, small, cv::Size(), s, s, cv::INTER_LINEAR);
  small = MedianBlurExact(small, medianAperture);
  cv::Mat gx;
  cv::Mat gy;
  cv::Sobel(small, gx, CV_32F, 1, 0, gradientAperture);
  cv::Sobel(small, gy, CV_32F, 0, 1, gradientAperture);
  const cv::Mat magnitude = cv::abs(gx) + cv::abs(gy);
  cv::Mat phase;
  cv::phase(gx, gy, phase, true);
  cv::Scalar mean;
  cv::Scalar deviation;
  cv::meanStdDev(magnitude, mean, deviation);
  const cv::Mat edges = magnitude > mean[0] + thresholdFactor * std::sqrt(deviation[0]);

  const float fs = static_cast<float>(s);
  const cv::RotatedRect rect(pageRect.center * fs, pageRect.size * fs, pageRect.angle);
  const float cx = rect.center.x;
  const float cy = rect.center.y;
  const float w = rect.size.width;
  const float h = rect.size.height;
  // A small page's strips are shallower, so that its print (a card's band, its portrait) stays out
  // of them; the edge of a slanted page strays from the rectangle in proportion to its size.
  const int depth =
      std::min(static_cast<int>(s * 160), std::max(8, static_cast<int>(0.15f * std::min(w, h))));
  const cv::Point2f topLeft = RotatePointAboutCenter(rect, cx - w / 2, cy - h / 2);
  const cv::Point2f topRight = RotatePointAboutCenter(rect, cx + w / 2, cy - h / 2);
  const cv::Point2f bottomRight = RotatePointAboutCenter(rect, cx + w / 2, cy + h / 2);
  const cv::Point2f bottomLeft = RotatePointAboutCenter(rect, cx - w / 2, cy + h / 2);
  struct Side {
    cv::Point2f centre;
    cv::Size2f size;
    double direction;
    cv::Point2f from;
    cv::Point2f to;
  };
  // The strips lie across the rectangle's sides: page detection fits its sides to the page's
  // edges, so a side's edge lies within half a strip of it either way.
  const std::array<Side, 4> sides = {{
      {RotatePointAboutCenter(rect, cx, cy - h / 2), {w, float(depth)}, rect.angle,
       topLeft, topRight},
      {RotatePointAboutCenter(rect, cx + w / 2, cy), {float(depth), h}, rect.angle + 90.0,
       topRight, bottomRight},
      {RotatePointAboutCenter(rect, cx, cy + h / 2), {w, float(depth)}, rect.angle,
       bottomRight, bottomLeft},
      {RotatePointAboutCenter(rect, cx - w / 2, cy), {float(depth), h}, rect.angle + 90.0,
       bottomLeft, topLeft},
  }};

  std::array<LineInfo, 4> lines;
  std::array<std::optional<LineInfo>, 4> refined;
  std::vector<LineInfo> found;
  for (std::size_t i = 0; i < sides.size(); ++i) {
    const Side& side = sides[i];
    double expected = side.direction;
    if (expected > 90) expected -= 180;
    else if (expected < -90) expected += 180;
    const cv::RotatedRect strip(side.centre, side.size, rect.angle);
    cv::Mat stripMask = cv::Mat::zeros(small.size(), CV_8UC1);
    cv::fillPoly(stripMask, std::vector<std::vector<cv::Point>>{RotatedRectPolygon(strip)},
                 cv::Scalar(255));
    cv::Mat sideMask = cv::Mat::zeros(small.size(), CV_8UC1);
    for (int y = 0; y < small.rows; ++y) {
      const uchar* edge = edges.ptr<uchar>(y);
      const uchar* inside = stripMask.ptr<uchar>(y);
      const float* direction = phase.ptr<float>(y);
      uchar* out = sideMask.ptr<uchar>(y);
      for (int x = 0; x < small.cols; ++x)
        if (edge[x] && inside[x] && DirectionFits(direction[x], expected)) out[x] = 255;
    }
    const double degrees = CV_PI / 180.0;
    DetectHoughLines(sideMask, found,
                     static_cast<int>(std::max(side.size.width, side.size.height) / 3), 1.0,
                     0.2 * degrees, (expected + 80) * degrees, (expected + 100) * degrees);
    lines[i] = found.empty() ? MakeLineFromPoints(side.from, side.to) : found.front();
  }

  // Each line onto the page's edge in the full picture, where the shrunk copy's pixels allow.
  const cv::Point2f centre = pageRect.center;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const cv::Point2f a = IntersectLines(lines[i], lines[(i + 3) % 4]) * (1 / s);
    const cv::Point2f b = IntersectLines(lines[i], lines[(i + 1) % 4]) * (1 / s);
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) continue;
    cv::Point2f from;
    cv::Point2f to;
    if (FitPageEdge(picture, a, b, centre, static_cast<float>(3 / s), from, to))
      refined[i] = MakeLineFromPoints(from * static_cast<float>(s), to * static_cast<float>(s));
  }
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (refined[i]) lines[i] = *refined[i];

  std::vector<cv::Point2f> corners(4);
  for (int i = 0; i < 4; ++i) corners[i] = IntersectLines(lines[i], lines[(i + 1) % 4]) * (1 / s);
  const cv::Point2f centroid =
      std::accumulate(corners.begin(), corners.end(), cv::Point2f()) * 0.25f;
  const auto angleOf = [&centroid](const cv::Point2f& p) {
    double a = std::atan2(p.y - centroid.y, p.x - centroid.x);
    return a < 0 ? a + 2 * CV_PI : a;
  };
  std::sort(corners.begin(), corners.end(),
            [&](const cv::Point2f& a, const cv::Point2f& b) { return angleOf(a) < angleOf(b); });

  const int width = static_cast<int>(cv::norm(corners[0] - corners[1])) - 2 * trim;
  const int height = static_cast<int>(cv::norm(corners[1] - corners[2])) - 2 * trim;
  const float right = float(width + trim - 1);
  const float bottom = float(height + trim - 1);
  const std::vector<cv::Point2f> targets = {
      {right, bottom}, {float(-trim), bottom}, {float(-trim), float(-trim)}, {right, float(-trim)}};
  size = cv::Size(width, height);
  return cv::getPerspectiveTransform(corners, targets);
}

bool IsPlausiblePageTransform(const cv::Mat& transform, cv::Size size,
                              const cv::RotatedRect& page) {
  if (transform.empty() || size.width < 1 || size.height < 1) return false;
  cv::Mat inverse;
  if (cv::invert(transform, inverse, cv::DECOMP_LU) == 0) return false;
  const std::vector<cv::Point2f> outputCorners = {
      {0, 0},
      {float(size.width - 1), 0},
      {float(size.width - 1), float(size.height - 1)},
      {0, float(size.height - 1)}};
  std::vector<cv::Point2f> corners;
  cv::perspectiveTransform(outputCorners, corners, inverse);
  const auto polygon = RotatedRectPolygon(page);
  const double tolerance =
      std::max(10.0, 0.05 * std::min(page.size.width, page.size.height));
  for (const cv::Point2f& corner : corners) {
    if (!std::isfinite(corner.x) || !std::isfinite(corner.y)) return false;
    if (cv::pointPolygonTest(polygon, corner, true) < -tolerance) return false;
  }
  return true;
}

}  // namespace orvane::imaging
