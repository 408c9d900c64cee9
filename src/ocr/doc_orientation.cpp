#include "ocr/doc_orientation.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "ocr/doc_ocr.h"

namespace orvane::ocr {
namespace {

constexpr int kDroppedEdge = 30;  // left columns and top rows, often the stand or the page edge
constexpr int kMinDroppingSize = 60;
constexpr int kThresholdBlock = 31;
constexpr double kUsableDistance = 0.32;
constexpr double kUnclearRatio = 0.85;
constexpr double kConfidentDistance = 0.2;
constexpr double kDecisiveRatio = 0.4;
constexpr int kAngles[4] = {0, 90, 180, 270};

template <class Pick>
cv::Mat Turn(const cv::Mat& source, bool swapSides, Pick pick) {
  if (source.empty()) return {};
  CV_Assert(source.depth() == CV_8U);
  const int rows = swapSides ? source.cols : source.rows;
  const int cols = swapSides ? source.rows : source.cols;
  cv::Mat result(rows, cols, source.type());
  const std::size_t pixelBytes = source.elemSize();
  for (int i = 0; i < rows; ++i) {
    std::uint8_t* out = result.ptr<std::uint8_t>(i);
    for (int j = 0; j < cols; ++j) {
      const auto [r, c] = pick(i, j);
      std::copy_n(source.ptr<std::uint8_t>(r) + c * pixelBytes, pixelBytes, out + j * pixelBytes);
    }
  }
  return result;
}

}  // namespace

cv::Mat RotateMat90CCW(const cv::Mat& s) {
  return Turn(s, true, [&](int i, int j) { return std::pair{j, s.cols - 1 - i}; });
}

cv::Mat RotateMat180(const cv::Mat& s) {
  return Turn(s, false, [&](int i, int j) { return std::pair{s.rows - 1 - i, s.cols - 1 - j}; });
}

cv::Mat RotateMat90CW(const cv::Mat& s) {
  return Turn(s, true, [&](int i, int j) { return std::pair{s.rows - 1 - j, i}; });
}

CDocOrientation::~CDocOrientation() { Release(); }

bool CDocOrientation::Initialize(const std::filesystem::path& templatePath) {
  Release();
  handle_ = OpenOcrHandle(templatePath);
  return handle_ != nullptr;
}

void CDocOrientation::Release() { CloseOcrHandle(handle_); }

bool CDocOrientation::RecognizeBlob(int n, const cv::Mat& blob, std::string* text, std::vector<double>* distances) {
  if (!handle_ || blob.empty() || n < 1) return false;
  const cv::Mat contiguous = blob.clone();
  std::vector<char> labels(2 * static_cast<std::size_t>(n) + 1, 0);
  std::vector<double> found(n, 0.0);
  if (!handle_->Recognize(contiguous.ptr<std::uint8_t>(), contiguous.cols, contiguous.rows, labels.data(), n,
                          found.data()))
    return false;
  text->assign(labels.data());
  distances->insert(distances->end(), found.begin(), found.end());
  return true;
}

int CDocOrientation::BestAngle(const std::array<double, 4>& d) {
  int best = 0;
  for (int k = 1; k < 4; ++k)
    if (d[k] < d[best]) best = k;
  return kAngles[best];
}

CDocOrientation::BlobVerdict CDocOrientation::JudgeBlob(const std::array<double, 4>& d) {
  const double w = d[BestAngle(d) / 90];
  double v = 1.0;
  for (double x : d)
    if (x > w) v = std::min(v, x);
  if (w > kUsableDistance) return BlobVerdict::kIgnored;
  if (w / v > kUnclearRatio) return BlobVerdict::kIgnored;
  if (w < kConfidentDistance && w / v < kDecisiveRatio) return BlobVerdict::kDecisive;
  return BlobVerdict::kCounted;
}

bool CDocOrientation::DetectOrientation(cv::Mat picture, int* angle, bool binary) {
  *angle = 0;
  if (picture.empty() || !handle_) return false;
  CV_Assert(picture.depth() == CV_8U);
  cv::Rect region(0, 0, picture.cols, picture.rows);
  if (picture.cols > kMinDroppingSize) {
    region.x = kDroppedEdge;
    region.width -= kDroppedEdge;
  }
  if (picture.rows > kMinDroppingSize) {
    region.y = kDroppedEdge;
    region.height -= kDroppedEdge;
  }
  cv::Mat grey = picture(region);
  if (grey.channels() > 1) cv::cvtColor(grey, grey, cv::COLOR_BGR2GRAY);

  cv::Mat reading;
  cv::Mat mask;
  cv::subtract(cv::Scalar::all(255), grey, reading);
  if (binary) {
    mask = reading.clone();
  } else {
    cv::adaptiveThreshold(grey, mask, 255, cv::ADAPTIVE_THRESH_GAUSSIAN_C, cv::THRESH_BINARY, kThresholdBlock,
                          kThresholdOffset);
    cv::subtract(cv::Scalar::all(255), mask, mask);
  }

  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(mask, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
  std::array<double, 4> sums{};
  int counted = 0;
  for (const auto& contour : contours) {
    const cv::Rect box = cv::boundingRect(contour);
    if (box.area() < kMinBlobArea) continue;
    const float across = static_cast<float>(box.width) / static_cast<float>(box.height);
    const float down = static_cast<float>(box.height) / static_cast<float>(box.width);
    if (across < kMinAspect || down < kMinAspect) continue;

    // Masked as page recognition masks its candidates: on rendered pages the bare cut let the
    // classifier see the paper's grey and anti-aliased fringes and read fewer blobs the right way.
    const cv::Mat blob = CDocOCR::CombineCandidateImage(mask(box), reading(box));
    const cv::Mat turns[4] = {blob, RotateMat90CCW(blob), RotateMat180(blob), RotateMat90CW(blob)};
    std::array<double, 4> distances{};
    bool read = true;
    for (int k = 0; k < 4 && read; ++k) {
      std::string text;
      std::vector<double> found;
      read = RecognizeBlob(1, turns[k], &text, &found);
      if (read) distances[k] = found.front();
    }
    if (!read) continue;  // the engine saw nothing in it
    switch (JudgeBlob(distances)) {
      case BlobVerdict::kIgnored:
        break;
      case BlobVerdict::kDecisive:
        *angle = BestAngle(distances);
        return true;
      case BlobVerdict::kCounted:
        for (int k = 0; k < 4; ++k) sums[k] += distances[k];
        ++counted;
        break;
    }
    if (counted >= kCountedBlobs) break;
  }
  if (counted == 0) return false;
  *angle = BestAngle(sums);
  return true;
}

}  // namespace orvane::ocr
