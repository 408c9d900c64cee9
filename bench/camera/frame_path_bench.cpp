// Frame conversion speeds: our YUY2 conversion against OpenCV's at the sizes cameras send, our MJPG
// decode against a bare turbojpeg call on the same frame, and the whole path from the grabber
// callback to a converted BGR slot for 4160 x 3120 MJPG (30 frames a second needs 33.3 ms a frame
// or less).
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <chrono>
#include <map>
#include <tuple>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "camera/frame.h"
#include "camera/grabbers.h"
#include "camera/virtual_camera.h"

namespace orvane {
namespace {

const cv::Mat& Scene(int width, int height) {
  static std::map<std::pair<int, int>, cv::Mat> scenes;
  auto& scene = scenes[{width, height}];
  if (scene.empty()) scene = RenderVirtualScene(width, height, 0);
  return scene;
}

// A YUY2 buffer of the scene (the sample values matter little to either conversion).
const std::vector<std::uint8_t>& Yuy2(int width, int height) {
  static std::map<std::pair<int, int>, std::vector<std::uint8_t>> buffers;
  auto& buffer = buffers[{width, height}];
  if (buffer.empty()) {
    const cv::Mat& scene = Scene(width, height);
    cv::Mat yuv;
    cv::cvtColor(scene, yuv, cv::COLOR_BGR2YUV);
    buffer.resize(static_cast<std::size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y) {
      const cv::Vec3b* row = yuv.ptr<cv::Vec3b>(y);
      std::uint8_t* out = buffer.data() + static_cast<std::size_t>(y) * width * 2;
      for (int x = 0; x < width; x += 2) {
        out[2 * x] = row[x][0];
        out[2 * x + 1] = row[x][1];
        out[2 * x + 2] = row[x + 1][0];
        out[2 * x + 3] = row[x][2];
      }
    }
  }
  return buffer;
}

// A camera-like MJPG frame: 4:2:2, quality 85. The raw scene carries sensor noise, which makes it
// dearer to decode than a real camera's frame; `denoised` smooths it first, as a camera's own
// noise reduction does before it compresses.
const std::vector<std::uint8_t>& Jpeg(int width, int height, bool denoised = false) {
  static std::map<std::tuple<int, int, bool>, std::vector<std::uint8_t>> frames;
  auto& frame = frames[{width, height, denoised}];
  if (frame.empty()) {
    cv::Mat picture = Scene(width, height).clone();
    if (denoised) cv::GaussianBlur(picture, picture, cv::Size(3, 3), 0);
    tjhandle compressor = tjInitCompress();
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    tjCompress2(compressor, picture.data, width, width * 3, height, TJPF_BGR, &bytes, &size, TJSAMP_422, 85, 0);
    frame.assign(bytes, bytes + size);
    tjFree(bytes);
    tjDestroy(compressor);
  }
  return frame;
}

// Ours against cvtColor on the same frame, both with OpenCV's default thread pool (third argument
// 0) and held to one thread (1), each round converting with one and then the other so both see
// the same machine. Goal: a ratio of at most 1 at every size.
void BM_Yuy2AgainstCvtColor(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  const int threads = cv::getNumThreads();
  if (state.range(2) == 1) cv::setNumThreads(1);
  const auto& source = Yuy2(width, height);
  const cv::Mat yuy2(height, width, CV_8UC2, const_cast<std::uint8_t*>(source.data()));
  cv::Mat ours(height, width, CV_8UC3), theirs(height, width, CV_8UC3);
  using Clock = std::chrono::steady_clock;
  Clock::duration oursTime{}, theirsTime{};
  for (auto _ : state) {
    const auto start = Clock::now();
    ConvertYUY2ToBGR24(source.data(), static_cast<int>(source.size()), width, height, ours.data);
    benchmark::DoNotOptimize(ours.data);
    const auto middle = Clock::now();
    cv::cvtColor(yuy2, theirs, cv::COLOR_YUV2BGR_YUY2);
    benchmark::DoNotOptimize(theirs.data);
    const auto end = Clock::now();
    oursTime += middle - start;
    theirsTime += end - middle;
  }
  const auto ms = [&](Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count() / static_cast<double>(state.iterations());
  };
  state.counters["ours_ms"] = ms(oursTime);
  state.counters["cvtColor_ms"] = ms(theirsTime);
  state.counters["ratio"] = ms(oursTime) / ms(theirsTime);
  cv::setNumThreads(threads);
}

void BM_DecodeMJPGToBGR24(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  const auto& jpeg = Jpeg(width, height);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 3);
  for (auto _ : state) {
    int w = 0, h = 0, step = 0;
    DecodeMJPGToBGR24(jpeg.data(), static_cast<int>(jpeg.size()), out.data(), out.size(), &w, &h, &step);
    benchmark::DoNotOptimize(out.data());
  }
}

// A bare turbojpeg decode of the same frames, at 1/1 (the yardstick for DecodeMJPGToBGR24), 1/2,
// 1/4 and 1/8 of each side (third argument: the denominator; fourth: the denoised, camera-like
// frame). Shows how much of a decode is entropy decoding, which no scaling saves.
void BM_TjDecompressScaled(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  const int denominator = static_cast<int>(state.range(2));
  const auto& jpeg = Jpeg(width, height, state.range(3) != 0);
  const int w = (width + denominator - 1) / denominator, h = (height + denominator - 1) / denominator;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h * 3);
  tjhandle decompressor = tjInitDecompress();
  for (auto _ : state) {
    tjDecompress2(decompressor, jpeg.data(), jpeg.size(), out.data(), w, w * 3, h, TJPF_BGR, 0);
    benchmark::DoNotOptimize(out.data());
  }
  tjDestroy(decompressor);
}

// One camera frame from the streaming thread's callback into the raw slot, converted by the
// conversion worker into the converted slot, which the display worker then takes.
void BM_FramePathMJPG(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  const auto& jpeg = Jpeg(width, height, state.range(2) != 0);
  state.counters["frame_kB"] = static_cast<double>(jpeg.size()) / 1000.0;
  CSampleGrabberCB grabber;
  CFrameSlot raw, converted;
  FrameConverter converter;
  grabber.SetSink(&raw);
  grabber.Configure(width, height, FrameSubtype::YUY2);  // no start-up drops in the measurement
  grabber.Configure(width, height, FrameSubtype::MJPG);
  for (int i = 0; i < 2; ++i) grabber.BufferCB(0.0, jpeg.data(), static_cast<int>(jpeg.size()));
  for (auto _ : state) {
    grabber.BufferCB(0.0, jpeg.data(), static_cast<int>(jpeg.size()));
    if (!converter.Convert(raw, converted)) state.SkipWithError("frame not converted");
    converted.MarkTaken();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Yuy2AgainstCvtColor)
    ->ArgNames({"width", "height", "one_thread"})
    ->ArgsProduct({{640}, {480}, {0, 1}})
    ->ArgsProduct({{1920}, {1080}, {0, 1}})
    ->ArgsProduct({{2592}, {1944}, {0, 1}})
    ->ArgsProduct({{4160}, {3120}, {0, 1}})
    ->MinTime(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_DecodeMJPGToBGR24)->Args({4160, 3120})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TjDecompressScaled)
    ->ArgsProduct({{4160}, {3120}, {1, 2, 4, 8}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramePathMJPG)->Args({4160, 3120, 0})->Args({4160, 3120, 1})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
}  // namespace orvane
