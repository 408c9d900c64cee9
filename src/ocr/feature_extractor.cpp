#include "ocr/feature_extractor.h"

namespace orvane::ocr {

OcrMatrixPtr CFeatureExtractor::Extract(const OcrMatrix& image, int) {
  if (image.type != kOcrUInt8 || !image.HasElements()) return nullptr;
  return CloneOcrMatrix(&image);
}

std::unique_ptr<CFeatureExtractor> CreateFeatureExtractor(std::string_view name) {
  std::unique_ptr<CFeatureExtractor> extractor;
  if (EqualsIgnoringCase(name, "None")) extractor = std::make_unique<CFeatureExtractor>();
  if (StartsWithIgnoringCase(name, "HVH")) extractor = std::make_unique<CHVHistogramsFeatureExtractorImp>(name);
  if (StartsWithIgnoringCase(name, "CCF")) extractor = std::make_unique<CCICLPFFeatureExtractorImp>();
  if (StartsWithIgnoringCase(name, "PPF")) extractor = std::make_unique<CPeripheralFeatureExtractorImp>();
  if (StartsWithIgnoringCase(name, "GBF")) extractor = CGaborBFeatureExtractorImp::Create(name);
  if (StartsWithIgnoringCase(name, "StrokePos")) extractor = std::make_unique<CStrokePosFeatureExtractorImp>();
  if (EqualsIgnoringCase(name, "CrossLine")) extractor = std::make_unique<CCrossLineFeatureExtractor>();
  if (StartsWithIgnoringCase(name, "GAB")) extractor = CGaborMagFeatureExtractorImp::Create(name);
  if (StartsWithIgnoringCase(name, "GRA")) extractor = std::make_unique<CGradientFeatureExtractorImp>();
  return extractor;
}

}  // namespace orvane::ocr
