// Speed of page detection, cleaning and the whole capture pipeline on a full-size camera frame
// (4160 x 3120), in one thread, beside the cost of encoding the same frame as JPEG; page detection
// also on a desk photograph of the page-cut check, beside the common OpenCV recipe.
#include <vector>

#include <QCoreApplication>
#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/binarization.h"
#include "imaging/capture_pipeline.h"
#include "imaging/conversions.h"
#include "imaging/page_detection.h"
#include "imaging/single_thread.h"
#include "desk_photos.h"

namespace orvane::imaging {
namespace {

// A textured desk with a turned A4-like sheet of printed lines, drawn once.
const cv::Mat& PagePhotograph() {
  static const cv::Mat frame = [] {
    const cv::Size size(4160, 3120);
    cv::Mat noise(size, CV_8UC1);
    cv::randu(noise, 0, 24);
    std::vector<cv::Mat> channels(3);
    for (int k = 0; k < 3; ++k) channels[k] = noise + cv::Scalar(45 + 25 * k);
    cv::Mat desk;
    cv::merge(channels, desk);
    for (int x = 0; x < size.width; x += 40)
      cv::line(desk, {x, 0}, {x + 900, size.height}, cv::Scalar(30, 50, 70), 6);
    cv::Point2f corners[4];
    const cv::RotatedRect sheet({2080, 1560}, {2970, 2100}, 7);
    sheet.points(corners);
    std::vector<cv::Point> polygon;
    for (const auto& c : corners) polygon.emplace_back(cvRound(c.x), cvRound(c.y));
    cv::fillConvexPoly(desk, polygon, cv::Scalar(228, 233, 236), cv::LINE_AA);
    // Text lines inside the sheet, turned with it.
    cv::Mat text(2100, 2970, CV_8UC1, cv::Scalar(0));
    for (int y = 150; y < 1950; y += 60)
      for (int x = 150; x < 2800; x += 240)
        cv::putText(text, "Lorem", {x, y}, cv::FONT_HERSHEY_SIMPLEX, 1.6, 255, 4);
    cv::Mat turned;
    cv::Mat toFrame = cv::getRotationMatrix2D({1485, 1050}, -7, 1.0);
    toFrame.at<double>(0, 2) += 2080 - 1485;
    toFrame.at<double>(1, 2) += 1560 - 1050;
    cv::warpAffine(text, turned, toFrame, size);
    desk.setTo(cv::Scalar(40, 40, 45), turned > 128);
    return desk;
  }();
  return frame;
}

void BM_FindDocumentBounds(benchmark::State& state) {
  const SingleThread oneThread;
  const cv::Mat& frame = PagePhotograph();
  cv::RotatedRect page;
  for (auto _ : state)
    benchmark::DoNotOptimize(FindDocumentBounds(frame, 9, 3, 0.2f, 0.01f, 8.0, page));
}
BENCHMARK(BM_FindDocumentBounds)->Unit(benchmark::kMillisecond);

// A desk photograph of the page-cut check: an A4 sheet and an ID card on a grainy desk.
const cv::Mat& DeskPhotograph() {
  static const cv::Mat photo = pagecut::MakeDeskPhoto(4, 22).picture;
  return photo;
}

// The page finder at the capture's scale (0.2) and the live scale of frames this large (0.1),
// every page, beside the common OpenCV recipe on the same photograph.
void BM_FindDocumentRegionsOnDesk(benchmark::State& state) {
  const SingleThread oneThread;
  const float scale = state.range(0) == 0 ? kPageScale : kLivePageScale;
  const cv::Mat& photo = DeskPhotograph();
  std::vector<cv::RotatedRect> pages;
  for (auto _ : state)
    benchmark::DoNotOptimize(FindDocumentRegions(photo, kPageMedianAperture, kPageGradientAperture,
                                                 scale, 0.01f, kPageThresholdFactor, pages));
  state.counters["pages"] = static_cast<double>(pages.size());
}
BENCHMARK(BM_FindDocumentRegionsOnDesk)->ArgName("live")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The capture's straightened cut of every page, detection included.
void BM_FindPageCutsStraightened(benchmark::State& state) {
  const SingleThread oneThread;
  const cv::Mat& photo = DeskPhotograph();
  for (auto _ : state) benchmark::DoNotOptimize(FindPageCuts(photo, true, true));
}
BENCHMARK(BM_FindPageCutsStraightened)->Unit(benchmark::kMillisecond);

void BM_OpenCvRecipeOnDesk(benchmark::State& state) {
  const SingleThread oneThread;
  const cv::Mat& photo = DeskPhotograph();
  for (auto _ : state) benchmark::DoNotOptimize(pagecut::OpenCvRecipe(photo));
}
BENCHMARK(BM_OpenCvRecipeOnDesk)->Unit(benchmark::kMillisecond);

void BM_DetectAndCropDocument(benchmark::State& state) {
  const SingleThread oneThread;
  const cv::Mat& frame = PagePhotograph();
  cv::Mat page;
  for (auto _ : state)
    benchmark::DoNotOptimize(DetectAndCropDocument(frame, 0, 8.0, 9, 3, 0.2f, 0.01f, page));
}
BENCHMARK(BM_DetectAndCropDocument)->Unit(benchmark::kMillisecond);

void BM_BinarizeDocument(benchmark::State& state) {
  const SingleThread oneThread;
  const cv::Mat& frame = PagePhotograph();
  for (auto _ : state) benchmark::DoNotOptimize(BinarizeDocument(frame, 21, 301, 0.5));
}
BENCHMARK(BM_BinarizeDocument)->Unit(benchmark::kMillisecond);

void BM_WhitenBackground(benchmark::State& state) {
  const SingleThread oneThread;
  const cv::Mat grey = ToGrey(PagePhotograph(), GreyConversion::kRgbToGreyOnBgr);
  cv::Mat out;
  for (auto _ : state) benchmark::DoNotOptimize(CImageProcess().WhitenBackground(grey, out));
}
BENCHMARK(BM_WhitenBackground)->Unit(benchmark::kMillisecond);

void BM_ProcessCapture(benchmark::State& state) {
  const SingleThread oneThread;
  if (QCoreApplication::instance() == nullptr) {
    static int argc = 1;
    static char name[] = "imaging_bench";
    static char* argv[] = {name, nullptr};
    // The text watermark needs fonts, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(argc, argv);
  }
  CSysParam settings;
  settings.cropMode = 1;
  settings.colorMode = 2;
  settings.noiseSize = 1;
  settings.customWatermark = true;
  settings.watermarkText = "Orvane capture station";
  settings.watermarkSize = 120;
  settings.watermarkPosition = 4;
  settings.watermarkTransparency = 50;
  const cv::Mat& frame = PagePhotograph();
  for (auto _ : state) {
    CCaptureImageHelper helper(2);
    helper.SetSettings(settings);
    std::vector<cv::Mat> pictures;
    benchmark::DoNotOptimize(helper.ProcessCapture(frame, pictures));
  }
}
BENCHMARK(BM_ProcessCapture)->Unit(benchmark::kMillisecond);

void BM_JpegEncodeFrame(benchmark::State& state) {
  const SingleThread oneThread;
  const cv::Mat& frame = PagePhotograph();
  std::vector<uchar> bytes;
  for (auto _ : state) benchmark::DoNotOptimize(cv::imencode(".jpg", frame, bytes, {cv::IMWRITE_JPEG_QUALITY, 80}));
}
BENCHMARK(BM_JpegEncodeFrame)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::imaging
