// Feature extractors: a normalised character image (a byte record) becomes a feature vector,
// chosen per template by a short name.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ocr/ocr_matrix.h"

namespace orvane::ocr {

// The "None" extractor: a copy of the image. `argument` is read by no extractor; callers pass 0.
// Every extractor returns a new record, or null when `image` is not a byte record with elements.
class CFeatureExtractor {
 public:
  virtual ~CFeatureExtractor() = default;
  virtual OcrMatrixPtr Extract(const OcrMatrix& image, int argument);
};

// "GRA": Sobel gradients split onto 8 directions and 8 x 8 blocks with linear weights; 1 x 512
// floats in the order row block, column block, direction.
class CGradientFeatureExtractorImp : public CFeatureExtractor {
 public:
  OcrMatrixPtr Extract(const OcrMatrix& image, int argument) override;

 private:
  int rowBlocks_ = 8;
  int columnBlocks_ = 8;
  int directions_ = 8;
};

// By name, any case; tests in the order "None", "HVH", "CCF", "PPF", "GBF", "StrokePos",
// "CrossLine", "GAB", "GRA", a later match replacing an earlier one. Null when nothing matches.
std::unique_ptr<CFeatureExtractor> CreateFeatureExtractor(std::string_view name);

}  // namespace orvane::ocr
