// Feature extractors: a normalised character image (a byte record) becomes a feature vector,
// chosen per template by a short name.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ocr/image_normalizer.h"
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

// Wavelengths of the Gabor extractors, from a name "GAB:smallest:step:largest" (or "GBF:...");
// a name of four characters or fewer, or without a ':', gives 4, 6 and 8. No wavelength may
// exceed half the side of a normalised character.
inline constexpr int kLongestGaborWavelength = kNormalizedSide / 2;
struct GaborParameters {
  int smallest = 4;
  int step = 2;
  int largest = 8;
  std::vector<int> Wavelengths() const;
};
// False when the numbers give no usable wavelength list (a step or smallest wavelength below 1,
// largest below smallest or above kLongestGaborWavelength, a number beyond an int).
bool ParseGaborParameters(std::string_view name, GaborParameters& parameters);

// "GAB": magnitudes of complex Gabor responses at 4 orientations and each wavelength, pooled into
// 8 x 8 Gaussian-weighted blocks; 1 x (256 x wavelengths) floats.
class CGaborMagFeatureExtractorImp : public CFeatureExtractor {
 public:
  // Null when the name's parameters are unusable.
  static std::unique_ptr<CGaborMagFeatureExtractorImp> Create(std::string_view name);
  OcrMatrixPtr Extract(const OcrMatrix& image, int argument) override;
  const GaborParameters& Parameters() const { return parameters_; }

 private:
  explicit CGaborMagFeatureExtractorImp(const GaborParameters& parameters) : parameters_(parameters) {}
  int rowBlocks_ = 8;
  int columnBlocks_ = 8;
  GaborParameters parameters_;
};

// "GBF": real Gabor responses, pooled separately for positive and negative values; room for three
// wavelengths, 1 x 1536 floats with the defaults.
class CGaborBFeatureExtractorImp : public CFeatureExtractor {
 public:
  static constexpr int kMaxWavelengths = 3;
  // Null when the name's parameters are unusable or give more than three wavelengths.
  static std::unique_ptr<CGaborBFeatureExtractorImp> Create(std::string_view name);
  OcrMatrixPtr Extract(const OcrMatrix& image, int argument) override;

 private:
  explicit CGaborBFeatureExtractorImp(const GaborParameters& parameters) : parameters_(parameters) {}
  int rowBlocks_ = 8;
  int columnBlocks_ = 8;
  GaborParameters parameters_;
};

// "CrossLine": pixels on straight ink runs of at least 3 along the horizontal, vertical, rising
// and falling diagonal, counted in 8 x 8 zones; 64 x 4 int32 holding the four planes one after
// the other.
class CCrossLineFeatureExtractor : public CFeatureExtractor {
 public:
  OcrMatrixPtr Extract(const OcrMatrix& image, int argument) override;

 private:
  int runStep_ = 1;
  int minimumRun_ = 3;
};

// "StrokePos": the ink-weighted positions of the first and second run of every row (scanned from
// both ends) and then of every column; 1 x (4 W + 4 H) floats.
class CStrokePosFeatureExtractorImp : public CFeatureExtractor {
 public:
  OcrMatrixPtr Extract(const OcrMatrix& image, int argument) override;
};

// "PPF": peripheral distances from the four edges to the first ink and from the first run to the
// next ink, summed in 8 zones per edge; 2 x 32 int32.
class CPeripheralFeatureExtractorImp : public CFeatureExtractor {
 public:
  OcrMatrixPtr Extract(const OcrMatrix& image, int argument) override;

 private:
  int rowZones_ = 8;
  int columnZones_ = 8;
};

// "CCF": pixels of the thinned character flagged by the orientation of the longest line through
// them in the character itself, counted in 8 x 8 zones; 4 x 64 int32.
class CCICLPFFeatureExtractorImp : public CFeatureExtractor {
 public:
  OcrMatrixPtr Extract(const OcrMatrix& image, int argument) override;

 private:
  int minimumLine_ = 3;
  int zoneRows_ = 8;
  int zoneColumns_ = 8;
};

// "HVH": Fourier spectra of the column and row projections; "HVH" and "HVH0" give real and
// imaginary parts as two rows, any other "HVH..." one row of magnitudes.
class CHVHistogramsFeatureExtractorImp : public CFeatureExtractor {
 public:
  explicit CHVHistogramsFeatureExtractorImp(std::string_view name) : name_(name) {}
  OcrMatrixPtr Extract(const OcrMatrix& image, int argument) override;

 private:
  std::string name_;
};

// By name, any case; tests in the order "None", "HVH", "CCF", "PPF", "GBF", "StrokePos",
// "CrossLine", "GAB", "GRA", a later match replacing an earlier one. Null when nothing matches.
std::unique_ptr<CFeatureExtractor> CreateFeatureExtractor(std::string_view name);

}  // namespace orvane::ocr
