// The nearest-prototype classifier over several templates, each with its own normaliser,
// extractor, distance and transform; the per-template candidates are merged by label.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ocr/ocr_engine.h"

namespace orvane::ocr {

class CFileOperator;

class COCRMultiTpl : public COCRInterface {
 public:
  COCRMultiTpl() = default;
  ~COCRMultiTpl() override;
  COCRMultiTpl(const COCRMultiTpl&) = delete;
  COCRMultiTpl& operator=(const COCRMultiTpl&) = delete;

  // False only when the file cannot be opened or memory runs out; a damaged file, or a transform or
  // prototype before the first template, ends the reading and keeps what was read.
  bool Load(const std::filesystem::path& templatePath) override;
  void Release() override;
  bool Recognize(const std::uint8_t* image, int width, int height, char* labels, int n,
                 double* distances) override;

  int TemplateCount() const { return static_cast<int>(templates_.size()); }

 private:
  struct Template {
    std::vector<OcrMatrixPtr> prototypes;  // column vectors
    std::vector<std::string> labels;       // parallel to prototypes
    bool cosine = false;
    OcrMatrixPtr transform;
    std::unique_ptr<CImageNormalizer> normalizer;
    std::unique_ptr<CFeatureExtractor> extractor;
    std::unique_ptr<CDistanceMeasurer> measurer;
  };
  struct Scored {
    std::string label;
    double distance;
  };

  void Read(CFileOperator& file);
  // Up to n candidates of one template, best first; false when the template cannot recognise.
  bool RecognizeWith(const Template& t, const std::uint8_t* image, int width, int height, int n,
                     std::vector<Scored>& out) const;

  std::vector<Template> templates_;
};

}  // namespace orvane::ocr
