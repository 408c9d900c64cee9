#include "ocr/doc_ocr.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>

#include <opencv2/imgproc.hpp>

namespace orvane::ocr {
namespace {

constexpr double kWidthPerHeight = 1.2;

// The paper's level is the brightest of a neighbourhood of a picture shrunk to a quarter (which
// averages the noise away): 15 of its pixels reach past a character at 300 DPI to the paper
// between the lines.
constexpr int kPaperShrink = 4;
constexpr int kPaperWindow = 15;
// The ink's level is this share into the stroke pixels from the darkest, never above the level
// that would stretch a faint page more than 2.7 times, where stretching only raises the noise.
// Strokes are up to 15 pixels wide and 32 levels below their surroundings.
constexpr int kInkWindow = 15;
constexpr int kMinStrokeDepth = 32;
constexpr int kMinStrokePixels = 64;
constexpr double kInkPercentile = 0.1;
constexpr int kMaxInkLevel = 160;

// Top and bottom of a character parted by thresholding: their gap and their joined height, in
// the page's character heights.
constexpr double kJoinGap = 0.15;
constexpr double kJoinHeight = 1.2;
// The coarse ink within three pixels of the fine ink, which rejoins a blurred character's dots.
constexpr int kRejoinWindow = 7;

// Where the marks that only their size and place tell apart sit, in the line's height, and how big
// they may be, in its character height.
enum class Place { kAny, kTop, kLower, kBottom, kMiddle, kCentre, kSmallLetter, kCapital };
struct PlaceRule {
  const char* label;
  Place place;
  double minHeight;  // of the character height; 0: any
  double maxHeight;  // of the character height; 0: any
  double minWidth;   // of the character height; 0: any
  double maxWidth;   // of the character height; 0: any
  // The marks of the same shape, tried in this order when this one does not fit.
  const char* twin;
  const char* otherTwin;
  double minAspect;  // width over height; 0: any
  double maxAspect;  // width over height; 0: any
};
// 一 and — differ only in length: the dash is a whole em, wider than the characters are high. A
// small letter is under 0.62 of the line's character height when that is set by Chinese
// characters (capitals reach about 0.72 of it); beside capitals and digits, whose height it then
// is, a small letter reaches 0.7 of it but starts more than 0.28 of it below the line's top.
constexpr double kSmallLetterHeight = 0.62;
constexpr double kSmallLetterTop = 0.28;
constexpr double kLatinSmallLetterHeight = 0.8;
// The ideographic full stop is a third of an em across; a small o is half an em high, and so are
// the other small letters without ascender or descender. Capitals, digits and the small letters
// that reach above or below them are at least 0.55 of the character height.
constexpr double kLeastSmallLetterHeight = 0.4;
constexpr double kLeastTallLetterHeight = 0.55;

// Quotes sit in the top third of a line; commas and full stops at its bottom, or in its middle as
// faces for Taiwan and Hong Kong set them.
constexpr double kMarkTop = 0.4;
// A middle dot sits half way up a Chinese character; a full stop after a Latin word, on the
// baseline, lower than 0.62 of a line of letters even without descenders.
// A quote mark blurred against a character reaches down to half the line's height.
constexpr double kTightMarkBottom = 0.46;
constexpr double kDotLow = 0.3;
constexpr double kDotHigh = 0.62;

bool IsSmallLetter(const cv::Rect& box, double charHeight) {
  return box.height < kSmallLetterHeight * charHeight ||
         (box.y > kSmallLetterTop * charHeight && box.height < kLatinSmallLetterHeight * charHeight);
}

constexpr PlaceRule kPlaceRules[] = {
    {"，", Place::kLower, 0, 0.6, 0, 0, "’", nullptr, 0, 0},
    {"’", Place::kTop, 0, 0.6, 0, 0, "，", nullptr, 0, 0},
    {"、", Place::kLower, 0, 0.6, 0, 0, nullptr, nullptr, 0, 0},
    {"‘", Place::kTop, 0, 0.6, 0, 0, nullptr, nullptr, 0, 0},
    {"“", Place::kTop, 0, 0.6, 0, 0, nullptr, nullptr, 0, 0},
    {"”", Place::kTop, 0, 0.6, 0, 0, nullptr, nullptr, 0, 0},
    {"。", Place::kLower, 0, 0.6, 0, 0, nullptr, nullptr, 0, 0},
    {"．", Place::kBottom, 0, 0.4, 0, 0, "·", nullptr, 0, 0},
    {"·", Place::kCentre, 0, 0.4, 0, 0, "．", nullptr, 0, 0},
    {"一", Place::kMiddle, 0, 0.4, 0, 1.15, "—", nullptr, 0, 0},
    {"—", Place::kMiddle, 0, 0.4, 1.15, 0, "一", nullptr, 0, 0},
    {"ｃ", Place::kSmallLetter, kLeastSmallLetterHeight, 0, 0, 0, "Ｃ", nullptr, 0, 0},
    {"Ｃ", Place::kCapital, kLeastTallLetterHeight, 0, 0, 0, "ｃ", nullptr, 0, 0},
    {"ｏ", Place::kSmallLetter, kLeastSmallLetterHeight, 0, 0, 0, "Ｏ", "。", 0, 0},
    {"Ｏ", Place::kCapital, kLeastTallLetterHeight, 0, 0, 0, "ｏ", "。", 0, 0},
    {"ｓ", Place::kSmallLetter, kLeastSmallLetterHeight, 0, 0, 0, "Ｓ", nullptr, 0, 0},
    {"Ｓ", Place::kCapital, kLeastTallLetterHeight, 0, 0, 0, "ｓ", nullptr, 0, 0},
    {"ｖ", Place::kSmallLetter, kLeastSmallLetterHeight, 0, 0, 0, "Ｖ", nullptr, 0, 0},
    {"Ｖ", Place::kCapital, kLeastTallLetterHeight, 0, 0, 0, "ｖ", nullptr, 0, 0},
    {"ｗ", Place::kSmallLetter, kLeastSmallLetterHeight, 0, 0, 0, "Ｗ", nullptr, 0, 0},
    {"Ｗ", Place::kCapital, kLeastTallLetterHeight, 0, 0, 0, "ｗ", nullptr, 0, 0},
    {"ｘ", Place::kSmallLetter, kLeastSmallLetterHeight, 0, 0, 0, "Ｘ", nullptr, 0, 0},
    {"Ｘ", Place::kCapital, kLeastTallLetterHeight, 0, 0, 0, "ｘ", nullptr, 0, 0},
    {"ｚ", Place::kSmallLetter, kLeastSmallLetterHeight, 0, 0, 0, "Ｚ", nullptr, 0, 0},
    {"Ｚ", Place::kCapital, kLeastTallLetterHeight, 0, 0, 0, "ｚ", nullptr, 0, 0},
    // The sun is taller than wide, the word "to say" wider than tall.
    {"日", Place::kAny, 0, 0, 0, 0, "曰", nullptr, 0, 1.0},
    {"曰", Place::kAny, 0, 0, 0, 0, "日", nullptr, 1.0, 0},
};

// The first code point of a UTF-8 label.
char32_t FirstCodePoint(const std::string& label) {
  if (label.empty()) return 0;
  const auto b = static_cast<unsigned char>(label[0]);
  const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
  char32_t c = extra == 0 ? b : b & (0x3F >> extra);
  for (int k = 1; k <= extra && k < static_cast<int>(label.size()); ++k) c = (c << 6) | (label[k] & 0x3F);
  return c;
}

bool IsHanzi(char32_t c) { return c >= 0x4E00 && c <= 0x9FFF; }

// Letters and digits without a rule of their own: only their least height. Small letters without
// ascender or descender may be as low as a small o; the rest reach a capital's height.
bool LetterFits(char32_t c, const cv::Rect& box, int charHeight) {
  constexpr std::u32string_view kShortLetters = U"ａｃｅｍｎｏｒｓｕｖｗｘｚ";
  const bool letterOrDigit = (c >= U'０' && c <= U'９') || (c >= U'Ａ' && c <= U'Ｚ') || (c >= U'ａ' && c <= U'ｚ');
  if (!letterOrDigit) return true;
  const double least = kShortLetters.find(c) != std::u32string_view::npos ? kLeastSmallLetterHeight : kLeastTallLetterHeight;
  return box.height >= least * charHeight;
}

const PlaceRule* RuleOf(const std::string& label) {
  for (const PlaceRule& rule : kPlaceRules)
    if (label == rule.label) return &rule;
  return nullptr;
}

bool Fits(const PlaceRule& rule, const cv::Rect& box, int lineHeight, int charHeight) {
  const double centre = (box.y + box.height / 2.0) / std::max(1, lineHeight);
  const double height = static_cast<double>(std::max(1, charHeight));
  const double aspect = static_cast<double>(box.width) / std::max(1, box.height);
  if (rule.minHeight > 0 && box.height < rule.minHeight * height) return false;
  if (rule.maxHeight > 0 && box.height >= rule.maxHeight * height) return false;
  if (rule.minWidth > 0 && box.width < rule.minWidth * height) return false;
  if (rule.maxWidth > 0 && box.width >= rule.maxWidth * height) return false;
  if (rule.minAspect > 0 && aspect <= rule.minAspect) return false;
  if (rule.maxAspect > 0 && aspect >= rule.maxAspect) return false;
  switch (rule.place) {
    case Place::kAny:
      return true;
    case Place::kSmallLetter:
      return IsSmallLetter(box, height);
    case Place::kCapital:
      return !IsSmallLetter(box, height);
    case Place::kTop:
      return centre < kMarkTop;
    case Place::kLower:
      return centre > kMarkTop;
    case Place::kBottom:
      return centre > 0.5;
    case Place::kMiddle:
      return centre > 0.25 && centre < 0.75;
    case Place::kCentre:
      return centre > kDotLow && centre < kDotHigh;
  }
  return false;
}

bool FitsPlace(const std::string& label, const cv::Rect& box, int lineHeight, int charHeight) {
  const PlaceRule* rule = RuleOf(label);
  return rule ? Fits(*rule, box, lineHeight, charHeight) : LetterFits(FirstCodePoint(label), box, charHeight);
}

using Run = ColumnRun;

std::vector<Run> FindRuns(const std::vector<int>& counts) {
  std::vector<Run> runs;
  for (int c = 0; c < static_cast<int>(counts.size()); ++c) {
    if (counts[c] == 0) continue;
    if (!runs.empty() && runs.back().end == c - 1) {
      runs.back().end = c;
    } else {
      runs.push_back({c, c});
    }
  }
  return runs;
}

// The height of the characters among the heights of a line's or a page's blobs. The strokes, dots
// and specks far outnumber the characters (a Song face at 300 DPI breaks into ten pieces a
// character), so it is taken among the blobs of at least half the height of the tallest, past the
// fiftieth of all that rules and pictures may be, an eighth down from the tallest of those: the
// dots and short strokes must not set it (a cut could never hold a whole character), nor the few
// characters run together.
int CharacterHeight(std::vector<int> heights) {
  if (heights.empty()) return 0;
  std::sort(heights.begin(), heights.end(), std::greater<>());
  const int tallest = heights[heights.size() / 50];
  const auto tall = std::upper_bound(heights.begin(), heights.end(), tallest / 2, std::greater<>()) - heights.begin();
  return heights[static_cast<std::size_t>(tall) / 8];
}

cv::Mat ToGrey(const cv::Mat& picture) {
  if (picture.channels() == 1) return picture;
  cv::Mat grey;
  cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
  return grey;
}

bool Report(const OcrProgressCallback& progress, double fraction, const char* text) {
  return !progress || progress(fraction, text) == 0;
}

// A page is filtered in bands of rows small enough to stay in the cache, instead of in passes
// over the whole picture, each of which would also fault in a fresh buffer of the page's size.
// A band is filtered with `margin` rows of the picture around it (as far as the picture reaches)
// and only its own rows kept: a filter that reads no further than `margin` rows gives exactly the
// rows that one pass over the whole picture would.
constexpr int kBandRows = 128;

template <class Filter>
cv::Mat FilterInBands(const cv::Mat& picture, int margin, Filter filter) {
  if (picture.rows <= kBandRows + 2 * margin) return filter(picture);
  cv::Mat result(picture.size(), CV_8UC1);
  for (int top = 0; top < picture.rows; top += kBandRows) {
    const int bottom = std::min(picture.rows, top + kBandRows);
    const int from = std::max(0, top - margin);
    const int to = std::min(picture.rows, bottom + margin);
    const cv::Mat band = filter(picture.rowRange(from, to));
    CV_Assert(band.type() == CV_8UC1 && band.rows == to - from && band.cols == picture.cols);
    band.rowRange(top - from, bottom - from).copyTo(result.rowRange(top, bottom));
  }
  return result;
}

}  // namespace

CDocOCR::~CDocOCR() { Release(); }

bool CDocOCR::Initialize(const std::filesystem::path& templatePath) {
  Release();
  handle_ = OpenOcrHandle(templatePath);
  return handle_ != nullptr;
}

void CDocOCR::Release() { CloseOcrHandle(handle_); }

bool CDocOCR::Recognize(cv::Mat picture, std::string* text, const OcrProgressCallback& progress, bool binaryInput) {
  if (!handle_) return false;
  RecordList<TextLineRecord> lines;
  if (!ProcessImage(std::move(picture), &lines, progress, binaryInput)) return false;
  text->clear();
  return JoinLines(lines, text);
}

bool CDocOCR::JoinLines(RecordList<TextLineRecord>& lines, std::string* text) {
  lines.MergeSort(CompareLinePosition);
  if (lines.Empty()) return false;
  const TextLineRecord* previous = nullptr;
  for (const TextLineRecord& line : lines) {
    if (previous) {
      const bool besidePrevious = line.y + line.height / 2 < previous->y + previous->height;
      *text += besidePrevious ? "      " : "\r\n";
    }
    *text += line.text;
    previous = &line;
  }
  return true;
}

bool CDocOCR::CompareLinePosition(const TextLineRecord& a, const TextLineRecord& b) {
  const int aMiddle = a.y + a.height / 2;
  if (aMiddle < b.y) return true;
  if (aMiddle > b.y + b.height) return false;
  return a.x + a.width / 2 <= b.x + b.width / 2;
}

bool CDocOCR::ProcessImage(cv::Mat picture, RecordList<TextLineRecord>* lines, const OcrProgressCallback& progress,
                           bool binaryInput) {
  if (picture.empty() || !handle_) return false;
  if (!Report(progress, 0, "图像预处理")) return false;
  CV_Assert(picture.depth() == CV_8U);
  const cv::Mat grey = binaryInput ? ToGrey(picture) : NormalizeContrast(picture);
  cv::Mat coarse;
  cv::Mat fine;
  if (binaryInput) {
    coarse = grey;
    fine = grey;
  } else {
    Binarize(grey, &coarse, &fine);
  }
  const std::vector<LayoutLine> layout = AnalyzeLayout(fine, coarse, binaryInput ? cv::Mat() : grey);
  if (!Report(progress, 0.05, "完成图像预处理，开始字符识别")) return false;

  lines->Clear();
  const std::size_t n = layout.size();
  for (std::size_t i = 0; i < n; ++i) {
    const cv::Rect& box = layout[i].box;
    cv::Mat inverted;
    cv::subtract(cv::Scalar::all(255), grey(box), inverted);
    TextLineRecord record{{}, box.x, box.y, box.width, box.height};
    RecognizeLine(layout[i].image, inverted, &record.text);
    lines->Append(std::move(record));
    if (progress) {
      const double fraction = 0.05 + 0.95 * static_cast<double>(i + 1) / static_cast<double>(n);
      char status[128];
      std::snprintf(status, sizeof status, "字符识别中，识别处理已经完成%.3f%%", fraction * 100);
      if (progress(fraction, status) != 0) return false;
    }
  }
  return true;
}

cv::Mat CDocOCR::NormalizeContrast(const cv::Mat& picture) {
  const cv::Mat grey = ToGrey(picture);
  if (grey.empty()) return {};
  cv::Mat paper;
  cv::resize(grey, paper, {(grey.cols + kPaperShrink - 1) / kPaperShrink, (grey.rows + kPaperShrink - 1) / kPaperShrink},
             0, 0, cv::INTER_AREA);
  const cv::Mat window = cv::getStructuringElement(cv::MORPH_RECT, {kPaperWindow, kPaperWindow});
  cv::dilate(paper, paper, window, {-1, -1}, 1, cv::BORDER_REPLICATE);
  cv::blur(paper, paper, {kPaperWindow, kPaperWindow}, {-1, -1}, cv::BORDER_REPLICATE);
  cv::resize(paper, paper, grey.size(), 0, 0, cv::INTER_LINEAR);
  cv::max(paper, cv::Scalar(1), paper);
  cv::Mat ratio;
  cv::divide(grey, paper, ratio, 255.0);  // the paper at 255, saturating above it

  // The ink's level is read off the strokes only: pixels darker by some depth than the picture
  // closed over a stroke window. The desk along the edges of a cut page and pictures are wider
  // than strokes and would pass for the darkest ink.
  cv::Mat closed;
  cv::morphologyEx(ratio, closed, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, {kInkWindow, kInkWindow}),
                   {-1, -1}, 1, cv::BORDER_REPLICATE);
  int histogram[256] = {};
  int strokes = 0;
  for (int r = 0; r < ratio.rows; ++r) {
    const std::uint8_t* value = ratio.ptr<std::uint8_t>(r);
    const std::uint8_t* around = closed.ptr<std::uint8_t>(r);
    for (int c = 0; c < ratio.cols; ++c) {
      if (around[c] - value[c] < kMinStrokeDepth) continue;
      ++histogram[value[c]];
      ++strokes;
    }
  }
  if (strokes < kMinStrokePixels) return ratio;
  int ink = 0;
  for (int seen = histogram[0]; seen < kInkPercentile * strokes && ink < 255; seen += histogram[++ink]) {
  }
  ink = std::min(ink, kMaxInkLevel);
  cv::Mat stretch(1, 256, CV_8UC1);
  for (int v = 0; v < 256; ++v)
    stretch.at<std::uint8_t>(v) = cv::saturate_cast<std::uint8_t>(255.0 * (v - ink) / (255 - ink));
  cv::Mat normalized;
  cv::LUT(ratio, stretch, normalized);
  return normalized;
}

