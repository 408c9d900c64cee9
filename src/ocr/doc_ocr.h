// Page recognition: binarises a page picture, finds its text lines by merging character blobs,
// cuts each line into candidates along its column profile, has the engine read every candidate,
// decodes each line over the candidate lattice and joins the lines in reading order. The text
// leaves as UTF-8.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "ocr/lattice.h"
#include "ocr/ocr_handle.h"
#include "ocr/record_list.h"

namespace orvane::ocr {

// (fraction 0..1, UTF-8 status text) -> non-zero asks the run to stop.
using OcrProgressCallback = std::function<int(double fraction, const char* text)>;

struct TextLineRecord {
  std::string text;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct LayoutLine {
  cv::Mat image;  // ink 255 inside the line's blob, 0 elsewhere
  cv::Rect box;   // the blob's box grown by one pixel, clipped to the picture
};

class CDocOCR {
 public:
  static constexpr double kBlankDistance = 0.32;
  static constexpr int kAlternatives = 1;
  static constexpr int kThresholdOffset = 25;
  static constexpr int kMinBlobArea = 1024;
  // Nine pixels: at 300 DPI the strokes of 14- and 16-point characters are six to eight pixels
  // wide, and a five-pixel window flattened them away with the large dark areas it is meant for.
  static constexpr int kStrokeWindow = 9;

  CDocOCR() = default;
  virtual ~CDocOCR();
  CDocOCR(const CDocOCR&) = delete;
  CDocOCR& operator=(const CDocOCR&) = delete;

  bool Initialize(const std::filesystem::path& templatePath);
  void Release();

  // `picture`: 8-bit grey or BGR; `binaryInput`: already black and white, skip thresholding and the
  // stroke filter. True when at least one line was found; `*text` is then the page's text, and is
  // left as it was on false.
  bool Recognize(cv::Mat picture, std::string* text, const OcrProgressCallback& progress, bool binaryInput);

  // The steps, public for their tests.
  bool ProcessImage(cv::Mat picture, RecordList<TextLineRecord>* lines, const OcrProgressCallback& progress,
                    bool binaryInput);
  // Keeps dark strokes narrower than `window` and flattens wider dark areas to paper.
  static cv::Mat RemoveNoise(const cv::Mat& grey, int window = kStrokeWindow);
  static std::vector<LayoutLine> AnalyzeLayout(const cv::Mat& fine, const cv::Mat& coarse);
  bool RecognizeLine(const cv::Mat& lineImage, const cv::Mat& invertedGrey, std::string* text);
  RecordList<SegmentCandidate> SegmentLine(const cv::Mat& lineImage, const cv::Mat& invertedGrey);
  static bool EstimateCharHeight(const cv::Mat& lineImage, int* height);
  static cv::Mat CombineCandidateImage(const cv::Mat& lineCut, const cv::Mat& greyCut);
  bool RecognizeCandidate(const cv::Mat& image, int n, std::string* labels, std::vector<double>* distances);
  static bool CompareLinePosition(const TextLineRecord& a, const TextLineRecord& b);
  // Sorts the lines into reading order and joins them: six spaces between lines side by side,
  // "\r\n" between lines one below the other. False when there is no line.
  static bool JoinLines(RecordList<TextLineRecord>& lines, std::string* text);
  static void DecodeLattice(RecordList<SegmentCandidate>& candidates, RecordList<std::string>* readings) {
    ocr::DecodeLattice(candidates, readings);
  }

 private:
  std::unique_ptr<COCRHandle> handle_;
};

}  // namespace orvane::ocr
