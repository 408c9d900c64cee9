// Character normalisers: a byte image of any size (0 = background, non-zero = ink) becomes a new
// 64 x 64 byte image, chosen per template by a short name.
#pragma once

#include <string_view>
#include <memory>

#include "ocr/ocr_matrix.h"

namespace orvane::ocr {

inline constexpr int kNormalizedSide = 64;

class CImageNormalizer {
 public:
  virtual ~CImageNormalizer() = default;
  // A new 64 x 64 byte record; null when `image` is not a byte record with elements.
  virtual OcrMatrixPtr Normalize(const OcrMatrix& image) = 0;
};

// "LN": the ink's bounding box, squared around its centre, resized bilinearly to 64 x 64 and its
// ink brought to a mean of 128.
class CLinearNormalizerImp : public CImageNormalizer {
 public:
  OcrMatrixPtr Normalize(const OcrMatrix& image) override;
};

// "BI": moment normalisation with one-sided spreads and quadratic mapping functions that put the
// centroid in the middle.
class CBiMomentNormalizerImp : public CImageNormalizer {
 public:
  OcrMatrixPtr Normalize(const OcrMatrix& image) override;

 protected:
  // `squareAlways` false: the box is squared only when one side is more than twice the other.
  OcrMatrixPtr NormalizeWith(const OcrMatrix& image, bool squareAlways);
};

// "B2": the bi-moment normaliser that stretches the two axes independently unless the box is
// very elongated.
class CB2MomentNormalizerImp : public CBiMomentNormalizerImp {
 public:
  OcrMatrixPtr Normalize(const OcrMatrix& image) override;
};

// By the first two characters of `name`, any case: "LN", "BI", "B2"; otherwise null.
std::unique_ptr<CImageNormalizer> CreateImageNormalizer(std::string_view name);

}  // namespace orvane::ocr
