#include "camera/video_recorder.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "platform/media_probe.h"
#include "temp_folder.h"
#include "thread_start_failure.h"

namespace orvane {
namespace {

struct LetterboxCase {
  int pictureWidth, pictureHeight, width, height;
  IntRect expected;
};

TEST(LetterboxTest, FitsAndCentresThePicture) {
  const LetterboxCase cases[] = {
      {1600, 1200, 640, 480, {0, 0, 640, 480}},    // same shape: fills the frame
      {1000, 1000, 640, 480, {80, 0, 560, 480}},   // taller: bands left and right
      {1920, 1080, 640, 480, {0, 60, 640, 420}},   // wider: bands above and below
      {320, 240, 640, 480, {0, 0, 640, 480}},      // smaller: scaled up
      {0, 240, 640, 480, {0, 0, 0, 0}},            // no picture: nothing drawn
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LetterboxRect(c.pictureWidth, c.pictureHeight, c.width, c.height), c.expected)
        << c.pictureWidth << " x " << c.pictureHeight << " into " << c.width << " x " << c.height;
  }
}

TEST(LetterboxTest, BandsStayBlackAndThePictureFillsTheRest) {
  const cv::Mat white(1000, 1000, CV_8UC3, cv::Scalar::all(255));
  const cv::Mat frame = StretchToSample(white, 640, 480);
  ASSERT_EQ(frame.size(), cv::Size(640, 480));
  ASSERT_EQ(frame.type(), CV_8UC3);
  EXPECT_EQ(cv::countNonZero(frame.reshape(1)(cv::Rect(0, 0, 80 * 3, 480))), 0);
  EXPECT_EQ(cv::countNonZero(frame.reshape(1)(cv::Rect(560 * 3, 0, 80 * 3, 480))), 0);
  EXPECT_EQ(cv::countNonZero(frame.reshape(1)(cv::Rect(80 * 3, 0, 480 * 3, 480))), 480 * 480 * 3);
}

TEST(LetterboxTest, GreyAndMissingPicturesGiveBgrFrames) {
  const cv::Mat grey(10, 10, CV_8UC1, cv::Scalar(200));
  const cv::Mat frame = StretchToSample(grey, 20, 10);
  ASSERT_EQ(frame.type(), CV_8UC3);
  EXPECT_EQ(frame.at<cv::Vec3b>(5, 10), cv::Vec3b(200, 200, 200));
  EXPECT_EQ(frame.at<cv::Vec3b>(5, 2), cv::Vec3b(0, 0, 0));

  const cv::Mat black = StretchToSample(cv::Mat(), 8, 6);
  ASSERT_EQ(black.size(), cv::Size(8, 6));
  EXPECT_EQ(cv::countNonZero(black.reshape(1)), 0);
}

TEST(PictureQueueTest, DropsTheOldestWhenFull) {
  CPictureQueue queue(3);
  for (int i = 0; i < 5; ++i) queue.Push(cv::Mat(1, 1, CV_8UC1, cv::Scalar(i)));
  EXPECT_EQ(queue.Size(), 3u);
  for (int expected : {2, 3, 4}) {
    const auto picture = queue.TakeOldest();
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->at<std::uint8_t>(0, 0), expected);
  }
  EXPECT_FALSE(queue.TakeOldest().has_value());
}

using orvane::testing::ProbeMediaFile;
using orvane::testing::TempFolder;
using namespace std::chrono_literals;

// A display: a blue picture while its recording flag is on, nothing otherwise; `pictures` limits
// how many it hands out.
class FakePictureSource : public IPictureSource {
 public:
  explicit FakePictureSource(bool recording, int pictures = 1 << 30) : recording_(recording), left_(pictures) {}
  bool GetRecordingPicture(cv::Mat* picture) override {
    ++calls_;
    if (!recording_ || left_.fetch_sub(1) <= 0) return false;
    *picture = cv::Mat(90, 200, CV_8UC3, cv::Scalar(255, 0, 0));
    return true;
  }
  int Calls() const { return calls_.load(); }

 private:
  const bool recording_;
  std::atomic<int> left_;
  std::atomic<int> calls_{0};
};

// A microphone: a mono tone at the pace of the clock, as a capture device delivers it, from the
// moment it was opened (`captured` earlier still: a device that took that long to open).
class FakeAudioSource : public platform::IAudioSource {
 public:
  explicit FakeAudioSource(std::chrono::milliseconds captured = {}) : start_(std::chrono::steady_clock::now() - captured) {}
  static constexpr int kRate = 22050;
  int SampleRate() const override { return kRate; }
  int Channels() const override { return 1; }
  bool Read(std::vector<std::int16_t>* samples, int timeoutMs) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 20)));
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    const auto due = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * kRate / 1'000'000;
    for (; delivered_ < due; ++delivered_) {
      samples->push_back(static_cast<std::int16_t>(8000 * std::sin(static_cast<double>(delivered_) * 0.05)));
    }
    return true;
  }

 private:
  const std::chrono::steady_clock::time_point start_;
  std::int64_t delivered_ = 0;
};

