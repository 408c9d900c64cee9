// Records what a display shows into an ASF file, with sound when a capture device exists.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

#include <opencv2/core.hpp>

#include "camera/overlays.h"

namespace orvane {

// Where a picture of `pictureWidth` x `pictureHeight` lands in a `width` x `height` frame when
// scaled to fit without distortion and centred; the rest of the frame stays black.
IntRect LetterboxRect(int pictureWidth, int pictureHeight, int width, int height);

// A new `width` x `height` BGR frame with `picture` (8-bit, 1, 3 or 4 channels) letterboxed into
// it on black. An empty picture gives an all-black frame.
cv::Mat StretchToSample(const cv::Mat& picture, int width, int height);

// Pictures waiting to be encoded, oldest first, at most `capacity`; a full queue drops its
// oldest picture, so a stalled encoder never holds more than that. Thread-safe.
class CPictureQueue {
 public:
  explicit CPictureQueue(std::size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}
  void Push(cv::Mat picture);
  std::optional<cv::Mat> TakeOldest();
  std::size_t Size() const;

 private:
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::deque<cv::Mat> pictures_;
};

}  // namespace orvane
