// The modified quadratic discriminant classifier behind a dimension-reducing transform: a coarse
// pass ranks every class by the distance of its mean, the best max(20, n) are ranked by MQDF.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ocr/ocr_engine.h"

namespace orvane::ocr {

class CFileOperator;

class COCRMQDF : public COCRInterface {
 public:
  struct ClassModel {
    OcrMatrixPtr mean;          // k x 1
    OcrMatrixPtr eigenvectors;  // m x k, one per row
    OcrMatrixPtr weights;       // at least m values
    double divisor = 1.0;
    double constant = 0.0;
  };

  COCRMQDF() = default;
  ~COCRMQDF() override;
  COCRMQDF(const COCRMQDF&) = delete;
  COCRMQDF& operator=(const COCRMQDF&) = delete;

  // Reads an MQDF template. False for an unreadable or damaged file, a record whose shape does not
  // fit the transform or the other classes, a class before the kind tag, or no class at all; what
  // was read before the failure is kept.
  bool Load(const std::filesystem::path& templatePath) override;
  void Release() override;
  bool Recognize(const std::uint8_t* image, int width, int height, char* labels, int n,
                 double* distances) override;

  std::size_t ClassCount() const { return models_.size(); }

 private:
  bool Read(CFileOperator& file);
  bool Consistent() const;

  OcrMatrixPtr transform_;
  std::unique_ptr<CImageNormalizer> normalizer_;
  std::unique_ptr<CFeatureExtractor> extractor_;
  std::unique_ptr<CDistanceMeasurer> measurer_;
  std::vector<ClassModel> models_;
  std::vector<std::string> labels_;
  std::vector<float> meanRows_;  // every class mean, one row each, in floats for the coarse pass
  bool cosine_ = false;
  bool started_ = false;  // the kind tag was read
};

}  // namespace orvane::ocr