CVideoRecorder::AudioSourceFactory WithSound(bool sound, std::chrono::milliseconds captured = {}) {
  if (!sound) return [] { return std::unique_ptr<platform::IAudioSource>(); };
  return [captured] { return std::make_unique<FakeAudioSource>(captured); };
}

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr int kFps = 10;

struct RecordingCase {
  const char* name;
  bool sound;
  // Sound the device held before the recording started: none of it is recorded.
  std::chrono::milliseconds capturedBefore{};
};

TEST(VideoRecorderTest, TwoSecondsBecomeAnAsfFileWithSoundOnlyWhenThereIsSome) {
  const RecordingCase cases[] = {{"clip.avi", true}, {"clip.asf", false}, {"late.asf", true, 1s}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    FakePictureSource display(true);
    CVideoRecorder recorder(WithSound(c.sound, c.capturedBefore));
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(recorder.Start(&display, folder / c.name, kWidth, kHeight, kFps, 300000), kSuccess)
        << recorder.LastError();
    const auto running = std::chrono::steady_clock::now();
    EXPECT_EQ(recorder.HasSound(), c.sound);
    std::this_thread::sleep_for(2s);
    const auto stopping = std::chrono::steady_clock::now();
    ASSERT_EQ(recorder.Stop(), kSuccess) << recorder.LastError();
    const auto stopped = std::chrono::steady_clock::now();
    const auto seconds = [](std::chrono::steady_clock::duration length) {
      return std::chrono::duration<double>(length).count();
    };

    const auto probed = ProbeMediaFile(folder / c.name);
    ASSERT_TRUE(probed.opened);
    EXPECT_EQ(probed.container, "asf");
    const auto* video = probed.Find("wmv2");
    ASSERT_NE(video, nullptr);
    // The recording size, with or without sound.
    EXPECT_EQ(video->width, kWidth);
    EXPECT_EQ(video->height, kHeight);
    // A picture a period of the time it ran, however late a busy machine lets its threads start
    // and stop.
    EXPECT_GE(video->packets, static_cast<int>(seconds(stopping - running) * kFps) - 1);
    EXPECT_LE(video->packets, static_cast<int>(seconds(stopped - started) * kFps) + 2);
    EXPECT_NEAR(video->frameRate, kFps, 0.5);
    const auto* audio = probed.Find("wmav2");
    if (c.sound) {
      ASSERT_NE(audio, nullptr);
      // In step with the pictures, give or take what a slow stop let either of them add.
      EXPECT_NEAR(audio->seconds, video->seconds, 0.25 + seconds(stopped - stopping));
    } else {
      EXPECT_EQ(audio, nullptr);
    }
  }
}

// One second recorded without sound from `display`, read back.
// A second or so of recording, and the frame count its length allows: one picture per period
// of the time between Start and Stop, however late a busy machine lets the threads run.
struct Recorded {
  orvane::testing::ProbedFile probed;
  int fewest = 0;
  int most = 0;
};

Recorded RecordOneSecond(FakePictureSource& display) {
  TempFolder folder;
  CVideoRecorder recorder(WithSound(false));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(recorder.Start(&display, folder / "clip.asf", kWidth, kHeight, kFps, 0), kSuccess);
  const auto running = std::chrono::steady_clock::now();
  // The display is asked at least once, however busy the machine.
  for (int wait = 0; display.Calls() == 0 && wait < 3000; ++wait) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(1s);
  const auto stopping = std::chrono::steady_clock::now();
  EXPECT_EQ(recorder.Stop(), kSuccess);
  const auto stopped = std::chrono::steady_clock::now();
  const auto frames = [](std::chrono::steady_clock::duration length) {
    return static_cast<int>(std::chrono::duration<double>(length).count() * kFps);
  };
  return {ProbeMediaFile(folder / "clip.asf"), frames(stopping - running) - 1, frames(stopped - started) + 2};
}

TEST(VideoRecorderTest, WithoutPicturesTheFramesAreBlackAndStillKeepTime) {
  FakePictureSource display(false);  // recording flag off: no picture ever comes
  const Recorded recorded = RecordOneSecond(display);
  const auto* video = recorded.probed.Find("wmv2");
  ASSERT_NE(video, nullptr);
  EXPECT_GE(video->packets, recorded.fewest);
  EXPECT_LE(video->packets, recorded.most);
  EXPECT_LT(video->first.y, 20);  // black is 16 in YUV
  EXPECT_NEAR(video->first.u, 128, 3);
  EXPECT_NEAR(video->first.v, 128, 3);
}

