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

// The first and last column of a stretch of a line's columns that hold ink.
struct ColumnRun {
  int start = 0;
  int end = 0;
};

struct LayoutLine {
  cv::Mat image;  // ink 255 inside the line's blob, 0 elsewhere
  cv::Rect box;   // the blob's box grown by one pixel, clipped to the picture
};

class CDocOCR {
 public:
  static constexpr double kBlankDistance = 0.32;
  static constexpr int kThresholdOffset = 25;
  static constexpr int kCoarseBlock = 51;  // the thresholds' neighbourhoods, in pixels
  static constexpr int kFineBlock = 11;
  static constexpr int kMinBlobArea = 1024;
  // Rules run at least this many character heights across, or down; a line of text is never this
  // many character heights high; specks are smaller than this share of a character's square.
  static constexpr double kRuleLength = 3.0;
  static constexpr double kUprightRuleLength = 2.5;
  static constexpr double kMaxLineHeight = 3.0;
  static constexpr int kSpeckShare = 150;
  static constexpr double kMostCharacterAspect = 4.0;
  // A blob whose holes take more than this share of its box is a frame, not a character.
  static constexpr double kMostFrameHoles = 0.8;
  // Darker than this is not paper. A picture is at least half not paper, a code's random modules
  // about half, and none of its rows across two characters holds as little ink as the paper
  // between lines of text; text reaches neither.
  static constexpr int kPaperLevel = 235;
  static constexpr double kPictureDensity = 0.5;
  static constexpr double kPictureRowDensity = 0.15;
  // A code's coarse ink covers a third or more of its box, a table's grid with its text a fifth.
  static constexpr double kLeastCodeInk = 0.25;
  // Nine pixels: at 300 DPI the strokes of 14- and 16-point characters are six to eight pixels
  // wide, and a five-pixel window flattened them away with the large dark areas it is meant for.
  static constexpr int kStrokeWindow = 9;
  // The engine is asked for this many readings of a candidate, so that a look-alike its place in
  // the line rules out can give way to the next; the lattice still gets one per candidate.
  static constexpr int kReadingsAsked = 4;
  // A cut of a whole character read under this distance, at least this share of the character
  // height wide, outweighs the pieces it holds: each loses up to this much of its weight.
  static constexpr double kConfidentWhole = 0.25;
  static constexpr double kWholeWidth = 0.7;
  static constexpr double kPiecePenalty = 0.5;
  // A whole read under this distance outweighs its radical read as a letter, a sign or a character
  // too narrow to be one, as high as the whole, beside the rest read as a character.
  static constexpr double kReadWhole = 0.65;
  static constexpr double kTallPiece = 0.9;
  // No Chinese character is narrower than this share of its height: a narrower piece is a radical.
  static constexpr double kRadicalWidth = 0.5;
  // A quote mark set tight against a character (blurred, or in a face that kerns it) shares its
  // run: its columns hold top ink only, at least this share of the character height high and at
  // most this share wide.
  static constexpr double kLeastMarkHeight = 0.28;
  static constexpr double kLeastMarkWidth = 0.1;
  static constexpr double kMostMarkWidth = 0.35;
  static constexpr double kMostMarkAspect = 0.7;
  static constexpr double kWideBlankPenalty = 0.45;
  // A reading further off than the blank distance but under this one is kept when the next class
  // is at least this much further still.
  static constexpr double kFarDistance = 0.8;
  // The characters of a line are at least this share of its height.
  static constexpr double kLineFill = 0.9;
  // Characters closer than this share of the line's height belong to one word.
  static constexpr double kWordGap = 0.25;
  // Digits are half an em wide, and a line about an em high.
  static constexpr double kDigitWidth = 0.5;
  static constexpr double kClearMargin = 0.1;
  // Two letters that touch are at least this share of the character height wide together.
  static constexpr double kLeastLetterPairWidth = 0.5;

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
  // The grey picture with its paper made white and its ink black: divided by the paper's level
  // around each pixel (the light of a camera falls unevenly), then stretched so that the ink's
  // typical darkest level becomes 0. A camera's paper near 200 with thin strokes 60 levels below
  // it then meets the thresholds as a scanned page does.
  static cv::Mat NormalizeContrast(const cv::Mat& grey);
  // The coarse and fine black-and-white pictures of a normalised grey picture.
  static void Binarize(const cv::Mat& normalized, cv::Mat* coarse, cv::Mat* fine);
  // Keeps dark strokes narrower than `window` and flattens wider dark areas to paper.
  static cv::Mat RemoveNoise(const cv::Mat& grey, int window = kStrokeWindow);
  // `grey`, the normalised picture the two were made from, when given, lets pictures be found and
  // left out (see FindPictures).
  static std::vector<LayoutLine> AnalyzeLayout(const cv::Mat& fine, const cv::Mat& coarse,
                                               const cv::Mat& grey = cv::Mat());
  // Where the normalised grey picture of a page of `charHeight` characters holds no text but a
  // picture: a photograph, a QR code, a shaded area. 255 there, 0 elsewhere.
  static cv::Mat FindPictures(const cv::Mat& grey, int charHeight);
  // Clears the rules of tables and forms (ink straight across or down for longer than any
  // character's stroke) from the fine and coarse ink of a page of `charHeight` characters.
  static void RemoveRules(cv::Mat& mask, cv::Mat& text, int charHeight);
  // Clears the specks of noise, far smaller than a dot of a character, from the coarse ink.
  static void RemoveSpecks(cv::Mat& text, int charHeight);
  // Blob boxes stacked one above the other closely enough to be the top and bottom of one
  // character (thresholding can part them), with no more than a character's height together:
  // each pair found gives the box that joins them.
  static std::vector<cv::Rect> VerticalJoins(const std::vector<cv::Rect>& boxes, int charHeight);
  // The character height of a page's blob boxes, among those of character size; 0 for none.
  static int PageCharHeight(const std::vector<cv::Rect>& boxes);
  bool RecognizeLine(const cv::Mat& lineImage, const cv::Mat& invertedGrey, std::string* text);
  RecordList<SegmentCandidate> SegmentLine(const cv::Mat& lineImage, const cv::Mat& invertedGrey);
  static bool EstimateCharHeight(const cv::Mat& lineImage, int* height);
  // `runs` of `lineImage` with a quote mark that shares a run with a Chinese character beside it,
  // the other mark of its pair a run of its own beyond it, parted into a run of its own.
  static std::vector<ColumnRun> PartQuoteMarks(const cv::Mat& lineImage, const std::vector<ColumnRun>& runs,
                                               int charHeight);
  static cv::Mat CombineCandidateImage(const cv::Mat& lineCut, const cv::Mat& greyCut);
  bool RecognizeCandidate(const cv::Mat& image, int n, std::string* labels, std::vector<double>* distances);
  // Of the engine's readings (UTF-8, best first) of a candidate at `box` in a line of `lineHeight`
  // rows whose characters are `charHeight` high, the first whose size and place in the line fit
  // it: marks such as ， and ’, ． and ·, 一 and —, 。 and Ｏ are one shape once normalised and
  // differ only there. A mark that fits nowhere it could be gives way to its twin. -1 when none
  // fits; `*twin` is then empty, or the label to read instead of the first.
  static int ChooseByPlace(const std::vector<std::string>& readings, const cv::Rect& box, int lineHeight,
                           int charHeight, std::string* twin);
  // In a number, the letters of a digit's shape are that digit: l, I and i are one, O and o zero,
  // where a digit stands beside them in the same word and no letter does; a middle dot between two
  // digits is the decimal point. `lineHeight`: the line's rows, for the gap between words.
  static void ReadNumbersAsDigits(std::vector<DecodedCharacter>& characters, int lineHeight);
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
