// Pictures made for the screen on the calling thread: the live view does this every frame, and
// spreading a few milliseconds of work over OpenCV's worker pool costs several times the work
// itself in hand-over and spinning.
#pragma once

#include <memory>

#include <opencv2/core.hpp>

namespace orvane {

// Each destination pixel is the mean of the source area it covers, partly covered source pixels
// weighted by their share, as OpenCV's INTER_AREA shrinks (within one grey level: the weights are
// fixed point). 8-bit pictures of 1 to 4 channels shrunk at most 8 times in either direction;
// anything else goes to cv::resize. `destination` is written into when it has the size and type
// already and lies apart from the source (its buffer must then be the caller's alone).
void ShrinkByAreaAverage(const cv::Mat& source, cv::Mat& destination, cv::Size size);

// An 8-bit BGR picture in the window system's 32-bit BGRA layout, opaque; anything else gives an
// empty picture.
void ConvertBgrToBgra(const cv::Mat& bgr, cv::Mat& bgra);

// An 8-bit BGR picture shrunk by ShrinkByAreaAverage to the size of `bgra` (8-bit, 4 channels,
// possibly a view into a larger picture) and written into it opaque: the pixels of that shrink
// followed by ConvertBgrToBgra, without the intermediate picture. Anything else writes nothing.
void ShrinkIntoBgra(const cv::Mat& bgr, cv::Mat& bgra);

// ShrinkByAreaAverage (or, into a 4-channel result from a 3-channel source, ShrinkIntoBgra) of a
// picture whose rows arrive band by band, as a decoder gives them: each row of the result is
// written as soon as the source rows under it are there, while they are still in cache. The same
// pixels. Also writes again the part of the result over a changed area of the source.
class StreamedShrink {
 public:
  StreamedShrink();
  ~StreamedShrink();
  StreamedShrink(StreamedShrink&&) noexcept;
  StreamedShrink& operator=(StreamedShrink&&) noexcept;

  // A shrink of a `source`-sized picture of `sourceType` into `result` (kept by reference; a view
  // into a larger picture will do). False, and nothing is ever written, for one these weights do
  // not make (8-bit pictures shrunk at most 8 times either way; a same-sized one is copied).
  bool Start(cv::Size source, int sourceType, cv::Mat result);
  bool Started() const { return !result_.empty(); }
  // Writes each row of the result not written yet whose source rows lie within the first `rows`.
  void AddRows(const cv::Mat& source, int rows);
  // All rows written.
  bool Done() const { return !result_.empty() && done_ == result_.rows; }
  // Writes again every pixel of the result that reads from `changed` (source pixels).
  void Refresh(const cv::Mat& source, const cv::Rect& changed);

 private:
  struct Plan;
  std::unique_ptr<Plan> plan_;  // none for a copy
  cv::Mat result_;
  cv::Size source_;
  int channels_ = 0;
  int done_ = 0;  // rows of the result written
};

}  // namespace orvane
