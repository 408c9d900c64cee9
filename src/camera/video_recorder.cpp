#include "camera/video_recorder.h"

#include <system_error>

#include <opencv2/imgproc.hpp>

#include "platform/diagnostics.h"

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

CVideoRecorder::CVideoRecorder(AudioSourceFactory audioSources) : audioSources_(std::move(audioSources)) {}

CVideoRecorder::~CVideoRecorder() { Stop(); }

std::unique_ptr<platform::IAudioSource> CVideoRecorder::DefaultAudioSource() {
  return platform::OpenAudioCaptureDevice();
}

int CVideoRecorder::Start(IPictureSource* display, const std::filesystem::path& file, int width, int height,
                          int fps, int bitrate) {
  if (IsRecording()) Stop();
  lastError_.clear();
  recorded_.clear();
  if (display == nullptr) {
    lastError_ = "no display to record";
    return kNullPointer;
  }
  // YUV 4:2:0 needs even sizes.
  width &= ~1;
  height &= ~1;
  if (width < 2 || height < 2 || fps < 1) {
    lastError_ = "a recording needs a size of at least 2 x 2 and at least one frame a second";
    return kInvalidArgument;
  }

  audio_ = audioSources_ ? audioSources_() : nullptr;
  platform::MediaFormat format{width, height, fps, bitrate, 0, 0};
  if (audio_ != nullptr) {
    format.audioSampleRate = audio_->SampleRate();
    format.audioChannels = audio_->Channels();
  }
  writer_ = std::make_unique<platform::CMediaWriter>();
  if (!writer_->Open(file, format, &lastError_)) {
    writer_.reset();
    audio_.reset();
    platform::DebugOutput("Recording: " + lastError_);
    return kFail;
  }

  width_ = width;
  height_ = height;
  framePeriod_ = std::chrono::nanoseconds(1'000'000'000LL / fps);
  queue_ = std::make_unique<CPictureQueue>(static_cast<std::size_t>(fps));
  {
    std::lock_guard lock(soundMutex_);
    sound_.clear();
  }
  stopCapture_ = false;
  stopEncoding_ = false;
  finished_ = false;
  writeFailed_ = false;
  recorded_.clear();
  encodeError_.clear();
  display_ = display;
  // The sound device has been capturing since it was opened: what it took while the file was
  // being opened comes before the recording's start and is left out, so that sound and pictures
  // start together (on a busy machine the opening alone can take a good part of a second).
  if (audio_ != nullptr) {
    std::vector<std::int16_t> beforeTheStart;
    audio_->Read(&beforeTheStart, 0);
  }
  startTime_ = std::chrono::steady_clock::now();
  try {
    frameThread_ = std::thread(&CVideoRecorder::FrameThreadProc, this);
    if (audio_ != nullptr) audioThread_ = std::thread(&CVideoRecorder::AudioThreadProc, this);
    encodeThread_ = std::thread(&CVideoRecorder::EncodeThreadProc, this);
  } catch (const std::system_error& error) {
    // The threads that did start end here; the unfinished file goes with the writer.
    StopThreads();
    writer_.reset();
    audio_.reset();
    queue_.reset();
    lastError_ = std::string("the recording threads cannot start: ") + error.what();
    platform::DebugOutput("Recording: " + lastError_);
    return kFail;
  }
  return kSuccess;
}

void CVideoRecorder::StopThreads() {
  {
    std::lock_guard lock(wakeMutex_);
    stopCapture_ = true;
  }
  wake_.notify_all();
  // The pull thread may be inside the display: it ends before the display is let go.
  if (frameThread_.joinable()) frameThread_.join();
  display_ = nullptr;
  if (audioThread_.joinable()) audioThread_.join();
  {
    std::lock_guard lock(wakeMutex_);
    stopEncoding_ = true;
  }
  wake_.notify_all();
  if (encodeThread_.joinable()) encodeThread_.join();
}

int CVideoRecorder::Stop() {
  if (!IsRecording()) return 1;
  StopThreads();

  recorded_ = writer_->WrittenPath();
  writer_.reset();  // removes the file when nothing of it was kept
  audio_.reset();
  queue_.reset();
  if (!finished_) {
    lastError_ = encodeError_;
    platform::DebugOutput("Recording: " + lastError_);
    return kFail;
  }
  return kSuccess;
}

bool CVideoRecorder::WaitUntil(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& stop) {
  std::unique_lock lock(wakeMutex_);
  return wake_.wait_until(lock, deadline, [&] { return stop.load(); });
}

void CVideoRecorder::FrameThreadProc() {
  cv::Mat picture;
  for (std::int64_t tick = 1;; ++tick) {
    IPictureSource* display = display_.load();
    // Asked for at the recording's size: the display then decodes no larger than it needs.
    if (display != nullptr && display->GetRecordingPictureAt(&picture, {width_, height_}) && !picture.empty()) {
      queue_->Push(StretchToSample(picture, width_, height_));
    }
    // Deadlines from the start, so the time spent in the display does not add up.
    if (WaitUntil(startTime_ + tick * framePeriod_, stopCapture_)) return;
  }
}

void CVideoRecorder::AudioThreadProc() {
  std::vector<std::int16_t> chunk;
  while (!stopCapture_.load()) {
    chunk.clear();
    if (!audio_->Read(&chunk, 50)) {
      platform::DebugOutput("Recording: the sound device failed; the rest is recorded without sound");
      return;
    }
    if (chunk.empty()) continue;
    std::lock_guard lock(soundMutex_);
    sound_.insert(sound_.end(), chunk.begin(), chunk.end());
  }
}

void CVideoRecorder::EncodeThreadProc() {
  // Before the first picture arrives the recording shows black.
  cv::Mat last(height_, width_, CV_8UC3, cv::Scalar::all(0));
  std::vector<std::int16_t> sound;
  const int channels = audio_ != nullptr ? audio_->Channels() : 0;
  bool failed = false;

  auto writeDue = [&](std::chrono::steady_clock::time_point now) {
    // One picture per frame period since the start; after a stall the backlog is caught up
    // from the queue, so the pictures keep their place in time.
    const std::int64_t due = (now - startTime_) / framePeriod_ + 1;
    while (!failed && writer_->VideoFrames() < due) {
      if (auto next = queue_->TakeOldest()) last = std::move(*next);
      if (!writer_->WriteVideoFrame(last.data, static_cast<std::ptrdiff_t>(last.step))) {
        encodeError_ = "the pictures could not be written";
        failed = true;
      }
    }
    {
      std::lock_guard lock(soundMutex_);
      sound.swap(sound_);
    }
    if (!failed && channels > 0 && !sound.empty()) {
      if (!writer_->WriteAudio(sound.data(), static_cast<int>(sound.size()) / channels)) {
        encodeError_ = "the sound could not be written";
        failed = true;
      }
    }
    sound.clear();
  };

  // Half a period behind the pull thread, so a picture taken on time is queued when it is due.
  for (std::int64_t tick = 0;; ++tick) {
    const bool stopping = WaitUntil(startTime_ + tick * framePeriod_ + framePeriod_ / 2, stopEncoding_);
    writeDue(std::chrono::steady_clock::now());
    if (stopping || failed) break;
  }
  if (failed) {
    // Nothing more can be written: the capture threads need not go on collecting, and what was
    // written before the fault is kept at once, without waiting for the user's Stop.
    {
      std::lock_guard lock(wakeMutex_);
      stopCapture_ = true;
    }
    wake_.notify_all();
    std::string error;
    writer_->Finish(&error);
    if (!error.empty()) encodeError_ = error;
    writeFailed_ = true;
    return;
  }
  std::string error;
  if (writer_->Finish(&error)) {
    finished_ = true;
  } else {
    encodeError_ = error;
    writeFailed_ = true;
  }
}

}  // namespace orvane
