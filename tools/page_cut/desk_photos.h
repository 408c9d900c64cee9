// Desk photographs for checking the page cut, made here with the true page corners known: a
// grainy desk of dark to mid tones under light that falls off to one side, with A4 and A5 sheets
// and ID cards turned by up to 25 degrees and seen with a slight keystone; every fifth photograph
// has two of them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace orvane::pagecut {

// A page's corners in the photograph: top-left, top-right, bottom-right, bottom-left of the page.
using Quad = std::array<cv::Point2f, 4>;

struct DeskPage {
  std::string kind;  // "A4", "A5" or "ID card"
  Quad corners;
};

struct DeskPhoto {
  cv::Mat picture;  // 8-bit BGR
  std::vector<DeskPage> pages;
};

inline constexpr int kPhotoWidth = 4160;
inline constexpr int kPhotoHeight = 3120;

// Photograph `index` of the set drawn from `seed`; the same arguments give the same photograph.
DeskPhoto MakeDeskPhoto(int index, std::uint64_t seed, cv::Size size = {kPhotoWidth, kPhotoHeight});

// Intersection over union of two convex quadrilaterals; 0 when either has no area.
double Jaccard(const Quad& a, const Quad& b);

// The best Jaccard index of `truth` among `found`; 0 when nothing was found.
double BestJaccard(const Quad& truth, const std::vector<Quad>& found);

// The corners of a rotated rectangle as a quadrilateral.
Quad QuadOf(const cv::RotatedRect& rect);

// The minimum-area rectangle round every page of the photograph.
Quad BoundsOfPages(const std::vector<DeskPage>& pages);

// How well `cut` fits as one cut round every page: its Jaccard index with the page itself when
// there is one; with several, with the smallest rectangle round them all, or with the smallest
// rectangle round them in the cut's own direction when that is within 2 % of the smallest area
// (two pages apart have several rectangles round them nearly as small).
double JaccardRoundPages(const std::vector<DeskPage>& pages, const Quad& cut);

// The page finder of most tutorials, for comparison: shrunk to 500 rows, grey, blurred, Canny
// edges, and the largest contour whose polygon simplifies to four corners. None or one page.
std::vector<Quad> OpenCvRecipe(const cv::Mat& photo);

}  // namespace orvane::pagecut
