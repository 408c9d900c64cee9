#include "imaging/page_detection.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "imaging/median_filter.h"
#include "imaging/opencv_compat.h"

namespace orvane::imaging {

namespace {

using Contour = std::vector<cv::Point>;

// Below this the shrunk copy has no room for the median and Sobel apertures.
constexpr int kSmallestShrunkSide = 3;

// The closed edge mask of the shrunk picture: summed gradients of every channel, thresholded at
// mean + k * sqrt(deviation), then closed once.
cv::Mat ClosedEdgeMask(const cv::Mat& shrunk, int medianAperture, int gradientAperture,
                       double thresholdFactor) {
  std::vector<cv::Mat> channels;
  cv::split(shrunk, channels);
  cv::Mat sum = cv::Mat::zeros(shrunk.size(), CV_32FC1);
  cv::Mat dx;
  cv::Mat dy;
  // Derivatives of 8-bit channels are whole numbers: 16-bit results summed into floats give
  // exactly the float derivatives' sum, faster.
  const int derivativeDepth = gradientAperture <= 3 ? CV_16S : CV_32F;
  for (cv::Mat& channel : channels) {
    channel = MedianBlurExact(channel, medianAperture);
    cv::Sobel(channel, dx, derivativeDepth, 1, 0, gradientAperture);
    cv::Sobel(channel, dy, derivativeDepth, 0, 1, gradientAperture);
    for (int y = 0; y < sum.rows; ++y) {
      float* total = sum.ptr<float>(y);
      if (derivativeDepth == CV_16S) {
        const short* gx = dx.ptr<short>(y);
        const short* gy = dy.ptr<short>(y);
        for (int x = 0; x < sum.cols; ++x)
          total[x] += static_cast<float>(std::abs(gx[x]) + std::abs(gy[x]));
      } else {
        const float* gx = dx.ptr<float>(y);
        const float* gy = dy.ptr<float>(y);
        for (int x = 0; x < sum.cols; ++x) total[x] += std::abs(gx[x]) + std::abs(gy[x]);
      }
    }
  }
  cv::Scalar mean;
  cv::Scalar deviation;
  cv::meanStdDev(sum, mean, deviation);
  // The square root of the deviation itself keeps the threshold low on busy desks; tuned so.
  const double threshold = mean[0] + thresholdFactor * std::sqrt(deviation[0]);
  cv::Mat edges;
  cv::threshold(sum, edges, threshold, 255, cv::THRESH_BINARY);
  edges.convertTo(edges, CV_8U);
  cv::dilate(edges, edges, cv::Mat());
  cv::erode(edges, edges, cv::Mat());
  return edges;
}

// Clears every edge 8-connected to the picture's border (explicit stack, no recursion).
cv::Mat FloodFromBorder(const cv::Mat& closed) {
  cv::Mat mask = closed.clone();
  const int rows = mask.rows;
  const int cols = mask.cols;
  std::vector<cv::Point> stack;
  stack.reserve(2 * (rows + cols));
  for (int x = 0; x < cols; ++x) {
    stack.emplace_back(x, 0);
    stack.emplace_back(x, rows - 1);
  }
  for (int y = 0; y < rows; ++y) {
    stack.emplace_back(0, y);
    stack.emplace_back(cols - 1, y);
  }
  while (!stack.empty()) {
    const cv::Point p = stack.back();
    stack.pop_back();
    mask.at<uchar>(p) = 0;
    for (int ny = std::max(p.y - 1, 0); ny <= std::min(p.y + 1, rows - 1); ++ny) {
      uchar* row = mask.ptr<uchar>(ny);
      for (int nx = std::max(p.x - 1, 0); nx <= std::min(p.x + 1, cols - 1); ++nx) {
        if (row[nx] > 125) {
          row[nx] = 0;
          stack.emplace_back(nx, ny);
        }
      }
    }
  }
  return mask;
}

bool IsThin(float w, float h) { return w / h < 0.125f || h / w < 0.125f; }

// A contour's outline with a point at least every pixel, so that straight runs can be counted.
Contour Densified(const Contour& contour) {
  Contour dense;
  for (std::size_t i = 0; i < contour.size(); ++i) {
    const cv::Point a = contour[i];
    const cv::Point b = contour[(i + 1) % contour.size()];
    const int steps = std::max({std::abs(b.x - a.x), std::abs(b.y - a.y), 1});
    for (int k = 0; k < steps; ++k) dense.emplace_back(a.x + (b.x - a.x) * k / steps, a.y + (b.y - a.y) * k / steps);
  }
  return dense;
}

// A side from `from` to `to` of a page whose inside is towards `inside`: positions t along it and
// offsets o outwards from it.
struct SideFrame {
  cv::Point2f from;
  cv::Point2d along;
  cv::Point2d outwards;
  double length = 0;

