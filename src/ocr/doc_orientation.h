// Text orientation: character-sized blobs of a page are read by the classifier as they are and
// turned by 90, 180 and 270 degrees; the turn under which they read best is the page's.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "ocr/ocr_handle.h"

namespace orvane::ocr {

// Quarter turns of an 8-bit matrix of any channel count; an empty matrix gives an empty one.
cv::Mat RotateMat90CCW(const cv::Mat& source);
cv::Mat RotateMat180(const cv::Mat& source);
cv::Mat RotateMat90CW(const cv::Mat& source);

// Bound to the thread that made it, like its engine.
class CDocOrientation {
 public:
  static constexpr int kThresholdOffset = 18;
  static constexpr int kMinBlobArea = 484;
  static constexpr float kMinAspect = 0.85f;
  static constexpr int kCountedBlobs = 5;

  enum class BlobVerdict { kIgnored, kDecisive, kCounted };

  CDocOrientation() = default;
  ~CDocOrientation();
  CDocOrientation(const CDocOrientation&) = delete;
  CDocOrientation& operator=(const CDocOrientation&) = delete;

  bool Initialize(const std::filesystem::path& templatePath);
  void Release();

  // `picture`: 8-bit, one or three channels. True when an orientation was decided: *angle is then
  // 0, 90, 180 or 270, the counter-clockwise turn that makes the text upright. On false *angle is 0.
  bool DetectOrientation(cv::Mat picture, int* angle, bool binary);

  // The blob's n best labels into `text` (GBK, 2 bytes each) and their distances appended.
  bool RecognizeBlob(int n, const cv::Mat& blob, std::string* text, std::vector<double>* distances);

  // Distances as read at 0, 90, 180 and 270 degrees: the smallest wins, ties to the earlier angle.
  static int BestAngle(const std::array<double, 4>& distances);
  // One blob's say: ignored when no reading is good or clear enough, decisive when one reading is
  // clearly good, otherwise counted into the sums.
  static BlobVerdict JudgeBlob(const std::array<double, 4>& distances);

 private:
  std::unique_ptr<COCRHandle> handle_;
};

}  // namespace orvane::ocr
