// Synthetic A4 pages at 300 DPI for checking page recognition, typeset as a word processor sets
// them: characters on the font's own advances and base line, Chinese set solid, digits and Latin
// words in the font's proportional forms. Two kinds: running Chinese text with its punctuation,
// numbers and a few Latin words; and a form (an invoice) of labels and values, dates, amounts,
// codes, Latin lines and a ruled table, with a QR code and a photograph beside the text. Set in
// one font on grey paper with a little blur and sensor noise; and the same pages photographed
// lying on a desk by a 4160 x 3120 camera. Each page comes with the text it shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "ocr/glyph_renderer.h"

namespace orvane::ocrpage {

enum class PageKind { kProse, kForm };

struct SyntheticPage {
  PageKind kind = PageKind::kProse;
  cv::Mat ink;       // 8-bit ink coverage (255 full ink), 2480 x 3508, before any degradation
  cv::Mat picture;   // 8-bit grey, the page as a scanner gives it
  std::string text;  // UTF-8, one line per "\n", in reading order
  double points = 0;  // body size
  std::vector<cv::Rect> nonText;  // the QR code, the photograph and the rules, in page pixels
};

// One page of `kind` per body size, each with about 800 characters where the font draws them
// (a character the font lacks is left out of the page and of its text).
std::vector<SyntheticPage> MakePages(const ocrtools::FontFace& font, const std::vector<double>& points,
                                     PageKind kind, std::uint64_t seed);

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

// The digits' errors of a reading against its text: the digits of the text that the cheapest
// alignment of the two does not match with the same digit, and the digits it reads where the text
// has none. Both compared as ComparableText.
struct DigitErrors {
  std::size_t digits = 0;  // in the text
  std::size_t errors = 0;
};
DigitErrors CompareDigits(const std::u32string& expected, const std::u32string& read);

// Tesseract's OpenMP reads its thread limit once, when the library is loaded: unless
// OMP_THREAD_LIMIT is already 1, sets it and starts this program again with the same arguments.
// Returns only when the limit is in force (or the restart failed, which it reports).
void RestartWithOneOpenMpThread();

}  // namespace orvane::ocrpage