  SideFrame(cv::Point2f start, cv::Point2f end, cv::Point2f inside) : from(start) {
    const cv::Point2f d = end - start;
    length = cv::norm(d);
    along = length > 0 ? cv::Point2d(d.x / length, d.y / length) : cv::Point2d(1, 0);
    outwards = cv::Point2d(-along.y, along.x);
    if ((inside.x - from.x) * outwards.x + (inside.y - from.y) * outwards.y > 0) outwards = -outwards;
  }
  cv::Point2d Place(cv::Point2f p) const {
    const cv::Point2d q(p.x - from.x, p.y - from.y);
    return {q.dot(along), q.dot(outwards)};
  }
  cv::Point2f At(double t, double o) const {
    return {static_cast<float>(from.x + along.x * t + outwards.x * o),
            static_cast<float>(from.y + along.y * t + outwards.y * o)};
  }
};

// The least-squares line o = offset + slope * t through points (t, o). False when the points do
// not fix one.
bool FitStraightLine(const std::vector<cv::Point2d>& points, double& slope, double& offset) {
  double st = 0, so = 0, stt = 0, sto = 0;
  for (const cv::Point2d& c : points) {
    st += c.x;
    so += c.y;
    stt += c.x * c.x;
    sto += c.x * c.y;
  }
  const double count = static_cast<double>(points.size());
  const double denominator = count * stt - st * st;
  if (points.empty() || std::abs(denominator) < 1e-9) return false;
  slope = (count * sto - st * so) / denominator;
  offset = (so - slope * st) / count;
  return true;
}

struct SideFit {
  cv::Point2f from;
  cv::Point2f to;
  double support = 0;  // share of the side's length the run covers
};

// A side of a region's rectangle as the region's own outline draws it: grain that touched the
// page's edge widens the rectangle, but the longest straight run of the outline near each side is
// the page's edge. Searched from `depth` inside the side to 2 pixels outside it, within 6 degrees
// of its direction.
SideFit FitSideToOutline(const Contour& outline, cv::Point2f from, cv::Point2f to, cv::Point2f inside,
                         double depth) {
  SideFit fit{from, to, 0};
  const SideFrame side(from, to, inside);
  const double length = side.length;
  if (length < 4) return fit;
  std::vector<cv::Point2d> candidates;
  for (const cv::Point& p : outline) {
    const cv::Point2d c = side.Place(p);
    if (c.x >= 0.05 * length && c.x <= 0.95 * length && c.y >= -depth && c.y <= 2) candidates.push_back(c);
  }
  if (candidates.size() < 8) return fit;
  const int bins = static_cast<int>(depth) + 8;
  std::vector<int> histogram(bins);
  int bestCount = 0;
  double bestSlope = 0;
  double bestOffset = 0;
  for (double degrees = -6; degrees <= 6.01; degrees += 0.5) {
    const double slope = std::tan(degrees * CV_PI / 180);
    std::fill(histogram.begin(), histogram.end(), 0);
    // Offset at the side's start of a line of this slope through the candidate.
    for (const cv::Point2d& c : candidates) {
      const int bin = static_cast<int>(std::floor(c.y - slope * c.x + depth + 4));
      if (bin >= 0 && bin < bins) ++histogram[bin];
    }
    for (int b = 0; b + 1 < bins; ++b) {
      if (histogram[b] + histogram[b + 1] > bestCount) {
        bestCount = histogram[b] + histogram[b + 1];
        bestSlope = slope;
        bestOffset = b + 1 - depth - 4;
      }
    }
  }
  // Least squares over the run's points, and the length they cover.
  std::vector<cv::Point2d> run;
  for (const cv::Point2d& c : candidates)
    if (std::abs(c.y - bestSlope * c.x - bestOffset) <= 1.5) run.push_back(c);
  if (run.size() < 8) return fit;
  FitStraightLine(run, bestSlope, bestOffset);
  std::sort(run.begin(), run.end(), [](const cv::Point2d& a, const cv::Point2d& b) { return a.x < b.x; });
  double covered = 0;
  for (std::size_t i = 1; i < run.size(); ++i) covered += std::min(run[i].x - run[i - 1].x, 3.0);
  fit.support = covered / (0.9 * length);
  fit.from = side.At(0, bestOffset);
  fit.to = side.At(length, bestOffset + bestSlope * length);
  return fit;
}

cv::Point2f Crossing(cv::Point2f a0, cv::Point2f a1, cv::Point2f b0, cv::Point2f b1) {
  const cv::Point2f r = a1 - a0;
  const cv::Point2f q = b1 - b0;
  const double cross = r.x * q.y - r.y * q.x;
  if (std::abs(cross) < 1e-9) return (a1 + b0) * 0.5f;
  const double t = ((b0.x - a0.x) * q.y - (b0.y - a0.y) * q.x) / cross;
  return a0 + r * static_cast<float>(t);
}

// A region's corners with each side moved onto the outline's straight run near it, and how many
// sides had one along at least four tenths of their length.
struct Outline {
  std::array<cv::Point2f, 4> corners;
  int straightSides = 0;
};

// The rectangle round the outline whose sides run along the outline's most common direction
// (taken modulo a right angle): blobs of grain on a small card can turn its minimum-area rectangle,
// but the card's straight sides still outnumber them. `fallback` when no direction stands out.
cv::RotatedRect AlignedBox(const Contour& dense, const cv::RotatedRect& fallback) {
  constexpr int kBins = 90;
  std::array<double, kBins> histogram{};
  const std::size_t n = dense.size();
  if (n < 16) return fallback;
  // Steps of ten pixels: a slanted side's outline is a staircase of whole pixels.
  for (std::size_t i = 0; i < n; ++i) {
    const cv::Point v = dense[(i + 10) % n] - dense[i];
    double degrees = std::atan2(v.y, v.x) * 180 / CV_PI;
    degrees = std::fmod(degrees + 360, 90.0);
    histogram[static_cast<int>(degrees) % kBins] += 1;
  }
  int peak = 0;
  double peakCount = 0;
  for (int b = 0; b < kBins; ++b) {
    double count = 0;
    for (int k = -3; k <= 3; ++k) count += histogram[(b + k + kBins) % kBins];
    if (count > peakCount) {
      peakCount = count;
      peak = b;
    }
  }
  if (peakCount < 0.15 * static_cast<double>(n)) return fallback;
  double weighted = 0;
  double total = 0;
  for (int k = -3; k <= 3; ++k) {
    weighted += histogram[(peak + k + kBins) % kBins] * (peak + k + 0.5);
    total += histogram[(peak + k + kBins) % kBins];
  }
  const double a = weighted / total * CV_PI / 180;
  const double c = std::cos(a);
  const double sn = std::sin(a);
  double uMin = 1e18, uMax = -1e18, vMin = 1e18, vMax = -1e18;
  for (const cv::Point& p : dense) {
    const double u = p.x * c + p.y * sn;
    const double v = -p.x * sn + p.y * c;
    uMin = std::min(uMin, u);
    uMax = std::max(uMax, u);
    vMin = std::min(vMin, v);
    vMax = std::max(vMax, v);
  }
  const double u = (uMin + uMax) / 2;
  const double v = (vMin + vMax) / 2;
  return cv::RotatedRect(cv::Point2f(static_cast<float>(u * c - v * sn), static_cast<float>(u * sn + v * c)),
                         cv::Size2f(static_cast<float>(uMax - uMin), static_cast<float>(vMax - vMin)),
                         static_cast<float>(a * 180 / CV_PI));
}

Outline FitOutline(const Contour& contour, const cv::RotatedRect& minimumBox) {
  Outline result;
  const Contour dense = Densified(contour);
  const cv::RotatedRect box = AlignedBox(dense, minimumBox);
  box.points(result.corners.data());
  const double depth = std::max(4.0, 0.3 * std::min(box.size.width, box.size.height));
  std::array<SideFit, 4> sides;
  for (int i = 0; i < 4; ++i) {
    sides[i] = FitSideToOutline(dense, result.corners[i], result.corners[(i + 1) % 4], box.center, depth);
    if (sides[i].support < 0.3) sides[i] = {result.corners[i], result.corners[(i + 1) % 4], 0};
    if (sides[i].support >= 0.4) ++result.straightSides;
  }
  for (int i = 0; i < 4; ++i)
    result.corners[(i + 1) % 4] = Crossing(sides[i].from, sides[i].to, sides[(i + 1) % 4].from, sides[(i + 1) % 4].to);
  return result;
}

// The outer contours of a mask, each large one filled and opened first, so that pages joined by
// a thin bridge of grain come apart and grain hanging on an edge falls off. A region that opening
// would remove whole (an edge that does not close round its page) stays as it was.
std::vector<Contour> SeparatedRegions(const cv::Mat& mask, double smallest) {
  constexpr int kOpening = 7;
  const cv::Mat element = cv::getStructuringElement(cv::MORPH_RECT, {kOpening, kOpening});
  std::vector<Contour> regions;
  for (Contour& contour : compat::FindOuterContours(mask)) {
    const cv::Rect box = cv::boundingRect(contour);
    if (static_cast<double>(box.area()) < smallest) {
      regions.push_back(std::move(contour));
      continue;
    }
    const cv::Rect padded(box.x - 1, box.y - 1, box.width + 2, box.height + 2);
    cv::Mat solid = cv::Mat::zeros(padded.size(), CV_8UC1);
    cv::drawContours(solid, std::vector<Contour>{contour}, 0, cv::Scalar(255), cv::FILLED, cv::LINE_8,
                     cv::noArray(), INT_MAX, -padded.tl());
    cv::morphologyEx(solid, solid, cv::MORPH_OPEN, element);
    std::vector<Contour> pieces;
    cv::findContours(solid, pieces, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE, padded.tl());
    std::erase_if(pieces, [smallest](const Contour& piece) { return cv::contourArea(piece) < smallest; });
    if (pieces.empty()) {
      regions.push_back(std::move(contour));
    } else {
      for (Contour& piece : pieces) regions.push_back(std::move(piece));
    }
  }
  return regions;
}

// Pages lying wholly inside the picture. Grain touching a page's edge can spoil the hull test; a
// region whose four sides are straight runs of its outline is a page all the same.
bool IsPageShaped(const Contour& contour, double smallest) {
  if (cv::boundingRect(contour).area() < smallest) return false;  // grain: no rectangle to fit
  const cv::RotatedRect box = compat::MinAreaRect(contour);
  const double w = box.size.width;
  const double h = box.size.height;
  if (w * h < smallest || w <= 0 || h <= 0) return false;
  if (w / h < 0.125 || h / w < 0.125) return false;
  Contour hull;
  cv::convexHull(contour, hull);
  return cv::contourArea(hull) / (w * h) >= 0.8 || FitOutline(contour, box).straightSides == 4;
}

std::vector<Contour> FirstPass(const cv::Mat& flooded, float minimumAreaRatio) {
  const double smallest = flooded.rows * static_cast<double>(minimumAreaRatio) * flooded.cols;
  std::vector<Contour> kept;
  for (Contour& contour : SeparatedRegions(flooded, smallest))
    if (IsPageShaped(contour, smallest)) kept.push_back(std::move(contour));
  return kept;
}

// The shares of two regions' hulls that they have in common.
std::pair<double, double> OverlapShares(const std::vector<cv::Point2f>& first, const std::vector<cv::Point2f>& second) {
  std::vector<cv::Point2f> a;
  std::vector<cv::Point2f> b;
  cv::convexHull(first, a);
  cv::convexHull(second, b);
  std::vector<cv::Point2f> common;
  const double overlap = std::max(0.0f, cv::intersectConvexConvex(a, b, common));
  if (overlap <= 0) return {0, 0};
  return {overlap / std::max(1e-9, cv::contourArea(a)), overlap / std::max(1e-9, cv::contourArea(b))};
}

// Whether two regions overlap by at least half of either.
bool OverlapByHalf(const std::vector<cv::Point2f>& first, const std::vector<cv::Point2f>& second) {
  const auto [ofFirst, ofSecond] = OverlapShares(first, second);
  return ofFirst >= 0.5 || ofSecond >= 0.5;
}

std::vector<cv::Point2f> AsFloat(const Contour& contour) { return {contour.begin(), contour.end()}; }

// Pages that the border flood took because grain joined their edges to the picture's border, found
// by the second pass beside the pages the first pass kept: those of its regions that are shaped
// like a page and not half covered by a page already kept. (A region holding a kept one, such as
// a page round the picture printed on it, is added and merged with it.)
void AddPagesNearTheBorder(std::vector<Contour>& kept, const std::vector<Contour>& found, float minimumAreaRatio,
                           cv::Size size) {
  const double smallest = size.height * static_cast<double>(minimumAreaRatio) * size.width;
  const std::size_t firstPass = kept.size();
  // Opened like the first pass's regions, so that grain joining a page to the border falls off.
  cv::Mat solid = cv::Mat::zeros(size, CV_8UC1);
  cv::drawContours(solid, found, -1, cv::Scalar(255), cv::FILLED, cv::LINE_8);
  for (Contour& contour : SeparatedRegions(solid, smallest)) {
    if (!IsPageShaped(contour, smallest)) continue;
    const std::vector<cv::Point2f> points = AsFloat(contour);
    bool known = false;
    for (std::size_t i = 0; i < firstPass && !known; ++i) known = OverlapShares(AsFloat(kept[i]), points).second >= 0.5;
    if (!known) kept.push_back(std::move(contour));
  }
}

// Pages running off the picture: corner regions are closed through their corner, thin corner
// strips (shadows, desk edges) erased, and the result searched again.
std::vector<Contour> SecondPass(const cv::Mat& closed, float minimumAreaRatio) {
  const int rows = closed.rows;
  const int cols = closed.cols;
  const double smallest = static_cast<double>(rows) * minimumAreaRatio * cols;
  std::vector<Contour> general;
  std::vector<Contour> cornerStrips;
  std::vector<Contour> cornerPages;
  for (Contour& contour : compat::FindOuterContours(closed)) {
    const cv::Rect b = cv::boundingRect(contour);
    // Grain away from the border is neither a page nor a strip: no rectangle to fit.
    if (b.area() <= smallest && b.x > 1 && b.y > 1 && b.x + b.width < cols - 1 && b.y + b.height < rows - 1)
      continue;
    const cv::RotatedRect box = compat::MinAreaRect(contour);
    const float w = box.size.width;
    const float h = box.size.height;
    if (w == 0 || h == 0) continue;
    const bool thin = IsThin(w, h);
    const bool left = b.x <= 1;
    const bool top = b.y <= 1;
    const bool right = b.x + b.width >= cols - 1;
    const bool bottom = b.y + b.height >= rows - 1;
    if (thin && ((top && bottom) || (left && right))) continue;
    const bool corner = (left && top && !right && !bottom) || (!left && top && right && !bottom) ||
                        (!left && !top && right && bottom) || (left && !top && !right && bottom);
    if (corner && thin) {
      cornerStrips.push_back(std::move(contour));
      continue;
    }
    if (corner && b.width * b.height > (rows * cols) / 3) {
      cornerPages.push_back(std::move(contour));
      continue;
    }
    if (!thin && static_cast<double>(w) * h > smallest) general.push_back(std::move(contour));
  }
  cv::Mat mask = cv::Mat::zeros(closed.size(), CV_8UC1);
  cv::drawContours(mask, general, -1, cv::Scalar(255), cv::FILLED, cv::LINE_8);
  for (const Contour& contour : cornerPages) CloseCornerRegion(mask, false, contour);
  for (const Contour& contour : cornerStrips) CloseCornerRegion(mask, true, contour);
  return compat::FindOuterContours(mask);
}

// Joins regions that overlap by at least half of either. Measured on the regions' own outlines,
// not their upright bounding boxes: those of a turned sheet reach over a card lying beside it.
void MergeOverlapping(std::vector<std::vector<cv::Point2f>>& regions) {
  bool merged = true;
  while (merged) {
    merged = false;
    for (std::size_t i = 0; i < regions.size() && !merged; ++i) {
      for (std::size_t j = i + 1; j < regions.size() && !merged; ++j) {
        if (OverlapByHalf(regions[i], regions[j])) {
          regions[i].insert(regions[i].end(), regions[j].begin(), regions[j].end());
          regions.erase(regions.begin() + static_cast<std::ptrdiff_t>(j));
          merged = true;
        }
      }
    }
  }
}

// A region's corners (shrunk picture) as corners of the full picture, each side moved onto the
// page's edge there. A side without a clear edge (it may lie outside the picture) keeps its place,
// less half the gradient aperture by which the edge mask runs wider than the edge.
std::array<cv::Point2f, 4> RefinedCorners(const cv::Mat& picture, const std::array<cv::Point2f, 4>& shrunk, double s,
                                          int gradientAperture) {
  std::array<cv::Point2f, 4> full;
  cv::Point2f centre(0, 0);
  for (int i = 0; i < 4; ++i) {
    full[i] = shrunk[i] * static_cast<float>(1 / s);
    centre += full[i] * 0.25f;
  }
  const float reach = static_cast<float>(3 / s);
  const float inset = static_cast<float>(gradientAperture / (2 * s));
  std::array<std::pair<cv::Point2f, cv::Point2f>, 4> sides;
  for (int i = 0; i < 4; ++i) {
    const cv::Point2f from = full[i];
    const cv::Point2f to = full[(i + 1) % 4];
    if (FitPageEdge(picture, from, to, centre, reach, sides[i].first, sides[i].second)) continue;
    const SideFrame side(from, to, centre);
    sides[i] = {side.At(0, -inset), side.At(side.length, -inset)};
  }
  std::array<cv::Point2f, 4> corners;
  for (int i = 0; i < 4; ++i)
    corners[(i + 1) % 4] = Crossing(sides[i].first, sides[i].second, sides[(i + 1) % 4].first, sides[(i + 1) % 4].second);
  return corners;
}

// Columns c of an output row for which lo <= start + c * step <= hi.
std::pair<int, int> InsideRange(double start, double step, double lo, double hi, int count) {
  if (std::abs(step) < 1e-12) {
    return (start >= lo && start <= hi) ? std::pair{0, count - 1} : std::pair{0, -1};
  }
  double a = (lo - start) / step;
  double b = (hi - start) / step;
  if (a > b) std::swap(a, b);
  const int first = static_cast<int>(std::max(std::ceil(a - 1e-6), 0.0));
  const int last = static_cast<int>(std::min(std::floor(b + 1e-6), count - 1.0));
  return {first, last};
}

}  // namespace

bool FitPageEdge(const cv::Mat& picture, cv::Point2f from, cv::Point2f to, cv::Point2f inside, float reach,
                 cv::Point2f& fittedFrom, cv::Point2f& fittedTo) {
  if (picture.empty() || picture.depth() != CV_8U || reach < 1) return false;
  const SideFrame side(from, to, inside);
  const double length = side.length;
  if (length < 16) return false;
  const int channels = picture.channels();
  // Mean brightness at a point, bilinear; negative outside the picture.
  const auto brightness = [&](cv::Point2f p) {
    if (p.x < 0 || p.y < 0 || p.x > picture.cols - 1.001 || p.y > picture.rows - 1.001) return -1.0;
    const int x0 = static_cast<int>(p.x);
    const int y0 = static_cast<int>(p.y);
    const double fx = p.x - x0;
    const double fy = p.y - y0;
    const uchar* top = picture.ptr<uchar>(y0) + x0 * channels;
    const uchar* bottom = picture.ptr<uchar>(y0 + 1) + x0 * channels;
    double sum = 0;
    for (int c = 0; c < channels; ++c) {
      sum += (top[c] * (1 - fx) + top[c + channels] * fx) * (1 - fy) +
             (bottom[c] * (1 - fx) + bottom[c + channels] * fx) * fy;
    }
    return sum / channels;
  };
  // Along the side, the place where brightness falls most on the way out (paper to desk): found
  // in steps of two pixels, then to a pixel and a fraction.
  const int positions = std::clamp(static_cast<int>(length / 24), 8, 24);
  const int reachSteps = static_cast<int>(reach / 2);
  std::vector<cv::Point2d> found;  // (t, offset)
  std::vector<double> coarse(2 * reachSteps + 1);
  for (int k = 0; k < positions; ++k) {
    const double t = length * (0.1 + 0.8 * (k + 0.5) / positions);
    bool inPicture = true;
    const auto profile = [&](double o) {
      double sum = 0;
      for (int u = -1; u <= 1; ++u) {
        const double value = brightness(side.At(t + 2 * u, o));
        inPicture = inPicture && value >= 0;
        sum += value;
      }
      return sum / 3;
    };
    for (int j = 0; j < static_cast<int>(coarse.size()) && inPicture; ++j) coarse[j] = profile(2.0 * (j - reachSteps));
    if (!inPicture) continue;
    int best = -1;
    double steepest = -12;  // a fall of at least 3 levels a pixel
    for (int j = 1; j + 1 < static_cast<int>(coarse.size()); ++j) {
      const double slope = coarse[j + 1] - coarse[j - 1];
      if (slope < steepest) {
        steepest = slope;
        best = j;
      }
    }
    if (best <= 1 || best >= static_cast<int>(coarse.size()) - 2) continue;  // no edge within the reach
    const double around = 2.0 * (best - reachSteps);
    std::array<double, 9> fine;
    for (int j = 0; j < 9; ++j) fine[j] = profile(around - 4 + j);
    if (!inPicture) continue;
    int place = 1;
    double fall = 0;
    for (int j = 1; j < 8; ++j) {
      const double slope = fine[j + 1] - fine[j - 1];
      if (slope < fall) {
        fall = slope;
        place = j;
      }
    }
    double shift = 0;
    if (place >= 2 && place <= 6) {
      const double before = fine[place] - fine[place - 2];
      const double after = fine[place + 2] - fine[place];
      const double curvature = before - 2 * fall + after;
      if (std::abs(curvature) > 1e-9) shift = std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5);
    }
    found.emplace_back(t, around - 4 + place + shift);
  }
  const auto enough = [positions](std::size_t count) { return count >= static_cast<std::size_t>(positions * 0.4); };
  if (!enough(found.size())) return false;
  // A straight line through them, leaving out the places where text or grain won.
  double slope = 0;
  double offset = 0;
  std::vector<cv::Point2d> used = found;
  for (int round = 0; round < 4; ++round) {
    if (!FitStraightLine(used, slope, offset)) return false;
    std::vector<double> residuals;
    for (const cv::Point2d& c : found) residuals.push_back(std::abs(c.y - slope * c.x - offset));
    std::vector<double> sorted = residuals;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double limit = std::max(1.0, 2.5 * sorted[sorted.size() / 2]);
    used.clear();
    for (std::size_t i = 0; i < found.size(); ++i)
      if (residuals[i] <= limit) used.push_back(found[i]);
    if (!enough(used.size())) return false;
  }
  fittedFrom = side.At(0, offset);
  fittedTo = side.At(length, offset + slope * length);
  return true;
}

