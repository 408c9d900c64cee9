#include "camera/video_recorder.h"

#include <opencv2/imgproc.hpp>

namespace orvane {

IntRect LetterboxRect(int pictureWidth, int pictureHeight, int width, int height) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || width <= 0 || height <= 0) return {};
  const float scaleY = static_cast<float>(height) / static_cast<float>(pictureHeight);
  const float scaleX = static_cast<float>(width) / static_cast<float>(pictureWidth);
  if (scaleY < scaleX) {
    const float half = scaleY * static_cast<float>(pictureWidth) * 0.5f;
    const int centre = width / 2;
    return {static_cast<int>(static_cast<float>(centre) - half), 0,
            static_cast<int>(static_cast<float>(centre) + half), height};
  }
  const float half = static_cast<float>(pictureHeight) * scaleX * 0.5f;
  const int centre = height / 2;
  return {0, static_cast<int>(static_cast<float>(centre) - half), width,
          static_cast<int>(static_cast<float>(centre) + half)};
}

cv::Mat StretchToSample(const cv::Mat& picture, int width, int height) {
  cv::Mat frame(height, width, CV_8UC3, cv::Scalar::all(0));
  if (picture.empty() || picture.depth() != CV_8U) return frame;
  IntRect target = LetterboxRect(picture.cols, picture.rows, width, height);
  target.left = std::max(target.left, 0);
  target.top = std::max(target.top, 0);
  target.right = std::min(target.right, width);
  target.bottom = std::min(target.bottom, height);
  if (target.Width() <= 0 || target.Height() <= 0) return frame;

  cv::Mat bgr;
  switch (picture.channels()) {
    case 1: cv::cvtColor(picture, bgr, cv::COLOR_GRAY2BGR); break;
    case 4: cv::cvtColor(picture, bgr, cv::COLOR_BGRA2BGR); break;
    case 3: bgr = picture; break;
    default: return frame;
  }
  // Nearest neighbour: what a live recording needs, at a fraction of the cost of filtering.
  cv::Mat region = frame(cv::Rect(target.left, target.top, target.Width(), target.Height()));
  cv::resize(bgr, region, region.size(), 0, 0, cv::INTER_NEAREST);
  return frame;
}

void CPictureQueue::Push(cv::Mat picture) {
  std::lock_guard lock(mutex_);
  pictures_.push_back(std::move(picture));
  while (pictures_.size() > capacity_) pictures_.pop_front();
}

std::optional<cv::Mat> CPictureQueue::TakeOldest() {
  std::lock_guard lock(mutex_);
  if (pictures_.empty()) return std::nullopt;
  cv::Mat oldest = std::move(pictures_.front());
  pictures_.pop_front();
  return oldest;
}

std::size_t CPictureQueue::Size() const {
  std::lock_guard lock(mutex_);
  return pictures_.size();
}

}  // namespace orvane
