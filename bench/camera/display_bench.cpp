// The live display of a 4160 x 3120 MJPG camera with live page detection.
//
// BM_DisplayAgainstDecode is the goal: the whole display path (the grabber's copy into the raw
// slot, decoding, trimming, turning, live detection with its outlines, the shrink for the screen,
// the overlays, the hand-over and the paint) against a bare tjDecompress2 of the same frames at the
// same scale, as processor time per frame measured side by side in one run. Goal: at most 1.2
// times. Scales: 1 (a 1280 x 960 view zoomed to 1), 2 (the frame fitted into a 1280 x 960 view),
// 4 (fitted into 640 x 480); frames: 0 the virtual camera's own, 1 a camera-like frame (the scene
// smoothed as a camera's noise reduction does, 4:2:2 at quality 85), 2 the scene with all its
// sensor noise, 4:2:0 at quality 85 (2.1 MB: dearer to decode than any camera's frame; what the
// virtual camera once sent).
//
// BM_LiveDisplay runs the virtual camera into a running display at its 30 frames a second, with
// (argument 1) and without a recording pulling 25 pictures a second as the recorder does. Goal:
// 30 frames shown, and with a recording all 25 pictures pulled.
//
// The stage benchmarks take the reduction the live view decodes at as their last argument.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "camera/display_core.h"
#include "camera/frame.h"
#include "camera/picture_container.h"
#include "camera/screen_picture.h"
#include "camera/usb_camera.h"
#include "camera/video_recorder.h"
#include "camera/video_source.h"
#include "camera/virtual_camera.h"
#include "imaging/page_detection.h"
#include "platform/simulated_v4l2.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 4160;
constexpr int kHeight = 3120;
constexpr int kCameraFps = 30;

using Frames = std::vector<std::vector<std::uint8_t>>;

// The scene smoothed as a camera's noise reduction does before it compresses, 4:2:2 at quality 85.
std::vector<std::uint8_t> CameraLikeJpeg(int variant) {
  cv::Mat picture;
  cv::GaussianBlur(RenderVirtualScene(kWidth, kHeight, variant), picture, cv::Size(3, 3), 0);
  tjhandle compressor = tjInitCompress();
  unsigned char* bytes = nullptr;
  unsigned long size = 0;
  tjCompress2(compressor, picture.data, kWidth, kWidth * 3, kHeight, TJPF_BGR, &bytes, &size, TJSAMP_422, 85, 0);
  std::vector<std::uint8_t> out(bytes, bytes + size);
  tjFree(bytes);
  tjDestroy(compressor);
  return out;
}

const Frames& CameraLikeFrames() {
  static const Frames frames = {CameraLikeJpeg(0), CameraLikeJpeg(1)};
  return frames;
}

const Frames& NoisyFrames() {
  static const Frames frames = [] {
    Frames noisy(2);
    for (int variant = 0; variant < 2; ++variant)
      cv::imencode(".jpg", RenderVirtualScene(kWidth, kHeight, variant), noisy[variant],
                   {cv::IMWRITE_JPEG_QUALITY, 85});
    return noisy;
  }();
  return frames;
}

// What the virtual camera sends at 4160 x 3120 MJPG: its frames as they reach the raw slot, every
// different one (its frames differ in noise).
const Frames& VirtualCameraFrames() {
  static const Frames frames = [] {
    VirtualCamera virtualCamera;
    auto backend = std::make_shared<platform::SimulatedV4l2Backend>();
    backend->Add(virtualCamera.Camera());
    CUSBCamra camera(backend);
    CFrameSlot raw;
    camera.SetFrameSink(&raw);
    camera.SetFormatMode(kFormatMJPG);
    camera.SetResolution(kWidth, kHeight);
    Frames seen;
    if (camera.Open("3C4D", "B514", "", {}, false, 0) == 0 && camera.Start()) {
      const auto deadline = std::chrono::steady_clock::now() + 60s;
      for (int taken = 0; taken < 8 && std::chrono::steady_clock::now() < deadline;) {
        if (raw.State() != CFrameSlot::kFilled) {
          std::this_thread::sleep_for(2ms);
          continue;
        }
        std::vector<std::uint8_t> frame(raw.Data(), raw.Data() + raw.Length());
        raw.MarkTaken();
        ++taken;
        if (std::find(seen.begin(), seen.end(), frame) == seen.end()) seen.push_back(std::move(frame));
      }
    }
    camera.SetFrameSink(nullptr);
    camera.Stop();
    return seen;
  }();
  return frames;
}

const Frames& FramesOfKind(int kind) {
  return kind == 0 ? VirtualCameraFrames() : kind == 1 ? CameraLikeFrames() : NoisyFrames();
}

double Seconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}
double ProcessCpuSeconds() { return Seconds(CLOCK_PROCESS_CPUTIME_ID); }
double ThreadCpuSeconds() { return Seconds(CLOCK_THREAD_CPUTIME_ID); }