void CDocOCR::Binarize(const cv::Mat& normalized, cv::Mat* coarse, cv::Mat* fine) {
  // The threshold reads half its block around a pixel; the fine one reads the stroke filter's
  // output, which reads one stroke window around it.
  *coarse = FilterInBands(normalized, kCoarseBlock / 2, [](const cv::Mat& band) {
    cv::Mat out;
    cv::adaptiveThreshold(band, out, 255, cv::ADAPTIVE_THRESH_GAUSSIAN_C, cv::THRESH_BINARY, kCoarseBlock,
                          kThresholdOffset);
    return out;
  });
  *fine = FilterInBands(normalized, kStrokeWindow + kFineBlock / 2, [](const cv::Mat& band) {
    cv::Mat out;
    cv::adaptiveThreshold(RemoveNoise(band, kStrokeWindow), out, 255, cv::ADAPTIVE_THRESH_GAUSSIAN_C,
                          cv::THRESH_BINARY, kFineBlock, kThresholdOffset);
    return out;
  });
}

int CDocOCR::PageCharHeight(const std::vector<cv::Rect>& boxes) {
  std::vector<int> heights;
  heights.reserve(boxes.size());
  // The rules of a table, alone or joined into a grid, are no characters: far wider than high, or
  // far higher than wide.
  for (const cv::Rect& b : boxes)
    if (b.width <= kMostCharacterAspect * b.height && b.height <= kMostCharacterAspect * 3 * b.width)
      heights.push_back(b.height);
  return CharacterHeight(std::move(heights));
}

