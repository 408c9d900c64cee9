// Two synthetic A4 pages, running text and a form, with about 800 characters each (12 points, the
// held-out Song face), flat at 300 DPI and photographed on a desk and cut by the capture pipeline: page recognition, orientation,
// and Tesseract's chi_sim on the same picture, all on one core. Needs the real template in
// ORVANE_OCR_TEMPLATE; without it our benchmarks are skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <tesseract/baseapi.h>

#include "ocr/doc_ocr.h"
#include "ocr/doc_orientation.h"
#include "ocr/default_build.h"
#include "page_set.h"

namespace orvane::ocr {
namespace {

// Tesseract runs on one thread only when its OpenMP starts with the limit set.
[[maybe_unused]] const bool kOneOpenMpThread = (ocrpage::RestartWithOneOpenMpThread(), true);

// 0: running text; 1: the form.
const ocrpage::SyntheticPage& SongPage(int form) {
  static const ocrpage::SyntheticPage prose =
      ocrpage::MakePages(ocrtools::HeldOutFonts()[1].face, {12}, ocrpage::PageKind::kProse, 11).front();
  static const ocrpage::SyntheticPage invoice =
      ocrpage::MakePages(ocrtools::HeldOutFonts()[1].face, {12}, ocrpage::PageKind::kForm, 11).front();
  return form ? invoice : prose;
}

// The page's picture: flat, or the camera's cut.
const cv::Mat& Page(int camera, int form) {
  static const cv::Mat flat[2] = {SongPage(0).picture, SongPage(1).picture};
  static const cv::Mat cut[2] = {ocrpage::CutLikeTheRecognitionCommand(ocrpage::PhotographOnDesk(SongPage(0).ink, 11)),
                                 ocrpage::CutLikeTheRecognitionCommand(ocrpage::PhotographOnDesk(SongPage(1).ink, 11))};
  return camera ? cut[form] : flat[form];
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
  const cv::Mat& page = Page(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    std::string text;
    benchmark::DoNotOptimize(ocr.Recognize(page, &text, nullptr, false));
  }
  cv::setNumThreads(threads);
}
BENCHMARK(BM_PageRecognition)
    ->ArgNames({"camera", "form"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3)
    ->UseRealTime();

void BM_PageOrientation(benchmark::State& state) {
  CDocOrientation detector;
  if (!TemplatePath() || !detector.Initialize(TemplatePath())) {
    state.SkipWithError("ORVANE_OCR_TEMPLATE must name the character template");
    return;
  }
  const cv::Mat turned = RotateMat90CW(Page(0, 0));
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
  cv::Mat page = Page(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (page.channels() == 3) cv::cvtColor(page, page, cv::COLOR_BGR2GRAY);
  for (auto _ : state) {
    api.SetImage(page.data, page.cols, page.rows, 1, static_cast<int>(page.step));
    api.SetSourceResolution(state.range(0) ? 220 : 300);
    char* text = api.GetUTF8Text();
    benchmark::DoNotOptimize(text);
    delete[] text;
  }
  api.End();
}
BENCHMARK(BM_PageTesseractChiSim)
    ->ArgNames({"camera", "form"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3)
    ->UseRealTime();

}  // namespace
}  // namespace orvane::ocr
