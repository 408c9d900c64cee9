// Where a recording takes its pictures from: the display implements it, tests use a fake.
#pragma once

#include <opencv2/core.hpp>

namespace orvane {

// Thread-safety: called from the recorder's frame-pull thread while the recording runs.
class IPictureSource {
 public:
  virtual ~IPictureSource() = default;
  // The shown picture (8-bit BGR) while the recording flag is on: true and `picture` filled.
  // Otherwise false and `picture` is left as it was.
  virtual bool GetRecordingPicture(cv::Mat* picture) = 0;
  // The same for a recording of `recordedSize`: the picture may be smaller than the shown one, as
  // long as it letterboxes into that size without being enlarged.
  virtual bool GetRecordingPictureAt(cv::Mat* picture, cv::Size /*recordedSize*/) {
    return GetRecordingPicture(picture);
  }
};

}  // namespace orvane