std::vector<cv::Rect> CDocOCR::VerticalJoins(const std::vector<cv::Rect>& boxes, int charHeight) {
  std::vector<cv::Rect> joins;
  if (boxes.size() < 2) return joins;
  const double maxGap = kJoinGap * charHeight;
  const double maxHeight = kJoinHeight * charHeight;
  std::vector<cv::Rect> byLeft = boxes;
  std::sort(byLeft.begin(), byLeft.end(), [](const cv::Rect& a, const cv::Rect& b) { return a.x < b.x; });
  for (std::size_t i = 0; i < byLeft.size(); ++i) {
    const cv::Rect& a = byLeft[i];
    for (std::size_t j = i + 1; j < byLeft.size() && byLeft[j].x < a.x + a.width; ++j) {
      const cv::Rect& b = byLeft[j];
      const int overlap = std::min(a.x + a.width, b.x + b.width) - b.x;
      if (2 * overlap < std::min(a.width, b.width)) continue;
      const int gap = std::max(b.y - (a.y + a.height), a.y - (b.y + b.height));
      if (gap <= 0 || gap > maxGap) continue;  // rows shared: the sideways smear joins them
      const cv::Rect joined = a | b;
      if (joined.height <= maxHeight) joins.push_back(joined);
    }
  }
  return joins;
}

