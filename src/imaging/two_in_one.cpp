#include "imaging/two_in_one.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "imaging/capture_pipeline.h"
#include "imaging/conversions.h"
#include "imaging/image_file.h"

namespace orvane::imaging {
namespace fs = std::filesystem;
namespace {

// The picture in the canvas type: grey through `conversion`, colour by replicating grey.
cv::Mat AsType(const cv::Mat& picture, int type, GreyConversion conversion) {
  if (picture.type() == type) return picture;
  if (type == CV_8UC1) return ToGrey(picture, conversion);
  cv::Mat colour;
  if (picture.channels() == 1) cv::cvtColor(picture, colour, cv::COLOR_GRAY2BGR);
  else if (picture.channels() == 4) cv::cvtColor(picture, colour, cv::COLOR_BGRA2BGR);
  else return {};
  return colour;
}

int JoinType(int joinKind) { return joinKind == kJoinGrey ? CV_8UC1 : CV_8UC3; }

// Merge kinds of the file merge: 1 grey, 2 black and white, anything else colour.
cv::Mat Compose(const fs::path& first, const fs::path& second, int mergeKind, int gap,
                bool vertical) {
  if (first.empty() || second.empty()) return {};
  gap = std::max(gap, 0);
  cv::Mat a = LoadImageFile(first);
  if (a.empty()) return {};
  cv::Mat b = LoadImageFile(second);
  if (b.empty()) return {};
  const bool grey = mergeKind == 1 || mergeKind == 2;
  if (grey) {
    a = ToGrey(a, GreyConversion::kRgbToGreyOnBgr);
    b = ToGrey(b, GreyConversion::kRgbToGreyOnBgr);
    if (mergeKind == 2) {
      // Each half gets its own level.
      cv::threshold(a, a, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
      cv::threshold(b, b, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    }
  }
  const cv::Size size = vertical ? cv::Size(std::max(a.cols, b.cols), a.rows + b.rows + gap)
                                 : cv::Size(a.cols + b.cols + gap, std::max(a.rows, b.rows));
  cv::Mat canvas(size, grey ? CV_8UC1 : CV_8UC3, cv::Scalar::all(255));
  a.copyTo(canvas(cv::Rect(0, 0, a.cols, a.rows)));
  const cv::Point secondAt = vertical ? cv::Point(0, a.rows + gap) : cv::Point(a.cols + gap, 0);
  b.copyTo(canvas(cv::Rect(secondAt, b.size())));
  return canvas;
}

}  // namespace

fs::path CCaptureImageHelper::Merge2in1(const fs::path& first, const fs::path& second,
                                        const fs::path& outputBase, bool vertical, int gap,
                                        const platform::FilePlacement& placement) {
  return vertical ? MergeTopBottom(first, second, outputBase, settings_.colorMode, gap, placement)
                  : MergeSideBySide(first, second, outputBase, settings_.colorMode, gap, placement);
}

fs::path CCaptureImageHelper::MergeTopBottom(const fs::path& first, const fs::path& second,
                                             const fs::path& outputBase, int mergeKind, int gap,
                                             const platform::FilePlacement& placement) {
  if (outputBase.empty()) return {};
  cv::Mat canvas = Compose(first, second, mergeKind, gap, true);
  if (canvas.empty()) return {};
  return mergeKind == 2 ? SaveTif(canvas, outputBase, placement) : SaveJpg(canvas, outputBase, placement);
}

fs::path CCaptureImageHelper::MergeSideBySide(const fs::path& first, const fs::path& second,
                                              const fs::path& outputBase, int mergeKind, int gap,
                                              const platform::FilePlacement& placement) {
  if (outputBase.empty()) return {};
  cv::Mat canvas = Compose(first, second, mergeKind, gap, false);
  if (canvas.empty()) return {};
  return mergeKind == 2 ? SaveTif(canvas, outputBase, placement) : SaveJpg(canvas, outputBase, placement);
}

cv::Mat MergeImagesV(const cv::Mat& page, const cv::Mat& other, int joinKind) {
  if (page.empty() || other.empty()) return {};
  const int type = JoinType(joinKind);
  const cv::Mat a = AsType(page, type, GreyConversion::kBgrToGrey);
  const cv::Mat b = AsType(other, type, GreyConversion::kBgrToGrey);
  if (a.empty() || b.empty()) return {};
  cv::Mat canvas(a.rows + b.rows, std::max(a.cols, b.cols), type, cv::Scalar::all(255));
  b.copyTo(canvas(cv::Rect(0, 0, b.cols, b.rows)));
  a.copyTo(canvas(cv::Rect(0, b.rows, a.cols, a.rows)));
  return canvas;
}

cv::Mat MergeImagesH(const cv::Mat& page, const cv::Mat& second, const cv::Mat& third, int joinKind) {
  if (page.empty() || second.empty() || third.empty()) return {};
  const int type = JoinType(joinKind);
  const cv::Mat a = AsType(page, type, GreyConversion::kBgrToGrey);
  const cv::Mat b = AsType(second, type, GreyConversion::kBgrToGrey);
  const cv::Mat c = AsType(third, type, GreyConversion::kBgrToGrey);
  if (a.empty() || b.empty() || c.empty()) return {};
  const int top = std::max(b.rows, c.rows);
  cv::Mat canvas(a.rows + top, std::max(a.cols, b.cols + c.cols), type, cv::Scalar::all(255));
  b.copyTo(canvas(cv::Rect(0, top - b.rows, b.cols, b.rows)));
  c.copyTo(canvas(cv::Rect(b.cols, top - c.rows, c.cols, c.rows)));
  a.copyTo(canvas(cv::Rect(0, top, a.cols, a.rows)));
  return canvas;
}

}  // namespace orvane::imaging
