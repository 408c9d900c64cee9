// The two frame receivers of the USB camera source, called on its streaming thread: the preview
// grabber hands every frame to the display's raw slot; the still grabber turns a requested still
// into a BGR picture and reports an unrequested one (the camera's own button) to the owner window.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include <opencv2/core.hpp>

#include "camera/frame.h"
#include "platform/messages.h"

namespace orvane {

class CSampleGrabberCB {
 public:
  // The preview format; resets the buffer counter (the first two MJPG buffers after each
  // opening are dropped: cameras send them half-exposed).
  void Configure(int width, int height, FrameSubtype subtype);
  // Waits for a callback in flight, so the old slot is no longer touched when this returns.
  void SetSink(CFrameSlot* slot);
  // Always 0. A frame is dropped while the slot still holds one the display has not taken.
  int BufferCB(double sampleTime, const std::uint8_t* buffer, int length);

 private:
  std::mutex sinkLock_;  // held by the streaming thread for the length of one callback
  CFrameSlot* sink_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  FrameSubtype subtype_ = FrameSubtype::None;
  int bufferCount_ = 0;
};

class CSampleGrabberCallback {
 public:
  static constexpr int kNotImplemented = static_cast<int>(0x80004001);  // E_NOTIMPL

  void SetOwner(platform::TargetHandle owner) { owner_.store(owner.Id(), std::memory_order_relaxed); }
  void SetAngle(int angle) { angle_.store(angle, std::memory_order_relaxed); }
  void SetSize(int width, int height);
  // A still is awaited from now on.
  void ClearReady() { ready_.store(false, std::memory_order_release); }
  // The wait for a still was given up: the next unrequested still is the button again, not a
  // late answer to the old request.
  void CancelRequest() { ready_.store(true, std::memory_order_release); }
  bool Ready() const { return ready_.load(std::memory_order_acquire); }
  // A copy of the last still.
  cv::Mat GetPicture() const;

  // Unrequested: posts the snapshot message and answers E_NOTIMPL. Requested: a buffer shorter
  // than width x height x 2 is decoded as JPEG, one of exactly that length converted from YUY2,
  // a longer one ignored (the request stays open); the picture is turned and the flag set. A JPEG
  // that does not decode, or decodes with rows missing, is refused: the request stays open and
  // Refused() counts it, so the next still can be asked for.
  int BufferCB(double sampleTime, const std::uint8_t* buffer, int length);
  // A live frame while a still is awaited, taken as a requested still is; never the button. True
  // when no still is awaited any more (this one taken, or none asked for).
  bool OfferLiveFrame(const std::uint8_t* buffer, int length);
  // Stills refused so far.
  int Refused() const { return refused_.load(std::memory_order_acquire); }

  // Turns by a multiple of 90 degrees (clockwise, any sign, taken modulo 360); other angles give
  // an empty picture.
  static cv::Mat RotatePicture(const cv::Mat& picture, int angle);

 private:
  // A requested still: stored and the flag set, or false (the request stays open).
  bool Take(const std::uint8_t* buffer, int length);

  std::atomic<std::uint64_t> owner_{0};
  std::atomic<int> angle_{0};
  std::atomic<int> width_{0};
  std::atomic<int> height_{0};
  std::atomic<bool> ready_{true};
  std::atomic<int> refused_{0};
  mutable std::mutex pictureLock_;
  cv::Mat picture_;
};

}  // namespace orvane