cv::Mat CDocOCR::FindPictures(const cv::Mat& grey, int charHeight) {
  // Text leaves paper between its strokes, characters and lines: no window of two characters'
  // square is half ink. A photograph, a QR code or a shaded box is.
  const int shrink = std::max(1, charHeight / 8);
  cv::Mat small;
  cv::resize(grey < kPaperLevel, small, {(grey.cols + shrink - 1) / shrink, (grey.rows + shrink - 1) / shrink}, 0, 0,
             cv::INTER_AREA);
  const int window = std::max(3, 2 * charHeight / shrink) | 1;
  cv::Mat density;
  cv::blur(small, density, {window, window}, {-1, -1}, cv::BORDER_REPLICATE);
  // Blurred small print fills such a window too, but text leaves paper between its lines: a window
  // reaching across lines holds a row with hardly any ink, a picture none.
  cv::Mat rows;
  cv::blur(small, rows, {window, 1}, {-1, -1}, cv::BORDER_REPLICATE);
  cv::erode(rows, rows, cv::getStructuringElement(cv::MORPH_RECT, {1, window}), {-1, -1}, 1, cv::BORDER_REPLICATE);
  cv::Mat pictures = (density > kPictureDensity * 255) & (rows > kPictureRowDensity * 255);
  // A window reaches half its side past the picture's edge.
  cv::dilate(pictures, pictures, cv::getStructuringElement(cv::MORPH_RECT, {window, window}));
  cv::resize(pictures, pictures, grey.size(), 0, 0, cv::INTER_NEAREST);
  return pictures;
}

namespace {

// Marks in `runs` every stretch of ink along the rows of `ink` at least `across` long, and every
// one down its columns at least `down` long. The columns are followed row by row, which reads the
// page in its own order.
void MarkLongRuns(const cv::Mat& ink, int across, int down, cv::Mat& runs) {
  runs = cv::Mat::zeros(ink.size(), CV_8UC1);
  for (int r = 0; r < ink.rows; ++r) {
    const std::uint8_t* pixel = ink.ptr<std::uint8_t>(r);
    std::uint8_t* mark = runs.ptr<std::uint8_t>(r);
    int start = 0;
    for (int c = 0; c <= ink.cols; ++c) {
      if (c < ink.cols && pixel[c]) continue;
      if (c - start >= across) std::fill(mark + start, mark + c, 255);
      start = c + 1;
    }
  }
  std::vector<int> top(static_cast<std::size_t>(ink.cols), 0);  // where each column's ink began
  for (int r = 0; r <= ink.rows; ++r) {
    const std::uint8_t* pixel = r < ink.rows ? ink.ptr<std::uint8_t>(r) : nullptr;
    for (int c = 0; c < ink.cols; ++c) {
      if (pixel && pixel[c]) continue;
      if (r - top[c] >= down)
        for (int k = top[c]; k < r; ++k) runs.at<std::uint8_t>(k, c) = 255;
      top[c] = r + 1;
    }
  }
}

// Clears every 8-connected blob of `ink` of fewer than `least` pixels. The blobs are the runs of
// ink along the rows joined where they touch, edges or corners, in the row above: a page holds far
// fewer runs than pixels, and no label image of the page's size is made.
void ClearSmallBlobs(cv::Mat& ink, int least) {
  struct InkRun {
    int row;
    int start;
    int end;  // one past the last pixel
    int parent;
    int area;  // of the blob, while the run is its root
  };
  std::vector<InkRun> runs;
  auto root = [&runs](int i) {
    while (runs[i].parent != i) {
      runs[i].parent = runs[runs[i].parent].parent;
      i = runs[i].parent;
    }
    return i;
  };
  std::size_t above = 0;  // the first run of the row above
  for (int r = 0; r < ink.rows; ++r) {
    const std::uint8_t* pixel = ink.ptr<std::uint8_t>(r);
    const std::size_t first = runs.size();
    std::size_t touching = above;
    for (int c = 0; c < ink.cols;) {
      if (!pixel[c]) {
        ++c;
        continue;
      }
      const int start = c;
      while (c < ink.cols && pixel[c]) ++c;
      const int id = static_cast<int>(runs.size());
      runs.push_back({r, start, c, id, c - start});
      while (touching < first && runs[touching].end < start) ++touching;
      for (std::size_t k = touching; k < first && runs[k].start <= c; ++k) {
        const int a = root(id);
        const int b = root(static_cast<int>(k));
        if (a == b) continue;
        runs[a].parent = b;
        runs[b].area += runs[a].area;
      }
    }
    above = first;
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (runs[root(static_cast<int>(i))].area >= least) continue;
    std::uint8_t* pixel = ink.ptr<std::uint8_t>(runs[i].row);
    std::fill(pixel + runs[i].start, pixel + runs[i].end, 0);
  }
}

}  // namespace

