#include "camera/grabbers.h"

#include <opencv2/core.hpp>

#include "platform/message_ids.h"

namespace orvane {

void CSampleGrabberCB::Configure(int width, int height, FrameSubtype subtype) {
  std::lock_guard guard(sinkLock_);
  width_ = width;
  height_ = height;
  subtype_ = subtype;
  bufferCount_ = 0;
}

void CSampleGrabberCB::SetSink(CFrameSlot* slot) {
  std::lock_guard guard(sinkLock_);
  sink_ = slot;
}

int CSampleGrabberCB::BufferCB(double /*sampleTime*/, const std::uint8_t* buffer, int length) {
  std::lock_guard guard(sinkLock_);
  if (bufferCount_ < 2) {
    if (subtype_ == FrameSubtype::MJPG) {
      ++bufferCount_;
      return 0;
    }
    if (subtype_ == FrameSubtype::YUY2) bufferCount_ = 3;
  }
  if (sink_ != nullptr && sink_->State() != CFrameSlot::kFilled) {
    sink_->Store(length, subtype_, buffer, width_, height_);
  }
  return 0;
}

void CSampleGrabberCallback::SetSize(int width, int height) {
  width_.store(width, std::memory_order_relaxed);
  height_.store(height, std::memory_order_relaxed);
}

cv::Mat CSampleGrabberCallback::GetPicture() const {
  std::lock_guard guard(pictureLock_);
  return picture_.clone();
}

int CSampleGrabberCallback::BufferCB(double /*sampleTime*/, const std::uint8_t* buffer, int length) {
  if (Ready()) {
    platform::Post(platform::TargetHandle(owner_.load(std::memory_order_relaxed)),
                   platform::message_ids::kSnapshotButton, 0, 0);
    return kNotImplemented;
  }
  Take(buffer, length);
  return 0;
}

bool CSampleGrabberCallback::OfferLiveFrame(const std::uint8_t* buffer, int length) {
  return Ready() || Take(buffer, length);
}

bool CSampleGrabberCallback::Take(const std::uint8_t* buffer, int length) {
  const int width = width_.load(std::memory_order_relaxed);
  const int height = height_.load(std::memory_order_relaxed);
  const long long pixels = static_cast<long long>(width) * height;
  if (buffer == nullptr || length <= 0 || pixels <= 0) return false;
  cv::Mat picture;
  if (length < 2 * pixels) {
    int jpegWidth = 0, jpegHeight = 0, step = 0;
    // A still larger than the still size the stream was set to is a bad frame, whatever its
    // header claims.
    if (ReadMJPGSize(buffer, length, &jpegWidth, &jpegHeight) && jpegWidth > 0 && jpegHeight > 0 &&
        jpegWidth <= width && jpegHeight <= height) {
      cv::Mat decoded;
      try {
        decoded.create(jpegHeight, jpegWidth, CV_8UC3);
      } catch (const cv::Exception&) {
        return false;  // no memory for it now; the request stays open
      }
      bool damaged = false;
      if (DecodeMJPGToBGR24(buffer, length, decoded.data, decoded.total() * 3, &jpegWidth, &jpegHeight, &step, 1,
                            &damaged) &&
          !damaged) {
        picture = decoded;
      }
    }
    // A still that does not decode whole keeps the request open: a page is never saved with the
    // rows a camera left out.
    if (picture.empty()) {
      refused_.fetch_add(1, std::memory_order_acq_rel);
      return false;
    }
  } else if (length == 2 * pixels) {
    picture.create(height, width, CV_8UC3);
    if (!ConvertYUY2ToBGR24(buffer, length, width, height, picture.data)) return false;
  } else {
    return false;
  }
  const int angle = angle_.load(std::memory_order_relaxed);
  if (angle != 0) picture = RotatePicture(picture, angle);
  {
    std::lock_guard guard(pictureLock_);
    picture_ = std::move(picture);
  }
  ready_.store(true, std::memory_order_release);
  return true;
}

cv::Mat CSampleGrabberCallback::RotatePicture(const cv::Mat& picture, int angle) {
  if (angle % 90 != 0) return {};
  cv::Mat turned;
  switch (((angle % 360) + 360) % 360) {
    case 90:
      cv::rotate(picture, turned, cv::ROTATE_90_CLOCKWISE);
      return turned;
    case 180:
      cv::rotate(picture, turned, cv::ROTATE_180);
      return turned;
    case 270:
      cv::rotate(picture, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
      return turned;
    default:
      return picture.clone();
  }
}

}  // namespace orvane
