// Finding the sheets of paper lying in a camera frame and cutting them out upright. Detection
// works on the edges of a shrunk copy (the sum of every channel's gradient), so it needs no paper
// colour. Rotated rectangles use the legacy angle convention: angle in [-90, 0) as page detection
// produces it (an upright rectangle built from a bounding box has angle 0). Stateless; any number
// of threads may call these at once.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace orvane::imaging {

// Every caller of the page finder uses these.
inline constexpr int kPageMedianAperture = 9;
inline constexpr int kPageGradientAperture = 3;
inline constexpr double kPageThresholdFactor = 8.0;
inline constexpr float kPageScale = 0.2f;
// Live frames above this many pixels are searched at kLivePageScale.
inline constexpr int kLargeLiveFramePixels = 5038848;
inline constexpr float kLivePageScale = 0.1f;

// The size of the copy the page finder searches a picture of `picture` size at `scale` (raised to
// 0.1 as the finders raise it); empty when it would be too small to search.
cv::Size SearchSize(cv::Size picture, float scale);

// One rotated rectangle per document, in the picture's pixels. `scale` below 0.1 is raised to 0.1;
// `minimumAreaRatio` is the smallest region as a fraction of the shrunk picture. Regions are found
// on the shrunk copy; each rectangle's sides are then fitted to the document's own edges in the
// full picture (see FitPageEdge), so grain of the desk touching a page does not widen it. Clears
// `regions`; false for an empty picture, one too small to shrink, or when nothing is found.
bool FindDocumentRegions(const cv::Mat& picture, int medianAperture, int gradientAperture,
                         float scale, float minimumAreaRatio, double thresholdFactor,
                         std::vector<cv::RotatedRect>& regions);

// The same with the searched copy made already: `shrunk` must be ShrinkForSearch(picture,
// SearchSize(picture.size(), scale)) (see SearchShrink).
bool FindDocumentRegions(const cv::Mat& picture, const cv::Mat& shrunk, int medianAperture, int gradientAperture,
                         float scale, float minimumAreaRatio, double thresholdFactor,
                         std::vector<cv::RotatedRect>& regions);

// The minimum-area rectangle round every document found. False, `bounds` untouched, when none is.
bool FindDocumentBounds(const cv::Mat& picture, int medianAperture, int gradientAperture,
                        float scale, float minimumAreaRatio, double thresholdFactor,
                        cv::RotatedRect& bounds);
bool FindDocumentBounds(const cv::Mat& picture, const cv::Mat& shrunk, int medianAperture, int gradientAperture,
                        float scale, float minimumAreaRatio, double thresholdFactor, cv::RotatedRect& bounds);

// `picture` (8-bit) shrunk to `size` exactly as cv::resize with INTER_LINEAR shrinks it, the copy
// the page finder searches. When each side shrinks by one whole factor the bilinear weights are
// 1 and 0 (an odd factor) or halves (an even one), and the pixels are taken straight from the
// rows they come from, with no pass over every column of the source.
cv::Mat ShrinkForSearch(const cv::Mat& picture, cv::Size size);

// ShrinkForSearch of a picture that arrives row by row (a decoder's bands): where each side
// shrinks by one whole factor, the rows of the copy are taken as soon as their source rows are
// there, while those are still in cache; otherwise the copy is made at the end.
class SearchShrink {
 public:
  SearchShrink() = default;
  SearchShrink(cv::Size picture, int type, cv::Size size);
  // Takes every row of the copy not taken yet whose source rows lie within the first `rows` of
  // `picture` (the whole picture, of the size and type given).
  void AddRows(const cv::Mat& picture, int rows);
  // ShrinkForSearch(picture, size), once every row of `picture` is there. Empty when not started.
  cv::Mat Finish(const cv::Mat& picture);

 private:
  cv::Size picture_;
  cv::Size size_;
  int type_ = -1;
  int factor_ = 0;  // 0: not a whole factor
  cv::Mat shrunk_;
  int done_ = 0;
};

// The minimum-area rectangle round the corners of every region, as FindDocumentBounds gives it.
cv::RotatedRect BoundsOfRegions(const std::vector<cv::RotatedRect>& regions);

// The upright content of `rect`; a rectangle turned by more than 45 degrees is taken a quarter
// turn round, so pages keep their reading direction. Pixels whose source lies outside the picture
// are white. Empty for an empty picture or a rectangle under one pixel.
cv::Mat WarpRotatedRect(const cv::RotatedRect& rect, const cv::Mat& picture);

// WarpRotatedRect, empty when the rectangle's width or height is below 1.
cv::Mat CropRotatedRect(const cv::Mat& picture, const cv::RotatedRect& rect);

// Finds the documents' bounds and cuts them, less `margin` pixels on every side (a negative
// margin cuts larger). False, `out` untouched, when nothing is found or when the cut is not
// larger than twice the margin.
bool DetectAndCropDocument(const cv::Mat& picture, int margin, double thresholdFactor,
                           int medianAperture, int gradientAperture, float scale,
                           float minimumAreaRatio, cv::Mat& out);

// Appends a copy of the rectangle clamped to the picture. False, nothing appended, for an empty
// picture or an empty clamped rectangle.
bool CropRoiToVector(const cv::Mat& picture, int x, int y, int width, int height,
                     std::vector<cv::Mat>& pictures);

// The page's edge near the segment `from` - `to` of `picture`: where brightness falls most,
// going away from `inside`, within `reach` pixels either side of the segment, fitted by a straight
// line through the middle 80 % of the segment. True with the line's points beside `from` and `to`;
// false when fewer than four in ten places along the segment show such a fall.
bool FitPageEdge(const cv::Mat& picture, cv::Point2f from, cv::Point2f to, cv::Point2f inside, float reach,
                 cv::Point2f& fittedFrom, cv::Point2f& fittedTo);

// The rectangle's four corners and the first again, rounded to whole pixels.
std::vector<cv::Point> RotatedRectPolygon(const cv::RotatedRect& rect);
// The point (x, y) turned about the rectangle's centre by its angle.
cv::Point2f RotatePointAboutCenter(const cv::RotatedRect& rect, float x, float y);
// `rect`, or the upright `bounds` when a corner of `rect` lies outside them by more than half of
// the rectangle's smaller side (the minimum-area fit went astray).
cv::RotatedRect FixRotatedRect(const cv::RotatedRect& rect, const cv::Rect& bounds);
// Draws a region cut by a picture corner into `mask`, closed through that corner: filled with 255,
// or with `erase` outlined and filled with 0. False for an empty contour.
bool CloseCornerRegion(cv::Mat& mask, bool erase, const std::vector<cv::Point>& contour);

}  // namespace orvane::imaging
