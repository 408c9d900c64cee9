#include "ocr/engine_features.h"

#include <cstring>
#include <memory>
#include <stdexcept>

#include "ocr/feature_extractor.h"
#include "ocr/image_normalizer.h"

namespace orvane::ocrtools {

FeatureFunction EngineFeatures() {
  std::shared_ptr<ocr::CImageNormalizer> normalizer = ocr::CreateImageNormalizer(kTemplateNormalizer);
  std::shared_ptr<ocr::CFeatureExtractor> extractor = ocr::CreateFeatureExtractor(kTemplateExtractor);
  if (!normalizer || !extractor) throw std::runtime_error("the engine lacks the template's normaliser or extractor");
  FeatureFunction function;
  function.dimension = 512;
  function.extract = [normalizer, extractor](const cv::Mat& picture, float* features) {
    if (picture.type() != CV_8UC1 || picture.empty()) return false;
    auto image = ocr::CreateOcrMatrix(ocr::kOcrUInt8, picture.rows, picture.cols);
    if (!image) return false;
    for (int row = 0; row < picture.rows; ++row)
      std::memcpy(image->data.data() + static_cast<std::size_t>(row) * picture.cols, picture.ptr(row), picture.cols);
    const auto normalized = normalizer->Normalize(*image);
    if (!normalized) return false;
    const auto extracted = extractor->Extract(*normalized, 0);
    if (!extracted || extracted->type != ocr::kOcrFloat || extracted->Count() != 512) return false;
    std::memcpy(features, extracted->As<float>(), 512 * sizeof(float));
    return true;
  };
  return function;
}

}  // namespace orvane::ocrtools