std::size_t MeanSize(const Frames& frames) {
  std::size_t total = 0;
  for (const auto& frame : frames) total += frame.size();
  return frames.empty() ? 0 : total / frames.size();
}

// The camera's side of the display: a grabber storing the frames in turn into the raw slot at the
// camera's rate, dropping a frame when the slot is still filled.
class FrameFeeder {
 public:
  FrameFeeder(CFrameSlot& slot, const Frames& frames)
      : thread_([this, &slot, &frames](std::stop_token stop) {
          auto next = std::chrono::steady_clock::now();
          for (std::size_t n = 0; !stop.stop_requested(); ++n) {
            const auto& frame = frames[n % frames.size()];
            if (slot.State() != CFrameSlot::kFilled)
              slot.Store(static_cast<int>(frame.size()), FrameSubtype::MJPG, frame.data(), kWidth, kHeight);
            next += std::chrono::microseconds(1'000'000 / kCameraFps);
            std::this_thread::sleep_until(next);
          }
        }) {}

 private:
  std::jthread thread_;
};

// The view's side: on every new frame the display announces, the GUI thread takes it and paints it
// into the window's backing store, as CDisplayView does.
class Painter {
 public:
  Painter(CDisplayCore& display, cv::Size client) : display_(display), client_(client) {}
  ~Painter() { Stop(); }
  void Start() {
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
  }
  void Stop() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    wake_.notify_all();
    thread_.join();
  }
  // For the display's frame-ready handler.
  void OnFrameReady() {
    {
      std::lock_guard lock(mutex_);
      pending_ = true;
    }
    wake_.notify_one();
  }
  int Painted() const { return painted_.load(); }

 private:
  void Run(std::stop_token stop) {
    QImage backingStore(client_.width, client_.height, QImage::Format_RGB32);
    cv::Mat picture;
    while (!stop.stop_requested()) {
      {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, 50ms, [&] { return pending_ || stop.stop_requested(); });
        if (!pending_) continue;
        pending_ = false;
      }
      ShownFrame frame = display_.TakeShownFrame();
      if (frame.picture.empty()) continue;
      display_.GiveBackShownPicture(std::move(picture));
      picture = std::move(frame.picture);
      QPainter painter(&backingStore);
      painter.drawImage(0, 0, QImage(picture.data, picture.cols, picture.rows, static_cast<qsizetype>(picture.step),
                                     QImage::Format_RGB32));
      ++painted_;
    }
  }

  CDisplayCore& display_;
  const cv::Size client_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  bool pending_ = false;
  std::atomic<int> painted_{0};
  std::jthread thread_;
};

// Bare tjDecompress2 of the frames in turn at 1/reduction, paced at the camera's rate like the
// display's decodes, on its own thread; the processor time per decode.
class BareDecoder {
 public:
  BareDecoder(const Frames& frames, int reduction)
      : thread_([this, &frames, reduction](std::stop_token stop) {
          const int w = kWidth / reduction, h = kHeight / reduction;
          std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h * 3);
          tjhandle decompressor = tjInitDecompress();
          auto next = std::chrono::steady_clock::now();
          for (std::size_t n = 0; !stop.stop_requested(); ++n) {
            const auto& frame = frames[n % frames.size()];
            const double before = ThreadCpuSeconds();
            tjDecompress2(decompressor, frame.data(), frame.size(), out.data(), w, w * 3, h, TJPF_BGR, 0);
            benchmark::DoNotOptimize(out.data());
            const double spent = ThreadCpuSeconds() - before;
            {
              std::lock_guard lock(mutex_);
              seconds_ += spent;
              ++decodes_;
            }
            next += std::chrono::microseconds(1'000'000 / kCameraFps);
            std::this_thread::sleep_until(std::max(next, std::chrono::steady_clock::now()));
          }
          tjDestroy(decompressor);
        }) {}
  // Processor seconds spent decoding and decodes made since the last call.
  std::pair<double, int> Take() {
    std::lock_guard lock(mutex_);
    const std::pair<double, int> taken{seconds_, decodes_};
    seconds_ = 0;
    decodes_ = 0;
    return taken;
  }

 private:
  std::mutex mutex_;
  double seconds_ = 0;
  int decodes_ = 0;
  std::jthread thread_;
};

