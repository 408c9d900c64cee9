// Speed of the document writers and the barcode scan on a full-size page (4160 x 3120): JPEG
// writing beside OpenCV's writer, saving and loading BMP, PNG and TIFF files beside OpenCV's codecs
// (the station does without them), a 10-page PDF from JPEG files beside reading those files, a
// 10-page Group 4 TIFF, and the saving step's one barcode scan of a page with a QR code and of
// one without any code (the goal: under 150 ms, one thread).
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/barcode.h"
#include "imaging/image_file.h"
#include "imaging/jpeg_file.h"
#include "imaging/pdf_document.h"
#include "imaging/single_thread.h"
#include "imaging/tiff_writer.h"
#include "platform/file_io.h"

namespace orvane::imaging {
namespace {

namespace fs = std::filesystem;

// A scratch folder for the files written, removed at exit.
struct ScratchFolder {
  ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "orvane-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path;
};

const fs::path& Folder() {
  static const ScratchFolder folder;
  return folder.path;
}

// A white page with lines of dark "words" and a QR code from the test fixtures.
const cv::Mat& Page() {
  static const cv::Mat page = [] {
    cv::Mat sheet(3120, 4160, CV_8UC3, cv::Scalar(236, 233, 228));
    cv::RNG random(5);
    for (int y = 300; y < 2900; y += 70) {
      for (int x = 200; x < 3900; x += random.uniform(80, 260)) {
        cv::rectangle(sheet, {x, y, random.uniform(40, 200), 34}, cv::Scalar(40, 40, 50), cv::FILLED);
      }
    }
    const fs::path fixture = fs::path(__FILE__).parent_path().parent_path().parent_path() / "tests/imaging/fixtures/qr_ascii.png";
    cv::Mat code = cv::imread(fixture.string(), cv::IMREAD_COLOR);
    if (!code.empty()) {
      cv::resize(code, code, {}, 3, 3, cv::INTER_NEAREST);
      code.copyTo(sheet(cv::Rect(cv::Point(3600, 2600), code.size())));
    }
    return sheet;
  }();
  return page;
}

void BM_SaveMatAsJpeg(benchmark::State& state) {
  const fs::path path = Folder() / "ours.jpg";
  std::string written;
  const auto replacing = platform::FilePlacement::Replacing();
  for (auto _ : state) benchmark::DoNotOptimize(SaveMatAsJpeg(Page(), written, path, 300, 300, 85, replacing));
}
BENCHMARK(BM_SaveMatAsJpeg)->Unit(benchmark::kMillisecond);

void BM_OpenCvImwriteJpeg(benchmark::State& state) {
  const std::string path = (Folder() / "opencv.jpg").string();
  for (auto _ : state) benchmark::DoNotOptimize(cv::imwrite(path, Page(), {cv::IMWRITE_JPEG_QUALITY, 85}));
}
BENCHMARK(BM_OpenCvImwriteJpeg)->Unit(benchmark::kMillisecond);

// Saving and loading a page as BMP (0), PNG (1) and TIFF (2): ours (argument 1) beside OpenCV's
// (argument 0) in the same run.
const char* const kLosslessExtensions[] = {".bmp", ".png", ".tif"};

void BM_SaveLossless(benchmark::State& state) {
  const std::string extension = kLosslessExtensions[state.range(0)];
  const bool ours = state.range(1) != 0;
  const fs::path path = Folder() / ((ours ? "ours" : "opencv") + extension);
  const auto replacing = platform::FilePlacement::Replacing();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ours ? SaveMatByExtension(path, Page(), replacing) : cv::imwrite(path.string(), Page()));
  }
  state.counters["kB"] = static_cast<double>(fs::file_size(path)) / 1000;
}
BENCHMARK(BM_SaveLossless)->ArgNames({"format", "ours"})->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_LoadLossless(benchmark::State& state) {
  const std::string extension = kLosslessExtensions[state.range(0)];
  const bool ours = state.range(1) != 0;
  const fs::path path = Folder() / ("load" + extension);
  if (!fs::exists(path)) cv::imwrite(path.string(), Page());
  for (auto _ : state) {
    benchmark::DoNotOptimize(ours ? LoadImageFile(path) : cv::imread(path.string(), cv::IMREAD_COLOR));
  }
}
BENCHMARK(BM_LoadLossless)->ArgNames({"format", "ours"})->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);

std::vector<fs::path> TenJpegFiles() {
  std::vector<fs::path> files;
  for (int i = 0; i < 10; ++i) {
    files.push_back(Folder() / ("page" + std::to_string(i) + ".jpg"));
    if (!fs::exists(files.back())) {
      std::string written;
      SaveMatAsJpeg(Page(), written, files.back(), 300, 300, 85);
    }
  }
  return files;
}

void BM_PdfFromTenJpegFiles(benchmark::State& state) {
  const std::vector<fs::path> files = TenJpegFiles();
  const auto replacing = platform::FilePlacement::Replacing();
  for (auto _ : state) benchmark::DoNotOptimize(WritePicturesToPdf(Folder() / "ten.pdf", files, replacing));
}
BENCHMARK(BM_PdfFromTenJpegFiles)->Unit(benchmark::kMillisecond);

void BM_ReadTenJpegFiles(benchmark::State& state) {
  const std::vector<fs::path> files = TenJpegFiles();
  for (auto _ : state) {
    for (const fs::path& file : files) benchmark::DoNotOptimize(platform::ReadWholeFile(file));
  }
}
BENCHMARK(BM_ReadTenJpegFiles)->Unit(benchmark::kMillisecond);

// Copying the same files whole, as the PDF does with their data (read, written, flushed).
void BM_CopyTenJpegFiles(benchmark::State& state) {
  const std::vector<fs::path> files = TenJpegFiles();
  for (auto _ : state) {
    for (const fs::path& file : files) {
      platform::WriteFileAtomically(Folder() / "copy.jpg", *platform::ReadWholeFile(file));
    }
  }
}
BENCHMARK(BM_CopyTenJpegFiles)->Unit(benchmark::kMillisecond);

void BM_TenPageGroup4Tiff(benchmark::State& state) {
  cv::Mat bilevel;
  cv::cvtColor(Page(), bilevel, cv::COLOR_BGR2GRAY);
  cv::threshold(bilevel, bilevel, 125, 255, cv::THRESH_BINARY);
  const fs::path path = Folder() / "ten.tif";
  for (auto _ : state) {
    CTiffWriter writer;
    writer.Open(path, 1, platform::FilePlacement::Replacing());
    for (int i = 0; i < 10; ++i) writer.AppendMatPage(bilevel, path, CTiffWriter::kBlackAndWhite);
    writer.Close();
  }
}
BENCHMARK(BM_TenPageGroup4Tiff)->Unit(benchmark::kMillisecond);

// The saving step's one scan of a page, with its QR code or without any code.
void BM_ScanBarcodes(benchmark::State& state) {
  cv::Mat page = Page().clone();
  if (state.range(0) == 0) page(cv::Rect(3500, 2500, 600, 600)).setTo(cv::Scalar(236, 233, 228));
  std::vector<std::string> found;
  const SingleThread oneThread;
  for (auto _ : state) ScanBarcodes(found, page);
  state.counters["symbols"] = static_cast<double>(found.size() / 2);
}
BENCHMARK(BM_ScanBarcodes)->ArgName("code")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::imaging
