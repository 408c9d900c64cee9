#include "ocr/ocr_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/codepage.h"

namespace orvane::ocr {

bool HasInk(const std::uint8_t* image, int width, int height) {
  if (image == nullptr || width <= 0 || height <= 0) return false;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  return std::any_of(image, image + count, [](std::uint8_t p) { return p != 0; });
}

OcrMatrixPtr PrepareFeatureVector(const std::uint8_t* image, int width, int height, CImageNormalizer& normalizer,
                                  CFeatureExtractor& extractor, const OcrMatrix* transform, bool cosine) {
  if (image == nullptr || width <= 0 || height <= 0) return nullptr;
  OcrMatrixPtr character = CreateOcrMatrix(kOcrUInt8, height, width);
  if (!character) return nullptr;
  std::memcpy(character->data.data(), image, character->data.size());
  OcrMatrixPtr normalized = normalizer.Normalize(*character);
  if (!normalized) return nullptr;
  OcrMatrixPtr features = extractor.Extract(*normalized, 0);
  if (!features || !ConvertOcrMatrixToDouble(features)) return nullptr;
  // Always a column, so that features compare with the stored column vectors with or without a
  // transform.
  const std::size_t count = features->Count();
  if (count == 0 || !ReshapeOcrMatrix(features.get(), static_cast<int>(count))) return nullptr;
  if (transform != nullptr) {
    features = MultiplyOcrMatrix(transform, features.get());
    if (!features) return nullptr;
  }
  if (cosine) {
    double* y = features->As<double>();
    double norm = 0.0;
    for (std::size_t i = 0; i < features->Count(); ++i) norm += y[i] * y[i];
    norm = std::sqrt(norm);
    if (norm > 1e-9) {
      for (std::size_t i = 0; i < features->Count(); ++i) y[i] /= norm;
    }
  }
  return features;
}

std::string OcrLabelToUtf8(std::string_view label) {
  if (auto text = platform::ConvertText(label, platform::kGbkCharset, platform::kUtf8Charset)) return *text;
  return "\xEF\xBF\xBD";
}

}  // namespace orvane::ocr