// How long each live measurement runs: 5 s, or ORVANE_BENCH_SECONDS (CI runs the benchmarks for a
// second each, to see that they run).
std::chrono::seconds Window() {
  const char* setting = std::getenv("ORVANE_BENCH_SECONDS");
  const int seconds = setting != nullptr ? std::atoi(setting) : 0;
  return std::chrono::seconds(seconds > 0 ? seconds : 5);
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

void BM_DisplayAgainstDecode(benchmark::State& state) {
  const int reduction = static_cast<int>(state.range(0));
  const Frames& frames = FramesOfKind(static_cast<int>(state.range(1)));
  if (frames.empty()) {
    state.SkipWithError("no frames from the virtual camera");
    return;
  }
  const cv::Size client = reduction == 4 ? cv::Size(640, 480) : cv::Size(1280, 960);
  CDisplayCore display;
  Painter painter(display, client);
  display.SetFrameReadyHandler([&] { painter.OnFrameReady(); });
  display.Start({});
  painter.Start();
  display.PostResize(client);
  display.SetAutoCrop(true, false, 0.03f);
  {
    FrameFeeder camera(*display.RawSlot(CDisplayCore::kMainSlot), frames);
    bool ready = WaitFor([&] { return painter.Painted() > 5; }, 60s);
    if (ready && reduction == 1) {
      // Zoomed from the fit to 0.5, then to 1, about the middle of the view.
      const cv::Point middle(client.width / 2, client.height / 2);
      display.PostMouse({MouseAction::Move, middle});
      for (int step = 0; step < 2; ++step) display.PostMouse({MouseAction::Wheel, middle, 120});
    }
    ready = ready && WaitFor([&] { return display.LiveReduction() == reduction; }, 20s);
    if (!ready) {
      state.SkipWithError("the display did not reach the scale");
    } else {
      BareDecoder bare(frames, reduction);
      std::this_thread::sleep_for(std::min<std::chrono::seconds>(2s, Window()));  // the steady state, on both sides
      for (auto _ : state) {
        bare.Take();
        const int paintedBefore = painter.Painted();
        const double cpuBefore = ProcessCpuSeconds();
        const auto started = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(Window());
        const double processCpu = ProcessCpuSeconds() - cpuBefore;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const auto [bareCpu, decodes] = bare.Take();
        const int painted = painter.Painted() - paintedBefore;
        const double displayMs = painted > 0 ? (processCpu - bareCpu) * 1000 / painted : 0;
        const double bareMs = decodes > 0 ? bareCpu * 1000 / decodes : 0;
        state.counters["shown_fps"] = painted / seconds;
        state.counters["display_ms"] = displayMs;
        state.counters["tjDecompress2_ms"] = bareMs;
        state.counters["ratio"] = bareMs > 0 ? displayMs / bareMs : 0;
      }
    }
  }
  state.counters["frame_kB"] = static_cast<double>(MeanSize(frames)) / 1000;
  state.counters["live_reduction"] = display.LiveReduction();
  painter.Stop();
  display.Stop();
}

// The whole display: the virtual camera streams 4160 x 3120 MJPG at its 30 frames a second into a
// running display with live detection on; counts the frames composed for the view. With a
// recording (argument 1), a puller takes the recording picture 25 times a second into a 1280 x 960
// recording as the recorder does, and the pictures it got per second are counted too.
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
        if (display.GetRecordingPictureAt(&picture, {1280, 960}) && !picture.empty()) {
          benchmark::DoNotOptimize(StretchToSample(picture, 1280, 960).data);
          ++pulled;
        }
        next += 40ms;
        std::this_thread::sleep_until(std::max(next, std::chrono::steady_clock::now()));
      }
    });
  }
  // Start-up: the camera renders and encodes its frames first.
  for (int i = 0; i < 1000 && shown.load() < 5; ++i) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(1s);
  for (auto _ : state) {
    const int before = shown.load();
    const int pulledBefore = pulled.load();
    const double cpuBefore = ProcessCpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(Window());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int frames = shown.load() - before;
    state.counters["shown_fps"] = frames / seconds;
    if (recording) state.counters["recorded_fps"] = (pulled.load() - pulledBefore) / seconds;
    // Includes the simulated camera's own work (it hands out ready-made JPEG frames) and, with a
    // recording, the pulls.
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

// ---- Stages of one frame ----

const std::vector<std::uint8_t>& Jpeg() { return CameraLikeFrames().front(); }

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

// As the display worker runs it: inside one parallel loop of a single step, so that OpenCV runs
// the detection's own loops on this thread.
void BM_DisplayDetection(benchmark::State& state) {
  const int r = static_cast<int>(state.range(0));
  cv::Mat frame = Decoded(r).clone();
  for (auto _ : state) {
    cv::RotatedRect page;
    cv::parallel_for_(cv::Range(0, 1), [&](const cv::Range&) {
      if (!imaging::FindDocumentBounds(frame, imaging::kPageMedianAperture, imaging::kPageGradientAperture,
                                       imaging::kLivePageScale * r, 0.03f, imaging::kPageThresholdFactor, page))
        page = cv::RotatedRect(cv::Point2f(frame.cols / 2, frame.rows / 2), cv::Size2f(frame.cols, frame.rows), 0);
    });
    benchmark::DoNotOptimize(page.center.x);
  }
}

// The shown frame: the picture fitted into a 1280 x 960 view, then composed for painting into the
// buffer the view gave back.
void BM_DisplayComposition(benchmark::State& state) {
  CObjectContainer container;
  container.SetClientSize({1280, 960});
  const int r = static_cast<int>(state.range(0));
  const cv::Mat& frame = Decoded(r);
  cv::Mat shown;
  for (auto _ : state) {
    container.SetPicture(frame, r);
    container.ComposeBgra(shown);
    benchmark::DoNotOptimize(shown.data);
  }
}

// The work of one frame on one thread, against tjDecompress2 of the same frame at the same scale
// on the same thread, as processor time: what a busy machine cannot blur (the live benchmark above
// counts the hand-overs and the paint too, but frames dropped while cores are short count against
// it). Arguments: the reduction (the view fitted into 1280 x 960, or 640 x 480 at 4), and whether
// the rows go to the page search's copy and the screen's shrink as they are decoded (1) or the
// whole decoded frame is read back for them (0, as before).
void BM_DisplayWorkOnOneThread(benchmark::State& state) {
  const int r = static_cast<int>(state.range(0));
  const bool banded = state.range(1) != 0;
  const Frames& frames = CameraLikeFrames();
  const cv::Size client = r == 4 ? cv::Size(640, 480) : cv::Size(1280, 960);
  const cv::Size picture(kWidth / r, kHeight / r);
  cv::Mat decoded(picture, CV_8UC3), bare(picture, CV_8UC3), composed(client, CV_8UC4);
  const float scale = imaging::kLivePageScale * static_cast<float>(r);
  const cv::Size searchSize = imaging::SearchSize(picture, scale);
  const float fit = CObjectContainer::FitScale({kWidth, kHeight}, client);
  const cv::Size shown(static_cast<int>(kWidth * fit), static_cast<int>(kHeight * fit));
  cv::Mat target = composed(cv::Rect((client.width - shown.width) / 2, (client.height - shown.height) / 2, shown.width,
                                     shown.height));
  tjhandle decompressor = tjInitDecompress();
  double work = 0, reference = 0;
  std::size_t n = 0;
  for (auto _ : state) {
    const auto& frame = frames[n++ % frames.size()];
    double before = ThreadCpuSeconds();
    tjDecompress2(decompressor, frame.data(), frame.size(), bare.data, picture.width, picture.width * 3, picture.height,
                  TJPF_BGR, 0);
    reference += ThreadCpuSeconds() - before;
    before = ThreadCpuSeconds();
    cv::Mat search;
    if (banded) {
      imaging::SearchShrink searchShrink(picture, CV_8UC3, searchSize);
      StreamedShrink screen;
      screen.Start(picture, CV_8UC3, target);
      DecodeMJPGInBands(frame.data(), static_cast<int>(frame.size()), decoded.data, decoded.total() * 3, r,
                        [&](int rows) {
                          searchShrink.AddRows(decoded, rows);
                          screen.AddRows(decoded, rows);
                        });
      search = searchShrink.Finish(decoded);
    } else {
      int w = 0, h = 0, step = 0;
      DecodeMJPGToBGR24(frame.data(), static_cast<int>(frame.size()), decoded.data, decoded.total() * 3, &w, &h, &step, r);
      search = imaging::ShrinkForSearch(decoded, searchSize);
      ShrinkIntoBgra(decoded, target);
    }
    cv::RotatedRect page;
    imaging::FindDocumentBounds(decoded, search, imaging::kPageMedianAperture, imaging::kPageGradientAperture, scale,
                                0.03f, imaging::kPageThresholdFactor, page);
    work += ThreadCpuSeconds() - before;
    benchmark::DoNotOptimize(composed.data);
  }
  tjDestroy(decompressor);
  state.counters["tjDecompress2_ms"] = reference * 1000 / static_cast<double>(n);
  state.counters["work_ms"] = work * 1000 / static_cast<double>(n);
  state.counters["ratio"] = work / reference;
}

BENCHMARK(BM_DisplayAgainstDecode)
    ->ArgNames({"scale", "frames"})
    ->ArgsProduct({{1, 2, 4}, {0, 1, 2}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayWorkOnOneThread)
    ->ArgNames({"scale", "banded"})
    ->ArgsProduct({{2, 4}, {0, 1}})
    ->Iterations(120)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveDisplay)->ArgName("recording")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);
// CPU time of the whole process: OpenCV spreads some stages over its worker threads.
BENCHMARK(BM_DisplayConversion)->Arg(1)->Arg(2)->Arg(4)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayTrimAndTurn)
    ->ArgsProduct({{0, 90, 180}, {1, 2}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayDetection)->Arg(1)->Arg(2)->Arg(4)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisplayComposition)->Arg(1)->Arg(2)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane
