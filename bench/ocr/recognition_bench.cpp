// Recognition of one character with a full-size template, template loading, and the two steps
// every call runs first. The template is ORVANE_OCR_TEMPLATE when set; otherwise one of the full
// shape (3,800 classes, k = 128, m = 16, "LN" and "GRA") is generated with random records.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ocr/feature_extractor.h"
#include "ocr/file_operator.h"
#include "ocr/image_normalizer.h"
#include "ocr/ocr_handle.h"
#include "ocr/ocr_mqdf.h"

namespace orvane::ocr {
namespace {

constexpr int kClasses = 3800, kDimensions = 128, kAxes = 16, kFeatures = 512;

std::filesystem::path GenerateTemplate() {
  const auto path = std::filesystem::temp_directory_path() / "orvane-bench-random.tpl";
  std::mt19937 random(7);
  std::normal_distribution<double> normal(0.0, 1.0);
  auto doubles = [&](int rows, int cols, double scale) {
    OcrMatrixPtr m = CreateOcrMatrix(kOcrDouble, rows, cols);
    for (std::size_t i = 0; i < m->Count(); ++i) m->As<double>()[i] = normal(random) * scale;
    return m;
  };
  CCmmFileOperatorImp file;
  if (file.Open(path, true) != 0) std::abort();
  for (const char* text : {"NEW:RLDA_PLUS_MQDF", "-N", "LN", "-F", "GRA", "-S", "L2", "-TRS"}) file.WriteString(text);
  file.WriteMatrix(*doubles(kDimensions, kFeatures, 0.01));
  for (int c = 0; c < kClasses; ++c) {
    // Two-byte GBK codes from the first level-1 row on.
    const std::string label{'+', static_cast<char>(0xB0 + c / 94), static_cast<char>(0xA1 + c % 94)};
    file.WriteString(label);
    file.WriteMatrix(*doubles(kDimensions, 1, 1.0));
    file.WriteMatrix(*doubles(kAxes, kDimensions, 0.09));
    OcrMatrixPtr weights = doubles(kAxes, 1, 0.1);
    for (std::size_t i = 0; i < weights->Count(); ++i) weights->As<double>()[i] = -std::abs(weights->As<double>()[i]);
    file.WriteMatrix(*weights);
    OcrMatrixPtr divisor = CreateOcrMatrix(kOcrDouble, 1, 1);
    divisor->As<double>()[0] = 1000.0;
    file.WriteMatrix(*divisor);
    file.WriteMatrix(*doubles(1, 1, 0.0));  // the constant
  }
  if (file.Close() != 0) std::abort();
  return path;
}

// The template for this run; a generated one is removed when the program ends.
class BenchTemplate {
 public:
  BenchTemplate() {
    if (const char* given = std::getenv("ORVANE_OCR_TEMPLATE")) {
      path_ = given;
    } else {
      path_ = GenerateTemplate();
      generated_ = true;
    }
  }
  ~BenchTemplate() {
    std::error_code ignored;
    if (generated_) std::filesystem::remove(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
  bool generated_ = false;
};

const std::filesystem::path& TemplatePath() {
  static const BenchTemplate benchTemplate;
  return benchTemplate.Path();
}

// A 46 x 52 character-like picture: a box with a cross inside, strokes 4 pixels wide.
std::vector<std::uint8_t> CharacterImage(int& width, int& height) {
  width = 46;
  height = 52;
  std::vector<std::uint8_t> image(static_cast<std::size_t>(width) * height, 0);
  auto fill = [&](int top, int left, int h, int w) {
    for (int y = top; y < top + h; ++y)
      for (int x = left; x < left + w; ++x) image[static_cast<std::size_t>(y) * width + x] = 255;
  };
  fill(2, 3, 4, 40);
  fill(46, 3, 4, 40);
  fill(2, 3, 48, 4);
  fill(2, 39, 48, 4);
  fill(24, 3, 4, 40);
  fill(2, 21, 48, 4);
  return image;
}

void BM_RecognizeOneCharacter(benchmark::State& state) {
  COCRHandle handle;
  if (!handle.Initialize(TemplatePath())) {
    state.SkipWithError("template did not load");
    return;
  }
  int width = 0, height = 0;
  const std::vector<std::uint8_t> image = CharacterImage(width, height);
  const int n = static_cast<int>(state.range(0));
  std::vector<char> labels(2 * n + 1);
  std::vector<double> distances(n);
  for (auto _ : state) {
    const bool ok = handle.Recognize(image.data(), width, height, labels.data(), n, distances.data());
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(distances.data());
  }
}
BENCHMARK(BM_RecognizeOneCharacter)->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_LoadTemplate(benchmark::State& state) {
  const auto& path = TemplatePath();
  for (auto _ : state) {
    COCRHandle handle;
    if (!handle.Initialize(path)) {
      state.SkipWithError("template did not load");
      return;
    }
  }
}
BENCHMARK(BM_LoadTemplate)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_NormalizeLinear(benchmark::State& state) {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels = CharacterImage(width, height);
  OcrMatrixPtr image = CreateOcrMatrix(kOcrUInt8, height, width);
  image->data = pixels;
  CLinearNormalizerImp normalizer;
  for (auto _ : state) benchmark::DoNotOptimize(normalizer.Normalize(*image));
}
BENCHMARK(BM_NormalizeLinear)->Unit(benchmark::kMicrosecond);

void BM_ExtractGradient(benchmark::State& state) {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels = CharacterImage(width, height);
  OcrMatrixPtr image = CreateOcrMatrix(kOcrUInt8, height, width);
  image->data = pixels;
  OcrMatrixPtr normalized = CLinearNormalizerImp().Normalize(*image);
  CGradientFeatureExtractorImp extractor;
  for (auto _ : state) benchmark::DoNotOptimize(extractor.Extract(*normalized, 0));
}
BENCHMARK(BM_ExtractGradient)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orvane::ocr