void CDocOCR::RemoveRules(cv::Mat& mask, cv::Mat& text, int charHeight) {
  // No stroke of a character, not even a dash of two ems, runs this long: what does is a rule.
  const int across = static_cast<int>(kRuleLength * charHeight);
  const int down = static_cast<int>(kUprightRuleLength * charHeight);
  if (across < 2 || down < 2) return;
  cv::Mat rules;
  MarkLongRuns(text, across, down, rules);
  // The blurred edge of a rule is thinner than the rule itself.
  cv::dilate(rules, rules, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
  text.setTo(0, rules);
  mask.setTo(0, rules);
}

void CDocOCR::RemoveSpecks(cv::Mat& text, int charHeight) {
  const int least = charHeight * charHeight / kSpeckShare;
  if (least < 2) return;
  ClearSmallBlobs(text, least);
}

cv::Mat CDocOCR::RemoveNoise(const cv::Mat& picture, int window) {
  const cv::Mat grey = ToGrey(picture);
  cv::Mat inv;
  cv::subtract(cv::Scalar::all(255), grey, inv);
  // Whole-picture passes over shifted views. A pair with a pixel outside the picture must not
  // lower the minimum: the border of 255 makes its maximum 255, which never does.
  const int pad = window;
  cv::Mat padded;
  cv::copyMakeBorder(inv, padded, pad, pad, pad, pad, cv::BORDER_CONSTANT, cv::Scalar(255));
  const cv::Size size = inv.size();
  auto shifted = [&](int dc, int dr) { return padded(cv::Rect(cv::Point(pad + dc, pad + dr), size)); };
  static constexpr int kDirections[4][2] = {{1, 0}, {1, -1}, {0, -1}, {-1, -1}};  // (dc, dr)
  cv::Mat response = cv::Mat::zeros(size, CV_8UC1);
  cv::Mat m;
  cv::Mat pair;
  cv::Mat gain;
  for (const auto& d : kDirections) {
    m = cv::Mat(size, CV_8UC1, cv::Scalar(255));
    for (int k = 0; k < window; ++k) {
      const int back = k - (window - 1);
      cv::max(shifted(back * d[0], back * d[1]), shifted((k + 1) * d[0], (k + 1) * d[1]), pair);
      cv::min(m, pair, m);
    }
    cv::subtract(inv, m, gain);  // saturates at 0, as the best response starts at 0
    cv::max(response, gain, response);
  }
  if (size.height > 0 && size.width > 0) {
    response.row(0).setTo(0);
    response.row(size.height - 1).setTo(0);
    response.col(0).setTo(0);
    response.col(size.width - 1).setTo(0);
  }
  cv::Mat result;
  cv::subtract(cv::Scalar::all(255), response, result);
  return result;
}

std::vector<LayoutLine> CDocOCR::AnalyzeLayout(const cv::Mat& fine, const cv::Mat& coarse, const cv::Mat& grey) {
  std::vector<LayoutLine> lines;
  if (fine.empty()) return lines;
  cv::Mat mask;
  cv::Mat text;
  cv::subtract(cv::Scalar::all(255), fine, mask);
  cv::subtract(cv::Scalar::all(255), coarse, text);
  // The stroke filter loses the faint thin strokes of a blurred picture and leaves a character in
  // dots that no longer join: the coarse ink right beside the fine ink joins them again.
  cv::Mat near;
  cv::dilate(mask, near, cv::getStructuringElement(cv::MORPH_RECT, {kRejoinWindow, kRejoinWindow}));
  cv::bitwise_and(near, text, near);
  cv::bitwise_or(mask, near, mask);

  // Every blob's outline, also of those inside others' holes: the characters in a table's cells
  // lie inside its grid. A frame round a box of text or a table's grid is nearly all holes: no
  // character. (Its outline's area less its holes' would say the same, but all but loses strokes
  // one pixel wide, as light faces have in small pictures.)
  std::vector<std::vector<cv::Point>> contours;
  std::vector<cv::Vec4i> hierarchy;
  cv::findContours(mask, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
  std::vector<cv::Rect> boxes;
  boxes.reserve(contours.size());
  for (std::size_t i = 0; i < contours.size(); ++i) {
    if (hierarchy[i][3] >= 0) continue;
    double holes = 0;
    for (int hole = hierarchy[i][2]; hole >= 0; hole = hierarchy[hole][0]) holes += cv::contourArea(contours[hole]);
    const cv::Rect box = cv::boundingRect(contours[i]);
    if (holes <= kMostFrameHoles * box.area()) boxes.push_back(box);
  }
  const int charHeight = PageCharHeight(boxes);
  if (charHeight > 0) {
    if (!grey.empty()) {
      cv::Mat pictures = FindPictures(grey, charHeight);
      if (cv::countNonZero(pictures) > 0) {
        // Where a code's modules thin out at its edge the window holds less ink, and a cut through
        // a blob leaves pieces that pass for characters: a blob that reaches into a picture is
        // part of it, and one larger than a few characters, whose ink is no grid's, takes its whole
        // box with the modules that came apart from it. A table's grid is mostly paper.
        std::vector<std::vector<cv::Point>> blobs;
        cv::findContours(text, blobs, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        const double most = kMaxLineHeight * charHeight;
        const cv::Mat found = pictures.clone();
        for (std::size_t i = 0; i < blobs.size(); ++i) {
          const cv::Rect b = cv::boundingRect(blobs[i]);
          if (cv::countNonZero(found(b) & text(b)) == 0) continue;
          if (b.width <= most && b.height <= most)
            cv::drawContours(pictures, blobs, static_cast<int>(i), cv::Scalar(255), cv::FILLED);
          else if (cv::countNonZero(text(b)) >= kLeastCodeInk * b.area())
            pictures(b).setTo(255);
        }
      }
      mask.setTo(0, pictures);
      text.setTo(0, pictures);
    }
    RemoveRules(mask, text, charHeight);
    RemoveSpecks(text, charHeight);
  }
  cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  boxes.clear();
  for (const auto& contour : contours) boxes.push_back(cv::boundingRect(contour));

  // A character's top and bottom are joined first, so that they never start two lines; then each
  // blob smeared one width to either side joins the characters of a line into one blob.
  for (const cv::Rect& join : VerticalJoins(boxes, charHeight)) cv::rectangle(mask, join, cv::Scalar(255), cv::FILLED);
  // A blurred character falls apart into dots narrower than the gaps between characters: every
  // blob reaches at least a quarter of the character height to either side.
  const int minReach = charHeight / 4;
  for (const cv::Rect& b : boxes) {
    const int reach = std::max(b.width, minReach);
    cv::rectangle(mask, cv::Rect(b.x - reach, b.y, b.width + 2 * reach, b.height), cv::Scalar(255), cv::FILLED);
  }
  cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  const cv::Rect picture(0, 0, fine.cols, fine.rows);
  for (const auto& contour : contours) {
    const cv::Rect b = cv::boundingRect(contour);
    if (b.area() < kMinBlobArea) continue;
    // Far taller than the page's characters: a picture or a code, not a line of text.
    if (charHeight > 0 && b.height > kMaxLineHeight * charHeight) continue;
    // Clipped, so a blob touching the picture's edge still gives a line.
    const cv::Rect grown = cv::Rect(b.x - 1, b.y - 1, b.width + 2, b.height + 2) & picture;
    cv::Mat blank = cv::Mat::zeros(grown.size(), CV_8UC1);
    cv::drawContours(blank, std::vector<std::vector<cv::Point>>{contour}, 0, cv::Scalar(255), cv::FILLED, cv::LINE_8,
                     cv::noArray(), INT_MAX, -grown.tl());
    LayoutLine line;
    cv::bitwise_and(text(grown), blank, line.image);
    line.box = grown;
    lines.push_back(std::move(line));
  }
  return lines;
}

bool CDocOCR::RecognizeLine(const cv::Mat& lineImage, const cv::Mat& invertedGrey, std::string* text) {
  if (lineImage.empty() || !handle_) return false;
  RecordList<SegmentCandidate> candidates = SegmentLine(lineImage, invertedGrey);
  if (candidates.Empty()) return false;
  RecordList<std::string> readings;
  std::vector<DecodedCharacter> best;
  ocr::DecodeLattice(candidates, &readings, &best);
  ReadNumbersAsDigits(best, lineImage.rows);
  text->clear();
  for (const DecodedCharacter& character : best) *text += character.text;
  return true;
}

void CDocOCR::ReadNumbersAsDigits(std::vector<DecodedCharacter>& characters, int lineHeight) {
  auto isDigit = [](const std::string& t) { return t.size() == 3 && t >= "０" && t <= "９"; };
  auto isLetter = [](const std::string& t) {
    return t.size() == 3 && ((t >= "Ａ" && t <= "Ｚ") || (t >= "ａ" && t <= "ｚ"));
  };
  static const std::pair<const char*, const char*> kAsDigits[] = {
      {"ｌ", "１"}, {"Ｉ", "１"}, {"ｉ", "１"}, {"Ｏ", "０"}, {"ｏ", "０"}, {"·", "．"}};
  auto isHanzi = [](const std::string& t) { return IsHanzi(FirstCodePoint(t)); };
  const int maxGap = static_cast<int>(kWordGap * lineHeight);
  const std::vector<DecodedCharacter> read = characters;
  for (std::size_t i = 0; i < read.size(); ++i) {
    const auto found = std::find_if(std::begin(kAsDigits), std::end(kAsDigits),
                                    [&](const auto& pair) { return read[i].text == pair.first; });
    if (found == std::end(kAsDigits)) continue;
    // The neighbours in the same word: no wider gap than a space's. A one is far narrower than the
    // digits' common width and stands in the middle of it: its gaps count from that width.
    const std::string digit = found->second;
    const int slack = digit == "１" ? std::max(0, static_cast<int>(kDigitWidth * lineHeight) - read[i].width) / 2 : 0;
    const int left = read[i].x - slack;
    const int right = read[i].x + read[i].width + slack;
    const DecodedCharacter* before =
        i > 0 && left - (read[i - 1].x + read[i - 1].width) <= maxGap ? &read[i - 1] : nullptr;
    const DecodedCharacter* after = i + 1 < read.size() && read[i + 1].x - right <= maxGap ? &read[i + 1] : nullptr;
    // A lone upright stroke between two Chinese characters is the one of a date or a count (年1月).
    const bool betweenHanzi = digit == "１" && std::string(found->first) != "ｉ" && before && after &&
                              isHanzi(before->text) && isHanzi(after->text);
    const bool beside = (before && isDigit(before->text)) || (after && isDigit(after->text)) || betweenHanzi;
    const bool amongLetters = (before && isLetter(before->text)) || (after && isLetter(after->text));
    // A dot is a decimal point only between two digits.
    const bool point = std::string(found->first) == "·";
    if (point ? before && after && isDigit(before->text) && isDigit(after->text) : beside && !amongLetters)
      characters[i].text = digit;
  }
}

bool CDocOCR::EstimateCharHeight(const cv::Mat& lineImage, int* height) {
  if (lineImage.empty()) return false;
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(lineImage.clone(), contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  if (contours.empty()) return false;
  std::vector<int> heights;
  heights.reserve(contours.size());
  for (const auto& contour : contours) heights.push_back(cv::boundingRect(contour).height);
  *height = CharacterHeight(std::move(heights));
  return true;
}

std::vector<ColumnRun> CDocOCR::PartQuoteMarks(const cv::Mat& lineImage, const std::vector<ColumnRun>& runs,
                                               int charHeight) {
  // Per column, the first and last row of ink.
  std::vector<int> top(lineImage.cols, -1);
  std::vector<int> bottom(lineImage.cols, -1);
  for (int r = 0; r < lineImage.rows; ++r) {
    const std::uint8_t* row = lineImage.ptr<std::uint8_t>(r);
    for (int c = 0; c < lineImage.cols; ++c) {
      if (!row[c]) continue;
      if (top[c] < 0) top[c] = r;
      bottom[c] = r;
    }
  }
  const double markBottom = kTightMarkBottom * lineImage.rows;
  auto isMark = [&](int c) { return bottom[c] >= 0 && bottom[c] < markBottom; };
  // Columns [from, to] of top ink only, as high as a quote mark and no wider.
  auto fitsMark = [&](int from, int to) {
    const int width = to - from + 1;
    if (width < kLeastMarkWidth * charHeight || width > kMostMarkWidth * charHeight) return false;
    int height = 0;
    for (int c = from; c <= to; ++c) height = std::max(height, bottom[c] - top[c] + 1);
    // Narrower than high: not the top of a % or the bar of a T.
    return height >= kLeastMarkHeight * charHeight && width <= kMostMarkAspect * height;
  };
  // A quote mark comes in pairs: the other mark of the pair stands apart just beyond it.
  auto markRun = [&](std::size_t i) {
    if (runs[i].end - runs[i].start + 1 > kMostMarkWidth * charHeight) return false;
    for (int c = runs[i].start; c <= runs[i].end; ++c)
      if (bottom[c] >= 0 && !isMark(c)) return false;
    return true;
  };
  const double pairGap = kMostMarkWidth * charHeight;
  std::vector<ColumnRun> parted;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const Run& run = runs[i];
    const bool markBefore = i > 0 && run.start - runs[i - 1].end - 1 <= pairGap && markRun(i - 1);
    const bool markAfter = i + 1 < runs.size() && runs[i + 1].start - run.end - 1 <= pairGap && markRun(i + 1);
    int first = run.start;
    while (first <= run.end && isMark(first)) ++first;
    int last = run.end;
    while (last >= first && isMark(last)) --last;
    // Beside a Chinese character: a letter's or a sign's own parts are not parted.
    const bool rest = last - first + 1 >= kWholeWidth * charHeight;
    const bool leading = rest && markBefore && first > run.start && fitsMark(run.start, first - 1);
    const bool trailing = rest && markAfter && last < run.end && fitsMark(last + 1, run.end);
    if (leading) parted.push_back({run.start, first - 1});
    parted.push_back({leading ? first : run.start, trailing ? last : run.end});
    if (trailing) parted.push_back({last + 1, run.end});
  }
  return parted;
}

RecordList<SegmentCandidate> CDocOCR::SegmentLine(const cv::Mat& lineImage, const cv::Mat& invertedGrey) {
  RecordList<SegmentCandidate> candidates;
  int charHeight = 0;
  if (lineImage.empty() || !handle_ || !EstimateCharHeight(lineImage, &charHeight)) return candidates;
  // A line of a character or two of several parts each (台, 率) has only parts to measure; the
  // line itself, one pixel larger all round than its ink, is nearly a character high.
  charHeight = std::max(charHeight, static_cast<int>(kLineFill * (lineImage.rows - 2)));
  const int width = lineImage.cols;
  std::vector<int> counts(width, 0);
  for (int r = 0; r < lineImage.rows; ++r) {
    const std::uint8_t* row = lineImage.ptr<std::uint8_t>(r);
    for (int c = 0; c + 1 < width; ++c)
      if (row[c] && row[c + 1]) ++counts[c];
  }
  const int widthLimit = static_cast<int>(charHeight * kWidthPerHeight);

  // Runs too wide for one character are cut at their weakest column until none is.
  std::vector<Run> runs = FindRuns(counts);
  for (;;) {
    bool split = false;
    for (const Run& run : runs) {
      if (run.end - run.start + 1 < widthLimit) continue;
      const auto weakest = std::min_element(counts.begin() + run.start, counts.begin() + run.end + 1);
      *weakest = 0;
      split = true;
    }
    if (!split) break;
    runs = FindRuns(counts);
  }
  runs = PartQuoteMarks(lineImage, runs, charHeight);

  // Every cut of one run or of neighbouring runs that fits the width limit, read as it fits its
  // place in the line.
  struct Cut {
    SegmentCandidate candidate;
    std::string label;  // empty: a blank or unread
    double distance = kBlankDistance;
    bool read = false;
    bool joined = false;  // of more than one run
  };
  auto readCut = [&](int start, int end, Cut* cut) {
    const cv::Mat columns = lineImage.colRange(start, end + 1);
    int first = -1;
    int last = -1;
    for (int r = 0; r < columns.rows; ++r) {
      if (cv::countNonZero(columns.row(r)) == 0) continue;
      if (first < 0) first = r;
      last = r;
    }
    if (first < 0) return false;
    SegmentCandidate& candidate = cut->candidate;
    candidate.x = start;
    candidate.top = first;
    candidate.width = end - start + 1;
    candidate.height = last - first + 1;
    const cv::Rect box(candidate.x, candidate.top, candidate.width, candidate.height);
    const cv::Mat image = CombineCandidateImage(lineImage(box), invertedGrey(box));
    std::string labels;
    std::vector<double> distances;
    if (RecognizeCandidate(image, kReadingsAsked, &labels, &distances)) {
      cut->read = true;
      std::vector<std::string> readings;
      for (std::size_t k = 0; k < distances.size(); ++k)
        readings.push_back(OcrLabelToUtf8(std::string_view(labels).substr(k * kLabelBytes, kLabelBytes)));
      std::string twin;
      const int chosen = ChooseByPlace(readings, box, lineImage.rows, charHeight, &twin);
      const double distance = chosen >= 0 ? distances[chosen] : distances.front();
      // Under the blank distance a reading is sure; further off, in a face unlike any the
      // template was trained on, it still stands when no other class comes near it.
      const std::size_t at = chosen >= 0 ? static_cast<std::size_t>(chosen) : 0;
      const double margin = at + 1 < distances.size() ? distances[at + 1] - distance : 1.0;
      const bool stands = distance < kBlankDistance || (distance < kFarDistance && margin >= kClearMargin);
      if ((chosen >= 0 || !twin.empty()) && stands) {
        cut->label = chosen >= 0 ? readings[chosen] : twin;
        cut->distance = distance;
      }
    }
    return true;
  };
  std::vector<Cut> cuts;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    for (std::size_t j = i; j < runs.size(); ++j) {
      const int cutWidth = runs[j].end - runs[i].start + 1;
      if (cutWidth > widthLimit) break;
      Cut cut;
      cut.joined = j > i;
      if (readCut(runs[i].start, runs[j].end, &cut)) cuts.push_back(std::move(cut));
    }
  }

  // Letters of a Latin word can touch (a r, o d in a serif face, blurred): the run of two reads as
  // nothing. Parted at its weakest column within its middle half, the two halves are tried as well
  // and kept when both read as letters or digits.
  auto isLatin = [](const Cut& cut) {
    const char32_t c = FirstCodePoint(cut.label);
    return (c >= U'０' && c <= U'９') || (c >= U'Ａ' && c <= U'Ｚ') || (c >= U'ａ' && c <= U'ｚ');
  };
  const std::size_t whole = cuts.size();
  for (std::size_t k = 0; k < whole; ++k) {
    const int x = cuts[k].candidate.x;
    const int width = cuts[k].candidate.width;
    if (!cuts[k].read || !cuts[k].label.empty() || width < kLeastLetterPairWidth * charHeight) continue;
    const bool oneRun = std::any_of(runs.begin(), runs.end(),
                                    [&](const Run& run) { return run.start == x && run.end == x + width - 1; });
    if (!oneRun) continue;
    const auto from = counts.begin() + x + width / 4;
    const int weakest = static_cast<int>(std::min_element(from, from + width / 2) - counts.begin());
    Cut left;
    Cut right;
    if (readCut(x, weakest, &left) && readCut(weakest + 1, x + width - 1, &right) && isLatin(left) &&
        isLatin(right)) {
      cuts.push_back(std::move(left));
      cuts.push_back(std::move(right));
    }
  }

  // A character of two parts side by side with a clear gap between them (a radical and the rest)
  // is cut into its parts as well as whole, and each part may read well as some character or
  // letter. The whole wins when it reads confidently and fits where pieces cannot: as wide as a
  // character, or as the double quote of two single ones. Its pieces lose weight by how little of
  // it each one covers.
  auto isWhole = [&](const Cut& cut) {
    if (cut.label.empty()) return false;
    const char32_t c = FirstCodePoint(cut.label);
    if (c == U'“' || c == U'”') return true;
    return IsHanzi(c) && cut.distance < kConfidentWhole && cut.candidate.width >= kWholeWidth * charHeight;
  };
  // Less sure, a whole still outweighs a piece as high as the whole read as a letter, a sign or a
  // character too narrow to be one, beside a piece read as a Chinese character: a radical reads as
  // such, the rest as a character (估 is no i and 古, 妙 no 女 and 少); letters and digits run
  // together have no piece read as a Chinese character.
  auto isSureWhole = [&](const Cut& cut) {
    return !cut.label.empty() && IsHanzi(FirstCodePoint(cut.label)) && cut.distance < kReadWhole &&
           cut.candidate.width >= kWholeWidth * charHeight;
  };
  std::vector<double> piecePenalty(cuts.size(), 0.0);
  for (const Cut& whole : cuts) {
    const bool confident = isWhole(whole);
    if (!confident && !isSureWhole(whole)) continue;
    const int wholeEnd = whole.candidate.x + whole.candidate.width;
    auto inside = [&](const SegmentCandidate& piece) {
      return piece.width < whole.candidate.width && piece.x >= whole.candidate.x && piece.x + piece.width <= wholeEnd;
    };
    const bool hanziPiece = std::any_of(cuts.begin(), cuts.end(), [&](const Cut& cut) {
      return inside(cut.candidate) && !cut.label.empty() && IsHanzi(FirstCodePoint(cut.label));
    });
    if (!confident && !hanziPiece) continue;
    for (std::size_t k = 0; k < cuts.size(); ++k) {
      const SegmentCandidate& piece = cuts[k].candidate;
      if (!inside(piece)) continue;
      const bool notHanzi = !cuts[k].label.empty() && !IsHanzi(FirstCodePoint(cuts[k].label));
      const bool narrow = piece.width < kRadicalWidth * charHeight;
      if (!confident && !((notHanzi || narrow) && piece.height >= kTallPiece * whole.candidate.height)) continue;
      const double uncovered = 1.0 - static_cast<double>(piece.width) / whole.candidate.width;
      piecePenalty[k] = std::max(piecePenalty[k], kPiecePenalty * uncovered);
    }
  }

  for (std::size_t k = 0; k < cuts.size(); ++k) {
    Cut& cut = cuts[k];
    SegmentCandidate& candidate = cut.candidate;
    if (cut.read) {
      candidate.bestDistance = cut.label.empty() ? kBlankDistance : cut.distance;
      const std::string text = cut.label.empty() ? std::string(" ") : cut.label;
      // Several runs of ink a character wide read as nothing are characters lost, not paper: no
      // cheaper than a poor reading, or two such blanks would step over a hard character and a
      // mark beside it.
      const bool wideBlank = cut.label.empty() && cut.joined && candidate.width >= kWholeWidth * charHeight;
      const double penalty = std::max(piecePenalty[k], wideBlank ? kWideBlankPenalty : 0.0);
      candidate.alternatives.Append({text, std::max(0.0, 1.0 - candidate.bestDistance - penalty), -1});
    }
    candidates.Append(std::move(candidate));
  }
  return candidates;
}

int CDocOCR::ChooseByPlace(const std::vector<std::string>& readings, const cv::Rect& box, int lineHeight,
                           int charHeight, std::string* twin) {
  twin->clear();
  for (std::size_t k = 0; k < readings.size(); ++k) {
    if (FitsPlace(readings[k], box, lineHeight, charHeight)) return static_cast<int>(k);
    const PlaceRule* rule = k == 0 ? RuleOf(readings[k]) : nullptr;
    if (!rule) continue;
    for (const char* other : {rule->twin, rule->otherTwin}) {
      if (other && Fits(*RuleOf(other), box, lineHeight, charHeight)) {
        *twin = other;
        return -1;
      }
    }
  }
  return -1;
}

cv::Mat CDocOCR::CombineCandidateImage(const cv::Mat& lineCut, const cv::Mat& greyCut) {
  if (lineCut.empty() || greyCut.empty()) return {};
  cv::Mat dilated;
  cv::dilate(ToGrey(lineCut), dilated, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}), {-1, -1}, 1,
             cv::BORDER_CONSTANT, cv::Scalar(0));
  cv::Mat image;
  cv::bitwise_and(dilated, ToGrey(greyCut), image);
  return image;
}

bool CDocOCR::RecognizeCandidate(const cv::Mat& image, int n, std::string* labels, std::vector<double>* distances) {
  if (image.empty() || !handle_ || n < 1) return false;
  const cv::Mat contiguous = image.clone();
  std::vector<char> codes(2 * static_cast<std::size_t>(n) + 1, 0);
  std::vector<double> found(n, 0.0);
  if (!handle_->Recognize(contiguous.ptr<std::uint8_t>(), contiguous.cols, contiguous.rows, codes.data(), n,
                          found.data()))
    return false;
  const std::size_t classes = std::strlen(codes.data()) / kLabelBytes;
  if (classes == 0) return false;
  labels->assign(codes.data(), classes * kLabelBytes);
  found.resize(classes);
  *distances = std::move(found);
  return true;
}

}  // namespace orvane::ocr
