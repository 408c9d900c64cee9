// The live display at 4160 x 3120 MJPG with live page detection: the CPU time of each stage of one
// frame (conversion, trim and turn, detection with outlines, composition of the shown frame) and the
// frames shown per second with the virtual camera feeding a running display. Goals: 30 frames a
// second and under 25 ms of CPU per frame in all. The stages take the reduction the live view
// decodes at as their last argument (1: full resolution; 2: what a 1280 x 960 view asks for).
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <map>
#include <thread>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "camera/display_core.h"
#include "camera/frame.h"
#include "camera/picture_container.h"
#include "camera/screen_picture.h"
#include "camera/usb_camera.h"
#include "camera/video_source.h"
#include "camera/virtual_camera.h"
#include "imaging/page_detection.h"
#include "platform/simulated_v4l2.h"

namespace orvane {
namespace {

constexpr int kWidth = 4160;
constexpr int kHeight = 3120;

const cv::Mat& Scene() {
  static const cv::Mat scene = RenderVirtualScene(kWidth, kHeight, 0);
  return scene;
}

const std::vector<std::uint8_t>& Jpeg() {
  static const std::vector<std::uint8_t> frame = [] {
    cv::Mat picture;
    cv::GaussianBlur(Scene(), picture, cv::Size(3, 3), 0);  // a camera denoises before it compresses
    tjhandle compressor = tjInitCompress();
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    tjCompress2(compressor, picture.data, kWidth, kWidth * 3, kHeight, TJPF_BGR, &bytes, &size, TJSAMP_422, 85, 0);
    std::vector<std::uint8_t> out(bytes, bytes + size);
    tjFree(bytes);
    tjDestroy(compressor);
    return out;
  }();
  return frame;
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// The frame as the display worker gets it at a reduction: decoded at that fraction of each side.
const cv::Mat& Decoded(int reduction) {
  static std::map<int, cv::Mat> frames;
  cv::Mat& frame = frames[reduction];
  if (frame.empty()) {
    frame.create(kHeight / reduction, kWidth / reduction, CV_8UC3);
    int w = 0, h = 0, step = 0;
    DecodeMJPGToBGR24(Jpeg().data(), static_cast<int>(Jpeg().size()), frame.data, frame.total() * 3, &w, &h, &step,
                      reduction);
  }
  return frame;
}

void BM_DisplayConversion(benchmark::State& state) {
  CFrameSlot raw, converted;
  FrameConverter converter;
  converter.SetReduction(static_cast<int>(state.range(0)));
  Jpeg();  // made once, outside the timing
  for (auto _ : state) {
    raw.Store(static_cast<int>(Jpeg().size()), FrameSubtype::MJPG, Jpeg().data(), kWidth, kHeight);
    converter.Convert(raw, converted);
    converted.MarkTaken();
  }
}

// As the display worker does it: trimmed and turned in one pass out of the converted slot into a
// buffer handed back from the previous frame. Arguments: the rotation, the reduction.
void BM_DisplayTrimAndTurn(benchmark::State& state) {
  const int r = static_cast<int>(state.range(1));
  const cv::Mat visible = Decoded(r)(cv::Rect(8 / r, 8 / r, (kWidth - 16) / r, (kHeight - 16) / r));
  cv::Mat shown;
  for (auto _ : state) {
    TurnPicture(visible, shown, static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(shown.data);
  }
}

void BM_DisplayDetection(benchmark::State& state) {
  const int r = static_cast<int>(state.range(0));
  const cv::Mat& frame = Decoded(r);
  cv::Mat annotated;
  for (auto _ : state) {
    // A reduced frame is outlined in place (its clean picture is not kept); a full one in a copy.
    if (r > 1) {
      state.PauseTiming();
      frame.copyTo(annotated);
      state.ResumeTiming();
    }
    cv::RotatedRect page;
    if (!imaging::FindDocumentBounds(frame, imaging::kPageMedianAperture, imaging::kPageGradientAperture,
                                     imaging::kLivePageScale * r, 0.03f, imaging::kPageThresholdFactor, page))
      page = cv::RotatedRect(cv::Point2f(frame.cols / 2, frame.rows / 2), cv::Size2f(frame.cols, frame.rows), 0);
    if (r == 1) frame.copyTo(annotated);
    const cv::Point corners[4] = {
        RotatePoint(page, page.center.x - page.size.width / 2, page.center.y - page.size.height / 2),
        RotatePoint(page, page.center.x + page.size.width / 2, page.center.y - page.size.height / 2),
        RotatePoint(page, page.center.x + page.size.width / 2, page.center.y + page.size.height / 2),
        RotatePoint(page, page.center.x - page.size.width / 2, page.center.y + page.size.height / 2)};
    for (int i = 0; i < 4; ++i) cv::line(annotated, corners[i], corners[(i + 1) % 4], cv::Scalar(255, 0, 0), 9);
    benchmark::DoNotOptimize(annotated.data);
  }
}

// The shown frame: the picture fitted into a 1280 x 960 view, then composed for painting.
void BM_DisplayComposition(benchmark::State& state) {
  CObjectContainer container;
  container.SetClientSize({1280, 960});
  const int r = static_cast<int>(state.range(0));
  const cv::Mat& frame = Decoded(r);
  for (auto _ : state) {
    container.SetPicture(frame, r);
    cv::Mat shown;
    ConvertBgrToBgra(container.Compose(), shown);
    benchmark::DoNotOptimize(shown.data);
  }
}

// The whole display: the virtual camera streams 4160 x 3120 MJPG at its 30 frames a second into a
// running display with live detection on; counts the frames composed for the view. With a
// recording (argument 1), a puller takes the recording picture 25 times a second as the recorder
// does, and the pictures it got per second are counted too.
void BM_LiveDisplay(benchmark::State& state) {
  const bool recording = state.range(0) != 0;
  VirtualCamera virtualCamera;
  auto backend = std::make_shared<platform::SimulatedV4l2Backend>();
  backend->Add(virtualCamera.Camera());
  CUSBCamra camera(backend);
  camera.SetFormatMode(kFormatMJPG);
  camera.SetResolution(kWidth, kHeight);
  if (camera.Open("3C4D", "B514", "", {}, false, 0) != 0) {
    state.SkipWithError("the virtual camera did not open");
    return;
  }
  std::atomic<int> shown{0};
  std::atomic<int> pulled{0};
  CDisplayCore display;
  display.SetFrameReadyHandler([&] { ++shown; });
  display.Start({});
  display.PostResize({1280, 960});
  display.SetAutoCrop(true, false, 0.03f);
  display.SetRecording(recording);
  camera.SetFrameSink(display.RawSlot(CDisplayCore::kMainSlot));
  camera.Start();
  std::jthread puller;
  if (recording) {
    puller = std::jthread([&](std::stop_token stop) {
      auto next = std::chrono::steady_clock::now();
      cv::Mat picture;  // kept from pull to pull, as the recorder keeps it
      while (!stop.stop_requested()) {
        if (display.GetRecordingPicture(&picture) && !picture.empty()) ++pulled;
        next += std::chrono::milliseconds(40);
        std::this_thread::sleep_until(std::max(next, std::chrono::steady_clock::now()));
      }
    });
  }
  // Start-up: the camera renders and encodes its frames first, and the first frames are decoded
  // at full size until the view has fitted them.
  for (int i = 0; i < 1000 && shown.load() < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  for (auto _ : state) {
    const int before = shown.load();
    const int pulledBefore = pulled.load();
    const double cpuBefore = ProcessCpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int frames = shown.load() - before;
    state.counters["shown_fps"] = frames / seconds;
    if (recording) state.counters["recorded_fps"] = (pulled.load() - pulledBefore) / seconds;
    // Includes the simulated camera's own work (it hands out ready-made JPEG frames).
    state.counters["process_cpu_ms_per_frame"] = frames > 0 ? (ProcessCpuSeconds() - cpuBefore) * 1000 / frames : 0;
    state.counters["live_reduction"] = display.LiveReduction();
  }
  if (puller.joinable()) {
    puller.request_stop();
    puller.join();
  }
  camera.Stop();
  camera.SetFrameSink(nullptr);
  display.Stop();
}

// CPU time of the whole process: OpenCV spreads some stages over its worker threads.
BENCHMARK(BM_DisplayConversion)->Arg(1)->Arg(2)->Arg(4)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayTrimAndTurn)
    ->ArgsProduct({{0, 90, 180}, {1, 2}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayDetection)->Arg(1)->Arg(2)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayComposition)->Arg(1)->Arg(2)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveDisplay)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane
