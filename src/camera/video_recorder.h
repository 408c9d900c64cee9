// Records what a display shows into an ASF file, with sound when a capture device exists.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/overlays.h"
#include "camera/picture_source.h"
#include "camera/video_source.h"
#include "platform/audio_capture.h"
#include "platform/media_writer.h"

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

inline constexpr int kInvalidArgument = static_cast<int>(0x80070057);  // E_INVALIDARG

// Records the display's shown picture at the recording size and frame rate into an ASF file,
// with sound from the first audio input when there is one.
//
// Three threads run while recording: the frame-pull thread asks the picture source for a
// picture every frame period, letterboxes it and queues it (at most one second of pictures);
// the audio thread collects the capture device's sound; the encoding loop, paced by the wall
// clock, writes one picture per frame period (the oldest queued one, else the last one again,
// black before the first) and all sound collected so far. Pacing by the clock keeps the
// pictures' time stamps in step with the sound, whatever the display delivers.
//
// Thread-bound: Start and Stop run on the owner's thread; the picture source is called from the
// frame-pull thread only, never after Stop has returned.
class CVideoRecorder {
 public:
  using AudioSourceFactory = std::function<std::unique_ptr<platform::IAudioSource>()>;

  explicit CVideoRecorder(AudioSourceFactory audioSources = DefaultAudioSource);
  ~CVideoRecorder();  // stops a running recording
  CVideoRecorder(const CVideoRecorder&) = delete;
  CVideoRecorder& operator=(const CVideoRecorder&) = delete;

  // Stops a running recording first. kSuccess once the threads run; kNullPointer without a
  // display; kInvalidArgument for a size below 2 x 2 or a frame rate below 1; kFail when the
  // file cannot be made (nothing is left on disk). An odd size is recorded one pixel smaller.
  int Start(IPictureSource* display, const std::filesystem::path& file, int width, int height, int fps,
            int bitrate);
  // 1 when nothing is being recorded; kSuccess once the file is complete under its name; kFail
  // when it could not be finished: what was written is kept all the same where it can be (see
  // RecordedFile).
  int Stop();
  // A write to the file failed (a full disk, an I/O error): the recording has ended, what came
  // before the fault is kept, and Stop is all that is left to do.
  bool Failed() const { return writeFailed_.load(); }

  bool IsRecording() const { return encodeThread_.joinable(); }
  bool HasSound() const { return audio_ != nullptr; }
  const std::string& LastError() const { return lastError_; }
  // The file the last recording was kept in: the name given to Start, or "-2", "-3", ... after it
  // when that name was taken by then, or "NAME-incomplete.EXT" for one cut short by a failed
  // write. Empty when nothing could be kept.
  const std::filesystem::path& RecordedFile() const { return recorded_; }

 private:
  static std::unique_ptr<platform::IAudioSource> DefaultAudioSource();
  // Stops and joins whichever of the three threads run.
  void StopThreads();
  void FrameThreadProc();
  void AudioThreadProc();
  void EncodeThreadProc();
  // Waits until `deadline` or until `stop` is set; true when it is time to stop.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& stop);

  AudioSourceFactory audioSources_;
  std::string lastError_;
  std::filesystem::path recorded_;

  // Fixed from Start to Stop.
  int width_ = 0;
  int height_ = 0;
  std::chrono::nanoseconds framePeriod_{0};
  std::chrono::steady_clock::time_point startTime_;
  std::unique_ptr<platform::CMediaWriter> writer_;       // the encoding thread's alone
  std::unique_ptr<platform::IAudioSource> audio_;        // the audio thread's alone
  std::unique_ptr<CPictureQueue> queue_;

  std::atomic<IPictureSource*> display_{nullptr};
  std::atomic<bool> stopCapture_{false};  // the frame-pull and audio threads
  std::atomic<bool> stopEncoding_{false};
  std::mutex wakeMutex_;
  std::condition_variable wake_;

  std::mutex soundMutex_;
  std::vector<std::int16_t> sound_;  // collected, not yet encoded

  std::atomic<bool> finished_{false};  // set by the encoding thread when the file is complete
  std::atomic<bool> writeFailed_{false};  // set by the encoding thread when a write failed
  std::string encodeError_;            // written by the encoding thread before it ends

  std::thread frameThread_;
  std::thread audioThread_;
  std::thread encodeThread_;
};

}  // namespace orvane
