// Synthetic A4 pages at 300 DPI for checking page recognition: random level-1 Chinese text, a few
// lines with Latin words and digits, set in one font at body sizes of 10 to 16 points, on grey
// paper with a little blur and sensor noise. Each page comes with the text it shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "ocr/glyph_renderer.h"

namespace orvane::ocrpage {

struct SyntheticPage {
  cv::Mat picture;   // 8-bit grey, 2480 x 3508
  std::string text;  // UTF-8, one line per "\n"
  int points = 0;    // body size
};

// About `characters` characters a page; sizes cycle through 10, 12, 14 and 16 points.
std::vector<SyntheticPage> MakePages(const ocrtools::FontFace& font, int count, int characters, std::uint64_t seed);

// What a reading is compared on: code points without white space, full-width Latin letters,
// digits and signs folded to ASCII.
std::u32string ComparableText(const std::string& utf8);

// Levenshtein distance over code points.
std::size_t EditDistance(const std::u32string& a, const std::u32string& b);

}  // namespace orvane::ocrpage
