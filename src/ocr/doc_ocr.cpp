#include "ocr/doc_ocr.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>

#include <opencv2/imgproc.hpp>

namespace orvane::ocr {
namespace {

constexpr int kCoarseBlock = 51;
constexpr int kFineBlock = 11;
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
enum class Place { kTop, kBottom, kMiddle, kSmallLetter, kCapital };
struct PlaceRule {
  const char* label;
  Place place;
  double minHeight;  // of the character height; 0: any
  double maxHeight;  // of the character height; 0: any
  double minWidth;   // of the character height; 0: any
  double maxWidth;   // of the character height; 0: any
  const char* twin;  // the mark of the same shape, or nullptr
};
// 一 and — differ only in length: the dash is a whole em, wider than the characters are high. A
// small letter is under 0.62 of the line's character height when that is set by Chinese
// characters (capitals reach about 0.72 of it); beside capitals and digits, whose height it then
// is, a small letter reaches 0.7 of it but starts more than 0.28 of it below the line's top.
constexpr double kSmallLetterHeight = 0.62;
constexpr double kSmallLetterTop = 0.28;
constexpr double kLatinSmallLetterHeight = 0.8;

bool IsSmallLetter(const cv::Rect& box, double charHeight) {
  return box.height < kSmallLetterHeight * charHeight ||
         (box.y > kSmallLetterTop * charHeight && box.height < kLatinSmallLetterHeight * charHeight);
}

constexpr PlaceRule kPlaceRules[] = {
    {"，", Place::kBottom, 0, 0.6, 0, 0, "’"},
    {"’", Place::kTop, 0, 0.6, 0, 0, "，"},
    {"、", Place::kBottom, 0, 0.6, 0, 0, nullptr},
    {"‘", Place::kTop, 0, 0.6, 0, 0, nullptr},
    {"“", Place::kTop, 0, 0.6, 0, 0, nullptr},
    {"”", Place::kTop, 0, 0.6, 0, 0, nullptr},
    {"。", Place::kBottom, 0, 0.6, 0, 0, nullptr},
    {"．", Place::kBottom, 0, 0.4, 0, 0, "·"},
    {"·", Place::kMiddle, 0, 0.4, 0, 0, "．"},
    {"一", Place::kMiddle, 0, 0.4, 0, 1.15, "—"},
    {"—", Place::kMiddle, 0, 0.4, 1.15, 0, "一"},
    {"ｃ", Place::kSmallLetter, 0, 0, 0, 0, "Ｃ"},
    {"Ｃ", Place::kCapital, 0, 0, 0, 0, "ｃ"},
    {"ｏ", Place::kSmallLetter, 0, 0, 0, 0, "Ｏ"},
    {"Ｏ", Place::kCapital, 0, 0, 0, 0, "ｏ"},
    {"ｓ", Place::kSmallLetter, 0, 0, 0, 0, "Ｓ"},
    {"Ｓ", Place::kCapital, 0, 0, 0, 0, "ｓ"},
    {"ｖ", Place::kSmallLetter, 0, 0, 0, 0, "Ｖ"},
    {"Ｖ", Place::kCapital, 0, 0, 0, 0, "ｖ"},
    {"ｗ", Place::kSmallLetter, 0, 0, 0, 0, "Ｗ"},
    {"Ｗ", Place::kCapital, 0, 0, 0, 0, "ｗ"},
    {"ｘ", Place::kSmallLetter, 0, 0, 0, 0, "Ｘ"},
    {"Ｘ", Place::kCapital, 0, 0, 0, 0, "ｘ"},
    {"ｚ", Place::kSmallLetter, 0, 0, 0, 0, "Ｚ"},
    {"Ｚ", Place::kCapital, 0, 0, 0, 0, "ｚ"},
};

const PlaceRule* RuleOf(const std::string& label) {
  for (const PlaceRule& rule : kPlaceRules)
    if (label == rule.label) return &rule;
  return nullptr;
}

bool Fits(const PlaceRule& rule, const cv::Rect& box, int lineHeight, int charHeight) {
  const double centre = (box.y + box.height / 2.0) / std::max(1, lineHeight);
  const double height = static_cast<double>(std::max(1, charHeight));
  if (rule.minHeight > 0 && box.height < rule.minHeight * height) return false;
  if (rule.maxHeight > 0 && box.height >= rule.maxHeight * height) return false;
  if (rule.minWidth > 0 && box.width < rule.minWidth * height) return false;
  if (rule.maxWidth > 0 && box.width >= rule.maxWidth * height) return false;
  switch (rule.place) {
    case Place::kSmallLetter:
      return IsSmallLetter(box, height);
    case Place::kCapital:
      return !IsSmallLetter(box, height);
    case Place::kTop:
      return centre < 0.5;
    case Place::kBottom:
      return centre > 0.5;
    case Place::kMiddle:
      return centre > 0.25 && centre < 0.75;
  }
  return false;
}

struct Run {
  int start;
  int end;
};

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

cv::Mat ToGrey(const cv::Mat& picture) {
  if (picture.channels() == 1) return picture;
  cv::Mat grey;
  cv::cvtColor(picture, grey, cv::COLOR_BGR2GRAY);
  return grey;
}

bool Report(const OcrProgressCallback& progress, double fraction, const char* text) {
  return !progress || progress(fraction, text) == 0;
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
  const std::vector<LayoutLine> layout = AnalyzeLayout(fine, coarse);
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
  cv::adaptiveThreshold(normalized, *coarse, 255, cv::ADAPTIVE_THRESH_GAUSSIAN_C, cv::THRESH_BINARY, kCoarseBlock,
                        kThresholdOffset);
  cv::adaptiveThreshold(RemoveNoise(normalized, kStrokeWindow), *fine, 255, cv::ADAPTIVE_THRESH_GAUSSIAN_C,
                        cv::THRESH_BINARY, kFineBlock, kThresholdOffset);
}

int CDocOCR::PageCharHeight(const std::vector<cv::Rect>& boxes) {
  if (boxes.empty()) return 0;
  std::vector<int> heights;
  heights.reserve(boxes.size());
  for (const cv::Rect& b : boxes) heights.push_back(b.height);
  // As for a line's character height: an eighth down from the tallest, past dots and strokes.
  std::nth_element(heights.begin(), heights.begin() + heights.size() / 8, heights.end(), std::greater<>());
  return heights[heights.size() / 8];
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

std::vector<LayoutLine> CDocOCR::AnalyzeLayout(const cv::Mat& fine, const cv::Mat& coarse) {
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

  // A character's top and bottom are joined first, so that they never start two lines; then each
  // blob smeared one width to either side joins the characters of a line into one blob.
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  std::vector<cv::Rect> boxes;
  boxes.reserve(contours.size());
  for (const auto& contour : contours) boxes.push_back(cv::boundingRect(contour));
  const int charHeight = PageCharHeight(boxes);
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
  DecodeLattice(candidates, &readings);
  *text = readings.Empty() ? std::string() : readings.Front();
  return true;
}

bool CDocOCR::EstimateCharHeight(const cv::Mat& lineImage, int* height) {
  if (lineImage.empty()) return false;
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(lineImage.clone(), contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  if (contours.empty()) return false;
  std::vector<int> heights;
  heights.reserve(contours.size());
  for (const auto& contour : contours) heights.push_back(cv::boundingRect(contour).height);
  // An eighth down from the tallest: the dots and short strokes that make up most of the blobs
  // of Chinese characters must not set the height (from the smallest, a 40-pixel character
  // measured 10 and no cut could ever hold a whole character); the few tallest are skipped as
  // characters run together.
  std::sort(heights.begin(), heights.end(), std::greater<>());
  *height = heights[heights.size() / 8];
  return true;
}

RecordList<SegmentCandidate> CDocOCR::SegmentLine(const cv::Mat& lineImage, const cv::Mat& invertedGrey) {
  RecordList<SegmentCandidate> candidates;
  int charHeight = 0;
  if (lineImage.empty() || !handle_ || !EstimateCharHeight(lineImage, &charHeight)) return candidates;
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

  for (std::size_t i = 0; i < runs.size(); ++i) {
    for (std::size_t j = i; j < runs.size(); ++j) {
      const int cutWidth = runs[j].end - runs[i].start + 1;
      if (cutWidth > widthLimit) break;
      const cv::Mat columns = lineImage.colRange(runs[i].start, runs[j].end + 1);
      int first = -1;
      int last = -1;
      for (int r = 0; r < columns.rows; ++r) {
        if (cv::countNonZero(columns.row(r)) == 0) continue;
        if (first < 0) first = r;
        last = r;
      }
      if (first < 0) continue;
      SegmentCandidate candidate;
      candidate.x = runs[i].start;
      candidate.top = first;
      candidate.width = cutWidth;
      candidate.height = last - first + 1;
      const cv::Rect box(candidate.x, candidate.top, candidate.width, candidate.height);
      const cv::Mat image = CombineCandidateImage(lineImage(box), invertedGrey(box));
      std::string labels;
      std::vector<double> distances;
      if (RecognizeCandidate(image, kReadingsAsked, &labels, &distances)) {
        std::vector<std::string> readings;
        for (std::size_t k = 0; k < distances.size(); ++k)
          readings.push_back(OcrLabelToUtf8(std::string_view(labels).substr(k * kLabelBytes, kLabelBytes)));
        std::string twin;
        const int chosen = ChooseByPlace(readings, box, lineImage.rows, charHeight, &twin);
        const double distance = chosen >= 0 ? distances[chosen] : distances.front();
        if ((chosen >= 0 || !twin.empty()) && distance < kBlankDistance) {
          candidate.bestDistance = distance;
          candidate.alternatives.Append({chosen >= 0 ? readings[chosen] : twin, std::max(0.0, 1.0 - distance), -1});
        } else {
          candidate.bestDistance = kBlankDistance;
          candidate.alternatives.Append({" ", 1.0 - kBlankDistance, -1});
        }
      }
      candidates.Append(std::move(candidate));
    }
  }
  return candidates;
}

int CDocOCR::ChooseByPlace(const std::vector<std::string>& readings, const cv::Rect& box, int lineHeight,
                           int charHeight, std::string* twin) {
  twin->clear();
  for (std::size_t k = 0; k < readings.size(); ++k) {
    const PlaceRule* rule = RuleOf(readings[k]);
    if (!rule || Fits(*rule, box, lineHeight, charHeight)) return static_cast<int>(k);
    if (k == 0 && rule->twin && Fits(*RuleOf(rule->twin), box, lineHeight, charHeight)) {
      *twin = rule->twin;
      return -1;
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
