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
  const cv::Mat grey = ToGrey(picture);
  cv::Mat coarse;
  cv::Mat fine;
  if (binaryInput) {
    coarse = grey;
    fine = grey;
  } else {
    cv::adaptiveThreshold(grey, coarse, 255, cv::ADAPTIVE_THRESH_GAUSSIAN_C, cv::THRESH_BINARY, kCoarseBlock,
                          kThresholdOffset);
    cv::adaptiveThreshold(RemoveNoise(grey, kStrokeWindow), fine, 255, cv::ADAPTIVE_THRESH_GAUSSIAN_C,
                          cv::THRESH_BINARY, kFineBlock, kThresholdOffset);
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

  // Each blob smeared one width to either side joins the characters of a line into one blob.
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  for (const auto& contour : contours) {
    const cv::Rect b = cv::boundingRect(contour);
    cv::rectangle(mask, cv::Rect(b.x - b.width, b.y, 3 * b.width, b.height), cv::Scalar(255), cv::FILLED);
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
      if (RecognizeCandidate(image, kAlternatives, &labels, &distances)) {
        if (distances.front() < kBlankDistance) {
          candidate.bestDistance = distances.front();
          for (std::size_t k = 0; k < distances.size(); ++k)
            candidate.alternatives.Append(
                {OcrLabelToUtf8(std::string_view(labels).substr(k * kLabelBytes, kLabelBytes)),
                 std::max(0.0, 1.0 - distances[k]), -1});
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