TEST(VideoRecorderTest, AMissingPictureRepeatsTheLastOne) {
  FakePictureSource display(true, 1);  // one picture, then the display has nothing more
  const Recorded recorded = RecordOneSecond(display);
  const auto* video = recorded.probed.Find("wmv2");
  ASSERT_NE(video, nullptr);
  EXPECT_GE(video->packets, recorded.fewest);
  EXPECT_LE(video->packets, recorded.most);
  EXPECT_GT(video->last.u, 170);  // still the blue picture (letterboxed between black bands)
}

TEST(VideoRecorderTest, RefusedStartsLeaveNothingRunningAndNoFile) {
  TempFolder folder;
  FakePictureSource display(true);
  struct Refusal {
    IPictureSource* display;
    std::filesystem::path file;
    int width, height, fps, expected;
  };
  const Refusal refusals[] = {
      {nullptr, folder / "a.asf", kWidth, kHeight, kFps, kNullPointer},
      {&display, folder / "b.asf", kWidth, kHeight, 0, kInvalidArgument},
      {&display, folder / "c.asf", 1, kHeight, kFps, kInvalidArgument},
      {&display, folder / "missing" / "d.asf", kWidth, kHeight, kFps, kFail},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.file.string());
    CVideoRecorder recorder(WithSound(true));
    EXPECT_EQ(recorder.Start(r.display, r.file, r.width, r.height, r.fps, 0), r.expected);
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_FALSE(recorder.LastError().empty());
    EXPECT_EQ(recorder.Stop(), 1);
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

// With sound the recorder starts three threads: pulling pictures, reading sound, encoding. When
// any cannot start, those that did are stopped and joined, the start fails with a reason and no
// file is left; the next start works.
TEST(VideoRecorderTest, AThreadThatCannotStartFailsTheStartCleanly) {
  for (const int failing : {1, 2, 3}) {
    SCOPED_TRACE(failing);
    TempFolder folder;
    FakePictureSource display(true);
    CVideoRecorder recorder(WithSound(true));
    testing::FailThreadStart(failing);
    EXPECT_EQ(recorder.Start(&display, folder / "clip.asf", kWidth, kHeight, kFps, 0), kFail);
    testing::FailThreadStart(0);
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_NE(recorder.LastError().find("cannot start"), std::string::npos) << recorder.LastError();
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    const int calls = display.Calls();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(display.Calls(), calls);  // no pull thread is left running
    ASSERT_EQ(recorder.Start(&display, folder / "clip.asf", kWidth, kHeight, kFps, 0), kSuccess);
    EXPECT_EQ(recorder.Stop(), kSuccess);
  }
}

TEST(VideoRecorderTest, StopEndsThePullsAndASecondStopIsHarmless) {
  TempFolder folder;
  FakePictureSource display(true);
  CVideoRecorder recorder(WithSound(true));
  ASSERT_EQ(recorder.Start(&display, folder / "clip.wmv", kWidth + 1, kHeight, 50, 0), kSuccess);
  std::this_thread::sleep_for(200ms);
  ASSERT_EQ(recorder.Stop(), kSuccess);
  const int calls = display.Calls();
  EXPECT_GT(calls, 0);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(display.Calls(), calls);
  EXPECT_EQ(recorder.Stop(), 1);
  // An odd width is recorded one pixel narrower.
  const auto probed = ProbeMediaFile(folder / "clip.wmv");
  const auto* video = probed.Find("wmv2");
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->width, kWidth);
}

// The display is told the size the pictures are recorded at, so it decodes no larger than that.
TEST(VideoRecorderTest, AsksForPicturesAtTheRecordingsSize) {
  class SizedSource : public IPictureSource {
   public:
    bool GetRecordingPicture(cv::Mat*) override { return false; }
    bool GetRecordingPictureAt(cv::Mat* picture, cv::Size recordedSize) override {
      std::lock_guard lock(mutex_);
      asked_ = recordedSize;
      *picture = cv::Mat(recordedSize, CV_8UC3, cv::Scalar::all(128));
      return true;
    }
    cv::Size Asked() {
      std::lock_guard lock(mutex_);
      return asked_;
    }

   private:
    std::mutex mutex_;
    cv::Size asked_;
  };
  TempFolder folder;
  SizedSource display;
  CVideoRecorder recorder(WithSound(false));
  ASSERT_EQ(recorder.Start(&display, folder / "clip.asf", kWidth + 1, kHeight, kFps, 0), kSuccess);
  std::this_thread::sleep_for(200ms);
  ASSERT_EQ(recorder.Stop(), kSuccess);
  EXPECT_EQ(display.Asked(), cv::Size(kWidth, kHeight));  // the size recorded: odd widths lose a pixel
}

}  // namespace
}  // namespace orvane