cv::Point2f RotatePointAboutCenter(const cv::RotatedRect& rect, float x, float y) {
  const double a = rect.angle * 3.141592653589793 / 180.0;
  const double dx = x - rect.center.x;
  const double dy = y - rect.center.y;
  return {static_cast<float>(rect.center.x + dx * std::cos(a) - dy * std::sin(a)),
          static_cast<float>(rect.center.y + dx * std::sin(a) + dy * std::cos(a))};
}

std::vector<cv::Point> RotatedRectPolygon(const cv::RotatedRect& rect) {
  const float cx = rect.center.x;
  const float cy = rect.center.y;
  const float hw = rect.size.width / 2;
  const float hh = rect.size.height / 2;
  const cv::Point2f corners[] = {{cx - hw, cy - hh}, {cx + hw, cy - hh}, {cx + hw, cy + hh},
                                 {cx - hw, cy + hh}, {cx - hw, cy - hh}};
  std::vector<cv::Point> polygon;
  polygon.reserve(5);
  for (const cv::Point2f& corner : corners) {
    const cv::Point2f p = RotatePointAboutCenter(rect, corner.x, corner.y);
    polygon.emplace_back(cvRound(p.x), cvRound(p.y));
  }
  return polygon;
}

cv::RotatedRect FixRotatedRect(const cv::RotatedRect& rect, const cv::Rect& bounds) {
  const std::vector<cv::Point> box = {{bounds.x, bounds.y},
                                      {bounds.x + bounds.width, bounds.y},
                                      {bounds.x + bounds.width, bounds.y + bounds.height},
                                      {bounds.x, bounds.y + bounds.height},
                                      {bounds.x, bounds.y}};
  const double smaller = std::min(rect.size.width, rect.size.height);
  for (const cv::Point& corner : RotatedRectPolygon(rect)) {
    const double distance = cv::pointPolygonTest(box, cv::Point2f(corner), true);
    if (distance < 0 && -distance / smaller > 0.5) {
      return cv::RotatedRect(
          cv::Point2f(bounds.x + bounds.width * 0.5f, bounds.y + bounds.height * 0.5f),
          cv::Size2f(static_cast<float>(bounds.width), static_cast<float>(bounds.height)), 0.0f);
    }
  }
  return rect;
}

