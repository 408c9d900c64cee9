// The character classifier interface: one segmented character image in, the n most likely labels
// with their distances out. Labels are the template's 2-byte GBK codes; OcrLabelToUtf8 turns one
// into the program's UTF-8 text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "ocr/distance_measurer.h"
#include "ocr/feature_extractor.h"
#include "ocr/image_normalizer.h"
#include "ocr/ocr_matrix.h"

namespace orvane::ocr {

inline constexpr int kLabelBytes = 2;

class COCRInterface {
 public:
  virtual ~COCRInterface() = default;
  virtual bool Load(const std::filesystem::path& templatePath) = 0;
  virtual void Release() = 0;
  // `image`: width x height bytes, row by row, 0 = background. `labels` holds 2n + 1 bytes: the
  // labels of the best candidates, 2 bytes each, best first, then a NUL; byte 2n is NUL as well.
  // `distances` (may be null) holds n values, one per label written. False, with both buffers
  // untouched, for an empty image or an engine that cannot recognise.
  virtual bool Recognize(const std::uint8_t* image, int width, int height, char* labels, int n,
                         double* distances) = 0;
};

// True when some byte of the width x height image is non-zero (false for a missing image).
bool HasInk(const std::uint8_t* image, int width, int height);

// Normalise, extract, convert to doubles and turn into a column; then the transform when there is
// one and length normalisation when `cosine` is set. Null when any step fails (a transform whose
// columns do not match the features included).
OcrMatrixPtr PrepareFeatureVector(const std::uint8_t* image, int width, int height, CImageNormalizer& normalizer,
                                  CFeatureExtractor& extractor, const OcrMatrix* transform, bool cosine);

// A 2-byte GBK label as UTF-8; U+FFFD when it is no GBK character.
std::string OcrLabelToUtf8(std::string_view label);

}  // namespace orvane::ocr
