#include <numbers>
#include <utility>
#include <vector>

#include "ocr/feature_extractor.h"
#include "ocr/fourier.h"

namespace orvane::ocr {

bool FastFourierTransform(std::span<CComplex> values) {
  const std::size_t n = values.size();
  if (n == 0 || (n & (n - 1)) != 0) return false;
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(values[i], values[j]);
  }
  for (std::size_t half = 1; half < n; half <<= 1) {
    const float angle = std::numbers::pi_v<float> / static_cast<float>(half);
    const CComplex base(std::cos(angle), -std::sin(angle));
    for (std::size_t start = 0; start < n; start += 2 * half) {
      CComplex twiddle(1.0f, 0.0f);
      for (std::size_t k = 0; k < half; ++k) {
        const CComplex odd = values[start + k + half] * twiddle;
        values[start + k + half] = values[start + k] - odd;
        values[start + k] += odd;
        twiddle *= base;
      }
    }
  }
  return true;
}

namespace {

std::size_t PowerOfTwoAtLeast(std::size_t n) {
  std::size_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

}  // namespace

OcrMatrixPtr CHVHistogramsFeatureExtractorImp::Extract(const OcrMatrix& image, int) {
  if (image.type != kOcrUInt8 || !image.HasElements() || image.rows == 0 || image.cols == 0) return nullptr;
  const int height = image.rows, width = image.cols;
  std::vector<CComplex> columns(PowerOfTwoAtLeast(width)), rows(PowerOfTwoAtLeast(height));
  std::vector<float> columnSums(width, 0.0f), rowSums(height, 0.0f);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      const float v = image.data[static_cast<std::size_t>(r) * width + c];
      columnSums[c] += v;
      rowSums[r] += v;
    }
  }
  for (int c = 0; c < width; ++c) columns[c] = CComplex(columnSums[c], 0.0f);
  for (int r = 0; r < height; ++r) rows[r] = CComplex(rowSums[r], 0.0f);
  if (!FastFourierTransform(columns) || !FastFourierTransform(rows)) return nullptr;

  const int length = static_cast<int>(columns.size() + rows.size());
  const bool parts = EqualsIgnoringCase(name_, "HVH") || EqualsIgnoringCase(name_, "HVH0");
  OcrMatrixPtr features = CreateOcrMatrix(kOcrFloat, parts ? 2 : 1, length);
  if (!features) return nullptr;
  float* out = features->As<float>();
  std::vector<CComplex> spectrum(columns);
  spectrum.insert(spectrum.end(), rows.begin(), rows.end());
  for (int i = 0; i < length; ++i) {
    if (parts) {
      out[i] = spectrum[i].Real();
      out[length + i] = spectrum[i].Imaginary();
    } else {
      out[i] = spectrum[i].Magnitude();
    }
  }
  return features;
}

}  // namespace orvane::ocr