bool CloseCornerRegion(cv::Mat& mask, bool erase, const std::vector<cv::Point>& contour) {
  if (contour.empty()) return false;
  const int rows = mask.rows;
  const int cols = mask.cols;
  const cv::Rect b = cv::boundingRect(contour);

  // Picks two points where the region leaves the picture's edges; a later point wins only when
  // strictly more extreme.
  struct Pick {
    std::size_t index = 0;
    cv::Point point;
  };
  const auto pick = [&contour](Pick start, auto eligible, auto better) {
    for (std::size_t i = 0; i < contour.size(); ++i) {
      if (eligible(contour[i]) && better(contour[i], start.point)) start = {i, contour[i]};
    }
    return start;
  };
  const auto largerX = [](const cv::Point& p, const cv::Point& q) { return p.x > q.x; };
  const auto largerY = [](const cv::Point& p, const cv::Point& q) { return p.y > q.y; };
  const auto smallerX = [](const cv::Point& p, const cv::Point& q) { return p.x < q.x; };
  const auto smallerY = [](const cv::Point& p, const cv::Point& q) { return p.y < q.y; };

  bool matched = true;
  Pick a;
  Pick bPick;
  cv::Point corner;
  if (b.x <= 1 && b.y <= 1) {
    a = pick(Pick{}, [](const cv::Point& p) { return p.y <= 2; }, largerX);
    bPick = pick(Pick{}, [](const cv::Point& p) { return p.x <= 2; }, largerY);
    corner = {0, 0};
  } else if (b.x + b.width >= cols - 2 && b.y <= 2) {
    a = pick(Pick{0, {cols, 0}}, [](const cv::Point& p) { return p.y <= 2; }, smallerX);
    bPick = pick(Pick{}, [cols](const cv::Point& p) { return p.x >= cols - 2; }, largerY);
    corner = {cols - 1, 0};
  } else if (b.x + b.width >= cols - 2 && b.y + b.height >= rows - 2) {
    a = pick(Pick{0, {cols, 0}}, [rows](const cv::Point& p) { return p.y >= rows - 2; }, smallerX);
    bPick = pick(Pick{0, {0, rows}}, [cols](const cv::Point& p) { return p.x >= cols - 2; },
                 smallerY);
    corner = {cols - 1, rows - 1};
  } else if (b.x <= 1 && b.y + b.height >= rows - 1) {
    a = pick(Pick{}, [rows](const cv::Point& p) { return p.y >= rows - 3; }, largerX);
    bPick = pick(Pick{0, {0, rows}}, [](const cv::Point& p) { return p.x == 1; }, smallerY);
    corner = {0, rows - 1};
  } else {
    matched = false;
  }

  std::vector<cv::Point> polygon;
  if (matched) {
    const std::size_t first = std::min(a.index, bPick.index);
    const std::size_t last = std::max(a.index, bPick.index);
    polygon.assign(contour.begin() + static_cast<std::ptrdiff_t>(first),
                   contour.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    polygon.push_back(corner);
    polygon.push_back(polygon.front() == a.point ? a.point : bPick.point);
  } else {
    polygon = contour;
  }
  const std::vector<std::vector<cv::Point>> polygons = {polygon};
  if (erase) {
    cv::polylines(mask, polygons, true, cv::Scalar(0), 3, cv::LINE_8);
    cv::fillPoly(mask, polygons, cv::Scalar(0), cv::LINE_8);
  } else {
    cv::fillPoly(mask, polygons, cv::Scalar(255), cv::LINE_8);
  }
  return true;
}

namespace {

// The whole factor by which `picture` shrinks to `size` on both sides, or 0.
int WholeSearchFactor(cv::Size picture, int type, cv::Size size) {
  const int factor = size.width > 0 ? picture.width / size.width : 0;
  const bool whole = CV_MAT_DEPTH(type) == CV_8U && factor >= 2 && picture.width == factor * size.width &&
                     picture.height == factor * size.height;
  return whole ? factor : 0;
}

// Rows [y0, y1) of the copy at a whole factor. Output pixel d samples the source at
// factor * d + (factor - 1) / 2: a whole pixel for an odd factor, midway between two for an even
// one (where OpenCV's fixed-point weights of a half round the mean of the four up).
void SearchRows(const cv::Mat& picture, int factor, cv::Mat& shrunk, int y0, int y1) {
  const int channels = picture.channels();
  const int first = (factor - 1) / 2;
  const int width = shrunk.cols;
  for (int y = y0; y < y1; ++y) {
    const uchar* top = picture.ptr<uchar>(factor * y + first);
    uchar* out = shrunk.ptr<uchar>(y);
    if (factor % 2 == 1) {
      int x = 0;
      if (channels == 3) {
        // A pixel as four bytes, the fourth written over by the next pixel's: every pixel but the
        // last has a next one, in the source row as in the copy.
        for (; x + 1 < width; ++x) {
          std::uint32_t pixel;
          std::memcpy(&pixel, top + (factor * x + first) * 3, sizeof pixel);
          std::memcpy(out + x * 3, &pixel, sizeof pixel);
        }
      }
      for (; x < width; ++x)
        for (int c = 0; c < channels; ++c) out[x * channels + c] = top[(factor * x + first) * channels + c];
    } else {
      const uchar* bottom = picture.ptr<uchar>(factor * y + first + 1);
      for (int x = 0; x < width; ++x) {
        const int left = (factor * x + first) * channels;
        for (int c = 0; c < channels; ++c) {
          const int sum = top[left + c] + top[left + channels + c] + bottom[left + c] + bottom[left + channels + c];
          out[x * channels + c] = static_cast<uchar>((sum + 2) >> 2);
        }
      }
    }
  }
}

}  // namespace

cv::Mat ShrinkForSearch(const cv::Mat& picture, cv::Size size) {
  const int factor = WholeSearchFactor(picture.size(), picture.type(), size);
  if (factor == 0) {
    cv::Mat shrunk;
    cv::resize(picture, shrunk, size, 0, 0, cv::INTER_LINEAR);
    return shrunk;
  }
  cv::Mat shrunk(size, picture.type());
  SearchRows(picture, factor, shrunk, 0, size.height);
  return shrunk;
}

SearchShrink::SearchShrink(cv::Size picture, int type, cv::Size size)
    : picture_(picture), size_(size), type_(type), factor_(WholeSearchFactor(picture, type, size)) {
  if (factor_ > 0) shrunk_.create(size, type);
}

void SearchShrink::AddRows(const cv::Mat& picture, int rows) {
  if (factor_ == 0 || picture.size() != picture_ || picture.type() != type_) return;
  // Row y reads source rows up to factor * y + (factor - 1) / 2, and one more for an even factor.
  const int reach = (factor_ - 1) / 2 + (factor_ % 2 == 0 ? 1 : 0);
  int ready = done_;
  while (ready < shrunk_.rows && factor_ * ready + reach < rows) ++ready;
  if (ready > done_) SearchRows(picture, factor_, shrunk_, done_, ready);
  done_ = ready;
}

cv::Mat SearchShrink::Finish(const cv::Mat& picture) {
  if (type_ < 0 || picture.size() != picture_ || picture.type() != type_) return {};
  if (factor_ == 0) return ShrinkForSearch(picture, size_);
  AddRows(picture, picture.rows);
  return shrunk_;
}

cv::Size SearchSize(cv::Size picture, float scale) {
  const double s = scale < 0.1f ? 0.1 : scale;
  const cv::Size size(static_cast<int>(std::lround(picture.width * s)), static_cast<int>(std::lround(picture.height * s)));
  if (size.width < kSmallestShrunkSide || size.height < kSmallestShrunkSide) return {};
  return size;
}

bool FindDocumentRegions(const cv::Mat& picture, int medianAperture, int gradientAperture,
                         float scale, float minimumAreaRatio, double thresholdFactor,
                         std::vector<cv::RotatedRect>& regions) {
  regions.clear();
  if (picture.empty()) return false;
  const cv::Size shrunkSize = SearchSize(picture.size(), scale);
  if (shrunkSize.empty()) return false;
  return FindDocumentRegions(picture, ShrinkForSearch(picture, shrunkSize), medianAperture, gradientAperture, scale,
                             minimumAreaRatio, thresholdFactor, regions);
}

bool FindDocumentRegions(const cv::Mat& picture, const cv::Mat& shrunk, int medianAperture, int gradientAperture,
                         float scale, float minimumAreaRatio, double thresholdFactor,
                         std::vector<cv::RotatedRect>& regions) {
  regions.clear();
  if (picture.empty() || shrunk.empty()) return false;
  const double s = scale < 0.1f ? 0.1 : scale;
  const cv::Mat closed = ClosedEdgeMask(shrunk, medianAperture, gradientAperture, thresholdFactor);
  std::vector<Contour> kept = FirstPass(FloodFromBorder(closed), minimumAreaRatio);
  if (kept.empty())
    kept = SecondPass(closed, minimumAreaRatio);
  else
    AddPagesNearTheBorder(kept, SecondPass(closed, minimumAreaRatio), minimumAreaRatio, closed.size());
  if (kept.empty()) return false;

  // Each region's sides are moved onto its outline's straight runs and then onto the page's edge
  // in the full picture.
  std::vector<std::vector<cv::Point2f>> pages;
  for (const Contour& contour : kept) {
    const cv::RotatedRect fixed = FixRotatedRect(compat::MinAreaRect(contour), cv::boundingRect(contour));
    const auto corners = RefinedCorners(picture, FitOutline(contour, fixed).corners, s, gradientAperture);
    pages.emplace_back(corners.begin(), corners.end());
  }
  MergeOverlapping(pages);
  for (const auto& points : pages) regions.push_back(compat::ToLegacyAngle(cv::minAreaRect(points)));
  return true;
}

bool FindDocumentBounds(const cv::Mat& picture, int medianAperture, int gradientAperture,
                        float scale, float minimumAreaRatio, double thresholdFactor,
                        cv::RotatedRect& bounds) {
  std::vector<cv::RotatedRect> regions;
  if (!FindDocumentRegions(picture, medianAperture, gradientAperture, scale, minimumAreaRatio,
                           thresholdFactor, regions))
    return false;
  bounds = BoundsOfRegions(regions);
  return true;
}

bool FindDocumentBounds(const cv::Mat& picture, const cv::Mat& shrunk, int medianAperture, int gradientAperture,
                        float scale, float minimumAreaRatio, double thresholdFactor, cv::RotatedRect& bounds) {
  std::vector<cv::RotatedRect> regions;
  if (!FindDocumentRegions(picture, shrunk, medianAperture, gradientAperture, scale, minimumAreaRatio,
                           thresholdFactor, regions))
    return false;
  bounds = BoundsOfRegions(regions);
  return true;
}

cv::RotatedRect BoundsOfRegions(const std::vector<cv::RotatedRect>& regions) {
  std::vector<cv::Point> corners;
  for (const cv::RotatedRect& region : regions) {
    const auto polygon = RotatedRectPolygon(region);
    corners.insert(corners.end(), polygon.begin(), polygon.end());
  }
  return compat::MinAreaRect(corners);
}

cv::Mat WarpRotatedRect(const cv::RotatedRect& rect, const cv::Mat& picture) {
  if (picture.empty()) return {};
  double angle = rect.angle;
  int rows;
  int cols;
  double halfAcross;
  double halfDown;
  if (std::abs(angle) > 45) {
    angle = angle > 45 ? angle - 90 : angle + 90;
    rows = static_cast<int>(rect.size.width);
    cols = static_cast<int>(rect.size.height);
    halfAcross = rect.size.height / 2.0;
    halfDown = rect.size.width / 2.0;
  } else {
    rows = static_cast<int>(rect.size.height);
    cols = static_cast<int>(rect.size.width);
    halfAcross = cols / 2.0;
    halfDown = rows / 2.0;
  }
  if (rows < 1 || cols < 1) return {};
  const double a = angle * 3.14159 / 180.0;
  const double cosA = std::cos(a);
  const double sinA = std::sin(a);
  // Source of output (c, r): centre + (c - halfAcross) * (cos, sin) + (r - halfDown) * (-sin, cos).
  const double x0 = rect.center.x - halfAcross * cosA + halfDown * sinA;
  const double y0 = rect.center.y - halfAcross * sinA - halfDown * cosA;
  const cv::Matx23d toSource(cosA, -sinA, x0, sinA, cosA, y0);
  cv::Mat out;
  cv::warpAffine(picture, out, toSource, cv::Size(cols, rows),
                 cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar::all(0));

  // White wherever the source lies outside the picture.
  const std::size_t pixelBytes = out.elemSize();
  for (int r = 0; r < rows; ++r) {
    const double rowX = x0 - r * sinA;
    const double rowY = y0 + r * cosA;
    const auto [xFirst, xLast] = InsideRange(rowX, cosA, 0, picture.cols - 1, cols);
    const auto [yFirst, yLast] = InsideRange(rowY, sinA, 0, picture.rows - 1, cols);
    const int first = std::max(xFirst, yFirst);
    const int last = std::min(xLast, yLast);
    uchar* row = out.ptr(r);
    if (first > last) {
      std::fill(row, row + cols * pixelBytes, uchar{255});
      continue;
    }
    std::fill(row, row + first * pixelBytes, uchar{255});
    std::fill(row + (last + 1) * pixelBytes, row + cols * pixelBytes, uchar{255});
  }
  return out;
}

cv::Mat CropRotatedRect(const cv::Mat& picture, const cv::RotatedRect& rect) {
  if (rect.size.width < 1.0f || rect.size.height < 1.0f) return {};
  return WarpRotatedRect(rect, picture);
}

bool DetectAndCropDocument(const cv::Mat& picture, int margin, double thresholdFactor,
                           int medianAperture, int gradientAperture, float scale,
                           float minimumAreaRatio, cv::Mat& out) {
  cv::RotatedRect bounds;
  if (!FindDocumentBounds(picture, medianAperture, gradientAperture, scale, minimumAreaRatio,
                          thresholdFactor, bounds))
    return false;
  if (margin < 0) {
    bounds.size.width -= 2.0f * margin;
    bounds.size.height -= 2.0f * margin;
  }
  cv::Mat cut = WarpRotatedRect(bounds, picture);
  if (cut.empty()) return false;
  if (margin < 0) {
    out = cut;
    return true;
  }
  // A cut that the margin would swallow whole is no result.
  if (cut.cols <= 2 * margin || cut.rows <= 2 * margin) return false;
  out = cut(cv::Rect(margin, margin, cut.cols - 2 * margin, cut.rows - 2 * margin)).clone();
  return true;
}

bool CropRoiToVector(const cv::Mat& picture, int x, int y, int width, int height,
                     std::vector<cv::Mat>& pictures) {
  if (picture.empty()) return false;
  const long long x0 = std::max(x, 0);
  const long long y0 = std::max(y, 0);
  const long long x1 = std::min<long long>(static_cast<long long>(x) + width, picture.cols);
  const long long y1 = std::min<long long>(static_cast<long long>(y) + height, picture.rows);
  if (x1 - x0 <= 0 || y1 - y0 <= 0) return false;
  pictures.push_back(picture(cv::Rect(static_cast<int>(x0), static_cast<int>(y0),
                                      static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)))
                         .clone());
  return true;
}

}  // namespace orvane::imaging
