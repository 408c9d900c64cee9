// Synthetic A4 pages at 300 DPI for checking page recognition: random level-1 Chinese text, a few
// lines with Latin words and digits, set in one font, on grey paper with a little blur and sensor
// noise; and the same pages photographed lying on a desk by a 4160 x 3120 camera. Each page comes
// with the text it shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "ocr/glyph_renderer.h"

namespace orvane::ocrpage {

struct SyntheticPage {
  cv::Mat ink;       // 8-bit ink coverage (255 full ink), 2480 x 3508, before any degradation
  cv::Mat picture;   // 8-bit grey, the page as a scanner gives it
  std::string text;  // UTF-8, one line per "\n"
  double points = 0;  // body size
};

// One page per body size, each with about `characters` characters.
std::vector<SyntheticPage> MakePages(const ocrtools::FontFace& font, const std::vector<double>& points, int characters,
                                     std::uint64_t seed);

// The page lying on a desk under a 4160 x 3120 camera, as its JPEG frame decodes: turned a few
// degrees, a slight keystone, uneven light with the paper near 200 grey, blur of sigma 0.8 to
// 1.3, sensor noise, JPEG quality 85. 8-bit BGR.
cv::Mat PhotographOnDesk(const cv::Mat& ink, std::uint64_t seed);

// The photograph cut by the capture pipeline as the recognition command cuts a capture: automatic
// crop, colour, no deformation repair. Empty when no page is found.
cv::Mat CutLikeTheRecognitionCommand(const cv::Mat& photograph);

// What a reading is compared on: code points without white space, full-width Latin letters,
// digits and signs folded to ASCII.
std::u32string ComparableText(const std::string& utf8);

// Levenshtein distance over code points.
std::size_t EditDistance(const std::u32string& a, const std::u32string& b);

// Tesseract's OpenMP reads its thread limit once, when the library is loaded: unless
// OMP_THREAD_LIMIT is already 1, sets it and starts this program again with the same arguments.
// Returns only when the limit is in force (or the restart failed, which it reports).
void RestartWithOneOpenMpThread();

}  // namespace orvane::ocrpage
