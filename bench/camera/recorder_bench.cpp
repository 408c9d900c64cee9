// Recording 1280 x 960 at 25 frames a second with sound, in real time as the station records:
// the processor time the recording costs per second of video (goal: under half a core), and how
// far the sound and the pictures have drifted apart at the end (goal: under 100 ms after 60 s).
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

#include "camera/video_recorder.h"
// The same reading-back the recorder's tests use.
#include "../../tests/platform/media_probe.h"
#include "../../tests/temp_folder.h"

namespace orvane {
namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 960;
constexpr int kFps = 25;
constexpr int kBitrate = 462500;  // what the recording dialog asks for

// A display showing a moving 1600 x 1200 document: one second of different pictures, made
// beforehand so that only the recording's own work is measured.
class MovingDisplay : public IPictureSource {
 public:
  MovingDisplay() {
    for (int i = 0; i < kFps; ++i) {
      cv::Mat picture(1200, 1600, CV_8UC3, cv::Scalar(235, 235, 235));
      for (int line = 0; line < 40; ++line) {
        const int y = 80 + line * 26 + i;
        cv::rectangle(picture, {100 + (line * 37) % 200, y}, {1400 - (line * 53) % 300, y + 12},
                      cv::Scalar(40, 40, 40), cv::FILLED);
      }
      pictures_.push_back(picture);
    }
  }
  bool GetRecordingPicture(cv::Mat* picture) override {
    *picture = pictures_[static_cast<std::size_t>(next_++ % kFps)];
    return true;
  }

 private:
  std::vector<cv::Mat> pictures_;
  int next_ = 0;
};

// A microphone: 44,100 Hz stereo at the pace of the clock.
class ClockedMicrophone : public platform::IAudioSource {
 public:
  int SampleRate() const override { return 44100; }
  int Channels() const override { return 2; }
  bool Read(std::vector<std::int16_t>* samples, int timeoutMs) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 20)));
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    const auto due = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * 44100 / 1'000'000;
    for (; delivered_ < due; ++delivered_) {
      const auto value = static_cast<std::int16_t>(6000 * std::sin(static_cast<double>(delivered_) * 0.03));
      samples->push_back(value);
      samples->push_back(value);
    }
    return true;
  }

 private:
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::int64_t delivered_ = 0;
};

double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_RecordWithSound(benchmark::State& state) {
  const auto seconds = std::chrono::seconds(state.range(0));
  for (auto _ : state) {
    orvane::testing::TempFolder folder;
    MovingDisplay display;
    CVideoRecorder recorder([] { return std::make_unique<ClockedMicrophone>(); });
    const double before = ProcessorSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    if (recorder.Start(&display, folder / "bench.asf", kWidth, kHeight, kFps, kBitrate) != kSuccess) {
      state.SkipWithError(recorder.LastError().c_str());
      return;
    }
    std::this_thread::sleep_for(seconds);
    if (recorder.Stop() != kSuccess) {
      state.SkipWithError(recorder.LastError().c_str());
      return;
    }
    const double processor = ProcessorSeconds() - before;
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());

    const auto probed = orvane::testing::ProbeMediaFile(folder / "bench.asf");
    const auto* video = probed.Find("wmv2");
    const auto* audio = probed.Find("wmav2");
    if (video == nullptr || audio == nullptr) {
      state.SkipWithError("the recording lacks a stream");
      return;
    }
    state.counters["cores_per_video_second"] = processor / video->seconds;
    state.counters["video_s"] = video->seconds;
    state.counters["audio_s"] = audio->seconds;
    state.counters["drift_ms"] = std::abs(audio->seconds - video->seconds) * 1000;
    state.counters["frames"] = video->packets;
  }
}
BENCHMARK(BM_RecordWithSound)->Arg(10)->Arg(60)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace orvane
