#include "ocr/feature_extractor.h"

namespace orvane::ocr {

OcrMatrixPtr CFeatureExtractor::Extract(const OcrMatrix& image, int) {
  if (image.type != kOcrUInt8 || !image.HasElements()) return nullptr;
  return CloneOcrMatrix(&image);
}

std::unique_ptr<CFeatureExtractor> CreateFeatureExtractor(std::string_view name) {
  std::unique_ptr<CFeatureExtractor> extractor;
  if (EqualsIgnoringCase(name, "None")) extractor = std::make_unique<CFeatureExtractor>();
  if (StartsWithIgnoringCase(name, "GRA")) extractor = std::make_unique<CGradientFeatureExtractorImp>();
  return extractor;
}

}  // namespace orvane::ocr
