// One synthetic A4 page at 300 DPI with about 800 characters (12 points, the held-out sans face): page
// recognition, orientation, and Tesseract's chi_sim on the same page, all on one core. Needs the
// real template in ORVANE_OCR_TEMPLATE; without it the benchmarks are skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include <opencv2/core.hpp>
#include <tesseract/baseapi.h>

#include "ocr/doc_ocr.h"
#include "ocr/doc_orientation.h"
#include "ocr/default_build.h"
#include "page_set.h"

namespace orvane::ocr {
namespace {

// Tesseract runs on one thread only when its OpenMP starts with the limit set.
[[maybe_unused]] const bool kOneOpenMpThread = (ocrpage::RestartWithOneOpenMpThread(), true);

const cv::Mat& Page() {
  static const cv::Mat page = ocrpage::MakePages(ocrtools::HeldOutFonts().front().face, {12}, 800, 11).front().picture;
  return page;
}

const char* TemplatePath() { return std::getenv("ORVANE_OCR_TEMPLATE"); }

void BM_PageRecognition(benchmark::State& state) {
  CDocOCR ocr;
  if (!TemplatePath() || !ocr.Initialize(TemplatePath())) {
    state.SkipWithError("ORVANE_OCR_TEMPLATE must name the character template");
    return;
  }
  const int threads = cv::getNumThreads();
  cv::setNumThreads(1);
  const cv::Mat& page = Page();
  for (auto _ : state) {
    std::string text;
    benchmark::DoNotOptimize(ocr.Recognize(page, &text, nullptr, false));
  }
  cv::setNumThreads(threads);
}
BENCHMARK(BM_PageRecognition)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

void BM_PageOrientation(benchmark::State& state) {
  CDocOrientation detector;
  if (!TemplatePath() || !detector.Initialize(TemplatePath())) {
    state.SkipWithError("ORVANE_OCR_TEMPLATE must name the character template");
    return;
  }
  const cv::Mat turned = RotateMat90CW(Page());
  for (auto _ : state) {
    int angle = 0;
    benchmark::DoNotOptimize(detector.DetectOrientation(turned, &angle, false));
  }
}
BENCHMARK(BM_PageOrientation)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PageTesseractChiSim(benchmark::State& state) {
  tesseract::TessBaseAPI api;
  if (api.Init(nullptr, "chi_sim") != 0) {
    state.SkipWithError("Tesseract's chi_sim data is missing (tesseract-ocr-chi-sim)");
    return;
  }
  const cv::Mat& page = Page();
  for (auto _ : state) {
    api.SetImage(page.data, page.cols, page.rows, 1, static_cast<int>(page.step));
    api.SetSourceResolution(300);
    char* text = api.GetUTF8Text();
    benchmark::DoNotOptimize(text);
    delete[] text;
  }
  api.End();
}
BENCHMARK(BM_PageTesseractChiSim)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

}  // namespace
}  // namespace orvane::ocr
